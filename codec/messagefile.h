#pragma once

#include "base/result.h"
#include "narc/narc.h"

#include <QList>
#include <QStringList>

namespace core {

// A new message file holding `sections`, each a list of escaped lines, all of the
// same length. Line i of section s is scrambled with lineKeys[s][i] and carries
// lineAttributes[s][i] (0 where that list is shorter). The head gives section 0's
// block size and a reserved word of 0; the blocks follow it back to back. Fails
// when the lists do not fit together or a line cannot be stored.
Result<NarcEntry> newMessageFile(const QList<QStringList> &sections, const QList<QList<quint16>> &lineKeys,
                                 const QList<QList<quint16>> &lineAttributes = {});

} // namespace core
