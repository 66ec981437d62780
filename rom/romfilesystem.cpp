#include "rom/romfilesystem.h"

#include "rom/romheader.h"

#include <QIODevice>
#include <QSet>
#include <QStringDecoder>
#include <QtEndian>

#include <algorithm>

namespace core {

namespace {

constexpr qint64 maxFileIds = 0xF000; // directory ids start there
constexpr qint64 firstDirectoryId = 0xF000;
constexpr qint64 maxDirectories = 0x1000;
// 4,096 directories and 61,440 files with names of 127 bytes take less than 9 MiB.
constexpr qint64 maxNameTableBytes = 16 << 20;
constexpr int maxPathLength = 1024;
constexpr qint64 overlayEntryBytes = 32;
constexpr int overlayFileIdAt = 0x18;
// Every banner version is at least this long.
constexpr qint64 smallestBannerBytes = 0x840;

using Read = Result<RomFileSystem>;

QString hex(qint64 value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper();
}

// Reads `length` bytes at `offset`, which the caller checked lie inside the device.
bool readAt(QIODevice *device, qint64 offset, qint64 length, QByteArray &out)
{
    out.resize(qsizetype(length));
    return device->seek(offset) && device->read(out.data(), length) == length;
}

quint32 u32At(const QByteArray &bytes, qint64 offset)
{
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

quint16 u16At(const QByteArray &bytes, qint64 offset)
{
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

// What the header says lies at (offsetField, sizeField).
RomSpan headerSpan(const QByteArray &header, int offsetField, int sizeField, const QString &what)
{
    const qint64 start = romField32(header, offsetField);
    return {start, start + romField32(header, sizeField), what};
}

QString outsideReason(const RomSpan &span, qint64 imageSize)
{
    return QStringLiteral("%1 (%2 bytes at %3) lies outside the image (%4 bytes)")
        .arg(span.what)
        .arg(span.end - span.start)
        .arg(hex(span.start))
        .arg(imageSize);
}

// Why `raw` cannot be a name in the name table, or empty; `name` gets its text.
QString nameProblem(const QByteArray &raw, QString &name)
{
    // The whole name, a leading byte-order mark included: names compare as stored.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    name = decoder(raw);
    if (decoder.hasError())
        return QStringLiteral("is neither ASCII nor UTF-8");
    for (const QChar c : std::as_const(name)) {
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("holds a control character");
    }
    if (name.contains(QLatin1Char('/')))
        return QStringLiteral("holds a \"/\"");
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("is \".\" or \"..\"");
    return {};
}

QString joined(const QString &directory, const QString &name)
{
    return directory.isEmpty() ? name : directory + QLatin1Char('/') + name;
}

// Reads the name table `names` into fs.directories and the files' names.
QString readNames(RomFileSystem &fs, const QByteArray &names)
{
    const qint64 size = names.size();
    if (size < 8)
        return QStringLiteral("the name table (%1 bytes) is too short for its root directory").arg(size);
    const qint64 count = u16At(names, 6);
    if (count < 1 || count > maxDirectories)
        return QStringLiteral("the name table's root gives %1 directories; there can be 1 to 4096").arg(count);
    if (8 * count > size)
        return QStringLiteral("the name table (%1 bytes) is too short for its %2 directories").arg(size).arg(count);
    fs.firstNamedId = u16At(names, 4);
    const qint64 fileCount = fs.files.size();
    if (fs.firstNamedId > fileCount) {
        return QStringLiteral("the root's first file id %1 is past the %2 files of the allocation table")
            .arg(fs.firstNamedId)
            .arg(fileCount);
    }

    fs.directories.resize(qsizetype(count));
    fs.directories[0].reached = true;
    // Each directory is walked once, so the walk ends; no recursion.
    QVector<int> pending{0};
    while (!pending.isEmpty()) {
        const int directory = pending.takeLast();
        const QString directoryPath = fs.directories.at(directory).path;
        const QString where = directory == 0 ? QStringLiteral("the root directory")
                                             : QStringLiteral("directory ") + directoryPath;
        qint64 at = u32At(names, 8 * qint64(directory));
        qint64 id = u16At(names, 8 * qint64(directory) + 4);
        QSet<QString> seen;
        for (;;) {
            if (at >= size)
                return QStringLiteral("the names of %1 run past the end of the name table").arg(where);
            const quint8 length = quint8(names.at(qsizetype(at)));
            if (length == 0)
                break;
            const bool isDirectory = length & 0x80;
            const qint64 nameLength = length & 0x7F;
            if (nameLength == 0)
                return QStringLiteral("%1 lists a directory without a name").arg(where);
            const qint64 next = at + 1 + nameLength + (isDirectory ? 2 : 0);
            if (next > size)
                return QStringLiteral("the names of %1 run past the end of the name table").arg(where);
            QString name;
            const QString problem = nameProblem(names.mid(qsizetype(at + 1), qsizetype(nameLength)), name);
            if (!problem.isEmpty())
                return QStringLiteral("%1 holds a name that %2").arg(where, problem);
            if (seen.contains(name))
                return QStringLiteral("%1 holds two entries named %2").arg(where, name);
            seen.insert(name);
            const QString path = joined(directoryPath, name);
            if (path.size() > maxPathLength)
                return QStringLiteral("the path %1... is longer than %2 characters")
                    .arg(path.left(64))
                    .arg(maxPathLength);
            if (isDirectory) {
                const qint64 sub = u16At(names, at + 1 + nameLength);
                if (sub < firstDirectoryId || sub - firstDirectoryId >= count) {
                    return QStringLiteral("%1 lists directory %2 as %3, not one of the image's %4 directories")
                        .arg(where, path, hex(sub))
                        .arg(count);
                }
                RomDirectory &child = fs.directories[qsizetype(sub - firstDirectoryId)];
                if (child.reached)
                    return QStringLiteral("directory %1 (%2) is listed twice: the directories form a cycle")
                        .arg(path, hex(sub));
                child.reached = true;
                child.path = path;
                pending.append(int(sub - firstDirectoryId));
            } else {
                if (id < fs.firstNamedId) {
                    return QStringLiteral("%1 names file %2, one of the overlays (ids below %3)")
                        .arg(where)
                        .arg(id)
                        .arg(fs.firstNamedId);
                }
                if (id >= fileCount) {
                    return QStringLiteral("%1 names file %2 (%3), past the %4 files of the allocation table")
                        .arg(where)
                        .arg(id)
                        .arg(path)
                        .arg(fileCount);
                }
                RomFile &file = fs.files[qsizetype(id)];
                if (file.directory >= 0)
                    return QStringLiteral("file %1 is named twice (%2 and %3)").arg(id).arg(fs.path(int(id)), path);
                file.directory = directory;
                file.name = name;
                ++id;
            }
            at = next;
        }
    }
    return {};
}

// Checks an overlay table: whole entries, each naming a file of the allocation table.
QString checkOverlayTable(QIODevice *device, const RomFileSystem &fs, const RomSpan &table)
{
    const qint64 size = table.end - table.start;
    if (size % overlayEntryBytes != 0)
        return QStringLiteral("%1's size (%2 bytes) is not a multiple of 32").arg(table.what).arg(size);
    const qint64 count = size / overlayEntryBytes;
    if (count > fs.files.size()) {
        return QStringLiteral("%1 lists %2 overlays, more than the %3 files of the allocation table")
            .arg(table.what)
            .arg(count)
            .arg(fs.files.size());
    }
    QByteArray entries;
    if (!readAt(device, table.start, size, entries))
        return QStringLiteral("cannot read %1 (%2)").arg(table.what, device->errorString());
    for (qint64 i = 0; i < count; ++i) {
        const qint64 id = u32At(entries, i * overlayEntryBytes + overlayFileIdAt);
        if (id >= fs.files.size()) {
            return QStringLiteral("%1 names file %2, past the %3 files of the allocation table")
                .arg(table.what)
                .arg(id)
                .arg(fs.files.size());
        }
    }
    return {};
}

// The first two spans of `spans` that share a byte, as a reason; empty spans share none.
QString overlapReason(QVector<RomSpan> spans)
{
    std::stable_sort(spans.begin(), spans.end(), [](const RomSpan &a, const RomSpan &b) { return a.start < b.start; });
    const RomSpan *furthest = nullptr;
    for (const RomSpan &span : std::as_const(spans)) {
        if (span.end <= span.start)
            continue;
        if (furthest && span.start < furthest->end)
            return QStringLiteral("%1 overlaps %2").arg(span.what, furthest->what);
        if (!furthest || span.end > furthest->end)
            furthest = &span;
    }
    return {};
}

Read refuse(const QString &reason)
{
    return Read::failure(reason);
}

} // namespace

quint8 RomFileSystem::unitCode() const
{
    return romField8(header, romfield::unitCode);
}

bool RomFileSystem::isDsi() const
{
    return isDsiUnitCode(unitCode());
}

quint8 RomFileSystem::deviceCapacity() const
{
    return romField8(header, romfield::deviceCapacity);
}

quint32 RomFileSystem::usedSizeField() const
{
    return romField32(header, romfield::usedSize);
}

bool RomFileSystem::checksumMatches() const
{
    return romField16(header, romfield::headerChecksum) == romHeaderChecksum(header);
}

QString RomFileSystem::path(int id) const
{
    const RomFile &file = files.at(id);
    if (file.directory < 0)
        return {};
    return joined(directories.at(file.directory).path, file.name);
}

int RomFileSystem::idOf(const QString &path) const
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString directoryPath = slash < 0 ? QString() : path.left(slash);
    const QString name = path.mid(slash + 1);
    for (qsizetype id = 0; id < files.size(); ++id) {
        const RomFile &file = files.at(id);
        if (file.directory >= 0 && file.name == name && directories.at(file.directory).path == directoryPath)
            return int(id);
    }
    return -1;
}

QString RomFileSystem::describe(int id) const
{
    if (isOverlay(id))
        return QStringLiteral("file %1 (an overlay)").arg(id);
    const QString name = path(id);
    return name.isEmpty() ? QStringLiteral("file %1").arg(id) : QStringLiteral("file %1 (%2)").arg(id).arg(name);
}

Result<RomFileSystem> readRomFileSystem(QIODevice *device)
{
    if (device->isSequential())
        return refuse(QStringLiteral("it cannot be read at any place (a pipe?)"));
    RomFileSystem fs;
    fs.imageSize = device->size();
    if (fs.imageSize < romHeaderBytes)
        return refuse(QStringLiteral("it is %1 bytes, shorter than a ROM header (512 bytes)").arg(fs.imageSize));
    if (!readAt(device, 0, romHeaderBytes, fs.header))
        return refuse(QStringLiteral("cannot read the header (%1)").arg(device->errorString()));
    const QByteArray &header = fs.header;

    // The tables are read whole, so they must lie inside the image.
    const RomSpan nameTable = headerSpan(header, romfield::nameTableOffset, romfield::nameTableSize,
                                         QStringLiteral("the name table"));
    const RomSpan allocationTable = headerSpan(header, romfield::allocationTableOffset, romfield::allocationTableSize,
                                               QStringLiteral("the allocation table"));
    const RomSpan arm9Overlays = headerSpan(header, romfield::arm9OverlayTableOffset, romfield::arm9OverlayTableSize,
                                            QStringLiteral("the ARM9 overlay table"));
    const RomSpan arm7Overlays = headerSpan(header, romfield::arm7OverlayTableOffset, romfield::arm7OverlayTableSize,
                                            QStringLiteral("the ARM7 overlay table"));
    for (const RomSpan &table : {nameTable, allocationTable, arm9Overlays, arm7Overlays}) {
        if (table.end > fs.imageSize)
            return refuse(outsideReason(table, fs.imageSize));
    }
    // Nothing of these may share a byte; the binaries and the banner may run
    // past the end of a trimmed image, but they stay where they are.
    QVector<RomSpan> spans{
        {0, fs.isDsi() ? dsiHeaderBytes : romHeaderBytes, QStringLiteral("the header")},
        headerSpan(header, romfield::arm9Offset, romfield::arm9Size, QStringLiteral("the ARM9 binary")),
        headerSpan(header, romfield::arm7Offset, romfield::arm7Size, QStringLiteral("the ARM7 binary")),
        nameTable,
        allocationTable,
        arm9Overlays,
        arm7Overlays,
    };
    if (const qint64 banner = romField32(header, romfield::bannerOffset))
        spans.append({banner, banner + smallestBannerBytes, QStringLiteral("the banner")});
    QString reason = overlapReason(spans);
    if (!reason.isEmpty())
        return refuse(reason);

    const qint64 allocationBytes = allocationTable.end - allocationTable.start;
    if (allocationBytes % 8 != 0)
        return refuse(
            QStringLiteral("the allocation table's size (%1 bytes) is not a multiple of 8").arg(allocationBytes));
    if (allocationBytes / 8 > maxFileIds) {
        return refuse(QStringLiteral("the allocation table lists %1 files, more than the 61440 file ids there are")
                          .arg(allocationBytes / 8));
    }
    QByteArray allocation;
    if (!readAt(device, allocationTable.start, allocationBytes, allocation))
        return refuse(QStringLiteral("cannot read the allocation table (%1)").arg(device->errorString()));
    fs.files.resize(qsizetype(allocationBytes / 8));
    for (qsizetype id = 0; id < fs.files.size(); ++id) {
        RomFile &file = fs.files[id];
        file.start = u32At(allocation, 8 * id);
        file.end = u32At(allocation, 8 * id + 4);
        if (file.end < file.start)
            return refuse(
                QStringLiteral("file %1 ends (%2) before it starts (%3)").arg(id).arg(hex(file.end), hex(file.start)));
        if (file.end > fs.imageSize) {
            return refuse(QStringLiteral("file %1 (%2 to %3) lies outside the image (%4 bytes)")
                              .arg(id)
                              .arg(hex(file.start), hex(file.end))
                              .arg(fs.imageSize));
        }
    }

    for (const RomSpan &table : {arm9Overlays, arm7Overlays}) {
        reason = checkOverlayTable(device, fs, table);
        if (!reason.isEmpty())
            return refuse(reason);
    }

    const qint64 nameBytes = nameTable.end - nameTable.start;
    if (nameBytes == 0 && fs.files.isEmpty()) {
        // No file system at all.
        fs.directories.resize(1);
        fs.directories[0].reached = true;
    } else {
        if (nameBytes > maxNameTableBytes) {
            return refuse(QStringLiteral("the name table is %1 bytes, more than the names of any image take (16 MiB)")
                              .arg(nameBytes));
        }
        QByteArray names;
        if (!readAt(device, nameTable.start, nameBytes, names))
            return refuse(QStringLiteral("cannot read the name table (%1)").arg(device->errorString()));
        reason = readNames(fs, names);
        if (!reason.isEmpty())
            return refuse(reason);
    }

    for (qsizetype id = 0; id < fs.files.size(); ++id) {
        const RomFile &file = fs.files.at(id);
        if (file.size() > 0)
            spans.append({file.start, file.end, fs.describe(int(id))});
    }
    reason = overlapReason(spans);
    if (!reason.isEmpty())
        return refuse(reason);

    fs.usedEnd = fs.usedSizeField();
    for (const RomSpan &span : std::as_const(spans))
        fs.usedEnd = qMax(fs.usedEnd, span.end);
    if (fs.isDsi()) {
        // The DSi parts lie past the DS part (and may lie past the end of an
        // image trimmed to it); a write keeps clear of them.
        fs.dsModeEnd = qint64(romField16(header, romfield::dsiNtrRegionEnd)) * 0x80000;
        spans.append(headerSpan(header, romfield::dsiArm9Offset, romfield::dsiArm9Size,
                                QStringLiteral("the DSi ARM9 binary")));
        spans.append(headerSpan(header, romfield::dsiArm7Offset, romfield::dsiArm7Size,
                                QStringLiteral("the DSi ARM7 binary")));
        spans.append(headerSpan(header, romfield::dsiSectorDigestsOffset, romfield::dsiSectorDigestsSize,
                                QStringLiteral("the DSi sector digests")));
        spans.append(headerSpan(header, romfield::dsiBlockDigestsOffset, romfield::dsiBlockDigestsSize,
                                QStringLiteral("the DSi block digests")));
        reason = overlapReason(spans);
        if (!reason.isEmpty())
            return refuse(reason);
    }
    spans.erase(std::remove_if(spans.begin(), spans.end(), [](const RomSpan &span) { return span.end <= span.start; }),
                spans.end());
    std::stable_sort(spans.begin(), spans.end(), [](const RomSpan &a, const RomSpan &b) { return a.start < b.start; });
    fs.occupied = spans;
    return Read::success(std::move(fs));
}

Result<QByteArray> readRomFile(QIODevice *device, const RomFileSystem &fs, int id)
{
    if (id < 0 || id >= fs.files.size())
        return Result<QByteArray>::failure(QStringLiteral("the image has no file %1").arg(id));
    const RomFile &file = fs.files.at(id);
    if (file.end > device->size())
        return Result<QByteArray>::failure(QStringLiteral("the image ends before %1 does").arg(fs.describe(id)));
    QByteArray bytes;
    if (!readAt(device, file.start, file.size(), bytes)) {
        return Result<QByteArray>::failure(
            QStringLiteral("cannot read %1 (%2)").arg(fs.describe(id), device->errorString()));
    }
    return Result<QByteArray>::success(std::move(bytes));
}

} // namespace core
