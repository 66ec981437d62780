#pragma once

#include "app/mainwindow.h"
#include "app/mainwindow_form.h"
#include "narc/narc.h"

#include <QList>
#include <QString>
#include <QStringList>

class QAction;

// The tests' view of the window's internals (a friend of MainWindow).
class MainWindowProbe
{
public:
    static Ui::MainWindow &ui(MainWindow &window) { return *window.ui; }
    static Narc &narc(MainWindow &window) { return window.narc; }
    static QString &narcPath(MainWindow &window) { return window.narcPath; }
    static const QList<quint16> &lineKeys(MainWindow &window) { return window.lineKeys; }
    static const QList<quint16> &lineAttributes(MainWindow &window) { return window.lineAttributes; }

    static QStringList decodeSection(MainWindow &window, int entryIndex, int section)
    {
        return window.decodeSection(entryIndex, section);
    }
    static void composeEntry(MainWindow &window, const QString &text, int entryIndex, int section)
    {
        window.composeEntry(text, entryIndex, section);
    }
    static void appendReport(MainWindow &window, const QString &message) { window.appendReport(message); }

    // The names of the window's slots that `action`'s triggered() reaches.
    static QStringList slotsStartedBy(MainWindow &window, QAction *action);
};

// A window whose file dialogs are answered by the test: each question takes the
// next of `answers` (none left: cancelled) and is recorded in `asked`.
class WindowFixture
{
public:
    WindowFixture();

    MainWindow window;
    Ui::MainWindow &ui;
    QStringList answers;
    QList<FileChoice> asked;

    // Chooses "Open Narc" with `path` as the answer.
    void open(const QString &path);
    // Chooses "Open Narc" and cancels the dialog.
    void cancelOpen();
    // Chooses "Write To Narc".
    void write();
    // Clicks "Save Text".
    void saveText();
    // Selects entry `entry`, then section `section` when given.
    void select(int entry, int section = -1);

    QString log() const;
    QString editorText() const;
    QStringList entryItems() const;
    QStringList typeItems() const;
};

// Writes an archive holding `entries` to `path`; false on failure.
bool writeArchive(const QString &path, const QList<NarcEntry> &entries);

// An entry's bytes as a byte array, and back.
QByteArray entryBytes(const NarcEntry &entry);
NarcEntry toEntry(const QByteArray &bytes);
