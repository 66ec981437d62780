#pragma once

#include "app/mainwindow.h"
#include "app/mainwindow_form.h"
#include "narc/narc.h"

#include <QTest>
#include <QTextDocument>

// The tests' view of the window's internals (a friend of MainWindow).
class MainWindowProbe
{
public:
    static Ui::MainWindow &ui(MainWindow &window) { return *window.ui; }
    static Narc &narc(MainWindow &window) { return window.narc; }
};

// A window whose file dialogs are answered by the test: each question is recorded
// in `asked` and takes the next of `answers` (none left: cancelled). Given a path,
// the window opens it.
class WindowFixture
{
public:
    explicit WindowFixture(const QString &path = QString())
        : ui(MainWindowProbe::ui(window))
    {
        window.chooseFile = [this](FileChoice choice) {
            asked.append(choice);
            return answers.isEmpty() ? QString() : answers.takeFirst();
        };
        if (!path.isEmpty())
            open(path);
    }

    MainWindow window;
    Ui::MainWindow &ui;
    QStringList answers;
    QList<FileChoice> asked;

    // Chooses the File menu's first entry, "Open Narc", answered with `path`.
    void open(const QString &path)
    {
        answers = QStringList{path};
        ui.menuFile->actions().at(0)->trigger();
    }
    void saveText() { QTest::mouseClick(ui.pushButton, Qt::LeftButton); }
    void select(int entry, int section = -1)
    {
        ui.narcEntryIds->setCurrentIndex(entry);
        if (section >= 0)
            ui.typeIds->setCurrentIndex(section);
    }
    QList<NarcEntry> &entries() { return MainWindowProbe::narc(window).files; }

    // Raw text, keeping no-break spaces, with lines ended by "\n".
    static QString text(const QPlainTextEdit *edit)
    {
        return edit->document()->toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    }
    QString log() const { return text(ui.report); }
    QString editor() const { return text(ui.text); }
    static QStringList items(const QComboBox *combo);
    // The twelve texts the form sets: title, File menu entries, labels, ...
    QStringList formTexts() const;
    // What the slots change besides label_2: lists, current items, editor, log, bar.
    QStringList state() const;
};

// Writes an archive holding `entries` to `path`; false on failure.
bool writeArchive(const QString &path, const QList<NarcEntry> &entries);
