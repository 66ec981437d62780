#include "filechooser.h"

#include <QFileDialog>
#include <QStringList>


namespace {

QString runDialog(QFileDialog &dialog)
{
    dialog.setModal(true);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
}

} // namespace

QString chooseWithDialog(QWidget *parent, FileChoice choice)
{
    switch (choice) {
    case FileChoice::OpenArchive: {
        QFileDialog dialog(parent, QString(), QString(), QString());
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilters({QStringLiteral("narc (*.narc)"), QStringLiteral("All (*)")});
        dialog.selectNameFilter(QStringLiteral("narc (*.narc)"));
        return runDialog(dialog);
    }
    case FileChoice::ExportFile: {
        QFileDialog dialog(parent, QString(), QString(), QString());
        dialog.setFileMode(QFileDialog::AnyFile);
        return runDialog(dialog);
    }
    case FileChoice::ExportDirectory:
    case FileChoice::ImportDirectory: {
        QFileDialog dialog(parent);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
        return runDialog(dialog);
    }
    }
    return QString();
}
