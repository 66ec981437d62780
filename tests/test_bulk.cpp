// Bulk work: export into one file, export into a tree of files, import from it.

#include "messagefixture.h"
#include "narcfixture.h"

#include "bulk/exportfile.h"
#include "bulk/exporttree.h"
#include "bulk/importtree.h"
#include "codec/decode.h"
#include "narc/narcreader.h"
#include "narc/narcwriter.h"

#include <QDir>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Every call the observer gets, in order, as text.
struct EventLog : BulkObserver
{
    QStringList events;
    void report(const QString &line) override { events.append("report " + line); }
    void status(const QString &text) override { events.append("status " + text); }
    void begin(int count) override { events.append(QStringLiteral("begin %1").arg(count)); }
    void progress(int index) override { events.append(QStringLiteral("progress %1").arg(index)); }
    void sectionChanged(int section) override { events.append(QStringLiteral("section %1").arg(section)); }

    QStringList reports() const
    {
        QStringList lines = events.filter(QRegularExpression("^report "));
        for (QString &line : lines)
            line.remove(0, 7);
        return lines;
    }
};

QStringList progressEvents(int count)
{
    QStringList events;
    for (int i = 0; i < count; ++i)
        events.append(QStringLiteral("progress %1").arg(i));
    return events;
}

Narc archiveOf(const QList<NarcEntry> &entries)
{
    QList<QByteArray> bytes;
    for (const NarcEntry &entry : entries)
        bytes.append(QByteArray(entry.constData(), entry.size()));
    NarcRead read = readNarc(buildNarcBytes(bytes));
    Q_ASSERT(read.ok());
    return read.narc;
}

NarcEntry entry(const QStringList &first, const QStringList &second = QStringList(), bool twoSections = true)
{
    return twoSections ? buildMessageFile(QList<QStringList>{first, second}) : buildMessageFile(QList<QStringList>{first});
}

// Entry 0: two sections, Japanese, a trailing empty line. Entry 1: one section
// with a backslash and a line feed unit, which show escaped. Entry 2: two
// sections whose text is empty.
Narc sampleArchive()
{
    return archiveOf({entry({"Hello", QStringLiteral("ひらがな")}, {QStringLiteral("漢字"), ""}),
                      entry({QStringLiteral("a\\b\n")}, {}, false), entry({""}, {""})});
}

QStringList namesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

bool makeTree(const QString &root)
{
    return QDir(root).mkpath("0000") && QDir(root).mkpath("0001");
}

QStringList lines(const Narc &narc, int entryIndex, int section)
{
    return decodeMessageSection(narc.files.at(entryIndex), section).lines;
}

} // namespace

class TestBulk : public QObject
{
    Q_OBJECT

private slots:
    // Each section's text ends without a line break, so the next header follows
    // on the same line; both section headers appear for every entry.
    void fileLayoutByteForByte()
    {
        QList<NarcEntry> entries = sampleArchive().files;
        for (int i = 3; i <= 12; ++i)
            entries.append(entry({QStringLiteral("e%1").arg(i)}, {}, false));
        const Narc narc = archiveOf(entries);

        QTemporaryDir dir;
        const QString path = dir.filePath("all.txt");
        QVERIFY(writeFileBytes(path, QByteArray(100000, 'z')));
        EventLog log;
        const BulkSummary summary = exportToFile(narc, path, log);

        QByteArray expected = QStringLiteral("****Entry 0:\n****Entry 0: Section 0:\nHello\nひらがな"
                                             "****Entry 0: Section 1:\n漢字\n"
                                             "****Entry 1:\n****Entry 1: Section 0:\na\\x005cb\\x000a"
                                             "****Entry 1: Section 1:\n"
                                             "****Entry 2:\n****Entry 2: Section 0:\n****Entry 2: Section 1:\n")
                                  .toUtf8();
        for (int i = 3; i <= 11; ++i)
            expected += QStringLiteral("****Entry %1:\n****Entry %1: Section 0:\ne%1****Entry %1: Section 1:\n")
                            .arg(i)
                            .toUtf8();
        expected += "****Entry 12:\n****Entry 12: Section 0:\ne12****Entry 12: Section 1:\n";
        QCOMPARE(readFileBytes(path), expected);
        QCOMPARE(log.events, QStringList({"begin 13", "status Exporting: ", "report Exporting to file " + path})
                                 + progressEvents(13) + QStringList("status Finished Exporting!"));
        QVERIFY(!summary.hasErrors());
        QCOMPARE(namesIn(dir.path()), QStringList("all.txt"));

        exportToFile(Narc(), path, log);
        QCOMPARE(readFileBytes(path), QByteArray());
    }

