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
        QFileDialog dialog(parent, QStringLiteral("Open Narc"), QString(), QString());
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilters({QStringLiteral("narc (*.narc)"), QStringLiteral("All (*)")});
        dialog.selectNameFilter(QStringLiteral("narc (*.narc)"));
        return runDialog(dialog);
    }
    case FileChoice::ExportFile: {
        // A save dialog: it asks before it lets an existing file be chosen.
        QFileDialog dialog(parent, QStringLiteral("Export all to File"), QString(), QString());
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        return runDialog(dialog);
    }
    case FileChoice::ExportPoTemplate: {
        QFileDialog dialog(parent, QStringLiteral("Export all to PO Template"), QString(), QString());
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        dialog.setNameFilters({QStringLiteral("PO template (*.pot)"), QStringLiteral("All (*)")});
        dialog.setDefaultSuffix(QStringLiteral("pot"));
        return runDialog(dialog);
    }
    case FileChoice::ImportPo: {
        QFileDialog dialog(parent, QStringLiteral("Import Translations from PO"), QString(), QString());
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilters({QStringLiteral("PO files (*.po)"), QStringLiteral("All (*)")});
        return runDialog(dialog);
    }
    case FileChoice::ExportDirectory:
    case FileChoice::ImportDirectory: {
        QFileDialog dialog(parent, choice == FileChoice::ExportDirectory ? QStringLiteral("Export all to Files")
                                                                          : QStringLiteral("Import all from files"));
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
        return runDialog(dialog);
    }
    }
    return QString();
}
