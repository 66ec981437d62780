// Bulk work: export into one file, export into a tree of files, import from it.

#include "codec/decode.h"
#include "corefixture.h"
#include "document/archivesource.h"
#include "io/textfile.h"
#include "messagefixture.h"
#include "narc/narcwriter.h"
#include "narcfixture.h"
#include "onefile/exportfile.h"
#include "rows.h"
#include "tree/exporttree.h"
#include "tree/importtree.h"

#include <QBuffer>
#include <QDirIterator>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

using namespace core;

namespace {

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
        QVERIFY(QDir(root).mkpath("0000") && QDir(root).mkpath("0001")
                && writeFileBytes(file, QByteArray(1000000, 'z')));
        // A stale file of a section that is empty now is emptied, or it would be
        // imported back; the file of a section the entry does not have, and that of
        // a section that cannot be decoded, stay.
        QVERIFY(writeFileBytes(root + "0000/0002.txt", "stale")
                && writeFileBytes(root + "0001/0001.txt", "not a section"));
        QVERIFY(writeFileBytes(root + "0000/0003.txt", "edited by hand"));
        Reports log;
        exportToFile(archiveOf(entries), file, FileIdentity(), log);
        exportToTree(archiveOf(entries), root, FileIdentity(), EditedFiles::Replace, log); // ends in "/": none is added

        // Each section's text ends without a line break, so the next header follows
        // on the same line; both section headers appear for every entry.
        const QString header = "****Entry %1:\n****Entry %1: Section 0:\n%2****Entry %1: Section 1:\n%3";
        QString expected = header.arg(0).arg("Hello\nひらがな", "漢字\n") + header.arg(1).arg("a\\x005cb\\x000a", "")
                           + header.arg(2).arg("", "") + header.arg(3).arg("", "") + header.arg(4).arg("x", "");
        for (int i = 5; i <= 10000; ++i)
            expected += header.arg(i).arg(i == 10000 ? "last" : "", "");
        QCOMPARE(readFileBytes(file), expected.toUtf8());
        const QMap<QString, QByteArray> tree{{"0000", ""},
                                             {"0000/0000.txt", QStringLiteral("Hello\nひらがな").toUtf8()},
                                             {"0000/0001.txt", "a\\x005cb\\x000a"},
                                             {"0000/0002.txt", ""},
                                             {"0000/0003.txt", "edited by hand"},
                                             {"0000/0004.txt", "x"},
                                             {"0000/10000.txt", "last"},
                                             {"0001", ""},
                                             {"0001/0000.txt", QStringLiteral("漢字\n").toUtf8()},
                                             {"0001/0001.txt", "not a section"}};
        QCOMPARE(treeContents(root), tree);

