// The window: its File menu, opening and writing archives, the log, browsing
// and saving entries, the questions before anything is dropped or replaced, the
// bulk commands, keys and focus, the command line, drops, find and replace.

#include "app/commandline.h"
#include "app/formlayout.h"
#include "codec/decode.h"
#include "support/filesizelimit.h"
#include "support/messagefixture.h"
#include "support/narcfixture.h"
#include "support/process.h"
#include "support/rows.h"
#include "support/windowfixture.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>

#include <memory>

using namespace core;

namespace {

const QString nbsp = QString(QChar(0x00A0));

// Entry 0 holds two sections, entry 1 one, with a no-break space and a backslash.
QList<NarcEntry> sampleEntries()
{
    return {buildMessageFile(QList<QStringList>{{"first line", "second"}, {"kanji one", ""}}),
            buildMessageFile(QList<QStringList>{{"a" + nbsp + "b\\c", "b", "c"}})};
}

// How the user moves away from entry 0, section 0.
enum class Move { EntryByKey, EntryByShortcut, SectionByWheel };

void wheelDown(QWidget *widget)
{
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    QWheelEvent wheel(at, widget->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(widget, &wheel);
}

// Drags `file` onto `target` and drops it there; true when both were accepted.
bool dropFile(QWidget *target, const QString &file)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(file)});
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &dropped);
    return enter.isAccepted() && dropped.isAccepted();
}

} // namespace

Q_DECLARE_METATYPE(Move)
Q_DECLARE_METATYPE(Answer)

