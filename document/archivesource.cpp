#include "document/archivesource.h"

#include "narc/narcfile.h"
#include "report/lines.h"
#include "rom/romfilesystem.h"
#include "rom/romimagefile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>

namespace core {

namespace {

// The reason of a failed read of `file`: the system's when the file failed.
template <typename T>
Result<T> withFileError(Result<T> read, const QFile &file)
{
    if (!read && file.error() != QFileDevice::NoError)
        read.reason = QStringLiteral("cannot read the file (%1)").arg(file.errorString());
    return read;
}

// See isRomImageFile; `file` is open on `path`.
bool holdsRomImage(QFile &file, const QString &path)
{
    if (beginsAsArchive(file))
        return false;
    if (path.endsWith(QStringLiteral(".nds"), Qt::CaseInsensitive))
        return true;
    const Result<RomFileSystem> fs = readRomFileSystem(&file);
    return fs && !fs.value.files.isEmpty();
}

// The bytes of the file `member` names inside the image open in `file`; its
// path inside the image goes to `path` (empty when no directory names it).
Result<QByteArray> readMember(QFile &file, const RomMemberName &member, QString *path)
{
    if (!file.seek(0))
        return Result<QByteArray>::failure(QStringLiteral("cannot read the file (%1)").arg(file.errorString()));
    const Result<RomFileSystem> fs = withFileError(readRomFileSystem(&file), file);
    if (!fs)
        return Result<QByteArray>::failure(fs.reason);
    const Result<int> id = findRomMember(fs.value, member);
    if (!id)
        return Result<QByteArray>::failure(id.reason);
    *path = fs.value.path(id.value);
    return withFileError(readRomFile(&file, fs.value, id.value), file);
}

} // namespace

Result<ArchiveSource> ArchiveSource::named(const QString &name)
{
    const Result<RomMemberName> parsed = parseRomMemberName(name);
    if (!parsed)
        return Result<ArchiveSource>::failure(parsed.reason);
    ArchiveSource source;
    source.given = name;
    source.member = parsed.value;
    return Result<ArchiveSource>::success(std::move(source));
}

ArchiveSource ArchiveSource::inImage(const QString &imagePath, int fileId, const QString &memberPath)
{
    ArchiveSource source;
    source.member.imagePath = imagePath;
    source.member.memberPath = memberPath;
    source.member.fileId = memberPath.isEmpty() ? fileId : -1;
    source.given = source.member.text();
    return source;
}

QString ArchiveSource::displayName() const
{
    const QString file = QFileInfo(filePath()).fileName();
    if (!isInImage())
        return file;
    const QString inside = !memberPath.isEmpty() ? memberPath
                           : member.fileId >= 0  ? QLatin1Char('#') + QString::number(member.fileId)
                                                 : member.memberPath;
    return file + QStringLiteral(": ") + inside;
}

Result<Narc> ArchiveSource::read(QFile &file)
{
    if (!isInImage()) {
        Result<Narc> narc = loadNarcFile(file);
        if (!narc && holdsRomImage(file, given))
            narc.reason = romImageNotArchiveReason(given);
        return narc;
    }
    const Result<QByteArray> bytes = readMember(file, member, &memberPath);
    if (!bytes)
        return Result<Narc>::failure(bytes.reason);
    return readNarc(bytes.value);
}

Result<NarcStream> ArchiveSource::stream(QFile &file) const
{
    if (isInImage())
        return Result<NarcStream>::failure(QStringLiteral("the archive is inside an image"));
    if (!file.seek(0))
        return Result<NarcStream>::failure(QStringLiteral("cannot read the file (%1)").arg(file.errorString()));
    Result<NarcStream> stream = withFileError(NarcStream::open(&file), file);
    if (!stream && holdsRomImage(file, given))
        stream.reason = romImageNotArchiveReason(given);
    return stream;
}

Status ArchiveSource::write(Narc &narc, QFile *image, const ReplaceOptions &options, BulkObserver &report) const
{
    if (!isInImage())
        return saveNarcFile(narc, filePath(), options);
    const Result<QByteArray> bytes = laidOut(narc, image);
    if (!bytes)
        return bytes.status();
    const Result<RomPlacement> placed = replaceRomMember(*image, member, bytes.value, options);
    if (!placed)
        return placed.status();
    if (placed.value.moved)
        report.report(romMovedLine(name(), placed.value.start, placed.value.imageSize));
    if (placed.value.staleDsiDigests)
        report.report(romDsiDigestsLine(filePath()));
    return Status::success();
}

bool beginsAsArchive(QFile &file)
{
    const QByteArray head = file.seek(0) ? file.read(0x14) : QByteArray();
    return head.size() == 0x14 && head.startsWith("NARC") && head.mid(0x10) == "BTAF";
}

bool isRomImageFile(const QString &path)
{
    QFile file;
    return openNarcFile(file, path) && holdsRomImage(file, path);
}

Status ArchiveSource::checkFits(Narc &narc, QFile *image) const
{
    if (!isInImage())
        return narc.recomputeLayout();
    const Result<QByteArray> bytes = laidOut(narc, image);
    if (!bytes)
        return bytes.status();
    if (!image->seek(0))
        return Status::failure(QStringLiteral("cannot read the file (%1)").arg(image->errorString()));
    const Result<RomFileSystem> fs = withFileError(readRomFileSystem(image), *image);
    if (!fs)
        return fs.status();
    const Result<int> id = findRomMember(fs.value, member);
    if (!id)
        return id.status();
    const Result<qint64> room = withFileError(findRomRoom(image, fs.value, bytes.value.size()), *image);
    if (!room)
        return room.status();
    return placeRomFile(fs.value, id.value, bytes.value.size(), room.value).status();
}

Result<QByteArray> ArchiveSource::laidOut(Narc &narc, QFile *image)
{
    using Bytes = Result<QByteArray>;
    const Status layout = narc.recomputeLayout();
    if (!layout)
        return Bytes::failure(layout.reason);
    if (!image)
        return Bytes::failure(QStringLiteral("the image is not open"));
    // Held whole: the image is written around these bytes.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const Status serialized = narc.writeTo(&buffer, 0);
    if (!serialized)
        return Bytes::failure(serialized.reason);
    buffer.close();
    return Bytes::success(std::move(bytes));
}

Result<std::unique_ptr<ArchiveEntries>> ArchiveEntries::open(const QString &name)
{
    using Opened = Result<std::unique_ptr<ArchiveEntries>>;
    const Result<ArchiveSource> source = ArchiveSource::named(name);
    if (!source)
        return Opened::failure(source.reason);
    auto entries = std::unique_ptr<ArchiveEntries>(new ArchiveEntries);
    QFile &file = entries->m_file;
    const Status opened = openNarcFile(file, source.value.filePath());
    if (!opened)
        return Opened::failure(opened.reason);
    const Result<FileIdentity> identity = identifyOpenFile(file.handle());
    if (!identity)
        return Opened::failure(identity.reason);
    entries->m_identity = identity.value;

    // Where the archive lies in the file: all of it, or one file of the image.
    qint64 length = -1;
    if (source.value.isInImage()) {
        if (!file.seek(0))
            return Opened::failure(QStringLiteral("cannot read the file (%1)").arg(file.errorString()));
        const Result<RomFileSystem> fs = withFileError(readRomFileSystem(&file), file);
        if (!fs)
            return Opened::failure(fs.reason);
        const Result<int> id = findRomMember(fs.value, source.value.memberName());
        if (!id)
            return Opened::failure(id.reason);
        const RomFile &member = fs.value.files.at(id.value);
        if (member.end > file.size())
            return Opened::failure(QStringLiteral("the image ends before %1 does").arg(fs.value.describe(id.value)));
        length = member.size();
        if (!file.seek(member.start))
            return Opened::failure(QStringLiteral("cannot read the file (%1)").arg(file.errorString()));
    } else if (!file.seek(0)) {
        return Opened::failure(QStringLiteral("cannot read the file (%1)").arg(file.errorString()));
    }
    Result<NarcStream> stream = withFileError(NarcStream::open(&file, length), file);
    if (!stream) {
        if (!source.value.isInImage() && holdsRomImage(file, name))
            return Opened::failure(romImageNotArchiveReason(name));
        return Opened::failure(stream.reason);
    }
    entries->m_stream = std::move(stream.value);
    return Opened::success(std::move(entries));
}

QString ArchiveEntries::failure() const
{
    const QString reason = m_stream.failure();
    if (!reason.isEmpty() && m_file.error() != QFileDevice::NoError)
        return QStringLiteral("cannot read the file (%1)").arg(m_file.errorString());
    return reason;
}

Result<Narc> loadArchive(const QString &name)
{
    Result<ArchiveSource> source = ArchiveSource::named(name);
    if (!source)
        return Result<Narc>::failure(source.reason);
    QFile file;
    const Status opened = openNarcFile(file, source.value.filePath());
    if (!opened)
        return Result<Narc>::failure(opened.reason);
    return source.value.read(file);
}

Status loadArchiveEntries(const QString &name, const EntryVisitor &visit)
{
    Result<std::unique_ptr<ArchiveEntries>> entries = ArchiveEntries::open(name);
    if (!entries)
        return entries.status();
    return entries.value->forEach([&](int index, EntryView entry) {
        visit(quint32(index), entry);
        return true;
    });
}

} // namespace core
