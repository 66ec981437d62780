#include "narc/narcfile.h"

#include "narc/regularfile.h"
#include "narc/savefile.h"

#include <QFile>
#include <QSaveFile>

namespace core {

NarcRead loadNarcFile(const QString &path)
{
    QFile file;
    QString reason;
    if (!openRegularFile(file, path, Links::Follow, &reason)) {
        NarcRead result;
        result.error = QStringLiteral("cannot open the file (%1)").arg(reason);
        return result;
    }
    NarcRead result = readNarc(&file);
    if (!result.ok() && file.error() != QFileDevice::NoError)
        result.error = QStringLiteral("cannot read the file (%1)").arg(file.errorString());
    return result;
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
