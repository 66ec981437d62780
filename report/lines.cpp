#include "report/lines.h"

#include "report/place.h"

namespace core {

namespace {

QString withReason(const QString &line, const QString &reason)
{
    return reason.isEmpty() ? line : line + QStringLiteral(" (") + reason + QLatin1Char(')');
}

} // namespace

QString loadFailedLine(const QString &path, const QString &reason)
{
    return QStringLiteral("Failed to load ") + path + QStringLiteral(": ") + reason;
}

QString writeFailedLine(const QString &path, const QString &reason)
{
    return QStringLiteral("Failed to write ") + path + QStringLiteral(": ") + reason;
}

QString cannotDecodeLine(int entry, int section, const QString &reason)
{
    return QStringLiteral("Cannot decode section ") + QString::number(section) + QStringLiteral(" of entry ")
           + QString::number(entry) + QStringLiteral(": ") + reason;
}

QString exportFailedLine(const QString &path, const QString &reason)
{
    return withReason(QStringLiteral("Failed to export to file ") + path, reason);
}

QString exportOverArchiveLine(const QString &path)
{
    return QStringLiteral("Failed to export to file ") + path + QStringLiteral(": it is the archive being edited");
}

QString importFailedLine(const QString &path, const QString &reason)
{
    return withReason(QStringLiteral("Failed to import from file: ") + path, reason);
}

QString noSuchSectionLine(int entry, int section)
{
    return QStringLiteral("Skipping ") + pad4(section) + QLatin1Char('/') + pad4(entry)
           + QStringLiteral(": the entry has no section ") + QString::number(section);
}

} // namespace core
