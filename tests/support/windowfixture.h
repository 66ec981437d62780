#pragma once

#include "app/mainwindow.h"
#include "app/mainwindow_form.h"

#include <QTest>
#include <QTextDocument>

// A window seen from inside (the probe is a friend of MainWindow) whose file
// dialogs are answered by the test: each question is recorded in `asked` and takes
// the next of `answers` (none left: cancelled). The window starts by opening `path`.
struct MainWindowProbe
{
    explicit MainWindowProbe(const QString &path)
        : ui(*window.ui)
    {
        window.chooseFile = [this](FileChoice choice) {
            asked.append(choice);
            return answers.isEmpty() ? QString() : answers.takeFirst();
        };
        open(path);
    }

    MainWindow window;
    Ui::MainWindow &ui;
    QStringList answers;
    QList<FileChoice> asked;

    // Entry `index` of the File menu, which holds nothing else.
    QAction *menu(int index) const { return ui.menuFile->actions().at(index); }
    void open(const QString &path) { answers = QStringList{path}; menu(0)->trigger(); }
    void saveText() { QTest::mouseClick(ui.pushButton, Qt::LeftButton); }
    void select(int entry, int section = -1)
    {
        ui.narcEntryIds->setCurrentIndex(entry);
        if (section >= 0)
            ui.typeIds->setCurrentIndex(section);
    }
    QList<core::NarcEntry> &entries() { return window.narc.files; }

    // Raw text, keeping no-break spaces, with lines ended by "\n".
    static QString text(const QPlainTextEdit *edit)
    {
        return edit->document()->toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    }
    QString log() const { return text(ui.report); }
    QString editor() const { return text(ui.text); }
    static QStringList items(const QComboBox *combo)
    {
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items.append(combo->itemText(i));
        return items;
    }
    // The twelve texts the form sets: title, File menu entries, labels, ...
    QStringList formTexts() const
    {
        QStringList texts{window.windowTitle()};
        for (const QAction *action : ui.menuFile->actions())
            texts.append(action->text());
        return texts << ui.label->text() << ui.label_3->text() << ui.pushButton->text() << ui.progressBar->format()
                     << ui.label_2->text() << ui.menuFile->title();
    }
    // What the slots change: lists, current items, editor, log, and last the bar's
    // range and value with the label beside it.
    QStringList state() const
    {
        const QProgressBar *bar = ui.progressBar;
        return items(ui.narcEntryIds) + items(ui.typeIds)
               << QStringLiteral("%1 %2").arg(ui.narcEntryIds->currentIndex()).arg(ui.typeIds->currentIndex())
               << editor() << log()
               << QStringLiteral("%1..%2 at %3 ").arg(bar->minimum()).arg(bar->maximum()).arg(bar->value())
                      + ui.label_2->text();
    }
};

// Writes an archive holding `entries` to `path`; false on failure.
bool writeArchive(const QString &path, const QList<core::NarcEntry> &entries);
