#pragma once

#include <QSettings>

// The user's settings of the editor (on Linux ~/.config/narcedit/narcedit.conf):
// what the window remembers from one start to the next.
inline QSettings editorSettings()
{
    return QSettings(QStringLiteral("narcedit"), QStringLiteral("narcedit"));
}
