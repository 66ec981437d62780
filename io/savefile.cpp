#include "io/savefile.h"

#include "io/regularfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <unistd.h>

namespace core {

bool commitSaveFile(QSaveFile &file, QString *error)
{
    if (!file.flush()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool writeAllBytes(QIODevice &device, const char *data, qint64 length, QString *error)
{
    qint64 done = 0;
    while (done < length) {
        const qint64 written = device.write(data + done, length - done);
        if (written <= 0) {
            if (error) {
                *error = device.errorString();
                if (written == 0 || *error == QLatin1String("Unknown error"))
                    *error = QStringLiteral("the file took no more bytes");
            }
            return false;
        }
        done += written;
    }
    return true;
}

std::unique_ptr<QFileDevice> openWholeFile(const QString &path, QString *error)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        auto file = std::make_unique<QFile>();
        if (!openSpecialFile(*file, path, error))
            return nullptr;
        return file;
    }
    auto file = std::make_unique<QSaveFile>(path);
    // Never falls back to writing the target in place: a failed write would
    // leave it cut short.
    file->setDirectWriteFallback(false);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (error)
            *error = file->errorString();
        return nullptr;
    }
    return file;
}

std::unique_ptr<QFileDevice> openOutputFile(const QString &path, QString *error)
{
    if (path != QLatin1String("-"))
        return openWholeFile(path, error);
    auto out = std::make_unique<QFile>();
    if (!out->open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle)) {
        if (error)
            *error = out->errorString();
        return nullptr;
    }
    return out;
}

bool commitWholeFile(QFileDevice &file, QString *error)
{
    if (auto *saveFile = qobject_cast<QSaveFile *>(&file))
        return commitSaveFile(*saveFile, error);
    const bool flushed = file.flush();
    const QString flushError = file.errorString();
    file.close();
    if (flushed && file.error() == QFileDevice::NoError)
        return true;
    if (error)
        *error = flushed ? file.errorString() : flushError;
    return false;
}

} // namespace core
