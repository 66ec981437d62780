// Comparing archives: the comparison of two entries, narctext diff and --stat run
// as a process on real files, and the progress the window keeps against a
// reference.

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
struct FileState
{
    QByteArray bytes;
    ino_t inode = 0;
    qint64 modifiedNs = -1;

    static FileState of(const QString &path)
    {
        FileState state;
        struct stat info;
        if (::stat(QFile::encodeName(path).constData(), &info) != 0)
            return state;
        state.bytes = readFileBytes(path);
        state.inode = info.st_ino;
        state.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
        return state;
    }
    bool operator==(const FileState &other) const
    {
        return bytes == other.bytes && inode == other.inode && modifiedNs == other.modifiedNs;
    }
};

} // namespace

class DiffTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QString path(const QString &name) const { return dir.filePath(name); }

    Run narctextHere(const QStringList &arguments, bool terminal = false) const
    {
        RunSetup setup;
        setup.directory = dir.path();
        setup.terminal = terminal;
        return ::narctext(arguments, setup);
    }

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
        row("fewer lines", true, abc, true, message({{"a", "x"}}),
            "entry 4, Hiragana: line count differs: 3, now 2\n"
            "@@ entry 4, Hiragana, lines 2-3 @@\n-b\n+x\n-c\n",
            2LL, 1LL);
        row("last lines gone", true, abc, true, message({{"a", "b"}}),
            "entry 4, Hiragana: line count differs: 3, now 2\n"
            "@@ entry 4, Hiragana, line 3 @@\n-c\n",
            2LL, 0LL);
        row("more lines", true, message({{"a"}, {"k"}}), true, message({{"a", "b"}, {"k", "l"}}),
            "entry 4, Hiragana: line count differs: 1, now 2\n"
            "@@ entry 4, Hiragana, line 2 @@\n+b\n"
            "entry 4, Kanji: line count differs: 1, now 2\n"
            "@@ entry 4, Kanji, line 2 @@\n+l\n",
            4LL, 2LL);
        row("section added", true, message({{"a"}}), true, message({{"a"}, {"k"}}), "entry 4, Kanji: added\n", 2LL,
            1LL);
        row("section removed", true, message({{"a"}, {"k"}}), true, message({{"a"}}), "entry 4, Kanji: removed\n", 1LL,
            0LL);
        row("both empty", true, NarcEntry(), true, NarcEntry(), "", 0LL, 0LL);
        row("entry added", false, NarcEntry(), true, abc, "entry 4: added\n", 3LL, 3LL);
        row("entry removed", true, abc, false, NarcEntry(), "entry 4: removed\n", 0LL, 0LL);
        row("undecodable, bytes differ", true, undecodable('x'), true, undecodable('y'), "entry 4: bytes differ\n", 0LL,
            0LL);
        row("undecodable, same bytes", true, undecodable('x'), true, undecodable('x'), "", 0LL, 0LL);
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
        const EntryComparison lined = compareEntries(4, hasBefore ? &before : nullptr, hasAfter ? &after : nullptr,
                                                     DiffDetail::Lines);
        QCOMPARE(diffText(lined), diff);
        QCOMPARE(lined.differs(), !diff.isEmpty());
        QCOMPARE(lined.lines, lines);
        QCOMPARE(lined.changed, changed);
        // Counting alone gives the same figures.
        const EntryComparison counted = compareEntries(4, hasBefore ? &before : nullptr, hasAfter ? &after : nullptr,
                                                       DiffDetail::Counts);
        QCOMPARE(counted.kind, lined.kind);
        QCOMPARE(counted.lines, lines);
        QCOMPARE(counted.changed, changed);
    }

    // narctext diff over every kind of difference, in archive order, its --stat,
    // and the exit status diff gives.
    void command()
    {
        const QList<NarcEntry> old{message({{"same", "lines"}}), message({{"Hello", "world", "bye"}}),
                                   message({{"one section"}}), undecodable('x'), message({{"removed"}})};
        const QList<NarcEntry> now{message({{"same", "lines"}}), message({{"Bonjour", "world", "au revoir"}}),
                                   message({{"one section"}, {"another"}}), undecodable('y')};
        QVERIFY(writeArchive(path("old.narc"), old));
        QVERIFY(writeArchive(path("new.narc"), now));
        const QByteArray lines =
            "@@ entry 1, Hiragana, line 1 @@\n-Hello\n+Bonjour\n"
            "@@ entry 1, Hiragana, line 3 @@\n-bye\n+au revoir\n"
            "entry 2, Kanji: added\n"
            "entry 3: bytes differ\n"
            "entry 4: removed\n";
        Run run = narctextHere({"diff", "old.narc", "new.narc"});
        QCOMPARE(run.out, lines);
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(run.code, 1);

        run = narctextHere({"diff", "--stat", "old.narc", "new.narc"});
        QCOMPARE(run.out, QByteArray("entry 1: 2 of 3 lines changed\n"
                                     "entry 2: 1 of 2 lines changed\n"
                                     "entry 3: bytes differ\n"
                                     "entry 4: removed\n"
                                     "3 of 7 lines changed, 42%, in 4 entries\n"));
        QCOMPARE(run.code, 1);
        // The other way round, entries and sections only one side has swap.
        run = narctextHere({"diff", "--stat", "new.narc", "old.narc"});
        QCOMPARE(run.out, QByteArray("entry 1: 2 of 3 lines changed\n"
                                     "entry 2: 0 of 1 line changed\n"
                                     "entry 3: bytes differ\n"
                                     "entry 4: added, 1 line\n"
                                     "3 of 7 lines changed, 42%, in 4 entries\n"));
    }

    // Equal texts: exit 0 and nothing printed, whatever the bytes the text does not
    // show, and an archive against itself.
    void equalArchives()
    {
        const QList<NarcEntry> entries{message({{"a", "b"}, {"c", "d"}}), NarcEntry(), undecodable('x')};
        QVERIFY(writeArchive(path("a.narc"), entries));
        QList<NarcEntry> rekeyed = entries;
        rekeyed[0] = buildMessageFile(QList<FixtureSection>{{fixtureLine("a", 9), fixtureLine("b", 8)},
                                                            {fixtureLine("c", 7), fixtureLine("d", 6)}});
        QVERIFY(writeArchive(path("rekeyed.narc"), rekeyed));
        for (const char *other : {"a.narc", "rekeyed.narc"}) {
            for (const bool stat : {false, true}) {
                QStringList arguments{"diff", "a.narc", other};
                if (stat)
                    arguments.insert(1, "--stat");
                const Run run = narctextHere(arguments);
                QCOMPARE(run.out, QByteArray());
                QCOMPARE(run.err, QByteArray());
                QCOMPARE(run.code, 0);
            }
        }
    }

    // What cannot be compared is an error, exit 2, whichever side it is.
    void errors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("err");
        row("old missing", QStringList{"diff", "missing.narc", "a.narc"},
            "Failed to load missing.narc: cannot open the file (No such file or directory)\n");
        row("new not an archive", QStringList{"diff", "a.narc", "text.txt"},
            "Failed to load text.txt: does not start with the tag NARC\n");
        row("one argument", QStringList{"diff", "a.narc"},
            "narctext: diff is missing arguments; usage: narctext diff [--stat] OLD.narc "
            "NEW.narc\n");
    }

    void errors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, err);
        QVERIFY(writeArchive(path("a.narc"), {message({{"a"}})}));
        QVERIFY(writeFileBytes(path("text.txt"), "not an archive"));
        const Run run = narctextHere(arguments);
        QCOMPARE(QString::fromUtf8(run.err), err);
        QCOMPARE(run.out, QByteArray());
        QCOMPARE(run.code, 2);
    }

    // On a terminal, what a terminal would act on prints as its escape; a pipe
    // gets the text as it is.
    void terminalGetsEscapes()
    {
        const QString hostile = "red" + QString(QChar(0x1B)) + "[31m" + QChar(0x9B) + "2J";
        QVERIFY(writeArchive(path("a.narc"), {message({{"plain"}})}));
        QVERIFY(writeArchive(path("b.narc"), {message({{hostile}})}));
        const Run terminal = narctextHere({"diff", "a.narc", "b.narc"}, true);
        QCOMPARE(terminal.out, QByteArray("@@ entry 0, Hiragana, line 1 @@\n-plain\n+red\\x001b[31m\\x009b2J\n"));
        const Run pipe = narctextHere({"diff", "a.narc", "b.narc"});
        QCOMPARE(pipe.out, ("@@ entry 0, Hiragana, line 1 @@\n-plain\n+" + hostile + "\n").toUtf8());
    }

    // A dry run writes nothing, prints what the real run then changes (as diff
    // of the archive before and the file written shows it) and the real run's
    // report lines, and exits as it does.
    void dryRuns_data()
    {
        QTest::addColumn<QStringList>("arguments"); // the second names the archive
        QTest::addColumn<QString>("output");        // the -o file, or empty
        QTest::addColumn<int>("code");
        const auto row = [](const char *name, const QString &command, int code) {
            const QStringList arguments = command.split(' ');
            const qsizetype o = arguments.indexOf("-o");
            QTest::newRow(name) << arguments << (o < 0 ? QString() : arguments.at(o + 1)) << code;
        };
        row("import, a file skipped", "import a.narc tree", 1);
        row("import into a new file", "import a.narc tree -o out.narc", 1);
        row("import of an unchanged tree", "import a.narc same", 0);
        row("import of a tree refused", "import a.narc empty -o out.narc", 2);
        row("set", "set a.narc 0 1 lines.txt", 0);
        row("set, text refused", "set a.narc 0 0 short.txt", 1);
        row("import-po", "import-po a.narc fr.po -o out.narc", 0);
        row("replace, a section undecodable", "replace a.narc o 0", 1);
        row("replace, nothing found", "replace a.narc zzz y -o out.narc", 1);
        row("replace in an archive with another name", "replace linked.narc fox cat", 1);
    }

    void dryRuns()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, output);
        QFETCH(int, code);
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
        QVERIFY(QDir(here.path()).mkdir("empty"));
        QVERIFY(writeFileBytes(at("tree/0000/0000.txt"), "Salut\nworld\nfox\n"));
        QVERIFY(writeFileBytes(at("tree/0000/0001.txt"), "too few lines\n"));
        QVERIFY(writeFileBytes(at("lines.txt"), "K1\nk2\nK3\n"));
        QVERIFY(writeFileBytes(at("short.txt"), "one line\n"));
        QCOMPARE(::narctext({"export-po", "a.narc", "a.pot"}, setup).code, 1);
        QByteArray po = readFileBytes(at("a.pot"));
        QVERIFY(po.contains("msgid \"Hello\"\nmsgstr \"\""));
        po.replace("msgid \"Hello\"\nmsgstr \"\"", "msgid \"Hello\"\nmsgstr \"Bonjour\"");
        QVERIFY(writeFileBytes(at("fr.po"), po));

        const QString archive = at(arguments.at(1));
        QVERIFY(QFile::copy(archive, at("before.narc")));
        const FileState before = FileState::of(archive);
        const FileState otherName = FileState::of(at("other-name.narc"));

        const Run dry = ::narctext(QStringList{"--dry-run"} + arguments, setup);
        QCOMPARE(FileState::of(archive), before);
        QCOMPARE(FileState::of(at("other-name.narc")), otherName);
        if (!output.isEmpty())
            QVERIFY(!QFile::exists(at(output)));

        const Run real = ::narctext(arguments, setup);
        QCOMPARE(real.code, code);
        QCOMPARE(dry.code, real.code);
        const QString written = output.isEmpty() ? arguments.at(1) : output;
        const bool wrote = !(FileState::of(archive) == before) || (!output.isEmpty() && QFile::exists(at(output)));
        QCOMPARE(QString::fromUtf8(dry.err),
                 QString::fromUtf8(real.err) + (wrote ? "Dry run; " + written + " not written\n" : QString()));
        const Run diff = ::narctext({"diff", "before.narc", wrote ? written : arguments.at(1)}, setup);
        QCOMPARE(QString::fromUtf8(dry.out), QString::fromUtf8(diff.out));
        QCOMPARE(diff.code, wrote ? 1 : 0);
        QCOMPARE(dry.out.isEmpty(), !wrote);
        if (wrote && !output.isEmpty())
            QVERIFY(FileState::of(archive) == before);
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

        ReferenceProgress progress;
        progress.compareAll(archive, reference);
        QCOMPARE(progress.total().lines, 37LL);
        QCOMPARE(progress.total().changed, 1LL);
        QCOMPARE(progress.entry(7).changed, 1LL);

        const auto expectWhole = [&] {
            ReferenceProgress whole;
            whole.compareAll(archive, reference);
            QCOMPARE(progress.entries(), whole.entries());
            for (int i = 0; i < whole.entries(); ++i) {
                QCOMPARE(progress.entry(i).lines, whole.entry(i).lines);
                QCOMPARE(progress.entry(i).changed, whole.entry(i).changed);
            }
            QCOMPARE(progress.total().lines, whole.total().lines);
            QCOMPARE(progress.total().changed, whole.total().changed);
        };
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
