// The window's bulk commands: export to a tree, export to one file, import from a
// tree, as the File menu starts them.

#include "support/messagefixture.h"
#include "support/narcfixture.h"
#include "support/windowfixture.h"

#include "narc/narcwriter.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Entry 0 has one section, entry 1 two.
QList<NarcEntry> sampleEntries()
{
    return {buildMessageFile(QList<QStringList>{{"first", "second"}}),
            buildMessageFile(QList<QStringList>{{"one"}, {QStringLiteral("漢字")}})};
}

bool makeTree(const QString &root)
{
    return QDir(root).mkpath("0000") && QDir(root).mkpath("0001");
}

struct BarState
{
    int minimum, maximum, value;
    QString label;
    bool operator==(const BarState &other) const
    {
        return minimum == other.minimum && maximum == other.maximum && value == other.value && label == other.label;
    }
};

BarState barState(const WindowFixture &fixture)
{
    return {fixture.ui.progressBar->minimum(), fixture.ui.progressBar->maximum(), fixture.ui.progressBar->value(),
            fixture.ui.label_2->text()};
}

} // namespace

class WindowBulkTest : public QObject
{
    Q_OBJECT

private slots:
    void exportToOneFile()
    {
        QTemporaryDir dir;
        QVERIFY(writeArchive(dir.filePath("a.narc"), sampleEntries()));
        WindowFixture fixture;
        fixture.open(dir.filePath("a.narc"));
        const QString path = dir.filePath("all.txt");
        fixture.answers = {path};
        fixture.ui.actionExport_all_to_File->trigger();

        QCOMPARE(fixture.asked.last(), FileChoice::ExportFile);
        QCOMPARE(readFileBytes(path), QStringLiteral("****Entry 0:\n****Entry 0: Section 0:\nfirst\nsecond"
                                                     "****Entry 0: Section 1:\n****Entry 1:\n"
                                                     "****Entry 1: Section 0:\none****Entry 1: Section 1:\n漢字")
                                          .toUtf8());
        QCOMPARE(fixture.log(), "Loaded " + dir.filePath("a.narc") + "\nExporting to file " + path + "\n");
        QCOMPARE(barState(fixture), (BarState{0, 1, 1, "Finished Exporting!"}));

        fixture.answers = {dir.path()}; // a directory: cannot be written
        fixture.ui.actionExport_all_to_File->trigger();
        QVERIFY(fixture.log().endsWith("Failed to export to file " + dir.path() + "\n"));
        QCOMPARE(fixture.ui.label_2->text(), "Exporting: ");
    }

    void exportToTree()
    {
        QTemporaryDir dir;
        QVERIFY(writeArchive(dir.filePath("a.narc"), sampleEntries()));
        const QString root = dir.filePath("tree") + "/";
        QVERIFY(makeTree(root));
        WindowFixture fixture;
        fixture.open(dir.filePath("a.narc"));
        fixture.answers = {dir.filePath("tree")};
        fixture.ui.actionExtract_all_to_Text->trigger();

        QCOMPARE(fixture.asked.last(), FileChoice::ExportDirectory);
        QCOMPARE(readFileBytes(root + "0000/0000.txt"), QByteArray("first\nsecond"));
        QCOMPARE(readFileBytes(root + "0001/0001.txt"), QStringLiteral("漢字").toUtf8());
        QVERIFY(!QFile::exists(root + "0001/0000.txt"));
        QVERIFY(fixture.log().endsWith("\nExporting to directory " + root + "\n"));
        QCOMPARE(barState(fixture), (BarState{0, 1, 1, "Finished Exporting!"}));

        fixture.answers = {dir.path()};
        fixture.ui.actionExtract_all_to_Text->trigger();
        QVERIFY(fixture.log().endsWith("\nFailed to export. Either 0000 or 0001 does not exist in " + dir.path()
                                       + "/\n"));
        QCOMPARE(fixture.ui.label_2->text(), "Exporting: ");
    }

    // The import announces each section under "Type", which shows the selected
    // entry's section: it ends at "Kanji" for a two-section entry and at no item
    // for a one-section one.
    void importFromTree_data()
    {
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("typeIndex");
        QTest::addColumn<QString>("shown");
        QTest::newRow("two sections") << 1 << 1 << QStringLiteral("かんじ");
        QTest::newRow("one section") << 0 << -1 << QString();
    }

