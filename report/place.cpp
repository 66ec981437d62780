#include "report/place.h"

#include "codec/messageheader.h"

namespace core {

QString pad4(int number)
{
    return QString::number(number).rightJustified(4, QLatin1Char('0'));
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

QStringList sectionNamesOf(const NarcEntry &entry)
{
    QStringList names;
    const int count = declaredSectionCount(entry);
    for (int s = 0; s < count; ++s)
        names.append(sectionName(s));
    return names;
}

QString placeInWords(int entry, int section)
{
    return QStringLiteral("entry ") + QString::number(entry) + QStringLiteral(", ") + sectionName(section);
}

QString placeInWords(const MessagePlace &place)
{
    return linePlacePrefix(place.entry, place.section) + QString::number(place.line);
}

QString linePlacePrefix(int entry, int section)
{
    return placeInWords(entry, section) + QStringLiteral(", line ");
}

} // namespace core
