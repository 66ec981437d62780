#pragma once

#include <QSize>

namespace Ui {
class MainWindow;
}

// The window's first size, at which every widget stands where the form puts it.
inline constexpr QSize formSize(698, 582);

// The smallest window size at which nothing of the form is cut off.
QSize formMinimumSize();

// Places the form's widgets for a window of `windowSize`. At formSize() they stand
// exactly where the form puts them; a larger window gives the extra width to the
// editor and the log (the progress bar keeps to their right edge) and the extra
// height to the editor (three fifths) and the log (the rest), the status line and
// the bar moving down between them. A smaller window shrinks them the same way,
// down to formMinimumSize(). The labels, combo boxes and "Save Text" never move.
void fitForm(Ui::MainWindow &ui, QSize windowSize);
