#include "narc/narcfile.h"

#include "narc/savefile.h"

#include <QFile>
#include <QSaveFile>

namespace core {

NarcRead loadNarcFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        NarcRead result;
        result.error = QStringLiteral("cannot open the file (%1)").arg(file.errorString());
        return result;
    }
    NarcRead result = readNarc(&file);
    if (!result.ok() && file.error() != QFileDevice::NoError)
        result.error = QStringLiteral("cannot read the file (%1)").arg(file.errorString());
    return result;
}

bool saveNarcFile(Narc &narc, const QString &path, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QString writeError;
    if (!narc.writeTo(&file, 0, &writeError)) {
        file.cancelWriting();
        if (error)
            *error = writeError;
        return false;
    }
    if (!commitSaveFile(file, error))
        return false;
    if (error)
        error->clear();
    return true;
}

} // namespace core
