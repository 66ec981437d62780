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

using namespace core;

namespace {

struct Reports : BulkObserver
{
    QStringList lines;
    void report(const QString &line) override { lines.append(line); }
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
        // a section that cannot be decoded, stay.
        QVERIFY(writeFileBytes(root + "0000/0002.txt", "stale") && writeFileBytes(root + "0001/0001.txt", "not a section"));
        QVERIFY(writeFileBytes(root + "0000/0003.txt", "edited by hand"));
        Reports log;
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
        const QMap<QString, QByteArray> tree{
            {"0000", ""}, {"0000/0000.txt", QStringLiteral("Hello\nひらがな").toUtf8()}, {"0000/0001.txt", "a\\x005cb\\x000a"},
            {"0000/0002.txt", ""}, {"0000/0003.txt", "edited by hand"}, {"0000/0004.txt", "x"}, {"0000/10000.txt", "last"},
            {"0001", ""}, {"0001/0000.txt", QStringLiteral("漢字\n").toUtf8()}, {"0001/0001.txt", "not a section"}};
        QCOMPARE(treeContents(root), tree);

        const QString cut = ": the header is cut short (8 bytes, at least 12 needed)";
        const QString failed = "Failed to export to file " + root;
        QCOMPARE(log.lines, QStringList({"Exporting to file " + file, "Cannot decode section 0 of entry 3" + cut,
                                         "Cannot decode section 1 of entry 3" + cut, "Exporting to directory " + root,
                                         failed + "0000/0003.txt (the section cannot be decoded" + cut + ")",
                                         failed + "0001/0003.txt (the section cannot be decoded" + cut + ")"}));

        exportToFile(Narc(), file, log);
        QCOMPARE(readFileBytes(file), QByteArray());
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
        Reports log;
        QVERIFY(!exportToTree(narc, dir.path(), log).hasErrors() && !importFromTree(narc, dir.path(), log).hasErrors());
        QCOMPARE(serializeNarc(narc), original);
    }

    // Without both 0000 and 0001 nothing is exported (an import is refused the same
    // way, see test_cli); then an edited tree is read back. Bytes that do not
    // decode are refused, never stored as replacement characters.
    void importEditedTree()
    {
        const QList<NarcEntry> entries{entry({"a", "b"}, {{"c", "d"}}), entry({"e", "f"}), entry({"g", "h"}, {{"i", "j"}}),
                                       entry({"k"}, {{"l"}}), entry({"m"}, {{"n"}})};
        Narc narc = archiveOf(entries);
        QTemporaryDir dir;
        const QString root = dir.path() + "/";
        QVERIFY(QDir(root).mkdir("0000"));
        Reports log;
        exportToTree(narc, dir.path(), log);
        QCOMPARE(log.lines, QStringList("Failed to export. Either 0000 or 0001 does not exist in " + root));
        QVERIFY(QDir(root).mkdir("0001") && QDir(root + "0000").isEmpty()); // the export made nothing
        for (const auto &[file, bytes] : QList<std::pair<QString, QByteArray>>{
                 {"0000/0000.txt", "A1\r\nB1\r\n"}, {"0001/0000.txt", "\xEF\xBB\xBF" "C1\nD1\nextra"}, // CRLF; BOM, a line more
                 {"0000/0001.txt", "only one"}, {"0001/0001.txt", "no\nsuch section"}, // too few lines; no such section
                 {"0000/0002.txt", "caf\xC3\xA9\n\xE9t\xE9"}, {"0000/0003.txt", ""},   // not UTF-8; an empty line
                 {"0001/0003.txt", QByteArray("\xFF\xFE\x3A\x6F", 4)},                    // UTF-16LE
                 {"0000/0004.txt", QByteArray("\xFF\xFE" "a\0b", 5)},                      // an odd byte
                 {"0001/0004.txt", QByteArray("\xFE\xFF\xD8\x00\0a", 6)}})               // a lone surrogate
            QVERIFY(writeFileBytes(root + file, bytes));
        log.lines.clear();
        importFromTree(narc, dir.path(), log);
        const QString failed = "Failed to import from file: " + root;
        QCOMPARE(log.lines, QStringList({"Importing from directory " + root, "Skipping 0000/0001 due to too few lines",
                                         "Skipping 0001/0001: the entry has no section 1",
                                         failed + "0000/0002.txt (not valid UTF-8)", failed + "0001/0002.txt",
                                         failed + "0000/0004.txt (not valid UTF-16LE)",
                                         failed + "0001/0004.txt (not valid UTF-16BE)",
                                         "Finished importing from directory " + root}));
        QVERIFY(narc.files == QList<NarcEntry>({entry({"A1", "B1"}, {{"C1", "D1"}}), entries.at(1), entries.at(2),
                                                entry({""}, {{"漺"}}), entries.at(4)}));
    }
};

QTEST_GUILESS_MAIN(TestBulk)
#include "test_bulk.moc"