    void importFromTree()
    {
        QFETCH(int, selected);
        QFETCH(int, typeIndex);
        QFETCH(QString, shown);
        QTemporaryDir dir;
        QVERIFY(writeArchive(dir.filePath("a.narc"), sampleEntries()));
        const QString root = dir.path() + "/";
        QVERIFY(makeTree(root));
        QVERIFY(writeFileBytes(root + "0000/0000.txt", "only one line"));
        QVERIFY(writeFileBytes(root + "0000/0001.txt", "uno"));
        QVERIFY(writeFileBytes(root + "0001/0001.txt", QStringLiteral("かんじ").toUtf8()));

        WindowFixture fixture;
        fixture.open(dir.filePath("a.narc"));
        fixture.select(selected);
        fixture.answers = {dir.path()};
        fixture.ui.actionImport_all_from_files->trigger();

        QCOMPARE(fixture.asked.last(), FileChoice::ImportDirectory);
        QCOMPARE(fixture.log(), "Loaded " + dir.filePath("a.narc") + "\nImporting from directory " + root
                                    + "\nSkipping 0000/0000 due to too few lines\n"
                                    + "Failed to import from file: " + root + "0001/0000.txt\n"
                                    + "Finished importing from directory " + root + "\n");
        QCOMPARE(barState(fixture), (BarState{0, 1, 1, "Finished Importing!"}));
        QCOMPARE(fixture.ui.typeIds->currentIndex(), typeIndex);
        QCOMPARE(fixture.editorText(), shown);
        Narc &narc = MainWindowProbe::narc(fixture.window);
        QCOMPARE(decodeMessageSection(narc.files.at(0), 0).lines, QStringList({"first", "second"}));
        QCOMPARE(decodeMessageSection(narc.files.at(1), 0).lines, QStringList("uno"));
        QCOMPARE(decodeMessageSection(narc.files.at(1), 1).lines, QStringList(QStringLiteral("かんじ")));
    }

    // A cancelled chooser changes nothing at all, not even the bar or its label.
    void cancelledChooserChangesNothing_data()
    {
        QTest::addColumn<int>("action");
        QTest::newRow("export to files") << 0;
        QTest::newRow("export to file") << 1;
        QTest::newRow("import") << 2;
    }

    void cancelledChooserChangesNothing()
    {
        QFETCH(int, action);
        QTemporaryDir dir;
        QVERIFY(writeArchive(dir.filePath("a.narc"), sampleEntries()));
        QVERIFY(makeTree(dir.path()));
        WindowFixture fixture;
        fixture.open(dir.filePath("a.narc"));
        fixture.select(1, 1);
        const QString log = fixture.log();
        const BarState bar = barState(fixture);
        const QByteArray archive = serializeNarc(MainWindowProbe::narc(fixture.window));
        QAction *actions[] = {fixture.ui.actionExtract_all_to_Text, fixture.ui.actionExport_all_to_File,
                              fixture.ui.actionImport_all_from_files};
        actions[action]->trigger();
        QCOMPARE(fixture.asked.size(), 2);
        QCOMPARE(fixture.log(), log);
        QVERIFY(barState(fixture) == bar);
        QCOMPARE(bar.label, "Not Active");
        QCOMPARE(fixture.ui.typeIds->currentIndex(), 1);
        QCOMPARE(serializeNarc(MainWindowProbe::narc(fixture.window)), archive);
        QCOMPARE(QDir(dir.filePath("0000")).entryList(QDir::Files), QStringList());
    }

    // 10,000 one-section entries and an empty tree: 20,000 failure lines.
    void importLoggingManyFailures()
    {
        QTemporaryDir dir;
        const QList<NarcEntry> entries(10000, buildMessageFile(QList<QStringList>{{"x"}}));
        QVERIFY(writeArchive(dir.filePath("a.narc"), entries));
        QVERIFY(makeTree(dir.path()));
        WindowFixture fixture;
        fixture.open(dir.filePath("a.narc"));
        fixture.answers = {dir.path()};
        fixture.ui.actionImport_all_from_files->trigger();
        QCOMPARE(fixture.ui.report->document()->blockCount(), 1 + 20000 + 2 + 1);
        QVERIFY(fixture.log().endsWith("\nFinished importing from directory " + dir.path() + "/\n"));
        QCOMPARE(barState(fixture), (BarState{0, 9999, 9999, "Finished Importing!"}));
    }
};

QTEST_MAIN(WindowBulkTest)
#include "test_window_bulk.moc"
