#include "po/pocontext.h"

#include <QStringList>

namespace core {

namespace po {

namespace {

std::optional<int> parseField(QStringView field)
{
    if (field.isEmpty() || field.size() > 9)
        return std::nullopt;
    int value = 0;
    for (const QChar c : field) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
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
    const QChar zero = QLatin1Char('0');
    return QStringLiteral("%1/%2/%3")
        .arg(place.entry, widths.entry, 10, zero)
        .arg(place.section, widths.section, 10, zero)
        .arg(place.line, widths.line, 10, zero);
}

std::optional<PoPlace> parsePoContext(const QString &context)
{
    const QList<QStringView> fields = QStringView(context).split(u'/');
    if (fields.size() != 3)
        return std::nullopt;
    const std::optional<int> entry = parseField(fields.at(0));
    const std::optional<int> section = parseField(fields.at(1));
    const std::optional<int> line = parseField(fields.at(2));
    if (!entry || !section || !line)
        return std::nullopt;
    return PoPlace{*entry, *section, *line};
}

QString sectionName(int section)
{
    switch (section) {
    case 0:
        return QStringLiteral("Hiragana");
    case 1:
        return QStringLiteral("Kanji");
    default:
        return QStringLiteral("section ") + QString::number(section);
    }
}

QString placeInWords(const PoPlace &place)
{
    return QStringLiteral("entry %1, %2, line %3").arg(place.entry).arg(sectionName(place.section)).arg(place.line);
}

} // namespace po

} // namespace core
