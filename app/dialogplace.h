#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

// Where a tool dialog of `size` (its frame included) opens on `screen`, in
// global coordinates: beside `window` (right, left, below, above) when the screen
// has room there; else over the window, covering none of `avoid` when it can, or
// else none but the first of them, and so on (the first matters most); else at
// the screen's bottom right. Returns the top left corner of the frame.
QPoint placeDialog(QSize size, const QRect &screen, const QRect &window, const QList<QRect> &avoid);
