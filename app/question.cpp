#include "question.h"

#include <QMessageBox>
#include <QPushButton>

Answer askWithDialog(QWidget *parent, Question question, const QString &subject)
{
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Warning);
    QPushButton *keep = nullptr;
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
    }
    QPushButton *discard = box.addButton(QStringLiteral("Discard"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(keep);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == keep)
        return Answer::Keep;
    if (box.clickedButton() == discard)
        return Answer::Discard;
    return Answer::Cancel;
}
