#pragma once

#include "report/lines.h"

#include <QList>
#include <QString>
#include <QStringView>

namespace core {

// The control escapes a translation must keep: the units its source shows as
// \xNNNN escapes (control codes, markers, the backslash, ...), which a PO
// template lists under "escapes to keep".

// The units an escaped line holds that show as escapes, in order, read by the
// codec's rules: a unit written as an escape that shows as itself ("\x0041") is
// no escape, a unit typed as itself that shows as an escape is one.
QList<quint16> escapedUnits(QStringView lineText);

// How the escapes of a text differ from those of its origin (the source line,
// or the same line of a reference archive). Units named in `ignored` (escapes
// that break lines, which a translation moves freely) are left out on both
// sides.
struct EscapeChange
{
    QList<quint16> missing;     // in the origin, not in the text (each surplus occurrence)
    QList<quint16> added;       // in the text, not in the origin
    QList<quint16> order;       // the text's escapes, when only their order changed
    QList<quint16> originOrder; // and the origin's

    bool changed() const { return !missing.isEmpty() || !added.isEmpty() || !order.isEmpty(); }
    // The words for a report line: "escapes differ from the source: missing \xfffe".
    QString text(EscapeOrigin origin) const;
};

EscapeChange compareEscapes(QStringView originLine, QStringView lineText, const QList<quint16> &ignored = {});

} // namespace core