    void fileThatCannotBeOpened()
    {
        QTemporaryDir dir;
        EventLog log;
        const BulkSummary summary = exportToFile(sampleArchive(), dir.path(), log);
        QCOMPARE(log.events, QStringList({"begin 3", "status Exporting: ", "report Exporting to file " + dir.path(),
                                          "report Failed to export to file " + dir.path()}));
        QVERIFY(!summary.finished && summary.hasErrors());
    }

    void treeLayout()
    {
        QTemporaryDir dir;
        const QString root = dir.path() + "/";
        QVERIFY(makeTree(root));
        EventLog log;
        const BulkSummary summary = exportToTree(sampleArchive(), dir.path(), log);

        // No file for an empty section; none in 0001 for the one-section entry.
        QCOMPARE(namesIn(root + "0000"), QStringList({"0000.txt", "0001.txt"}));
        QCOMPARE(namesIn(root + "0001"), QStringList("0000.txt"));
        QCOMPARE(readFileBytes(root + "0000/0000.txt"), QStringLiteral("Hello\nひらがな").toUtf8());
        QCOMPARE(readFileBytes(root + "0001/0000.txt"), QStringLiteral("漢字\n").toUtf8());
        QCOMPARE(readFileBytes(root + "0000/0001.txt"), QByteArray("a\\x005cb\\x000a"));
        QCOMPARE(log.events, QStringList({"begin 3", "status Exporting: ", "report Exporting to directory " + root})
                                 + progressEvents(3) + QStringList("status Finished Exporting!"));
        QCOMPARE(summary.filesWritten, 3);

        // Text left from an earlier export of a section that is empty now would be
        // imported back: such files are emptied. Files of other names stay, and so
        // does the file of a section the entry does not have.
        QVERIFY(writeFileBytes(root + "0000/0002.txt", "stale"));
        QVERIFY(writeFileBytes(root + "0001/0001.txt", "not a section of entry 1"));
        QVERIFY(writeFileBytes(root + "0000/0003.txt", "no such entry"));
        log.events.clear();
        exportToTree(sampleArchive(), root, log);
        QCOMPARE(log.events.at(2), "report Exporting to directory " + root);
        QCOMPARE(readFileBytes(root + "0000/0002.txt"), QByteArray());
        QCOMPARE(readFileBytes(root + "0001/0001.txt"), QByteArray("not a section of entry 1"));
        QCOMPARE(readFileBytes(root + "0000/0003.txt"), QByteArray("no such entry"));
    }

    void fiveDigitIndices()
    {
        QList<NarcEntry> entries(10001, entry({"same"}, {}, false));
        entries.last() = entry({"last"}, {}, false);
        QTemporaryDir dir;
        QVERIFY(makeTree(dir.path()));
        EventLog log;
        QCOMPARE(exportToTree(archiveOf(entries), dir.path(), log).filesWritten, 10001);
        QCOMPARE(readFileBytes(dir.filePath("0000/10000.txt")), QByteArray("last"));
        QCOMPARE(readFileBytes(dir.filePath("0000/9999.txt")), QByteArray("same"));
        QCOMPARE(namesIn(dir.filePath("0001")), QStringList());
    }

    // A directory where a file should go cannot be written, even by root; the
    // export says so and goes on.
    void unwritableFileIsReportedAndSkipped()
    {
        QTemporaryDir dir;
        const QString root = dir.path() + "/";
        QVERIFY(makeTree(root));
        QVERIFY(QDir(root).mkdir("0000/0000.txt"));
        EventLog log;
        const BulkSummary summary = exportToTree(sampleArchive(), root, log);
        QCOMPARE(log.reports(), QStringList({"Exporting to directory " + root,
                                             "Failed to export to file " + root + "0000/0000.txt"}));
        QCOMPARE(log.events.last(), "status Finished Exporting!");
        QCOMPARE(readFileBytes(root + "0000/0001.txt"), QByteArray("a\\x005cb\\x000a"));
        QCOMPARE(summary.filesWritten, 2);
        QCOMPARE(summary.filesFailed, 1);
    }

