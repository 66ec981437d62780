// Comparing archives: the comparison of two entries, narctext diff and the dry
// runs run as a process on real files, and the progress the window keeps
// against a reference.

#include "codec/compose.h"
#include "corefixture.h"
#include "diff/difftext.h"
#include "diff/entrydiff.h"
#include "diff/referenceprogress.h"
#include "messagefixture.h"
#include "narcfixture.h"
#include "process.h"
#include "rows.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace core;

namespace {

NarcEntry message(const QList<QStringList> &sections)
{
    return buildMessageFile(sections);
}

// A message file too short for a head: it cannot be decoded.
NarcEntry undecodable(char fill)
{
    return NarcEntry(6, fill);
}

// What a dry run must leave as it was: the bytes, the inode and the time of the
// last change.
QByteArray fileState(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return readFileBytes(path) + '/' + QByteArray::number(qulonglong(info.st_ino)) + '/'
           + QByteArray::number(qlonglong(info.st_mtim.tv_sec)) + '.'
           + QByteArray::number(qlonglong(info.st_mtim.tv_nsec));
}

} // namespace

class DiffTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(QFileInfo(narctextPath()).isExecutable(), "NARCTEXT must name the built binary"); }

    // Entry 4 of two archives: the diff as printed, the lines of the new entry and
    // how many of them differ.
    void entries_data()
    {
        QTest::addColumn<bool>("hasBefore");
        QTest::addColumn<NarcEntry>("before");
        QTest::addColumn<bool>("hasAfter");
        QTest::addColumn<NarcEntry>("after");
        QTest::addColumn<QString>("diff");
        QTest::addColumn<qint64>("lines");
        QTest::addColumn<qint64>("changed");

        const NarcEntry abc = message({{"a", "b", "c"}});
        row("same", true, abc, true, abc, "", 3LL, 0LL);
        // Keys and attributes do not show: the text is the same.
        const NarcEntry otherKeys = buildMessageFile(QList<FixtureSection>{
            {fixtureLine("a", 0x1234, 7), fixtureLine("b", 0x0101), fixtureLine("c", 0xffff)}});
        QVERIFY(otherKeys != abc);
        row("same text, other keys", true, abc, true, otherKeys, "", 3LL, 0LL);
        row("one line", true, abc, true, message({{"a", "B", "c"}}), "@@ entry 4, Hiragana, line 2 @@\n-b\n+B\n", 3LL,
            1LL);
        row("runs of lines, in the second section", true,
            message({{"s0", "s0", "s0", "s0", "s0"}, {"1", "2", "3", "4", "5"}}), true,
            message({{"s0", "s0", "s0", "s0", "s0"}, {"one", "two", "3", "four", "5"}}),
            "@@ entry 4, Kanji, lines 1-2 @@\n-1\n+one\n-2\n+two\n@@ entry 4, Kanji, line 4 @@\n-4\n+four\n", 10LL,
            3LL);
        row("escaped as the editor shows it", true, message({{QStringLiteral("a\u0001b\\")}}), true,
            message({{"a b\\"}}), "@@ entry 4, Hiragana, line 1 @@\n-a\\x0001b\\x005c\n+a b\\x005c\n", 1LL, 1LL);
        row("last lines gone", true, abc, true, message({{"a", "b"}}),
            "entry 4, Hiragana: line count differs: 3, now 2\n"
            "@@ entry 4, Hiragana, line 3 @@\n-c\n",
            2LL, 0LL);
        row("more lines", true, message({{"a"}}), true, message({{"a", "b"}}),
            "entry 4, Hiragana: line count differs: 1, now 2\n"
            "@@ entry 4, Hiragana, line 2 @@\n+b\n",
            2LL, 1LL);
        row("section added", true, message({{"a"}}), true, message({{"a"}, {"k"}}), "entry 4, Kanji: added\n", 2LL,
            1LL);
        row("section removed", true, message({{"a"}, {"k"}}), true, message({{"a"}}), "entry 4, Kanji: removed\n", 1LL,
            0LL);
        row("entry added", false, NarcEntry(), true, abc, "entry 4: added\n", 3LL, 3LL);
        row("entry removed", true, abc, false, NarcEntry(), "entry 4: removed\n", 0LL, 0LL);
        row("became decodable", true, undecodable('x'), true, abc, "entry 4: bytes differ\n", 3LL, 3LL);
    }

    void entries()
    {
        QFETCH(bool, hasBefore);
        QFETCH(NarcEntry, before);
        QFETCH(bool, hasAfter);
        QFETCH(NarcEntry, after);
        QFETCH(QString, diff);
        QFETCH(qint64, lines);
        QFETCH(qint64, changed);
        const NarcEntry *old = hasBefore ? &before : nullptr;
        const NarcEntry *now = hasAfter ? &after : nullptr;
        const EntryComparison lined = compareEntries(4, old, now, DiffDetail::Lines);
        QCOMPARE(diffText(lined), diff);
        QCOMPARE(lined.differs(), !diff.isEmpty());
        // Counting alone, as progress and --stat do, gives the same figures.
        const EntryComparison counted = compareEntries(4, old, now, DiffDetail::Counts);
        QCOMPARE(counted.kind, lined.kind);
        QCOMPARE(QList<qint64>({lined.lines, lined.changed, counted.lines, counted.changed}),
                 QList<qint64>({lines, changed, lines, changed}));
    }

    // narctext diff --stat: a line per entry that differs, in archive order, and
    // the total, exit 1; equal texts print nothing, exit 0; an archive that
    // cannot be read, exit 2. (What diff itself prints is the dry runs' test.)
    void command()
    {
        QTemporaryDir dir;
        QVERIFY(writeArchive(dir.filePath("old.narc"),
                             {message({{"same", "lines"}}), message({{"Hello", "world", "bye"}}),
                              message({{"one section"}}), undecodable('x')}));
        QVERIFY(writeArchive(dir.filePath("new.narc"),
                             {message({{"same", "lines"}}), message({{"Bonjour", "world", "au revoir"}}),
                              message({{"one section"}, {"another"}}), undecodable('y'), message({{"new", "entry"}})}));
        QVERIFY(writeFileBytes(dir.filePath("text.txt"), "not an archive"));
        RunSetup setup;
        setup.directory = dir.path();
        const Run stat = ::narctext({"diff", "--stat", "old.narc", "new.narc"}, setup);
        QCOMPARE(stat.out, QByteArray("entry 1: 2 of 3 lines changed\n"
                                      "entry 2: 1 of 2 lines changed\n"
                                      "entry 3: bytes differ\n"
                                      "entry 4: added, 2 lines\n"
                                      "5 of 9 lines changed, 55%, in 4 entries\n"));
        QCOMPARE(stat.code, 1);
        const Run equal = ::narctext({"diff", "--stat", "old.narc", "old.narc"}, setup);
        QVERIFY(equal.code == 0 && equal.out.isEmpty() && equal.err.isEmpty());
        const Run refused = ::narctext({"diff", "old.narc", "text.txt"}, setup);
        QCOMPARE(refused.err, QByteArray("Failed to load text.txt: does not start with the tag NARC\n"));
        QCOMPARE(refused.code, 2);
    }

    // A dry run writes nothing, prints what the real run then changes (as diff
    // of the archive before and the file written shows it) and the real run's
    // report lines, and exits as it does.
    void dryRuns_data()
    {
        QTest::addColumn<QString>("command"); // the second word names the archive
        QTest::addColumn<int>("code");
        row("import, a file skipped", "import a.narc tree", 1);
        row("import of an unchanged tree", "import a.narc same", 0);
        row("import-po into a new file", "import-po a.narc fr.po -o out.narc", 0);
        row("replace in an archive with another name", "replace linked.narc fox cat", 1);
    }

    void dryRuns()
    {
        QFETCH(QString, command);
        QFETCH(int, code);
        const QStringList arguments = command.split(' ');
        const QString output = arguments.indexOf("-o") < 0 ? QString() : arguments.last();
        QTemporaryDir here;
        const auto at = [&](const QString &name) { return here.filePath(name); };
        const QList<NarcEntry> entries{message({{"Hello", "world", "fox"}, {"k1", "k2", "k3"}}),
                                       message({{"fox and dog", "bye", "end"}}), NarcEntry(), undecodable('x')};
        QVERIFY(writeArchive(at("a.narc"), entries));
        QVERIFY(writeArchive(at("linked.narc"), entries));
        QCOMPARE(::link(QFile::encodeName(at("linked.narc")).constData(),
                        QFile::encodeName(at("other-name.narc")).constData()),
                 0);
        RunSetup setup;
        setup.directory = here.path();
        // Exit status 1: entry 3 cannot be decoded.
        QCOMPARE(::narctext({"export", "a.narc", "tree"}, setup).code, 1);
        QCOMPARE(::narctext({"export", "a.narc", "same"}, setup).code, 1);
        QVERIFY(writeFileBytes(at("tree/0000/0000.txt"), "Salut\nworld\nfox\n"));
        QVERIFY(writeFileBytes(at("tree/0000/0001.txt"), "too few lines\n"));
        QVERIFY(writeFileBytes(at("fr.po"), poUtf8Header + poMessage("0000/0000/0001", "Hello", "Bonjour")));

        const QString archive = at(arguments.at(1));
        const QString written = output.isEmpty() ? arguments.at(1) : output;
        QVERIFY(QFile::copy(archive, at("before.narc")));
        const QByteArray before = fileState(archive);
        const QByteArray otherName = fileState(at("other-name.narc"));

        const Run dry = ::narctext(QStringList{"--dry-run"} + arguments, setup);
        QCOMPARE(fileState(archive), before);
        QCOMPARE(fileState(at("other-name.narc")), otherName);
        QVERIFY(output.isEmpty() || !QFile::exists(at(output)));

        const Run real = ::narctext(arguments, setup);
        QCOMPARE(real.code, code);
        QCOMPARE(dry.code, code);
        const bool wrote = fileState(at(written)) != (output.isEmpty() ? before : QByteArray());
        QCOMPARE(QString::fromUtf8(dry.err),
                 QString::fromUtf8(real.err) + (wrote ? "Dry run; " + written + " not written\n" : QString()));
        const Run diff = ::narctext({"diff", "before.narc", written}, setup);
        QCOMPARE(QString::fromUtf8(dry.out), QString::fromUtf8(diff.out));
        QCOMPARE(diff.code, wrote ? 1 : 0);
    }

    // The window's progress, kept current one entry at a time, always says what
    // a comparison of the whole archive says.
    void progressKeptCurrent()
    {
        QList<NarcEntry> originals;
        for (int i = 0; i < 6; ++i)
            originals.append(message({{"a" + QString::number(i), "b", "c"}, {"k", "l", "m"}}));
        originals.append(undecodable('x'));
        const Narc reference = archiveOf(originals);
        Narc archive = archiveOf(originals + QList<NarcEntry>{message({{"extra"}})});

        // Total lines and changed, then each entry's.
        const auto counts = [](const ReferenceProgress &progress) {
            QList<qint64> all{progress.total().lines, progress.total().changed};
            for (int i = 0; i < progress.entries(); ++i)
                all << progress.entry(i).lines << progress.entry(i).changed;
            return all;
        };
        ReferenceProgress progress;
        const auto expectWhole = [&] {
            ReferenceProgress whole;
            whole.compareAll(archive, reference);
            QCOMPARE(counts(progress), counts(whole));
        };
        progress.compareAll(archive, reference);
        QCOMPARE(counts(progress).mid(0, 2), QList<qint64>({37, 1}));
        QCOMPARE(progress.entry(7).changed, 1LL);
        // A Save Text: one entry, then back as it was.
        archive.files[2] = composeEntry(archive.files.at(2), "k\nL\nM", 1).entry;
        progress.compareEntry(2, archive, reference);
        expectWhole();
        archive.files[2] = originals.at(2);
        progress.compareEntry(2, archive, reference);
        expectWhole();
        // A bulk change: only entries whose bytes changed are compared again.
        const QList<NarcEntry> before = archive.files;
        archive.files[0] = composeEntry(archive.files.at(0), "x\ny\nz", 0).entry;
        archive.files[5] = composeEntry(archive.files.at(5), "x\nl\nm", 1).entry;
        progress.compareChanged(before, archive, reference);
        QCOMPARE(progress.total().changed, 5LL);
        expectWhole();
    }
};

QTEST_MAIN(DiffTest)
#include "test_diff.moc"
