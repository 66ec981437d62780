#pragma once

#include "narc/narc.h"

#include <QByteArray>
#include <QString>

namespace core {

// The archive's bytes as a write produces them. Recomputes the layout in `narc`.
QByteArray serializeNarc(Narc &narc);

} // namespace core