    // A section the codec cannot decode is named in the log; the one-file export
    // shows it empty, the tree export leaves its file as it is.
    void undecodableSections()
    {
        const Narc narc = archiveOf({entry({"a"}, {}, false), NarcEntry(8, '\x01')});
        QTemporaryDir dir;
        const QString root = dir.path() + "/";
        QVERIFY(makeTree(root));
        EventLog log;
        BulkSummary summary = exportToFile(narc, root + "all.txt", log);
        QCOMPARE(readFileBytes(root + "all.txt"), QByteArray("****Entry 0:\n****Entry 0: Section 0:\na****Entry 0: "
                                                             "Section 1:\n****Entry 1:\n****Entry 1: Section 0:\n"
                                                             "****Entry 1: Section 1:\n"));
        QVERIFY(log.reports().at(1).startsWith("Cannot decode section 0 of entry 1: "));
        QCOMPARE(summary.sectionsUnreadable, 2);
        QVERIFY(summary.finished && summary.hasErrors());

        QVERIFY(writeFileBytes(root + "0000/0001.txt", "edited by hand"));
        log.events.clear();
        summary = exportToTree(narc, root, log);
        QCOMPARE(readFileBytes(root + "0000/0001.txt"), QByteArray("edited by hand"));
        QVERIFY(log.reports().at(1).startsWith("Failed to export to file " + root + "0000/0001.txt (the section"));
        QCOMPARE(summary.sectionsUnreadable, 2);
    }

    void treeMustExist_data()
    {
        QTest::addColumn<QString>("present");
        QTest::newRow("neither") << QString();
        QTest::newRow("only 0000") << "0000";
        QTest::newRow("only 0001") << "0001";
    }

    void treeMustExist()
    {
        QFETCH(QString, present);
        QTemporaryDir dir;
        QVERIFY(present.isEmpty() || QDir(dir.path()).mkdir(present));
        Narc narc = sampleArchive();
        const QList<NarcEntry> before = narc.files;
        EventLog exported;
        QVERIFY(!exportToTree(narc, dir.path(), exported).treeOk);
        EventLog imported;
        QVERIFY(!importFromTree(narc, dir.path(), imported).treeOk);

        const QString tail = " Either 0000 or 0001 does not exist in " + dir.path() + "/";
        QCOMPARE(exported.events, QStringList({"begin 3", "status Exporting: ", "report Failed to export." + tail}));
        QCOMPARE(imported.events, QStringList({"begin 3", "status Importing: ", "report Failed to import." + tail}));
        QCOMPARE(namesIn(dir.path()), present.isEmpty() ? QStringList() : QStringList(present));
        QCOMPARE(namesIn(dir.filePath(present)), QStringList());
        QVERIFY(narc.files == before);
    }

    // Exporting and importing an unedited tree gives back the archive byte for
    // byte, whatever the text holds: escapes, backslashes, Japanese, characters
    // beyond the BMP, empty lines and sections, one- and three-section entries.
    void unchangedTreeGivesTheSameArchive()
    {
        QList<NarcEntry> entries = sampleArchive().files;
        entries.append(buildMessageFile(QList<FixtureSection>{
            {fixtureLine("\\x0041 \\{ \\\\", 0x1234, 3), {{0x000A, 0x000D, 0xFFFF, 0xD800, 0x005C}, 0xBEEF, 0xFFFF}},
            {fixtureLine(QStringLiteral("\U0001F600\u2028\uFEFF"), 7, 1), fixtureLine("", 9, 2)}}));
        QRandomGenerator random(2024);
        for (int i = 0; i < 200; ++i)
            entries.append(buildMessageFile(randomSections(random, 1 + random.bounded(3), 4, 12)));
        Narc narc = archiveOf(entries);
        Narc original = narc;

        QTemporaryDir dir;
        QVERIFY(makeTree(dir.path()));
        EventLog log;
        const BulkSummary written = exportToTree(narc, dir.path(), log);
        QVERIFY(!written.hasErrors());
        const BulkSummary summary = importFromTree(narc, dir.path(), log);
        QCOMPARE(summary.sectionsChanged, written.filesWritten);
        QCOMPARE(summary.filesMissing, 2 * int(narc.files.size()) - written.filesWritten);
        QVERIFY(!summary.hasErrors());
        QCOMPARE(serializeNarc(narc), serializeNarc(original));
    }

