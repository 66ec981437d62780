#include "document/romarchives.h"

#include "codec/messagecheck.h"
#include "document/archivesource.h"
#include "io/regularfile.h"
#include "narc/narcreader.h"
#include "rom/romfilesystem.h"

#include <QBuffer>
#include <QFile>

namespace core {

namespace {

const QByteArray archiveTag = QByteArrayLiteral("NARC");

// Whether the file open in `file` holds the tag of an archive at `offset`.
bool startsAsArchive(QFile &file, qint64 offset)
{
    return file.seek(offset) && file.read(archiveTag.size()) == archiveTag;
}

// Counts the entries of the archive `bytes` hold and tells whether they are
// message files.
void readArchive(const QByteArray &bytes, RomArchive &archive)
{
    QByteArray held = bytes;
    QBuffer buffer(&held);
    buffer.open(QIODevice::ReadOnly);
    bool allMessages = true;
    bool anyText = false;
    const Status read = readNarcEntries(&buffer, [&](quint32, EntryView entry) {
        ++archive.entries;
        // Once one is not, the rest are only counted.
        if (allMessages)
            allMessages = isMessageFile(entry);
        anyText |= !entry.isEmpty();
    });
    if (!read) {
        archive.problem = read.reason;
        archive.entries = 0;
        return;
    }
    archive.messages = allMessages && anyText;
}

} // namespace

Result<QList<RomArchive>> listRomArchives(const QString &imagePath)
{
    using Listed = Result<QList<RomArchive>>;
    QFile file;
    const Status opened = openRegularFile(file, imagePath, Links::Follow);
    if (!opened)
        return Listed::failure(QStringLiteral("cannot open the file (%1)").arg(opened.reason));
    if (beginsAsArchive(file))
        return Listed::failure(QStringLiteral("it is a NARC archive, not a ROM image"));
    Result<RomFileSystem> fs = readRomFileSystem(&file);
    if (!fs && file.error() != QFileDevice::NoError)
        fs.reason = QStringLiteral("cannot read the file (%1)").arg(file.errorString());
    if (!fs)
        return Listed::failure(fs.reason);

    QList<RomArchive> archives;
    for (int id = 0; id < fs.value.files.size(); ++id) {
        const RomFile &member = fs.value.files.at(id);
        if (member.size() < archiveTag.size() || !startsAsArchive(file, member.start))
            continue;
        RomArchive archive;
        archive.id = id;
        archive.path = fs.value.path(id);
        archive.size = member.size();
        const Result<QByteArray> bytes = readRomFile(&file, fs.value, id);
        if (bytes)
            readArchive(bytes.value, archive);
        else
            archive.problem = bytes.reason;
        archives.append(archive);
    }
    if (file.error() != QFileDevice::NoError)
        return Listed::failure(QStringLiteral("cannot read the file (%1)").arg(file.errorString()));
    return Listed::success(archives);
}

QList<RomArchive> archivesToChoose(const QList<RomArchive> &archives)
{
    QList<RomArchive> messages;
    QList<RomArchive> others;
    for (const RomArchive &archive : archives) {
        if (archive.problem.isEmpty())
            (archive.messages ? messages : others).append(archive);
    }
    return messages + others;
}

} // namespace core
