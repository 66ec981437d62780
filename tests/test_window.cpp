// The window: its form and File menu, opening and writing archives, the log,
// browsing and saving entries, and the bulk commands.

#include "support/filesizelimit.h"
#include "support/messagefixture.h"
#include "support/narcfixture.h"
#include "support/windowfixture.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <memory>

using namespace core;

namespace {

const QString nbsp = QString(QChar(0x00A0));

const QStringList formTexts = {"MainWindow", "Open Narc",  "Write To Narc", "Export all to Files",
                               "Import all from files", "Export all to File", "Narc Entry", "Type",
                               "Save Text", "%v/%m:%p%", "Not Active", "File"};

// Entry 0 holds two sections, entry 1 one, with a no-break space and a backslash.
QList<NarcEntry> sampleEntries()
{
    return {buildMessageFile(QList<QStringList>{{"first line", "second"}, {"kanji one", ""}}),
            buildMessageFile(QList<QStringList>{{"a" + nbsp + "b\\c", "b", "c"}})};
}

} // namespace

// Every test starts with sampleEntries() in `path`, beside the empty tree
// folders 0000 and 0001.
class WindowTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    QString root, path, loaded;

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        root = dir->path() + "/";
        path = root + "a.narc";
        loaded = "Loaded " + path + "\n";
        QVERIFY(writeArchive(path, sampleEntries()));
        QVERIFY(QDir(root).mkpath("0000") && QDir(root).mkpath("0001"));
    }

    void formMenuAndLanguageChange()
    {
        MainWindowProbe f(path);
        f.select(0, 1);
        QCOMPARE(f.window.size(), QSize(698, 582));
        QCOMPARE(f.formTexts(), formTexts);

        const QStringList widgets = {
            "text QPlainTextEdit centralWidget 40,70 581x241",   "narcEntryIds QComboBox centralWidget 40,25 181x27",
            "typeIds QComboBox centralWidget 230,25 181x27",      "label QLabel centralWidget 40,5 121x17",
            "label_3 QLabel centralWidget 240,5 121x17",          "pushButton QPushButton centralWidget 460,20 141x31",
            "progressBar QProgressBar centralWidget 360,330 221x23", "label_2 QLabel centralWidget 60,330 191x21",
            "report QPlainTextEdit centralWidget 40,360 581x161",  "menuBar QMenuBar MainWindow 0,0 698x23"};
        for (const QString &expected : widgets) {
            const QWidget *w = f.window.findChild<QWidget *>(expected.section(' ', 0, 0));
            QVERIFY2(w, qPrintable(expected));
            const QRect g = w->geometry();
            QCOMPARE(QStringLiteral("%1 %2 %3 %4,%5 %6x%7")
                         .arg(w->objectName(), w->metaObject()->className(), w->parent()->objectName())
                         .arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height()),
                     expected);
        }
        const QList<QWidget *> focusable = {f.ui.text, f.ui.narcEntryIds, f.ui.typeIds, f.ui.pushButton, f.ui.report};
        QList<QWidget *> order{f.ui.text};
        for (QWidget *w = f.ui.text->nextInFocusChain(); w != f.ui.text; w = w->nextInFocusChain())
            if (focusable.contains(w) && !order.contains(w))
                order.append(w);
        QCOMPARE(order, focusable);

        // Each bulk entry of the menu asks its own question; cancelled, it changes nothing.
        f.ui.progressBar->setValue(42);
        const QStringList before = f.state();
        for (int entry : {2, 3, 4})
            f.menu(entry)->trigger();
        QCOMPARE(f.asked, (QList<FileChoice>{FileChoice::OpenArchive, FileChoice::ExportDirectory,
                                             FileChoice::ImportDirectory, FileChoice::ExportFile}));
        QCOMPARE(f.state(), before);

        // A language change puts back every form text and leaves the rest.
        // (The actions, the menu's own action, the labels and the button have a "text".)
        for (QObject *object : f.window.findChildren<QObject *>())
            object->setProperty("text", "x");
        f.window.setWindowTitle("x");
        f.ui.progressBar->setFormat("x");
        QCOMPARE(f.formTexts(), QStringList(12, "x"));
        QEvent change(QEvent::LanguageChange);
        QCoreApplication::sendEvent(&f.window, &change);
        QCOMPARE(f.formTexts(), formTexts);
        QCOMPARE(f.state(), before);
    }

    // A failed or cancelled open keeps the archive that loaded; a failed write
    // leaves the file as it was; Write To Narc puts the loaded archive back.
    void openAndWrite()
    {
        const QByteArray original = readFileBytes(path);
        const QString bad = root + "bad.narc";
        QVERIFY(writeFileBytes(bad, "just some text\n"));
        MainWindowProbe f(path);
        f.open(bad);
        f.open(QString());
        QCOMPARE(f.ui.narcEntryIds->count(), 0);
        QVERIFY(writeFileBytes(path, "overwritten"));
        {
            const FileSizeLimit limit(64);
            f.menu(1)->trigger();
        }
        QCOMPARE(readFileBytes(path), QByteArray("overwritten"));
        f.menu(1)->trigger();
        QCOMPARE(readFileBytes(path), original);
        QCOMPARE(QDir(root).entryList(QDir::Files | QDir::Hidden), (QStringList{"a.narc", "bad.narc"}));

        // Each failure gives its reason.
        QCOMPARE(f.log().replace(QRegularExpression(": .+\n"), ": why\n"),
                 loaded + "Failed to load " + bad + ": why\nFailed to write " + path + ": why\nFinished writing " + path + "\n");
    }

    void browsingAndSaving()
    {
        NarcEntry broken = buildMessageFile(QList<QStringList>{{"fine"}, {"lost"}});
        broken[16] = broken[17] = char(0x7f); // section 1 far past the end
        const QList<NarcEntry> entries = sampleEntries() << NarcEntry(0x1a4, '\0') << NarcEntry() << broken;
        QVERIFY(writeArchive(path, entries));
        MainWindowProbe f(path);
        QCOMPARE(f.items(f.ui.narcEntryIds).mid(2, 2), (QStringList{"2 - 1a4", "3 - 0"}));

        // "Kanji" is offered when the first byte is 2; edits are dropped on switching;
        // unedited text, with a no-break space and a backslash, is saved byte for byte.
        f.saveText();
        f.ui.text->setPlainText("dropped");
        f.select(0, 1);
        QCOMPARE(f.editor(), "kanji one\n");
        f.saveText();
        f.ui.text->setPlainText("dropped");
        for (const auto &[entry, shown] : QList<QPair<int, QString>>{{2, ""}, {3, ""}, {1, "a" + nbsp + "b\\x005cc\nb\nc"}}) {
            f.select(entry);
            QCOMPARE(f.items(f.ui.typeIds), QStringList{"Hiragana"});
            QCOMPARE(f.editor(), shown);
        }
        f.saveText();
        f.ui.text->setPlainText("only\ntwo lines");
        f.saveText();
        f.select(4);
        QCOMPARE(f.entries(), entries);
        QCOMPARE(f.log().replace(QRegularExpression(": .+\n"), ": why\n"),
                 loaded + "Skipping 0000/0001 due to too few lines\nCannot decode section 0 of entry 4: why\n");

        // What Save Text stored is what Write To Narc writes.
        const QString edited = "a rather longer first line\nx" + nbsp + "y";
        f.select(0);
        f.ui.text->setPlainText(edited);
        f.saveText();
        f.menu(1)->trigger();
        QCOMPARE(MainWindowProbe(path).editor(), edited);
    }

    // Exports, then an import over the exported tree: the log, the bar and its
    // label, and the editor showing the section "Type" ends at as the import left it.
    void bulk()
    {
        MainWindowProbe f(path);
        f.answers = {dir->path(), root + "all.txt"};
        f.menu(2)->trigger();
        QCOMPARE(f.state().last(), "0..1 at 1 Finished Exporting!");
        QCOMPARE(readFileBytes(root + "0000/0001.txt"), ("a" + nbsp + "b\\x005cc\nb\nc").toUtf8());
        f.menu(4)->trigger();
        QVERIFY(readFileBytes(root + "all.txt").contains("****Entry 0: Section 1:\nkanji one\n****Entry 1:"));

        QVERIFY(writeFileBytes(root + "0000/0000.txt", "only one line"));
        QVERIFY(writeFileBytes(root + "0001/0000.txt", "new kanji\nline"));
        f.answers = {dir->path()};
        f.menu(3)->trigger();
        QCOMPARE(f.log(), loaded + "Exporting to directory " + root + "\nExporting to file " + root + "all.txt\n"
                              + "Importing from directory " + root + "\nSkipping 0000/0000 due to too few lines\n"
                              + "Finished importing from directory " + root + "\n");
        QCOMPARE(f.state().last(), "0..1 at 1 Finished Importing!");
        QCOMPARE(f.ui.typeIds->currentIndex(), 1);
        QCOMPARE(f.editor(), "new kanji\nline");
        f.saveText(); // must not put back what the import replaced
        QCOMPARE(decodeMessageSection(f.entries().at(0), 1).lines, (QStringList{"new kanji", "line"}));
    }
};

QTEST_MAIN(WindowTest)
#include "test_window.moc"
