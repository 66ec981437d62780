#include "archivechooser.h"

#include <QInputDialog>
#include <QListView>

int chooseArchiveWithDialog(QWidget *parent, const QString &image, const QStringList &items)
{
    QInputDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Open Narc"));
    dialog.setLabelText(QStringLiteral("Archives in %1:").arg(image));
    dialog.setOption(QInputDialog::UseListViewForComboBoxItems, true);
    dialog.setComboBoxItems(items);
    dialog.setTextValue(items.value(0));
    // A double click on an archive chooses it, as in a file dialog.
    if (auto *list = dialog.findChild<QListView *>())
        QObject::connect(list, &QListView::doubleClicked, &dialog, &QDialog::accept);
    dialog.setModal(true);
    if (dialog.exec() != QDialog::Accepted)
        return -1;
    return int(items.indexOf(dialog.textValue()));
}
