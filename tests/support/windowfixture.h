#pragma once

#include "app/finddialog.h"
#include "app/mainwindow.h"
#include "app/mainwindow_form.h"
#include "app/replacedialog.h"
#include "narcfixture.h" // writeArchive

#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

// A window seen from inside (the probe is a friend of MainWindow) whose file
// dialogs and questions are answered by the test. Each file dialog is recorded in
// `asked` and takes the next of `answers` (none left: cancelled); each question is
// recorded in `questions` and takes the next of `replies` (none left: Cancel). The
// window starts by opening `path`, unless it is empty.
struct MainWindowProbe
{
    explicit MainWindowProbe(const QString &path)
        : ui(*window.ui)
    {
        window.chooseFile = [this](FileChoice choice, const QString &startIn) {
            asked.append(choice);
            startFolders.append(startIn);
            return answers.isEmpty() ? QString() : answers.takeFirst();
        };
        window.ask = [this](Question question, const QString &subject) {
            questions.append(question);
            subjects.append(subject);
            return replies.isEmpty() ? Answer::Cancel : replies.takeFirst();
        };
        if (!path.isEmpty())
            open(path);
    }

    MainWindow window;
    Ui::MainWindow &ui;
    QStringList answers;
    QList<FileChoice> asked;
    QStringList startFolders; // where each file dialog would have started
    QList<Answer> replies;
    QList<Question> questions;
    QStringList subjects; // what each question was about

    // Entry `index` of the File menu (separators count).
    QAction *menu(int index) const { return ui.menuFile->actions().at(index); }
    // Triggers entry `index` of the File menu, its file dialog answered with `answer`.
    void run(int index, const QString &answer)
    {
        answers = QStringList{answer};
        menu(index)->trigger();
    }
    void open(const QString &path) { run(0, path); }
    void saveText() { QTest::mouseClick(ui.pushButton, Qt::LeftButton); }
    void select(int entry, int section = -1)
    {
        ui.narcEntryIds->setCurrentIndex(entry);
        if (section >= 0)
            ui.typeIds->setCurrentIndex(section);
    }
    // Replaces the editor's whole text as typing over a selection of all would.
    void type(const QString &text)
    {
        QTextCursor cursor(ui.text->document());
        cursor.select(QTextCursor::Document);
        cursor.insertText(text);
    }
    // Shows the window and waits until it takes keys.
    bool activate()
    {
        window.show();
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }
    QList<core::NarcEntry> &entries() { return window.narc.files; }
    FindDialog &findDialog() const { return *window.findDialog; }
    ReplaceDialog &replaceDialog() const { return *window.replaceDialog; }
    // The child of `dialog` named `name` (the dialogs name their fields and buttons).
    template <typename T>
    static T *part(const QWidget &dialog, const char *name)
    {
        T *child = dialog.findChild<T *>(QLatin1String(name));
        if (!child)
            qFatal("no %s", name);
        return child;
    }
    bool unwritten() const { return window.isWindowModified(); }

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
    // The current entry and section: "0 1".
    QString place() const
    {
        return QStringLiteral("%1 %2").arg(ui.narcEntryIds->currentIndex()).arg(ui.typeIds->currentIndex());
    }
    // The editor's selected text and where it starts.
    QString selection() const
    {
        const QTextCursor cursor = ui.text->textCursor();
        return QStringLiteral("%1 at %2").arg(cursor.selectedText()).arg(cursor.selectionStart());
    }
    // What the slots change: lists, current items, editor and its cursor, log,
    // title, and last the bar's range and value with the label beside it.
    QStringList state() const
    {
        const QProgressBar *bar = ui.progressBar;
        return items(ui.narcEntryIds) + items(ui.typeIds)
               << place() << editor() << QString::number(ui.text->textCursor().position()) << log()
               << window.windowTitle() + (window.isWindowModified() ? QStringLiteral(" modified") : QString())
               << QStringLiteral("%1..%2 at %3 ").arg(bar->minimum()).arg(bar->maximum()).arg(bar->value())
                      + ui.label_2->text();
    }
};
