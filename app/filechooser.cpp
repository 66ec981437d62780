#include "filechooser.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
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

// A folder chooser that also takes a name that names nothing yet, as long as
// the folder it would go in exists.
// The toolkit's own dialog: its accept() and its button are widened here.
class NewFolderDialog : public QFileDialog
{
public:
    NewFolderDialog(QWidget *parent, const QString &caption, const QString &startIn)
        : QFileDialog(parent, caption, startIn)
    {
        setOption(QFileDialog::DontUseNativeDialog, true);
        setFileMode(QFileDialog::Directory);
        setOption(QFileDialog::ShowDirsOnly, true);
        // The dialog greys its button for a name that names nothing; once it
        // has, the button comes back for a new folder.
        auto *name = findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        auto *buttons = findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        if (name && buttons) {
            connect(
                name, &QLineEdit::textChanged, this,
                [this, buttons] {
                    if (isNewFolder())
                        if (QPushButton *choose = buttons->button(QDialogButtonBox::Open))
                            choose->setEnabled(true);
                },
                Qt::QueuedConnection);
        }
    }

    void accept() override
    {
        if (isNewFolder())
            QDialog::accept();
        else
            QFileDialog::accept();
    }

private:
    // Whether the one name chosen names nothing yet, in a folder that exists.
    bool isNewFolder() const
    {
        const QStringList chosen = selectedFiles();
        if (chosen.size() != 1)
            return false;
        const QFileInfo info(chosen.first());
        return !info.exists() && !info.isSymLink() && info.dir().exists();
    }
};

// An archive to open: a file, or a ROM image to choose one of its archives
// from. Both kinds show at first, so a folder holding only the game shows it.
QString chooseArchiveFile(QWidget *parent, const QString &caption, const QString &startIn)
{
    QFileDialog dialog(parent, caption, startIn, QString());
    dialog.setFileMode(QFileDialog::ExistingFile);
    const QString both = QStringLiteral("narc or DS ROM image (*.narc *.nds)");
    dialog.setNameFilters({both, QStringLiteral("narc (*.narc)"), QStringLiteral("DS ROM image (*.nds)"),
                           QStringLiteral("All (*)")});
    dialog.selectNameFilter(both);
    return runDialog(dialog);
}

} // namespace

QString chooseWithDialog(QWidget *parent, FileChoice choice, const QString &startIn)
{
    switch (choice) {
    case FileChoice::OpenArchive:
        return chooseArchiveFile(parent, QStringLiteral("Open Narc"), startIn);
    case FileChoice::OpenReference:
        return chooseArchiveFile(parent, QStringLiteral("Open Reference"), startIn);
    case FileChoice::ExportFile: {
        // A save dialog: it asks before it lets an existing file be chosen.
        QFileDialog dialog(parent, QStringLiteral("Export all to File"), startIn, QString());
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        return runDialog(dialog);
    }
    case FileChoice::ExportPoTemplate: {
        QFileDialog dialog(parent, QStringLiteral("Export all to PO Template"), startIn, QString());
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        dialog.setNameFilters({QStringLiteral("PO template (*.pot)"), QStringLiteral("All (*)")});
        dialog.setDefaultSuffix(QStringLiteral("pot"));
        return runDialog(dialog);
    }
    case FileChoice::ImportPo: {
        QFileDialog dialog(parent, QStringLiteral("Import Translations from PO"), startIn, QString());
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilters({QStringLiteral("PO files (*.po)"), QStringLiteral("All (*)")});
        return runDialog(dialog);
    }
    case FileChoice::ExportDirectory: {
        NewFolderDialog dialog(parent, QStringLiteral("Export all to Files"), startIn);
        return runDialog(dialog);
    }
    case FileChoice::ImportDirectory: {
        QFileDialog dialog(parent, QStringLiteral("Import all from files"), startIn);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
        return runDialog(dialog);
    }
    }
    return QString();
}
