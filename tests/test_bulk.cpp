// Bulk work: export into one file, export into a tree of files, import from it.

#include "messagefixture.h"
#include "narcfixture.h"

#include "bulk/exportfile.h"
#include "bulk/exporttree.h"
#include "bulk/importtree.h"
#include "narc/narcwriter.h"

#include <QDirIterator>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

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
};

Narc archiveOf(const QList<NarcEntry> &entries)
{
    Narc narc = newNarc();
    narc.files = entries;
    narc.fileCount = quint32(entries.size());
    return narc;
}

// A message file of one section, or two when `second` is given.
NarcEntry entry(const QStringList &first, const std::optional<QStringList> &second = std::nullopt)
{
    return buildMessageFile(second ? QList<QStringList>{first, *second} : QList<QStringList>{first});
}

// Every file and directory below `root`: relative path -> bytes.
QMap<QString, QByteArray> treeContents(const QString &root)
{
    QMap<QString, QByteArray> files;
    for (QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        files.insert(QDir(root).relativeFilePath(path), readFileBytes(path));
    }
    return files;
}

} // namespace

class TestBulk : public QObject
{
    Q_OBJECT

private slots:
    // One archive exported both ways. Entry 3 cannot be decoded; entries 5 to
    // 9999 are empty; the last one's number has five digits.
    void exportLayouts()
    {
        QList<NarcEntry> entries{entry({"Hello", "ひらがな"}, {{"漢字", ""}}), entry({"a\\b\n"}), entry({""}, {{""}}),
                                 NarcEntry(8, '\x01'), entry({"x"})};
        entries.resize(10001, entry({""}));
        entries.last() = entry({"last"});
        QTemporaryDir dir;
        const QString file = dir.filePath("all.txt");
        const QString root = dir.filePath("tree") + "/";
        QVERIFY(QDir(root).mkpath("0000") && QDir(root).mkpath("0001") && writeFileBytes(file, QByteArray(1000000, 'z')));
        // A stale file of a section that is empty now is emptied, or it would be
        // imported back; the file of a section the entry does not have, and that of
        // a section that cannot be decoded, stay. A directory where entry 4's file
        // goes cannot be written, even by root: reported, and the export goes on.
        QVERIFY(writeFileBytes(root + "0000/0002.txt", "stale") && writeFileBytes(root + "0001/0001.txt", "not a section"));
        QVERIFY(writeFileBytes(root + "0000/0003.txt", "edited by hand") && QDir(root).mkdir("0000/0004.txt"));
        EventLog log;
        exportToFile(archiveOf(entries), file, log);
        exportToTree(archiveOf(entries), root, log); // ends in "/": none is added

        // Each section's text ends without a line break, so the next header follows
        // on the same line; both section headers appear for every entry.
        const QString header = "****Entry %1:\n****Entry %1: Section 0:\n%2****Entry %1: Section 1:\n%3";
        QString expected = header.arg(0).arg("Hello\nひらがな", "漢字\n") + header.arg(1).arg("a\\x005cb\\x000a", "")
                           + header.arg(2).arg("", "") + header.arg(3).arg("", "") + header.arg(4).arg("x", "");
        for (int i = 5; i <= 10000; ++i)
            expected += header.arg(i).arg(i == 10000 ? "last" : "", "");
        QCOMPARE(readFileBytes(file), expected.toUtf8());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList("all.txt"));
        const QMap<QString, QByteArray> tree{
            {"0000", ""}, {"0000/0000.txt", QStringLiteral("Hello\nひらがな").toUtf8()}, {"0000/0001.txt", "a\\x005cb\\x000a"},
            {"0000/0002.txt", ""}, {"0000/0003.txt", "edited by hand"}, {"0000/0004.txt", ""}, {"0000/10000.txt", "last"},
            {"0001", ""}, {"0001/0000.txt", QStringLiteral("漢字\n").toUtf8()}, {"0001/0001.txt", "not a section"}};
        QCOMPARE(treeContents(root), tree);

        const QString cut = ": the header is cut short (8 bytes, at least 12 needed)";
        const QString failed = "report Failed to export to file " + root;
        QCOMPARE(log.events.filter("report "),
                 QStringList({"report Exporting to file " + file, "report Cannot decode section 0 of entry 3" + cut,
                              "report Cannot decode section 1 of entry 3" + cut, "report Exporting to directory " + root,
                              failed + "0000/0003.txt (the section cannot be decoded" + cut + ")",
                              failed + "0001/0003.txt (the section cannot be decoded" + cut + ")", failed + "0000/0004.txt"}));
        QCOMPARE(log.events.filter("status Finished"), QStringList(2, "status Finished Exporting!"));

