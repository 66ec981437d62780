#include "narc/narcfile.h"

#include "io/regularfile.h"
#include "io/savefile.h"

#include <QFile>
#include <QSaveFile>

namespace core {

namespace {

// Opens `path` as an archive and runs `read` on it; the reason of a refusal
// names a file that cannot be opened or read rather than what the reader saw.
QString readArchiveFile(const QString &path, const std::function<QString(QFile &)> &read)
{
    QFile file;
    QString reason;
    if (!openRegularFile(file, path, Links::Follow, &reason))
        return QStringLiteral("cannot open the file (%1)").arg(reason);
    const QString error = read(file);
    if (!error.isEmpty() && file.error() != QFileDevice::NoError)
        return QStringLiteral("cannot read the file (%1)").arg(file.errorString());
    return error;
}

} // namespace

NarcRead loadNarcFile(const QString &path)
{
    NarcRead result;
    result.error = readArchiveFile(path, [&](QFile &file) {
        result = readNarc(&file);
        return result.error;
    });
    return result;
}

QString loadNarcFileEntries(const QString &path, const EntryVisitor &visit)
{
    return readArchiveFile(path, [&](QFile &file) { return readNarcEntries(&file, visit); });
}

bool saveNarcFile(Narc &narc, const QString &path, QString *error)
{
    // Checked before the target is opened: a layout that does not fit leaves
    // not even a temporary file behind.
    if (!narc.recomputeLayout(error))
        return false;
    std::unique_ptr<QFileDevice> file = openWholeFile(path, error);
    if (!file)
        return false;
    QString writeError;
    if (!narc.writeTo(file.get(), 0, &writeError)) {
        if (auto *saveFile = qobject_cast<QSaveFile *>(file.get()))
            saveFile->cancelWriting();
        if (error)
            *error = writeError;
        return false;
    }
    if (!commitWholeFile(*file, error))
        return false;
    if (error)
        error->clear();
    return true;
}

} // namespace core