// Every test starts with sampleEntries() in `path`, beside the empty tree
// folders 0000 and 0001.
class WindowTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    QString root, path, loaded, other; // other: b.narc, one line "other"

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        root = dir->path() + "/";
        path = root + "a.narc";
        loaded = "Loaded " + path + "\n";
        other = root + "b.narc";
        QVERIFY(writeArchive(path, sampleEntries()));
        QVERIFY(writeArchive(other, {buildMessageFile(QList<QStringList>{{"other"}})}));
        QVERIFY(QDir(root).mkpath("0000") && QDir(root).mkpath("0001"));
    }

    // Each entry of the File menu that opens a dialog opens its own, in the
    // archive's folder; cancelled, it changes nothing. A language change keeps
    // the title naming the archive.
    void menuCancelled()
    {
        MainWindowProbe f(path);
        f.select(0, 1);
        f.ui.progressBar->setValue(42);
        const QStringList before = f.state();
        for (int entry : {2, 3, 4, 5, 6})
            f.menu(entry)->trigger();
        QCOMPARE(f.asked,
                 (QList<FileChoice>{FileChoice::OpenArchive, FileChoice::ExportDirectory, FileChoice::ImportDirectory,
                                    FileChoice::ExportFile, FileChoice::ExportPoTemplate, FileChoice::ImportPo}));
        QCOMPARE(f.startFolders, QStringList{QString()} + QStringList(5, dir->path())); // none before the first
        QCOMPARE(f.state(), before);

        QEvent change(QEvent::LanguageChange);
        QCoreApplication::sendEvent(&f.window, &change);
        QCOMPARE(f.state(), before);
        QCOMPARE(f.window.windowFilePath(), path);
    }

    // A failed or cancelled open keeps everything as it was, unsaved text too; a
    // failed write leaves the file as it was. A file another program changed
    // since it was opened is replaced only when the user answers "Overwrite".
    void openAndWrite()
    {
        const QByteArray original = readFileBytes(path);
        const QString bad = root + "bad.narc";
        QVERIFY(writeFileBytes(bad, "just some text\n"));
        MainWindowProbe f(path);
        f.select(0, 1);
        f.type("typed");
        f.ui.text->moveCursor(QTextCursor::Start);
        QStringList before = f.state();
        f.replies = {Answer::Discard}; // asked first; a file that then fails to load discards nothing
        f.open(bad);
        QCOMPARE(f.state().mid(0, 7), before.mid(0, 7));
        f.open(QString());
        before[7] += "Failed to load " + bad + ": why\n";
        QCOMPARE(f.state().replaceInStrings(QRegularExpression(": [^\n]+\n"), ": why\n"), before);
        QCOMPARE(f.questions, QList<Question>{Question::UnsavedText});

        {
            const FileSizeLimit limit(64);
            f.menu(1)->trigger();
        }
        QCOMPARE(readFileBytes(path), original);
        QVERIFY(writeFileBytes(path, "overwritten"));
        f.questions.clear();
        f.menu(1)->trigger(); // Cancel
        QCOMPARE(f.questions, QList<Question>{Question::ChangedOnDisk});
        QCOMPARE(readFileBytes(path), QByteArray("overwritten"));
        f.replies = {Answer::Discard}; // "Overwrite"
        f.menu(1)->trigger();
        QCOMPARE(readFileBytes(path), original);
        QVERIFY(!f.unwritten());
        QCOMPARE(QDir(root).entryList(QDir::Files | QDir::Hidden), (QStringList{"a.narc", "b.narc", "bad.narc"}));

        // Each failure gives its reason.
        QCOMPARE(f.log().replace(QRegularExpression(": .+\n"), ": why\n"),
                 loaded + "Failed to load " + bad + ": why\nFailed to write " + path + ": why\nFinished writing " + path
                     + "\n");

        // An archive without entries leaves nothing of the old one on show.
        const QString empty = root + "empty.narc";
        QVERIFY(writeArchive(empty, {}));
        f.replies = {Answer::Discard};
        f.open(empty);
        QCOMPARE(f.state().mid(0, 3), (QStringList{"-1 -1", "", "0"}));
        QCOMPARE(f.window.windowTitle(), "empty.narc[*] - MainWindow");
        QVERIFY(f.ui.text->isReadOnly());
    }

    // Reopening the open archive: asked first, then read, so an answer "Write
    // To Narc" shows what it just wrote, and the archive counts as written.
    void reopenAfterWrite()
    {
        MainWindowProbe f(path);
        f.type("saved\nsecond");
        f.saveText();
        f.replies = {Answer::Keep};
        f.open(path);
        QCOMPARE(f.questions, QList<Question>{Question::UnwrittenChanges});
        QCOMPARE(f.editor(), "saved\nsecond");
        QVERIFY(!f.unwritten());
        f.menu(1)->trigger();
        QCOMPARE(MainWindowProbe(path).editor(), "saved\nsecond");
    }

    // Discard to the text, then Cancel to the changes: the whole action is
    // undone. The editor keeps the typed text, unsaved: Write To Narc writes
    // without it, and the next action asks about it again.
    void discardThenCancel_data()
    {
        QTest::addColumn<QString>("action");
        for (const char *action : {"close", "open", "drop"})
            QTest::newRow(action) << action;
    }
    void discardThenCancel()
    {
        QFETCH(QString, action);
        MainWindowProbe f(path);
        f.window.show();
        f.type("saved\nsecond");
        f.saveText();
        f.type("typed\nsecond");
        f.replies = {Answer::Discard, Answer::Cancel};
        if (action == "close")
            f.window.close();
        else if (action == "open")
            f.open(other);
        else
            QVERIFY(dropFile(&f.window, other));
        QTRY_COMPARE(f.questions, (QList<Question>{Question::UnsavedText, Question::UnwrittenChanges}));
        QVERIFY(f.window.isVisible());
        QCOMPARE(f.editor(), "typed\nsecond");
        QCOMPARE(f.window.windowTitle(), "a.narc[*] - MainWindow");

        f.menu(1)->trigger();
        QCOMPARE(MainWindowProbe(path).editor(), "saved\nsecond");
        f.questions.clear();
        f.window.close();
        QCOMPARE(f.questions, QList<Question>{Question::UnsavedText});
        QVERIFY(f.window.isVisible());
    }

    // Edit entry 0's first section, then move away as the user would: the question
    // comes once, and each answer does what it says.
    void unsavedTextAsks_data()
    {
        QTest::addColumn<Move>("move");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<Answer>("reply");
        QTest::addColumn<bool>("moved");
        QTest::addColumn<bool>("stored");
        const QList<QPair<const char *, Move>> moves = {{"entry by key", Move::EntryByKey},
                                                        {"entry by Ctrl+PgDown", Move::EntryByShortcut},
                                                        {"section by wheel", Move::SectionByWheel}};
        for (const auto &[name, move] : moves) {
            const QString edited = "edited line\nsecond";
            QTest::addRow("%s, cancel", name) << move << edited << Answer::Cancel << false << false;
            QTest::addRow("%s, discard", name) << move << edited << Answer::Discard << true << false;
            QTest::addRow("%s, save", name) << move << edited << Answer::Keep << true << true;
            QTest::addRow("%s, save refused", name) << move << "one line" << Answer::Keep << false << false;
        }
    }
    void unsavedTextAsks()
    {
        QFETCH(Move, move);
        QFETCH(QString, typed);
        QFETCH(Answer, reply);
        QFETCH(bool, moved);
        QFETCH(bool, stored);

        MainWindowProbe f(path);
        QVERIFY(f.activate());
        const QList<NarcEntry> original = f.entries();
        f.ui.text->setFocus();
        f.type(typed);
        f.ui.text->moveCursor(QTextCursor::Start);
        f.ui.text->moveCursor(QTextCursor::Right);
        const QStringList before = f.state();
        f.replies = {reply};

        switch (move) {
        case Move::EntryByKey:
            QTest::keyClick(f.ui.narcEntryIds, Qt::Key_Down);
            break;
        case Move::EntryByShortcut:
            QTest::keyClick(f.ui.text, Qt::Key_PageDown, Qt::ControlModifier);
            break;
        case Move::SectionByWheel:
            wheelDown(f.ui.typeIds);
            break;
        }
        QCOMPARE(f.questions, QList<Question>{Question::UnsavedText});

        const bool byEntry = move != Move::SectionByWheel;
        const QString target = byEntry ? "a" + nbsp + "b\\x005cc\nb\nc" : "kanji one\n";
        if (moved) {
            QCOMPARE(f.editor(), target);
            QCOMPARE(f.ui.narcEntryIds->currentIndex(), byEntry ? 1 : 0);
        } else {
            QStringList now = f.state();
            if (typed == "one line")
                QCOMPARE(now[7].remove(loaded), "Skipping 0000/0000 due to too few lines\n");
            now[7] = before[7];
            QCOMPARE(now, before); // combo boxes back, text as typed, cursor where it was
        }
        QCOMPARE(f.entries() != original, stored);
        QCOMPARE(f.unwritten(), stored);
        if (stored) {
            f.select(0, 0);
            QCOMPARE(f.editor(), typed);
        }
        QCOMPARE(f.questions.size(), 1);
    }

    // What does not count as a change, and what Save Text keeps.
    void unchangedText()
    {
        MainWindowProbe f(path);
        QVERIFY(f.activate());
        f.ui.text->setFocus();
        QTest::keyClicks(f.ui.text, "abc");
        for (int i = 0; i < 3; ++i)
            f.ui.text->undo();
        QTest::keyClicks(f.ui.text, "x");
        QTest::keyClick(f.ui.text, Qt::Key_Backspace);
        f.select(1);
        QVERIFY(f.questions.isEmpty());

        // Saved text is kept: moving on asks nothing, and the archive holds it.
        QTest::keyClicks(f.ui.text, "z");
        QTest::keyClick(f.ui.text, Qt::Key_Return, Qt::ControlModifier); // Save Text
        QVERIFY(f.unwritten());
        f.select(0);
        QVERIFY(f.questions.isEmpty());
        f.select(1);
        QCOMPARE(f.editor(), "za" + nbsp + "b\\x005cc\nb\nc");
        QTest::keyClick(f.ui.text, Qt::Key_PageUp, Qt::ControlModifier);
        QCOMPARE(f.ui.narcEntryIds->currentIndex(), 0);
        QTest::keyClick(f.ui.text, Qt::Key_PageUp, Qt::ControlModifier); // no entry before the first
        QCOMPARE(f.ui.narcEntryIds->currentIndex(), 0);
    }

    void browsingAndSaving()
    {
        NarcEntry broken = buildMessageFile(QList<QStringList>{{"fine"}, {"lost"}});
        broken[16] = broken[17] = char(0x7f); // section 1 far past the end
        const QList<NarcEntry> entries = sampleEntries() << NarcEntry(0x1a4, '\0') << NarcEntry() << broken
                                                         << buildMessageFile(QList<QStringList>{{"1"}, {"2"}, {"3"}});
        QVERIFY(writeArchive(path, entries));
        MainWindowProbe f(path);
        QCOMPARE(f.items(f.ui.narcEntryIds).mid(2, 2), (QStringList{"2 - 1a4", "3 - 0"}));

        // "Kanji" is offered for a second section; discarded edits are dropped;
        // unedited text, with a no-break space and a backslash, is saved byte for byte.
        f.saveText();
        QVERIFY(!f.unwritten());
        f.type("dropped");
        f.replies = {Answer::Discard};
        f.select(0, 1);
        QCOMPARE(f.editor(), "kanji one\n");
        f.saveText();
        f.type("dropped");
        f.replies = {Answer::Discard};
        for (const auto &[entry, shown] :
             QList<QPair<int, QString>>{{2, ""}, {3, ""}, {1, "a" + nbsp + "b\\x005cc\nb\nc"}}) {
            f.select(entry);
            QCOMPARE(f.items(f.ui.typeIds), QStringList{"Hiragana"});
            QCOMPARE(f.editor(), shown);
            QCOMPARE(f.ui.text->isReadOnly(), entry != 1); // no section there to save into
        }
        QCOMPARE(f.questions.size(), 2);
        f.saveText();
        f.type("only\ntwo lines");
        f.saveText();
        f.replies = {Answer::Discard};
        f.select(4);
        f.select(5, 2); // "Type" offers the sections the header counts
        QCOMPARE(f.items(f.ui.typeIds).size(), 3);
        QCOMPARE(f.editor(), "3");
        QCOMPARE(f.entries(), entries);
        QCOMPARE(f.log().replace(QRegularExpression(": .+\n"), ": why\n"),
                 loaded + "Skipping 0000/0001 due to too few lines\nCannot decode section 0 of entry 4: why\n");

        // What Save Text stored is what Write To Narc writes.
        const QString edited = "a rather longer first line\nx" + nbsp + "y";
        f.select(0);
        f.type(edited);
        f.saveText();
        QCOMPARE(f.ui.narcEntryIds->itemText(0), "0 - " + QString::number(f.entries().at(0).size(), 16));
        f.menu(1)->trigger();
        QCOMPARE(MainWindowProbe(path).editor(), edited);
    }

    // Closing (File > Quit closes the window too) with unsaved text and
    // unwritten changes: each answer.
    void close_data()
    {
        QTest::addColumn<bool>("edit");
        QTest::addColumn<QList<Answer>>("replies");
        QTest::addColumn<bool>("failWrite");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<QString>("onDisk"); // a.narc's entry 0, section 0, at the end
        const QString original = "first line\nsecond", saved = "saved\nsecond";
        row("nothing changed", false, QList<Answer>{}, false, true, original);
        row("write", false, QList<Answer>{Answer::Keep}, false, true, saved);
        row("write fails", false, QList<Answer>{Answer::Keep}, true, false, original);
        row("discard", false, QList<Answer>{Answer::Discard}, false, true, original);
        row("cancel", false, QList<Answer>{Answer::Cancel}, false, false, original);
        row("text: cancel", true, QList<Answer>{Answer::Cancel}, false, false, original);
        row("text: save, then write", true, QList<Answer>{Answer::Keep, Answer::Keep}, false, true, "typed\nsecond");
        row("text: discard, then write", true, QList<Answer>{Answer::Discard, Answer::Keep}, false, true, saved);
    }
    void close()
    {
        QFETCH(bool, edit);
        QFETCH(QList<Answer>, replies);
        QFETCH(bool, failWrite);
        QFETCH(bool, closed);
        QFETCH(QString, onDisk);

        MainWindowProbe f(path);
        f.window.show();
        if (QTest::currentDataTag() != QByteArray("nothing changed")) {
            f.type("saved\nsecond");
            f.saveText();
        }
        if (edit)
            f.type("typed\nsecond");
        f.replies = replies;
        {
            std::unique_ptr<FileSizeLimit> limit(failWrite ? new FileSizeLimit(64) : nullptr);
            f.window.close();
        }
        QCOMPARE(f.window.isVisible(), !closed);
        QCOMPARE(f.questions.size(), replies.size());
        if (edit && !closed)
            QCOMPARE(f.editor(), "typed\nsecond");
        QCOMPARE(MainWindowProbe(path).editor(), onDisk);
    }

    // Exports, then an import over the exported tree: the log, the bar and its
    // label, the title's marker once the import changed the archive, and the
    // entry and section shown before it still on screen, showing the new text.
    void bulk()
    {
        QVERIFY(QDir(root + "0000").removeRecursively() && QDir(root + "0001").removeRecursively());
        MainWindowProbe f(path);
        f.select(0, 1);
        f.run(2, root + "tree"); // makes tree/, tree/0000 and tree/0001
        QCOMPARE(f.state().last(), "0..1 at 1 Finished Exporting!");
        QCOMPARE(readFileBytes(root + "tree/0000/0001.txt"), ("a" + nbsp + "b\\x005cc\nb\nc").toUtf8());
        f.run(4, root + "all.txt");
        QVERIFY(readFileBytes(root + "all.txt").contains("****Entry 0: Section 1:\nkanji one\n****Entry 1:"));

        // An import of what was exported changes nothing.
        f.run(3, root + "tree");
        QVERIFY(!f.unwritten());

        QVERIFY(writeFileBytes(root + "tree/0000/0000.txt", "only one line"));
        QVERIFY(writeFileBytes(root + "tree/0001/0000.txt", "new kanji\nline"));
        QVERIFY(QFile::remove(root + "tree/0000/0001.txt"));
        f.type("typed\nhere"); // asked about first; Cancel imports nothing
        f.run(3, root + "tree");
        QCOMPARE(f.questions, QList<Question>{Question::UnsavedText});
        QCOMPARE(f.editor(), "typed\nhere");
        QCOMPARE(f.entries(), sampleEntries());
        f.replies = {Answer::Discard};
        f.ui.report->clear();
        f.run(3, root + "tree");
        const QString tree = root + "tree/";
        QCOMPARE(f.log(), "Importing from directory " + tree + "\nSkipping 0000/0000 due to too few lines\n"
                              + "Failed to import from file: " + tree + "0000/0001.txt\n"
                              + "Finished importing from directory " + tree + "\n");
        QCOMPARE(f.state().last(), "0..1 at 1 Finished Importing!");
        QVERIFY(f.unwritten());
        QCOMPARE(f.place(), "0 1"); // where it was, not where the import ended
        QCOMPARE(f.items(f.ui.typeIds).size(), 2);
        QCOMPARE(f.editor(), "new kanji\nline");
        QVERIFY(!f.ui.text->isReadOnly());
        f.saveText(); // must not put back what the import replaced
        QCOMPARE(decodeMessageSection(f.entries().at(0), 1).lines, (QStringList{"new kanji", "line"}));
        QCOMPARE(f.questions.size(), 2);
    }

    // Exports that must not run: over the open archive, or into a tree whose
    // folder cannot be made.
    void exportRefused()
    {
        MainWindowProbe f(path);
        const QByteArray original = readFileBytes(path);
        QVERIFY(QFile::link(path, root + "link.narc"));
        for (const QString &target : {path, root + "link.narc", root + "./a.narc"}) {
            f.run(4, target);
        }
        QCOMPARE(readFileBytes(path), original);

        QVERIFY(QDir(root + "0001").removeRecursively() && writeFileBytes(root + "0001", "a file"));
        f.run(2, dir->path());
        QCOMPARE(f.log().remove(loaded),
                 "Failed to export to file " + path + ": it is the archive being edited\n"
                 "Failed to export to file " + root + "link.narc: it is the archive being edited\n"
                 "Failed to export to file " + root + "./a.narc: it is the archive being edited\n"
                 "Failed to export to directory " + root + ": cannot create the directory " + root
                     + "0001 (Not a directory)\n");
        QCOMPARE(f.state().last(), "0..100 at 0 Not Active");
    }

    // An export into a tree whose files were edited since asks first: Cancel
    // keeps the edits, "Replace" writes the archive's text over them.
    void editedTree()
    {
        MainWindowProbe f(path);
        const QString tree = root + "tree", file = tree + "/0000/0001.txt";
        f.run(2, tree);
        QVERIFY(writeFileBytes(file, "edited"));
        f.run(2, tree);
        QCOMPARE(f.questions, QList<Question>{Question::EditedTree});
        QCOMPARE(f.subjects, QStringList{"1 file in " + tree + " differs"});
        QCOMPARE(readFileBytes(file), "edited");
        f.replies = {Answer::Discard};
        f.run(2, tree);
        QCOMPARE(readFileBytes(file), ("a" + nbsp + "b\\x005cc\nb\nc").toUtf8());
    }

    // Clicks and keys made while a run goes are dropped, not replayed after it.
    void inputDuringRunDropped()
    {
        MainWindowProbe f(path);
        QVERIFY(f.activate());
        f.type("first line\nchanged");
        f.replies = {Answer::Keep};
        const QPoint middle = f.ui.pushButton->rect().center();
        const QPointF global = f.ui.pushButton->mapToGlobal(middle);
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QCoreApplication::postEvent(f.ui.pushButton, new QMouseEvent(type, middle, global, Qt::LeftButton,
                                                                         Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(f.ui.text, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"));
        QCoreApplication::postEvent(&f.window, new QCloseEvent);
        f.run(2, dir->path());
        QCoreApplication::processEvents();
        QCOMPARE(f.editor(), "first line\nchanged");
        QCOMPARE(f.entries(), sampleEntries());
        QVERIFY(f.window.isVisible());
        QVERIFY(f.questions.isEmpty());
        f.saveText(); // input reaches the window again
        QVERIFY(f.unwritten());
    }

    // The folder chooser of Export all to Files, the real one, takes the name
    // of a folder that does not exist yet, typed and chosen with its button.
    void exportChooserTakesNewFolder()
    {
        int step = 0;
        QTimer driver;
        connect(&driver, &QTimer::timeout, this, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                box->reject(); // "Directory not found": the name was refused
            } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
                if (step == 0)
                    MainWindowProbe::part<QLineEdit>(*dialog, "fileNameEdit")->setText("new");
                else if (step == 1) // after this tick: a refusal's message box comes here
                    QMetaObject::invokeMethod(
                        MainWindowProbe::part<QDialogButtonBox>(*dialog, "buttonBox")->button(QDialogButtonBox::Open),
                        &QAbstractButton::click, Qt::QueuedConnection);
                else
                    dialog->reject();
                ++step;
            }
        });
        driver.start(20);
        QCOMPARE(chooseWithDialog(nullptr, FileChoice::ExportDirectory, dir->path()), root + "new");
    }

    // Tab and Ctrl+Tab leave the editor instead of typing a tab, Alt+F opens the
    // File menu instead of typing "f". The find and replace dialogs open by
    // their shortcuts on the screen, where they cover neither the editor's
    // current line nor the log, also after a jump (F3 works in the find dialog
    // too). Save Text gives the keyboard back to the editor; then the File
    // menu's shortcuts.
    void keys()
    {
        MainWindowProbe f(path);
        QVERIFY(f.activate());
        const QString shown = f.editor();
        for (const Qt::KeyboardModifier modifier : {Qt::NoModifier, Qt::ControlModifier}) {
            f.ui.text->setFocus();
            QTest::keyClick(f.ui.text, Qt::Key_Tab, modifier);
            QCOMPARE(f.editor(), shown);
            QVERIFY(!f.ui.text->hasFocus());
        }
        f.ui.text->setFocus();
        QTest::keyClick(f.ui.text, Qt::Key_F, Qt::AltModifier);
        QCOMPARE(f.editor(), shown);
        QTRY_VERIFY(f.ui.menuFile->isVisible());
        f.ui.menuFile->close();

        const QRect screen = f.window.screen()->availableGeometry();
        f.window.setGeometry(QRect(screen.topLeft(), QSize(formSize.width(), screen.height())));
        const auto keptClear = [&](const QWidget &dialog) {
            const QRect frame = dialog.frameGeometry();
            const QRect cursor = f.ui.text->cursorRect();
            const QRect line(f.ui.text->viewport()->mapToGlobal(QPoint(0, cursor.top())),
                             QSize(f.ui.text->viewport()->width(), cursor.height()));
            const QRect log(f.ui.report->mapToGlobal(QPoint(0, 0)), f.ui.report->size());
            return screen.contains(frame) && !frame.intersects(line) && !frame.intersects(log);
        };
        QTest::keyClick(&f.window, Qt::Key_H, Qt::ControlModifier);
        QVERIFY(f.replaceDialog().isVisible() && keptClear(f.replaceDialog()));
        f.replaceDialog().hide();
        QTest::keyClick(&f.window, Qt::Key_F, Qt::ControlModifier);
        FindDialog &find = f.findDialog();
        QVERIFY(QTest::qWaitForWindowActive(&find));
        QVERIFY(keptClear(find));
        // Moved over the line by the user, it moves off at the next jump.
        find.move(f.ui.text->viewport()->mapToGlobal(QPoint(0, f.ui.text->cursorRect().top())));
        QVERIFY(!keptClear(find));
        QTest::keyClicks(f.part<QLineEdit>(find, "findText"), "kanji");
        QTest::keyClick(&find, Qt::Key_F3);
        QCOMPARE(f.place() + " " + f.selection(), "0 1 kanji at 0");
        QVERIFY(keptClear(find));
        QTest::keyClick(&find, Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(find.currentRow(), 0); // the only match, again
        find.hide();

        QVERIFY(f.activate());
        f.type("x\ny");
        f.ui.pushButton->setFocus(Qt::MouseFocusReason);
        QTest::mouseClick(f.ui.pushButton, Qt::LeftButton);
        QVERIFY(f.unwritten());
        QVERIFY(f.ui.text->hasFocus());
        QTest::keyClick(f.ui.text, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(!f.unwritten());
        f.answers = {other};
        QTest::keyClick(f.ui.text, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(f.editor(), "other");
        f.type("unsaved");
        QTest::keyClick(f.ui.text, Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(f.questions, QList<Question>{Question::UnsavedText});
        QVERIFY(f.window.isVisible());
    }

    // narcedit ARCHIVE opens it at start; --help and --version answer on stdout.
    void commandLine()
    {
        QCOMPARE(readCommandLine({"narcedit", path}).archive, path);
        QVERIFY(!readCommandLine({"narcedit", path}, true).done);

        const QString editor = qEnvironmentVariable("NARCEDIT");
        QVERIFY2(QFileInfo(editor).isExecutable(), "NARCEDIT must name the built binary");
        RunSetup setup;
        setup.unset = QStringList{"DISPLAY", "QT_QPA_PLATFORM"}; // answered without any window system
        for (const auto &[argument, expected] :
             QList<QPair<QString, QString>>{{"--help", "Usage: narcedit"}, {"--version", "narcedit 1."}}) {
            const Run run = runProgram(editor, {argument}, setup);
            QCOMPARE(run.code, 0);
            QVERIFY2(run.out.startsWith(expected.toUtf8()), qPrintable(argument));
        }
        QCOMPARE(runProgram(editor, {"one.narc", "two.narc"}).code, 2);
        // A standard output that fails is not success.
        setup.outputFile = "/dev/full";
        const Run full = runProgram(editor, {"--version"}, setup);
        QCOMPARE(full.code, 2);
        QCOMPARE(full.err, QByteArray("Failed to write to standard output: No space left on device\n"));

        // A bad archive is reported as File > Open Narc reports it.
        MainWindowProbe f{QString()};
        f.window.openArchive(root + "missing.narc");
        QVERIFY(f.log().startsWith("Failed to load " + root + "missing.narc: "));
        f.window.openArchive(path);
        QCOMPARE(f.log().section('\n', 1), loaded);
    }

    // A file dropped on the editor opens, after the questions, instead of going
    // into the text.
    void drop()
    {
        MainWindowProbe f(path);
        f.window.show();
        f.type("unsaved\ntext");
        f.replies = {Answer::Discard};
        QVERIFY(dropFile(f.ui.text->viewport(), other));
        QTRY_COMPARE(f.editor(), "other");
    }

    // A jump cancelled at the question about unsaved text leaves the find
    // position where it was; a jump after Save Text selects the match in the
    // text as saved.
    void findAfterQuestion()
    {
        MainWindowProbe f(path);
        f.part<QLineEdit>(f.findDialog(), "findText")->setText("ne"); // "first line", "kanji one"
        f.type("typed\nhere");
        f.ui.actionFind_Next->trigger();
        QCOMPARE(f.questions, QList<Question>{Question::UnsavedText});
        QCOMPARE(f.editor(), "typed\nhere");
        f.replies = {Answer::Discard};
        f.ui.actionFind_Next->trigger();
        QCOMPARE(f.place() + " " + f.selection(), "0 0 ne at 8");

        f.type("my first line\nsecond");
        f.replies = {Answer::Keep};
        QListView *list = f.part<QListView>(f.findDialog(), "matchList");
        QCOMPARE(list->currentIndex().row(), 0);
        QTest::keyClick(list, Qt::Key_Return); // the same match again, after the question
        QCOMPARE(f.place() + " " + f.selection(), "0 0 ne at 11");
        f.type("my first line!\nsecond"); // an edit after the match leaves it where it was
        f.replies = {Answer::Keep};
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(f.place() + " " + f.selection(), "0 0 ne at 11");
        QCOMPARE(f.editor(), "my first line!\nsecond");
        QVERIFY(f.unwritten());
    }

    // Find Next and Find Previous go round the matches; with nothing to find
    // they open the dialog. A match activated in the dialog (double click)
    // shows its entry and section and selects it; the list names and
    // highlights each match, until the archive changes.
    void findInArchive()
    {
        MainWindowProbe f(path);
        FindDialog &find = f.findDialog();
        QLineEdit *findText = f.part<QLineEdit>(find, "findText");
        f.ui.actionFind_Next->trigger();
        QVERIFY(find.isVisible());
        find.hide();
        findText->setText("C");
        f.part<QCheckBox>(find, "ignoreCase")->setChecked(true);
        QStringList shown;
        for (QAction *action :
             {f.ui.actionFind_Next, f.ui.actionFind_Next, f.ui.actionFind_Previous, f.ui.actionFind_Previous}) {
            action->trigger();
            shown << f.place() + " " + f.selection();
        }
        // "second", then "a b\x005cc" in entry 1 (not the digit of the escape),
        // back, and round to the last "c".
        QCOMPARE(shown, (QStringList{"0 0 c at 13", "1 0 c at 9", "0 0 c at 13", "1 0 c at 13"}));
        QVERIFY(!find.isVisible());

        f.ui.actionFind_in_Archive->trigger();
        findText->setText("ne");
        QTest::keyClick(findText, Qt::Key_Return);
        QCOMPARE(f.part<QLabel>(find, "status")->text(), "2 matches"); // "first line", "kanji one"
        QListView *list = f.part<QListView>(find, "matchList");
        const auto highlighted = [&](int row) { // the part of a row the list highlights
            const QModelIndex index = list->model()->index(row, 0);
            const QPoint span = index.data(FindDialog::MatchSpanRole).toPoint();
            return index.data().toString().mid(span.x(), span.y());
        };
        QCOMPARE(highlighted(1), "ne");
        QVERIFY(list->model()->index(1, 0).data().toString().startsWith("0  Kanji  line 1, column 8:"));
        const QRect second = list->visualRect(list->model()->index(1, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, second.center());
        QCOMPARE(f.place() + " " + f.selection(), "0 1 ne at 7");

        // Save Text changes the archive: the list no longer stands. A match far
        // into a long line is listed cut, and highlighted still.
        f.type(QString(60, 'x') + "ne\n");
        f.saveText();
        QVERIFY(find.matches().isEmpty());
        QTest::keyClick(findText, Qt::Key_Return);
        QCOMPARE(highlighted(1), "ne");
        f.replies = {Answer::Discard};
        f.open(path); // another archive (here the same again): the list no longer stands
        QVERIFY(find.matches().isEmpty());
        find.hide();
        findText->setText("nowhere");
        f.ui.actionFind_Previous->trigger();
        QVERIFY(find.isVisible());
        QCOMPARE(f.part<QLabel>(find, "status")->text(), "No matches");
    }

    // Replace All, counted first, then Write To Narc: the file holds the
    // replacement; a section the composer refuses is logged and left as it was;
    // unsaved text is asked about first.
    void replaceAll_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<bool>("ignoreCase");
        QTest::addColumn<Answer>("reply"); // to the question about the typed text
        QTest::addColumn<QString>("report");
        QTest::addColumn<QString>("onDisk"); // entry 0, section 0
        QTest::addColumn<int>("left");       // the occurrences counted afterwards
        QTest::addColumn<int>("changed");    // entries changed: 0, 1 (entry 0) or 2 (both)

        const QString replaced = "Replaced 1 occurrences in 1 sections\n";
        row("replaced", "line", "row", false, Answer::Discard, replaced, "first row\nsecond", 0, 1);
        row("ignoring case", "FIRST", "1st", true, Answer::Discard, replaced, "1st line\nsecond", 0, 1);
        row("typed text saved first", "line", "row", false, Answer::Keep, replaced, "typed row\nsecond", 0, 1);
        // The "c" of "\x005c" is no text: it stays, and the summary says so.
        row("escapes left alone", "c", "Z", false, Answer::Discard,
            "Replaced 3 occurrences in 2 sections; 1 match inside an escape left alone\n", "first line\nseZond", 0, 2);
        row("a refused section stays", "b", "\\q", false, Answer::Discard,
            "Skipping 0000/0001: line 1 has a backslash that starts no escape: \"\\q\\x00\"\n"
            "Replaced 0 occurrences in 0 sections\n",
            "first line\nsecond", 2, 0);
        row("question cancelled", "line", "row", false, Answer::Cancel, QString(), "first line\nsecond", 1, 0);
    }
    void replaceAll()
    {
        QFETCH(QString, text);
        QFETCH(QString, replacement);
        QFETCH(bool, ignoreCase);
        QFETCH(Answer, reply);
        QFETCH(QString, report);
        QFETCH(QString, onDisk);
        QFETCH(int, left);
        QFETCH(int, changed);

        MainWindowProbe f(path);
        const NarcEntry entry1 = f.entries().at(1);
        ReplaceDialog &replace = f.replaceDialog();
        f.ui.actionReplace_in_Archive->trigger();
        QVERIFY(replace.isVisible());
        f.part<QLineEdit>(replace, "findText")->setText(text);
        f.part<QLineEdit>(replace, "replaceText")->setText(replacement);
        f.part<QCheckBox>(replace, "ignoreCase")->setChecked(ignoreCase);
        QTest::mouseClick(f.part<QPushButton>(replace, "countButton"), Qt::LeftButton);
        QVERIFY(replace.matchCount() > 0);
        f.type("typed line\nsecond");
        f.replies = {reply};
        QTest::mouseClick(f.part<QPushButton>(replace, "replaceAllButton"), Qt::LeftButton);
        QCOMPARE(f.questions, QList<Question>{Question::UnsavedText});
        QCOMPARE(f.log().remove(loaded), report);
        const bool cancelled = reply == Answer::Cancel;
        QCOMPARE(f.editor(), cancelled ? "typed line\nsecond" : onDisk);
        QCOMPARE(f.unwritten(), changed > 0);
        QCOMPARE(replace.matchCount(), left); // counted again, on the archive as it is now
        QCOMPARE(f.entries().at(1) == entry1, changed < 2);
        const QString status = f.part<QLabel>(replace, "status")->text();
        QCOMPARE(status.section('\n', 0, 0), cancelled ? "1 match in 1 section" : report.section('\n', -2, -2));
        QCOMPARE(status.contains('\n'), !cancelled && left > 0); // what is left, below the summary

        f.menu(1)->trigger();
        QCOMPARE(MainWindowProbe(path).editor(), onDisk);
    }

    // File > Export all to PO Template, a translation, File > Import Translations
    // from PO: the editor shows it, the title has its marker; the question about
    // unsaved text comes first; a file that is not PO changes nothing.
    void poExportImport()
    {
        MainWindowProbe f(path);
        const QString pot = root + "a.pot", po = root + "fr.po";
        f.run(5, pot);
        QVERIFY(!f.unwritten());
        QByteArray text = readFileBytes(pot);
        QVERIFY(text.contains("msgid \"second\"\nmsgstr \"\""));
        QVERIFY(writeFileBytes(po, text.replace("msgid \"second\"\nmsgstr \"\"", "msgid \"second\"\nmsgstr \"deux\"")));

        f.type("typed\nhere");
        f.run(6, po);
        QCOMPARE(f.questions, QList<Question>{Question::UnsavedText});
        QCOMPARE(f.entries(), sampleEntries());

        QVERIFY(writeFileBytes(root + "bad.po", "msgid \"unterminated\n"));
        f.replies = {Answer::Discard};
        f.run(6, root + "bad.po");
        QCOMPARE(f.entries(), sampleEntries());
        QCOMPARE(f.editor(), "first line\nsecond"); // the discarded text is gone
        QVERIFY(!f.unwritten());

        f.run(6, po);
        QCOMPARE(f.editor(), "first line\ndeux");
        QCOMPARE(f.window.windowTitle(), "a.narc[*] - MainWindow");
        QVERIFY(f.unwritten());
        QCOMPARE(f.log().section('\n', -2, -2).section(':', 0, 0), "Finished importing translations from " + po);
        QCOMPARE(f.state().last(), "0..1 at 0 Finished Importing!"); // entry 0 was the last with a translation
    }
};

QTEST_MAIN(WindowTest)
#include "test_window.moc"
