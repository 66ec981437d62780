// The window: its form and File menu, opening and writing archives, the log,
// browsing and saving entries, and the bulk commands.

#include "support/filesizelimit.h"
#include "support/messagefixture.h"
#include "support/narcfixture.h"
#include "support/windowfixture.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

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

// Entries 2 to 4 hold zeros or nothing, read as no sections; entry 5 claims a
// second section far past its end.
QList<NarcEntry> withOddEntries()
{
    NarcEntry broken = buildMessageFile(QList<QStringList>{{"fine"}, {"lost"}});
    broken[16] = broken[17] = char(0x7f);
    return sampleEntries() << NarcEntry(0x1a4, '\0') << NarcEntry(0x20, '\0') << NarcEntry() << broken;
}

QString bar(const WindowFixture &f)
{
    return f.state().last() + " " + f.ui.label_2->text();
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

    void formAndMenu()
    {
        WindowFixture f;
        QCOMPARE(f.window.size(), QSize(698, 582));
        QCOMPARE(f.formTexts(), formTexts);
        QCOMPARE(f.state(), (QStringList{"entry -1 type -1", "", "", "bar 0..100 at 0"}));

        const QStringList widgets = {
            "text QPlainTextEdit centralWidget 40,70 581x241",   "narcEntryIds QComboBox centralWidget 40,25 181x27",
            "typeIds QComboBox centralWidget 230,25 181x27",      "label QLabel centralWidget 40,5 121x17",
            "label_3 QLabel centralWidget 240,5 121x17",          "pushButton QPushButton centralWidget 460,20 141x31",
            "progressBar QProgressBar centralWidget 360,330 221x23", "label_2 QLabel centralWidget 60,330 191x21",
            "report QPlainTextEdit centralWidget 40,360 581x161",  "menuBar QMenuBar MainWindow 0,0 698x23"};
        QStringList found;
        for (const QString &expected : widgets) {
            const QWidget *w = f.window.findChild<QWidget *>(expected.section(' ', 0, 0));
            QVERIFY2(w, qPrintable(expected));
            const QRect g = w->geometry();
            found << QStringLiteral("%1 %2 %3 %4,%5 %6x%7")
                         .arg(w->objectName(), w->metaObject()->className(), w->parent()->objectName())
                         .arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height());
        }
        QCOMPARE(found, widgets);

        const QList<QWidget *> focusable = {f.ui.text, f.ui.narcEntryIds, f.ui.typeIds, f.ui.pushButton, f.ui.report};
        QList<QWidget *> order{f.ui.text};
        for (QWidget *w = f.ui.text->nextInFocusChain(); w != f.ui.text; w = w->nextInFocusChain())
            if (focusable.contains(w) && !order.contains(w))
                order.append(w);
        QCOMPARE(order, focusable);

        // Nothing open: Save Text stays silent, Write To Narc says so after what the
        // user typed.
        QTest::keyClicks(f.ui.report, "typed ");
        f.saveText();
        f.ui.menuFile->actions().at(1)->trigger();
        QCOMPARE(f.log(), "typed No archive is open; nothing written\n");
        QVERIFY(f.asked.isEmpty());
    }

    void failedOrCancelledOpenKeepsArchive_data()
    {
        QTest::addColumn<QString>("name");       // empty: the dialog is cancelled
        QTest::addColumn<QByteArray>("content"); // null: no such file
        QTest::newRow("not a NARC file") << "bad.narc" << QByteArray("just some text\n");
        QTest::newRow("missing file") << "missing.narc" << QByteArray();
        QTest::newRow("cancelled") << QString() << QByteArray();
    }

    void failedOrCancelledOpenKeepsArchive()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        const QString bad = name.isEmpty() ? QString() : root + name;
        if (!content.isNull())
            QVERIFY(writeFileBytes(bad, content));
        const QByteArray original = readFileBytes(path);

        WindowFixture f(path);
        f.open(bad);
        QVERIFY(f.log().startsWith(loaded + (name.isEmpty() ? QString() : "Failed to load " + bad + ": ")));
        QVERIFY(!f.log().endsWith(": \n"));
        QCOMPARE(f.log().count('\n'), name.isEmpty() ? 1 : 2);
        // The entry list is emptied; what "Type" and the editor show stays.
        QCOMPARE(f.state().mid(0, 4), (QStringList{"Hiragana", "Kanji", "entry -1 type 0", "first line\nsecond"}));

        // Save Text has no entry to save into; Write To Narc writes the archive that loaded.
        const QString log = f.log();
        f.ui.text->setPlainText("x");
        f.saveText();
        QCOMPARE(f.log(), log);
        QVERIFY(writeFileBytes(path, "overwritten"));
        f.ui.actionWrite_To_Narc->trigger();
        QCOMPARE(f.log(), log + "Finished writing " + path + "\n");
        QCOMPARE(readFileBytes(path), original);
    }

    void failedWriteKeepsFile_data()
    {
        QTest::addColumn<bool>("sizeLimit");
        QTest::newRow("path below a regular file") << false;
        QTest::newRow("cut short by a file size limit") << true;
    }

    void failedWriteKeepsFile()
    {
        QFETCH(bool, sizeLimit);
        const QString target = root + "sub/big.narc";
        QVERIFY(QDir(root).mkdir("sub") && writeArchive(target, {NarcEntry(64 * 1024, '\0')}));
        const QByteArray original = readFileBytes(target);
        WindowFixture f(target);

        if (sizeLimit) {
            const FileSizeLimit limit(4096);
            f.ui.actionWrite_To_Narc->trigger();
        } else {
            // The directory becomes a regular file: nothing can be written below it.
            QVERIFY(QFile::remove(target) && QDir(root).rmdir("sub"));
            QVERIFY(writeFileBytes(root + "sub", "a regular file"));
            f.ui.actionWrite_To_Narc->trigger();
        }
        QVERIFY(f.log().startsWith("Loaded " + target + "\nFailed to write " + target + ": "));
        QCOMPARE(f.log().count('\n'), 2);
        QCOMPARE(readFileBytes(sizeLimit ? target : root + "sub"),
                 sizeLimit ? original : QByteArray("a regular file"));
        QCOMPARE(QDir(root + "sub").entryList(QDir::Files | QDir::Hidden),
                 sizeLimit ? QStringList{"big.narc"} : QStringList());
    }

    void languageChangeReappliesFormTexts()
    {
        WindowFixture f(path);
        f.select(0, 1);
        f.ui.progressBar->setRange(0, 9);
        f.ui.progressBar->setValue(4);
        f.window.setWindowTitle("x");
        for (QAction *action : f.ui.menuFile->actions())
            action->setText("x");
        for (QLabel *label : {f.ui.label, f.ui.label_3, f.ui.label_2})
            label->setText("x");
        f.ui.pushButton->setText("x");
        f.ui.progressBar->setFormat("x");
        f.ui.menuFile->setTitle("x");
        const QStringList state = f.state();

        QEvent change(QEvent::LanguageChange);
        QCoreApplication::sendEvent(&f.window, &change);
        QCOMPARE(f.formTexts(), formTexts);
        QCOMPARE(f.state(), state);
    }

    void browsing()
    {
        QVERIFY(writeArchive(path, withOddEntries()));
        WindowFixture f(path);
        QCOMPARE(f.items(f.ui.narcEntryIds).mid(2, 3), (QStringList{"2 - 1a4", "3 - 20", "4 - 0"}));
        QCOMPARE(f.items(f.ui.typeIds), (QStringList{"Hiragana", "Kanji"}));
        QCOMPARE(f.editor(), "first line\nsecond");

        // Edits are dropped on switching away; another entry starts at "Hiragana".
        f.ui.text->setPlainText("dropped");
        f.select(0, 1);
        QCOMPARE(f.editor(), "kanji one\n");
        f.ui.text->setPlainText("dropped");
        f.select(1);
        QCOMPARE(f.items(f.ui.typeIds), QStringList{"Hiragana"});
        QCOMPARE(f.editor(), "a" + nbsp + "b\\x005cc\nb\nc");
        f.select(0);
        QCOMPARE(f.editor(), "first line\nsecond");

        for (int entry : {2, 3, 4}) {
            f.select(entry);
            QCOMPARE(f.items(f.ui.typeIds), QStringList{"Hiragana"});
            QCOMPARE(f.editor(), QString());
        }
        QCOMPARE(f.log(), loaded);
        QCOMPARE(f.entries(), withOddEntries());

        f.select(5);
        QCOMPARE(f.items(f.ui.typeIds), (QStringList{"Hiragana", "Kanji"}));
        QVERIFY(f.log().startsWith(loaded + "Cannot decode section 0 of entry 5: "));
        QCOMPARE(f.log().count('\n'), 2);
    }

    void saving()
    {
        WindowFixture f(path);
        // Unedited text goes back byte for byte.
        for (const auto &[entry, section] : QList<QPair<int, int>>{{0, 0}, {0, 1}, {1, 0}}) {
            f.select(entry, section);
            f.saveText();
        }
        QCOMPARE(f.entries(), sampleEntries());
        QCOMPARE(f.log(), loaded);

        f.ui.text->setPlainText("only\ntwo lines");
        f.saveText();
        QCOMPARE(f.log(), loaded + "Skipping 0000/0001 due to too few lines\n");
        QCOMPARE(f.entries(), sampleEntries());

        // A longer section 0 is re-encoded; section 1 and the file stay as they were.
        const QByteArray onDisk = readFileBytes(path);
        const QString edited = "a rather longer first line\nx" + nbsp + "y";
        f.select(0);
        f.ui.text->setPlainText(edited);
        f.saveText();
        f.select(0, 1);
        QCOMPARE(f.editor(), "kanji one\n");
        f.select(0, 0);
        QCOMPARE(f.editor(), edited);
        QCOMPARE(readFileBytes(path), onDisk);

        // Write To Narc writes what Save Text stored, not unsaved edits.
        f.ui.text->setPlainText("unsaved\nedit");
        f.ui.actionWrite_To_Narc->trigger();
        f.select(1);
        f.select(0);
        QCOMPARE(f.editor(), edited);
        QCOMPARE(WindowFixture(path).editor(), edited);
    }

    void exportsAndTreeChecks()
    {
        WindowFixture f(path);
        f.answers = {dir->path(), root + "all.txt", root + "0000", root + "0000", root + "0000"};
        f.ui.actionExtract_all_to_Text->trigger();
        QCOMPARE(bar(f), "bar 0..1 at 1 Finished Exporting!");
        f.ui.label_2->clear();
        f.ui.actionExport_all_to_File->trigger();
        QCOMPARE(bar(f), "bar 0..1 at 1 Finished Exporting!");
        f.ui.actionExport_all_to_File->trigger(); // a directory
        QCOMPARE(f.ui.label_2->text(), "Exporting: ");
        f.ui.actionExtract_all_to_Text->trigger(); // not a tree
        f.ui.actionImport_all_from_files->trigger();
        QCOMPARE(f.ui.label_2->text(), "Importing: ");
        QCOMPARE(f.log(), loaded + "Exporting to directory " + root + "\nExporting to file " + root + "all.txt\n"
                              + "Exporting to file " + root + "0000\nFailed to export to file " + root + "0000\n"
                              + "Failed to export. Either 0000 or 0001 does not exist in " + root + "0000/\n"
                              + "Failed to import. Either 0000 or 0001 does not exist in " + root + "0000/\n");
        QCOMPARE(readFileBytes(root + "0001/0000.txt"), QByteArray("kanji one\n"));
        QCOMPARE(readFileBytes(root + "0000/0001.txt"), ("a" + nbsp + "b\\x005cc\nb\nc").toUtf8());
        QVERIFY(readFileBytes(root + "all.txt").contains("****Entry 0: Section 1:\nkanji one\n****Entry 1:"));
    }

    // The import moves "Type" through each section: it ends at "Kanji" for a
    // two-section entry and at no item for a one-section one, showing the text the
    // import left there.
    void import_data()
    {
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("typeIndex");
        QTest::addColumn<QString>("shown");
        QTest::newRow("two sections") << 0 << 1 << "new kanji\nline";
        QTest::newRow("one section") << 1 << -1 << QString();
    }

    void import()
    {
        QFETCH(int, selected);
        QFETCH(int, typeIndex);
        QFETCH(QString, shown);
        QVERIFY(writeFileBytes(root + "0000/0000.txt", "only one line"));
        QVERIFY(writeFileBytes(root + "0001/0000.txt", "new kanji\nline"));
        QVERIFY(writeFileBytes(root + "0000/0001.txt", "x\ny\nz"));
        WindowFixture f(path);
        f.select(selected);
        f.answers = {dir->path()};
        f.ui.actionImport_all_from_files->trigger();

        QCOMPARE(f.log(), loaded + "Importing from directory " + root + "\nSkipping 0000/0000 due to too few lines\n"
                              + "Failed to import from file: " + root + "0001/0001.txt\n"
                              + "Finished importing from directory " + root + "\n");
        QCOMPARE(bar(f), "bar 0..1 at 1 Finished Importing!");
        QCOMPARE(f.ui.typeIds->currentIndex(), typeIndex);
        QCOMPARE(f.editor(), shown);
        f.saveText(); // must not put back what the import replaced
        QCOMPARE(decodeMessageSection(f.entries().at(0), 1).lines, (QStringList{"new kanji", "line"}));
    }

    // Each bulk entry of the File menu starts the slot asking its own question;
    // cancelled, it changes nothing, not even the bar or its label.
    void cancelledChooserChangesNothing()
    {
        WindowFixture f(path);
        f.select(0, 1);
        f.ui.progressBar->setValue(42);
        const QStringList before = f.state() + f.formTexts();
        for (int entry : {2, 4, 3})
            f.ui.menuFile->actions().at(entry)->trigger();
        QCOMPARE(f.asked, (QList<FileChoice>{FileChoice::OpenArchive, FileChoice::ExportDirectory,
                                             FileChoice::ExportFile, FileChoice::ImportDirectory}));
        QCOMPARE(f.state() + f.formTexts(), before);
        QCOMPARE(f.entries(), sampleEntries());
        QVERIFY(QDir(root + "0000").isEmpty() && QDir(root + "0001").isEmpty());
    }

    // 10,000 one-section entries and an empty tree: 20,000 failure lines.
    void importLoggingManyLines()
    {
        QVERIFY(writeArchive(path, QList<NarcEntry>(10000, buildMessageFile(QList<QStringList>{{"x"}}))));
        WindowFixture f(path);
        f.answers = {dir->path()};
        f.ui.actionImport_all_from_files->trigger();
        QCOMPARE(f.log().count('\n'), 1 + 1 + 20000 + 1);
        QCOMPARE(bar(f), "bar 0..9999 at 9999 Finished Importing!");
    }
};

QTEST_MAIN(WindowTest)
#include "test_window.moc"