        exportToFile(Narc(), file, log);
        QCOMPARE(readFileBytes(file), QByteArray());
    }

    void treeMustExist()
    {
        for (const QString present : {"", "0000", "0001"}) {
            QTemporaryDir dir;
            QVERIFY(present.isEmpty() || QDir(dir.path()).mkdir(present));
            Narc narc = archiveOf({entry({"a"})});
            EventLog log;
            exportToTree(narc, dir.path(), log);
            importFromTree(narc, dir.path(), log);
            const QString tail = " Either 0000 or 0001 does not exist in " + dir.path() + "/";
            QCOMPARE(log.events, QStringList({"begin 1", "status Exporting: ", "report Failed to export." + tail, "begin 1",
                                              "status Importing: ", "report Failed to import." + tail}));
            QCOMPARE(treeContents(dir.path()).keys(), present.isEmpty() ? QStringList() : QStringList(present));
        }
    }

    // Exporting and importing an unedited tree gives back the archive byte for
    // byte, whatever the text holds: escapes, backslashes, surrogates, Japanese,
    // empty lines and sections, one to three sections.
    void unchangedTreeGivesTheSameArchive()
    {
        QRandomGenerator random(2024);
        QList<NarcEntry> entries;
        for (int i = 0; i < 200; ++i)
            entries.append(buildMessageFile(randomSections(random, 1 + random.bounded(3), 4, 12)));
        Narc narc = archiveOf(entries);
        const QByteArray original = serializeNarc(narc);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("0000") && QDir(dir.path()).mkpath("0001"));
        EventLog log;
        const BulkSummary written = exportToTree(narc, dir.path(), log);
        const BulkSummary imported = importFromTree(narc, dir.path(), log);
        QVERIFY(!written.hasErrors() && !imported.hasErrors());
        QCOMPARE(imported.sectionsChanged, written.filesWritten);
        QCOMPARE(serializeNarc(narc), original);
    }

    // Report lines come in processing order between the opening and closing
    // lines, and each section is announced before its file is read.
    void importEditedTree()
    {
        Narc narc = archiveOf({entry({"a", "b"}, {{"c", "d"}}), entry({"e", "f"}), entry({"g", "h"}, {{"i", "j"}}),
                               entry({"k"}, {{"l"}}), entry({"m"})});
        QTemporaryDir dir;
        const QString root = dir.path() + "/";
        QVERIFY(QDir(root).mkpath("0000") && QDir(root).mkpath("0001"));
        QVERIFY(writeFileBytes(root + "0000/0000.txt", "A1\r\nB1\r\n"));                      // CRLF
        QVERIFY(writeFileBytes(root + "0001/0000.txt", "\xEF\xBB\xBF" "C1\nD1\nextra"));     // BOM, a line more
        QVERIFY(writeFileBytes(root + "0000/0001.txt", "only one"));                        // too few lines
        QVERIFY(writeFileBytes(root + "0001/0001.txt", "no\nsuch section"));                // ignored
        QVERIFY(writeFileBytes(root + "0000/0002.txt", "caf\xC3\xA9\n\xE9t\xE9"));          // not UTF-8
        QVERIFY(writeFileBytes(root + "0000/0003.txt", ""));                                // an empty line
        QVERIFY(writeFileBytes(root + "0001/0003.txt", QByteArray("\xFF\xFE\x3A\x6F", 4))); // UTF-16LE
        QVERIFY(QDir(root).mkdir("0000/0004.txt")); // unreadable, even by root
        EventLog log;
        importFromTree(narc, dir.path(), log);
        QCOMPARE(log.events, QStringList({
                                 "begin 5", "status Importing: ", "report Importing from directory " + root,
                                 "progress 0", "section 0", "section 1",
                                 "progress 1", "section 0", "report Skipping 0000/0001 due to too few lines", "section 1",
                                 "progress 2", "section 0",
                                 "report Failed to import from file: " + root + "0000/0002.txt (not valid UTF-8)",
                                 "section 1", "report Failed to import from file: " + root + "0001/0002.txt",
                                 "progress 3", "section 0", "section 1", "progress 4", "section 0",
                                 "report Failed to import from file: " + root + "0000/0004.txt", "section 1",
                                 "report Failed to import from file: " + root + "0001/0004.txt",
                                 "status Finished Importing!", "report Finished importing from directory " + root,
                             }));
        const QList<NarcEntry> expected{entry({"A1", "B1"}, {{"C1", "D1"}}), entry({"e", "f"}), entry({"g", "h"}, {{"i", "j"}}),
                                        entry({""}, {{"漺"}}), entry({"m"})};
        QVERIFY(narc.files == expected);

        // Bytes that do not decode are refused, never stored as replacement characters.
        for (const auto &[bytes, encoding] : QList<std::pair<QByteArray, QString>>{
                 {"ok\xE3\x81", "UTF-8"}, {"\xED\xA0\x80", "UTF-8"}, {QByteArray("\xFF\xFE" "a\0b", 5), "UTF-16LE"},
                 {QByteArray("\xFE\xFF\xD8\x00\0a", 6), "UTF-16BE"}}) {
            QVERIFY(writeFileBytes(root + "0000/0002.txt", bytes));
            log.events.clear();
            importFromTree(narc, root, log);
            QCOMPARE(log.events.at(12), "report Failed to import from file: " + root + "0000/0002.txt (not valid " + encoding + ")");
            QVERIFY(narc.files == expected);
        }
    }
};

QTEST_GUILESS_MAIN(TestBulk)
#include "test_bulk.moc"
