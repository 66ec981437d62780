#include "formlayout.h"

#include "app/mainwindow_form.h"

QSize formMinimumSize()
{
    // Narrower, "Save Text" would soon be cut off; lower, the editor would show
    // fewer than about six lines and the log fewer than four.
    return formSize - QSize(70, 230);
}

namespace {

// What stands in the editor's place: the editor, or the splitter that holds it
// beside the reference (app/referencepane.h).
QWidget *editorPlace(Ui::MainWindow &ui)
{
    QWidget *holder = ui.text->parentWidget();
    return holder && holder != ui.centralWidget ? holder : ui.text;
}

} // namespace

void fitForm(Ui::MainWindow &ui, QSize windowSize)
{
    const QSize size = windowSize.expandedTo(formMinimumSize());
    const int extraWidth = size.width() - formSize.width();
    const int extraHeight = size.height() - formSize.height();
    const int editorExtra = extraHeight * 3 / 5;
    const int logExtra = extraHeight - editorExtra;

    editorPlace(ui)->setGeometry(QRect(40, 70, 581 + extraWidth, 241 + editorExtra));
    ui.label_2->setGeometry(QRect(60, 330 + editorExtra, 191, 21));
    ui.progressBar->setGeometry(QRect(360 + extraWidth, 330 + editorExtra, 221, 23));
    ui.report->setGeometry(QRect(40, 360 + editorExtra, 581 + extraWidth, 161 + logExtra));
}
