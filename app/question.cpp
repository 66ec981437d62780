#include "question.h"

#include <QMessageBox>
#include <QPushButton>

QString editedTreeSubject(int count, const QString &folder)
{
    return count == 1 ? QStringLiteral("1 file in %1 differs").arg(folder)
                      : QStringLiteral("%1 files in %2 differ").arg(count).arg(folder);
}

Answer askWithDialog(QWidget *parent, Question question, const QString &subject)
{
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Warning);
    QPushButton *keep = nullptr;
    QString discardText = QStringLiteral("Discard");
    switch (question) {
    case Question::UnsavedText:
        box.setWindowTitle(QStringLiteral("Unsaved Text"));
        box.setText(QStringLiteral("The text of %1 has changes that were not saved with \"Save Text\".").arg(subject));
        keep = box.addButton(QStringLiteral("Save Text"), QMessageBox::AcceptRole);
        break;
    case Question::UnwrittenChanges:
        box.setWindowTitle(QStringLiteral("Unwritten Changes"));
        box.setText(QStringLiteral("%1 has changes that were not written with \"Write To Narc\".").arg(subject));
        keep = box.addButton(QStringLiteral("Write To Narc"), QMessageBox::AcceptRole);
        break;
    case Question::EditedTree:
        box.setWindowTitle(QStringLiteral("Edited Files"));
        box.setText(QStringLiteral("%1 from the archive and would be replaced.").arg(subject));
        discardText = QStringLiteral("Replace");
        break;
    case Question::ChangedOnDisk:
        box.setWindowTitle(QStringLiteral("Changed on Disk"));
        box.setText(QStringLiteral("%1 changed on disk since it was opened. Writing replaces what the other "
                                   "program wrote.")
                        .arg(subject));
        discardText = QStringLiteral("Overwrite");
        break;
    }
    QPushButton *discard = box.addButton(discardText, QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    // Where nothing is kept, Cancel is the safe default.
    box.setDefaultButton(keep ? keep : cancel);
    box.setEscapeButton(cancel);
    box.exec();
    if (keep && box.clickedButton() == keep)
        return Answer::Keep;
    if (box.clickedButton() == discard)
        return Answer::Discard;
    return Answer::Cancel;
}