        const QString cut = ": the header is cut short (8 bytes, at least 12 needed)";
        const QString failed = "Failed to export to file " + root;
        QCOMPARE(log.lines, QStringList({"Exporting to file " + file, "Cannot decode section 0 of entry 3" + cut,
                                         "Cannot decode section 1 of entry 3" + cut, "Exporting to directory " + root,
                                         failed + "0000/0003.txt: the section cannot be decoded" + cut,
                                         failed + "0001/0003.txt: the section cannot be decoded" + cut}));
    }

    // Exporting and importing an unedited tree gives back the archive byte for
    // byte, whatever the text holds: escapes, backslashes, surrogates, Japanese,
    // empty lines and sections, one to three sections. The entries keep their
    // memory: the archive is not held twice.
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
        QCOMPARE(exportToTree(narc, dir.path(), FileIdentity(), EditedFiles::Refuse, log).outcome(), Outcome::Done);
        const QList<NarcEntry> before = narc.files;
        QCOMPARE(importFromTree(narc, dir.path(), log).outcome(), Outcome::Done);
        QCOMPARE(serializeNarc(narc), original);
        for (qsizetype i = 0; i < entries.size(); ++i)
            QVERIFY(narc.files.at(i).constData() == before.at(i).constData());
    }

    // An edited tree is read back. Bytes that do not decode are refused, never
    // stored as replacement characters.
    void importEditedTree()
    {
        const QList<NarcEntry> entries{entry({"a", "b"}, {{"c", "d"}}), entry({"e", "f"}),
                                       entry({"g", "h"}, {{"i", "j"}}), entry({"k"}, {{"l"}}), entry({"m"}, {{"n"}})};
        Narc narc = archiveOf(entries);
        QTemporaryDir dir;
        const QString root = dir.path() + "/";
        QVERIFY(QDir(root).mkdir("0000") && QDir(root).mkdir("0001"));
        Reports log;
        for (const auto &[file, bytes] :
             QList<std::pair<QString, QByteArray>>{{"0000/0000.txt", "A1\r\nB1\r\n"},
                                                   {"0001/0000.txt",
                                                    "\xEF\xBB\xBF"
                                                    "C1\nD1\n\n"},                // CRLF; BOM, empty lines more
                                                   {"0000/0001.txt", "only one"}, // too few lines
                                                   {"0000/0002.txt", "caf\xC3\xA9\n\xE9t\xE9"},
                                                   {"0000/0003.txt", ""}, // not UTF-8; an empty line
                                                   {"0001/0003.txt", QByteArray("\xFF\xFE\x3A\x6F", 4)}}) // UTF-16LE
            QVERIFY(writeFileBytes(root + file, bytes));
        log.lines.clear();
        importFromTree(narc, dir.path(), log);
        const QString failed = "Failed to import from file: " + root;
        QCOMPARE(log.lines, QStringList({"Importing from directory " + root, "Skipping 0000/0001 due to too few lines",
                                         failed + "0000/0002.txt: not valid UTF-8", failed + "0001/0002.txt",
                                         failed + "0000/0004.txt", failed + "0001/0004.txt",
                                         "Finished importing from directory " + root}));
        QVERIFY(narc.files
                == QList<NarcEntry>({entry({"A1", "B1"}, {{"C1", "D1"}}), entries.at(1), entries.at(2),
                                     entry({""}, {{"漺"}}), entries.at(4)}));
    }

    // One rule for every edited text: a byte-order mark picks the encoding, else
    // UTF-8; invalid bytes and U+0000 are refused (UTF-16 without a mark is
    // valid UTF-8, full of NULs, and was stored as garbage).
    void editedTextRule_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text"); // empty: refused
        QTest::addColumn<QString>("reason");
        const QString kana = QStringLiteral("かな\nb");
        row("UTF-8", kana.toUtf8(), kana, "");
        row("UTF-8 with a mark", "\xEF\xBB\xBF" + kana.toUtf8(), kana, "");
        row("UTF-16LE with a mark", QByteArray("\xFF\xFE\x4B\x30\x6A\x30", 6), "かな", "");
        row("UTF-16BE with a mark", QByteArray("\xFE\xFF\x30\x4B", 4), "か", "");
        row("UTF-32LE with a mark", QByteArray("\xFF\xFE\0\0a\0\0\0", 8), "a", "");
        row("UTF-16LE without a mark", QByteArray("a\0b\0", 4), "", "UTF-16 text needs a byte-order mark");
        row("a NUL in UTF-8", QByteArray("a\0", 2), "", "U+0000");
        row("not UTF-8", QByteArray("caf\xE9"), "", "not valid UTF-8");
        row("cut UTF-8 sequence", QByteArray("a\xE3\x81"), "", "not valid UTF-8");
        row("odd UTF-16 byte",
            QByteArray("\xFF\xFE"
                       "a\0b",
                       5),
            "", "not valid UTF-16LE");
        row("lone surrogate", QByteArray("\xFE\xFF\xD8\x00\0a", 6), "", "not valid UTF-16BE");
    }

    void editedTextRule()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QFETCH(QString, reason);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        const Result<QString> read = readEditedText(buffer, 2);
        QCOMPARE(read.value, text);
        QCOMPARE(read.ok(), reason.isEmpty());
        QVERIFY2(read.reason.contains(reason), qPrintable(read.reason));

        // The import's one-read path gives the bytes of what is read as UTF-8,
        // its mark left out, and leaves every other encoding to the rule above.
        QTemporaryDir dir;
        QVERIFY(writeFileBytes(dir.filePath("text.txt"), bytes));
        QByteArray reused(100, 'x');
        const std::optional<QByteArrayView> utf8 = readEditedUtf8File(dir.filePath("text.txt"), Links::Refuse, 2,
                                                                      reused);
        const bool otherMark = bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
        QCOMPARE(utf8.has_value(), !otherMark);
        if (utf8)
            QCOMPARE(utf8->toByteArray(), bytes.startsWith("\xEF\xBB\xBF") ? bytes.sliced(3) : bytes);
    }

    // What a section can hold bounds the read: 65,535 units of six characters per
    // line. A one-line section refuses a file larger than two such lines before
    // reading it (a 1 GB one-line file took 4.2 GB); a pipe is read no further.
    void editedTextIsBounded()
    {
        const qint64 limit = maxSectionTextChars(1);
        QCOMPARE(limit, 2 * (65535 * 6 + 2));
        QTemporaryDir dir;
        QFile file(dir.filePath("huge.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(qint64(1) << 30));
        file.close();
        Result<QString> read = readEditedTextFile(file.fileName(), Links::Refuse, 1);
        QVERIFY2(read.reason.startsWith("larger than the text of a section of 1 lines can be"),
                 qPrintable(read.reason));
        QVERIFY(file.resize(limit + 4)
                && readEditedTextFile(file.fileName(), Links::Refuse, 1).reason.contains("U+0000"));
        QVERIFY(file.resize(limit + 5)
                && readEditedTextFile(file.fileName(), Links::Refuse, 1).reason.startsWith("larger"));

        QProcess endless;
        endless.setStandardInputFile("/dev/zero");
        endless.start("cat");
        QVERIFY(endless.waitForStarted());
        read = readEditedText(endless, 1);
        QVERIFY2(read.reason.startsWith("larger"), qPrintable(read.reason));
        endless.kill();
        endless.waitForFinished();
    }

    // A symbolic link, device or FIFO in a tree is neither written through nor
    // read, and never waited on: each is reported with its reason and the run
    // goes on. A tree from someone else made the export overwrite any file.
    void linksAndSpecialFilesInATree()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath("tree") + "/";
        QVERIFY(QDir().mkpath(root + "0000") && QDir().mkpath(root + "0001"));
        const QString outside = dir.filePath("precious.txt");
        QVERIFY(writeFileBytes(outside, "keep me"));
        QVERIFY(QFile::link(outside, root + "0000/0000.txt") && QFile::link("/dev/zero", root + "0001/0000.txt"));
        QCOMPARE(QProcess::execute("mkfifo", {root + "0000/0001.txt"}), 0);
        const QList<NarcEntry> entries{entry({"a"}, {{"b"}}), entry({"c"}), entry({"d"})};
        Narc narc = archiveOf(entries);
        Reports log;
        const BulkSummary exported = exportToTree(narc, root, FileIdentity(), EditedFiles::Refuse, log);
        const QString exportFailed = "Failed to export to file " + root;
        QCOMPARE(log.lines,
                 QStringList({"Exporting to directory " + root, exportFailed + "0000/0000.txt: it is a symbolic link",
                              exportFailed + "0001/0000.txt: it is a symbolic link",
                              exportFailed + "0000/0001.txt: it is a pipe (FIFO), not a regular file"}));
        QVERIFY(exported.outcome() == Outcome::DoneWithSkips && exported.filesFailed == 3);
        QCOMPARE(readFileBytes(outside), QByteArray("keep me"));
        QCOMPARE(readFileBytes(root + "0000/0002.txt"), QByteArray("d"));

        QVERIFY(writeFileBytes(outside, "X") && writeFileBytes(root + "0000/0002.txt", "D"));
        log.lines.clear();
        const BulkSummary imported = importFromTree(narc, root, log);
        const QString importFailed = "Failed to import from file: " + root;
        QCOMPARE(log.lines,
                 QStringList({"Importing from directory " + root, importFailed + "0000/0000.txt: it is a symbolic link",
                              importFailed + "0001/0000.txt: it is a symbolic link",
                              importFailed + "0000/0001.txt: it is a pipe (FIFO), not a regular file",
                              "Finished importing from directory " + root}));
        QCOMPARE(imported.filesFailed, 3);
        QCOMPARE(narc.files, QList<NarcEntry>({entries.at(0), entries.at(1), entry({"D"})}));
        // A link that leads nowhere is a link too, not a missing file.
        QVERIFY(QFile::remove(root + "0000/0002.txt") && QFile::link(dir.filePath("gone"), root + "0000/0002.txt"));
        log.lines.clear();
        importFromTree(narc, root, log);
        QVERIFY(log.lines.contains(importFailed + "0000/0002.txt: it is a symbolic link"));
    }

    // Only the sections an entry has are looked for: a one-section entry's
    // "0001" file is not missing (it was reported for every such entry, burying
    // real failures). One that is there would be ignored, so it is reported as
    // skipped. An empty entry has no sections.
    void importLooksOnlyForSectionsTheEntryHas()
    {
        QTemporaryDir dir;
        const QString root = dir.path() + "/";
        QVERIFY(QDir(root).mkdir("0000") && QDir(root).mkdir("0001"));
        Narc narc = archiveOf({entry({"a"}), entry({"b"}), NarcEntry(), entry({"c"}, {{"d"}})});
        QVERIFY(writeFileBytes(root + "0000/0000.txt", "A") && writeFileBytes(root + "0001/0001.txt", "lost"));
        QVERIFY(writeFileBytes(root + "0000/0002.txt", "lost too"));
        Reports log;
        const BulkSummary summary = importFromTree(narc, root, log);
        const QString failed = "Failed to import from file: " + root;
        QCOMPARE(log.lines, QStringList({"Importing from directory " + root, failed + "0000/0001.txt",
                                         "Skipping 0001/0001: the entry has no section 1",
                                         "Skipping 0000/0002: the entry has no section 0", failed + "0000/0003.txt",
                                         failed + "0001/0003.txt", "Finished importing from directory " + root}));
        QCOMPARE(summary.sectionsSkipped, 2);
        QCOMPARE(summary.filesMissing, 3);
        QCOMPARE(narc.files.at(0), entry({"A"}));
    }

    // What an export would replace, for the window's question before it: files
    // edited since, in export order; none in a tree not made yet or unchanged;
    // linked folders give the reason the export will refuse them for.
    void editedTreeFiles()
    {
        const Narc narc = archiveOf({entry({"a"}, {{"b"}}), entry({"c"})});
        QTemporaryDir dir;
        const QString root = dir.path() + "/";
        Reports log;
        QCOMPARE(findEditedTreeFiles(narc, root).value.count, 0);
        QCOMPARE(exportToTree(narc, root, FileIdentity(), EditedFiles::Refuse, log).outcome(), Outcome::Done);
        QCOMPARE(findEditedTreeFiles(narc, root).value.count, 0);
        // One edited file is enough for the export to refuse.
        QVERIFY(writeFileBytes(root + "0000/0001.txt", "C"));
        QCOMPARE(exportToTree(narc, root, FileIdentity(), EditedFiles::Refuse, log).outcome(), Outcome::Refused);
        QCOMPARE(readFileBytes(root + "0000/0001.txt"), "C");
        QVERIFY(writeFileBytes(root + "0001/0000.txt", "B"));
        QVERIFY(writeFileBytes(root + "0001/0001.txt", "not a section: never written"));
        const Result<EditedTreeFiles> edited = findEditedTreeFiles(narc, root);
        QCOMPARE(QString("%1 %2").arg(edited.value.count).arg(edited.value.first), "2 " + root + "0001/0000.txt");
        QVERIFY(QDir(root + "0001").removeRecursively() && QFile::link("0000", root + "0001"));
        QCOMPARE(findEditedTreeFiles(narc, root).reason, "0001 is a symbolic link");
    }

    // The one-file export collects 1 MiB before each write: output of several
    // chunks, and one entry larger than a chunk, come out whole.
    void exportToFileOverOneMiB()
    {
        QList<NarcEntry> entries(300, entry({QString(5000, QChar(0x3042))}));
        entries[7] = entry({QString(60000, 'w'), QString(60000, 'v')}, {{QString(60000, QChar(0x6F22)), "x"}});
        QByteArray expected;
        for (int i = 0; i < entries.size(); ++i) {
            expected += QString("****Entry %1:\n").arg(i).toUtf8();
            for (int s = 0; s < 2; ++s)
                expected += QString("****Entry %1: Section %2:\n").arg(i).arg(s).toUtf8()
                            + decodeMessageSection(entries.at(i), s).lines.join('\n').toUtf8();
        }
        QVERIFY(expected.size() > 4 << 20);
        QTemporaryDir dir;
        Reports log;
        QVERIFY(exportToFile(archiveOf(entries), dir.filePath("all.txt"), FileIdentity(), log).finished);
        QCOMPARE(readFileBytes(dir.filePath("all.txt")), expected);

        // Read one entry at a time from the file: the same bytes. An archive cut
        // short after its tables were read stops the export, which keeps nothing
        // of it and leaves the file that was there.
        QVERIFY(writeArchive(dir.filePath("a.narc"), entries));
        Result<std::unique_ptr<ArchiveEntries>> stream = ArchiveEntries::open(dir.filePath("a.narc"));
        QVERIFY(stream.ok());
        QVERIFY(exportToFile(*stream.value, dir.filePath("streamed.txt"), FileIdentity(), log).finished);
        QCOMPARE(readFileBytes(dir.filePath("streamed.txt")), expected);
        QVERIFY(QFile::resize(dir.filePath("a.narc"), QFileInfo(dir.filePath("a.narc")).size() / 2));
        QVERIFY(exportToFile(*stream.value, dir.filePath("streamed.txt"), FileIdentity(), log).refused);
        QCOMPARE(readFileBytes(dir.filePath("streamed.txt")), expected);
        QCOMPARE(stream.value->failure(), "entry 112 cannot be read");
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestBulk)
#include "test_bulk.moc"
