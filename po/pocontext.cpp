#include "po/pocontext.h"

#include <QStringList>

namespace core {

namespace po {

namespace {

bool parseField(QStringView field, int *value)
{
    if (field.isEmpty() || field.size() > 9)
        return false;
    *value = 0;
    for (const QChar c : field) {
        if (c < u'0' || c > u'9')
            return false;
        *value = *value * 10 + (c.unicode() - u'0');
    }
    return true;
}

} // namespace

int contextWidth(qint64 largest)
{
    int digits = 1;
    for (qint64 rest = largest; rest >= 10; rest /= 10)
        ++digits;
    return qMax(4, digits);
}

QString poContext(const PoPlace &place, const PoContextWidths &widths)
{
    return poContextPrefix(place.entry, place.section, widths)
           + QStringLiteral("%1").arg(place.line, widths.line, 10, QLatin1Char('0'));
}

QString poContextPrefix(int entry, int section, const PoContextWidths &widths)
{
    const QChar zero = QLatin1Char('0');
    return QStringLiteral("%1/%2/").arg(entry, widths.entry, 10, zero).arg(section, widths.section, 10, zero);
}

Result<PoPlace> parsePoContext(const QString &context)
{
    const QList<QStringView> fields = QStringView(context).split(u'/');
    int values[3] = {};
    if (fields.size() != 3 || !parseField(fields.at(0), &values[0]) || !parseField(fields.at(1), &values[1])
        || !parseField(fields.at(2), &values[2]))
        return Result<PoPlace>::failure(QStringLiteral("it names no line (entry/section/line)"));
    return Result<PoPlace>::success(PoPlace{values[0], values[1], values[2]});
}

} // namespace po

} // namespace core
