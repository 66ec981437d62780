#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// Asks which archive of the ROM image `image` (its file name) to open, offering
// `items`, one line per archive as report/lines words it, message archives
// first. Returns the index of the one chosen, or -1 when the user cancelled. The
// window holds one of these beside its FileChooser so tests can answer in place
// of the user.
using ArchiveChooser = std::function<int(const QString &image, const QStringList &items)>;

// Shows the modal list of `items` with `parent` as its parent, the first chosen;
// OK, Enter or a double click on one chooses it.
int chooseArchiveWithDialog(QWidget *parent, const QString &image, const QStringList &items);
