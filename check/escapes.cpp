#include "check/escapes.h"

#include "codec/escape.h"

#include <QHash>

#include <algorithm>

namespace core {

QList<quint16> escapedUnits(QStringView lineText)
{
    // The line shown again as the editor shows it: there every backslash starts
    // an escape.
    const QString shown = shownLineText(lineText);
    QList<quint16> escapes;
    for (qsizetype at = shown.indexOf(QLatin1Char('\\')); at >= 0; at = shown.indexOf(QLatin1Char('\\'), at + 6))
        escapes.append(quint16(hexQuad(shown.constData() + at + 2)));
    return escapes;
}

QString EscapeChange::text(EscapeOrigin origin) const
{
    return order.isEmpty() ? escapesDifferText(origin, missing, added)
                           : escapesReorderedText(origin, order, originOrder);
}

EscapeChange compareEscapes(QStringView originLine, QStringView lineText, const QList<quint16> &ignored)
{
    QList<quint16> origin = escapedUnits(originLine);
    QList<quint16> text = escapedUnits(lineText);
    const auto isIgnored = [&](quint16 unit) { return ignored.contains(unit); };
    origin.removeIf(isIgnored);
    text.removeIf(isIgnored);

    EscapeChange change;
    // (std::equal: QList's own == hands memcmp a null pointer for an empty list.)
    if (origin.size() == text.size() && std::equal(origin.cbegin(), origin.cend(), text.cbegin()))
        return change;
    // Each escape pairs with an equal one on the other side while there are
    // any; the rest are missing (from the origin) or added (in the text).
    const auto unpaired = [](const QList<quint16> &from, const QList<quint16> &other) {
        QHash<quint16, int> available;
        for (const quint16 unit : other)
            ++available[unit];
        QList<quint16> rest;
        for (const quint16 unit : from) {
            int &left = available[unit];
            if (left > 0)
                --left;
            else
                rest.append(unit);
        }
        return rest;
    };
    change.missing = unpaired(origin, text);
    change.added = unpaired(text, origin);
    if (!change.changed()) {
        change.order = text;
        change.originOrder = origin;
    }
    return change;
}

} // namespace core