    // One import over edited files of every kind: report lines come in processing
    // order between the opening and closing lines, and each section is announced
    // before its file is read.
    void importEditedTree()
    {
        Narc narc = archiveOf({entry({"a", "b"}, {"c", "d"}), entry({"e", "f"}, {}, false), entry({"g", "h"}, {"i", "j"}),
                               entry({"k"}, {"l"})});
        const NarcEntry untouched = narc.files.at(2);
        QTemporaryDir dir;
        const QString root = dir.path() + "/";
        QVERIFY(makeTree(root));
        QVERIFY(writeFileBytes(root + "0000/0000.txt", "A1\r\nB1\r\n"));                            // CRLF
        QVERIFY(writeFileBytes(root + "0001/0000.txt", "\xEF\xBB\xBF" "C1\nD1\nextra"));          // BOM, a line more
        QVERIFY(writeFileBytes(root + "0000/0001.txt", "only one"));                            // too few lines
        QVERIFY(writeFileBytes(root + "0001/0001.txt", "no\nsuch section"));                    // ignored
        QVERIFY(writeFileBytes(root + "0000/0002.txt", "caf\xC3\xA9\n\xE9t\xE9"));              // not UTF-8
        QVERIFY(writeFileBytes(root + "0000/0003.txt", ""));                                    // an empty line
        QVERIFY(writeFileBytes(root + "0001/0003.txt", QByteArray("\xFF\xFE\x3A\x6F", 4)));     // UTF-16LE

        EventLog log;
        const BulkSummary summary = importFromTree(narc, dir.path(), log);
        QCOMPARE(log.events, QStringList({
                                 "begin 4", "status Importing: ", "report Importing from directory " + root,
                                 "progress 0", "section 0", "section 1",
                                 "progress 1", "section 0", "report Skipping 0000/0001 due to too few lines",
                                 "section 1",
                                 "progress 2", "section 0",
                                 "report Failed to import from file: " + root + "0000/0002.txt (not valid UTF-8)",
                                 "section 1", "report Failed to import from file: " + root + "0001/0002.txt",
                                 "progress 3", "section 0", "section 1",
                                 "status Finished Importing!", "report Finished importing from directory " + root,
                             }));
        QCOMPARE(lines(narc, 0, 0), QStringList({"A1", "B1"}));
        QCOMPARE(lines(narc, 0, 1), QStringList({"C1", "D1"}));
        QCOMPARE(lines(narc, 1, 0), QStringList({"e", "f"}));
        QVERIFY(narc.files.at(2) == untouched);
        QCOMPARE(lines(narc, 3, 0), QStringList(""));
        QCOMPARE(lines(narc, 3, 1), QStringList(QStringLiteral("漺")));
        QCOMPARE(summary.sectionsChanged, 4);
        QCOMPARE(summary.sectionsSkipped, 1);
        QCOMPARE(summary.filesFailed, 1);
        QCOMPARE(summary.filesMissing, 1);

        Narc empty;
        log.events.clear();
        importFromTree(empty, root, log);
        QCOMPARE(log.events, QStringList({"begin 0", "status Importing: ", "report Importing from directory " + root,
                                          "status Finished Importing!",
                                          "report Finished importing from directory " + root}));
    }

    // Bytes that do not decode are never stored as replacement characters.
    void undecodableFilesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("cut off at the end") << QByteArray("ok\xE3\x81") << "not valid UTF-8";
        QTest::newRow("encoded surrogate") << QByteArray("\xED\xA0\x80") << "not valid UTF-8";
        QTest::newRow("utf-16 odd length") << QByteArray("\xFF\xFE" "a\0b", 5) << "not valid UTF-16LE";
        QTest::newRow("utf-16 lone surrogate") << QByteArray("\xFE\xFF\xD8\x00\0a", 6) << "not valid UTF-16BE";
    }

    void undecodableFilesAreRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        Narc narc = archiveOf({entry({"keep"}, {}, false)});
        const QList<NarcEntry> before = narc.files;
        QTemporaryDir dir;
        const QString root = dir.path() + "/";
        QVERIFY(makeTree(root));
        QVERIFY(writeFileBytes(root + "0000/0000.txt", bytes));
        EventLog log;
        QCOMPARE(importFromTree(narc, root, log).filesFailed, 1);
        QCOMPARE(log.reports().at(1), "Failed to import from file: " + root + "0000/0000.txt (" + reason + ")");
        QVERIFY(narc.files == before);
    }
};

QTEST_GUILESS_MAIN(TestBulk)
#include "test_bulk.moc"
