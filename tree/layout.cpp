#include "tree/layout.h"

#include "report/lines.h"

#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

namespace core {

QString treeRoot(const QString &chosenPath)
{
    if (chosenPath.endsWith(QLatin1Char('/')))
        return chosenPath;
    return chosenPath + QLatin1Char('/');
}

QString treeFilePath(const QString &root, int entryIndex, int section)
{
    return root + pad4(section) + QLatin1Char('/') + pad4(entryIndex) + QStringLiteral(".txt");
}

bool treeExists(const QString &root)
{
    return QFileInfo(root + QStringLiteral("0000")).isDir() && QFileInfo(root + QStringLiteral("0001")).isDir();
}

QString createTreeDirs(const QString &chosenPath)
{
    const QString root = treeRoot(chosenPath);
    for (const QString &dir : {root, root + QStringLiteral("0000"), root + QStringLiteral("0001")}) {
        const std::filesystem::path native(QFile::encodeName(dir).toStdString());
        std::error_code error;
        std::filesystem::create_directories(native, error);
        // create_directories reports nothing for a path that is already there,
        // even a regular file, so look at what is there now.
        if (!error && !std::filesystem::is_directory(native, error) && !error)
            error = std::make_error_code(std::errc::not_a_directory);
        if (error)
            return createDirectoryFailedLine(dir, QString::fromLocal8Bit(error.message().c_str()));
    }
    return QString();
}

} // namespace core
