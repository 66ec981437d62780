// narctext end to end: the real binary (env NARCTEXT) on real files, its output
// compared with what the core calls behind the window produce on the same archive.

#include "cli/console.h"
#include "codec/decode.h"
#include "filesizelimit.h"
#include "io/fileidentity.h"
#include "messagefixture.h"
#include "narcfixture.h"
#include "process.h"
#include "report/lines.h"
#include "rows.h"

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

using namespace core;

namespace {

QStringList linesOf(const QByteArray &text)
{
    return QString::fromUtf8(text).split('\n', Qt::SkipEmptyParts);
}

// Entry 0: two sections of three lines, Japanese, a backslash, an empty last line.
// Entry 1: one section with control units. Entry 2: one line. Entry 3: too short
// for a head.
QList<NarcEntry> testEntries()
{
    return {buildMessageFile(QList<QStringList>{{"Hello", "back\\slash", ""}, {"こんにちは", "漢字 hello", ""}}),
            buildMessageFile(QList<QStringList>{{QStringLiteral("a\nb\uFFFE"), "plain"}}),
            buildMessageFile(QList<QStringList>{{"only -line"}}), NarcEntry(6, 'x')};
}

} // namespace

class CliTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir; // a fresh one for every test, holding test.narc
    QString archive;

    QString path(const QString &name) const { return dir->filePath(name); }

    // Runs narctext in the test's directory, feeding it `input`; stderr is a pipe,
    // not a terminal.
    Run narctext(const QStringList &arguments, const QByteArray &input = {}) const
    {
        RunSetup setup;
        setup.directory = dir->path();
        setup.input = input;
        return ::narctext(arguments, setup);
    }

private slots:
    void init()
    {
        QVERIFY2(QFileInfo(narctextPath()).isExecutable(), "NARCTEXT must name the built binary");
        dir = std::make_unique<QTemporaryDir>();
        archive = path("test.narc");
        QVERIFY(writeArchive(archive, testEntries()));
    }

    void listShowFind()
    {
        const QList<NarcEntry> entries = testEntries();
        QCOMPARE(
            narctext({"list", archive}).out,
            QString(
                "0\t%1\t2\t3\n1\t%2\t1\t2\n2\t%3\t1\t1\n3\t6\tnot a message file: the header is cut short (6 bytes, "
                "at least 12 needed)\n")
                .arg(entries.at(0).size())
                .arg(entries.at(1).size())
                .arg(entries.at(2).size())
                .toUtf8());
        for (const auto &[e, s] : {std::pair(0, 0), {0, 1}, {1, 0}})
            QCOMPARE(narctext({"show", archive, QString::number(e), QString::number(s)}).out,
                     (decodeMessageSection(entries.at(e), s).lines.join('\n') + '\n').toUtf8());
        // "--" ends the options: a text may start with a dash.
        QCOMPARE(narctext({"find", "--", archive, "-line"}).out, QByteArray("2\t0\t1\tonly -line\n"));
    }

    // Standard error that is not a terminal gets the report lines only, never
    // the progress bar, however long the work runs.
    void noProgressWithoutTerminal()
    {
        QTemporaryFile captured;
        QVERIFY(captured.open());
        std::fflush(stderr);
        const int saved = ::dup(STDERR_FILENO);
        QVERIFY(saved >= 0 && ::dup2(captured.handle(), STDERR_FILENO) >= 0);
        {
            ConsoleObserver console; // as narctext makes it: the bar when standard error is a terminal
            console.begin(2);
            QTest::qSleep(300); // past the moment the bar would first appear
            console.progress(1);
            console.note("a line");
        }
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
        QCOMPARE(readFileBytes(captured.fileName()), QByteArray("a line\n"));
    }

    // An empty entry is a message file without sections, for every command:
    // nothing to show, search or export, and nothing to report. When no section
    // changed nothing is written, and the command says so (an import of an
    // unedited tree or PO file rewrote the archive); hostileInput has the same
    // for a refused set, comparing the files' inodes too. Run where
    // empty.narc holds the same one-line entry 0 and 2 around an empty entry 1;
    // `before` runs first, when given, and must succeed (the exports are run so).
    void emptyEntry_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out"); // %1: the size of entries 0 and 2
        QTest::addColumn<QString>("err");
        row("list", "", "list empty.narc", 0, "0\t%1\t1\t1\n1\t0\t0\t0\n2\t%1\t1\t1\n", "");
        row("find", "", "find empty.narc Hello", 0, "0\t0\t1\tHello\n2\t0\t1\tHello\n", "");
        row("replace", "", "replace empty.narc Hello Bye -o out.narc", 0, "", "Replaced 2 occurrences in 2 sections\n");
        row("export-file", "", "export-file empty.narc out.txt", 0, "", "Exporting to file out.txt\n");
        row("import in place", "export empty.narc tree", "import empty.narc tree", 0, "",
            "Importing from directory tree/\nFinished importing from directory tree/\n"
            "Nothing changed; empty.narc not written\n");
        row("import-po", "export-po empty.narc out.po", "import-po empty.narc out.po -o out.narc", 0, "",
            "Importing translations from out.po\nFinished importing translations from out.po: "
            "0 applied, 0 skipped, 2 untranslated, 0 fuzzy\nNothing changed; out.narc not written\n");
    }

    void emptyEntry()
    {
        QFETCH(QString, before);
        QFETCH(QString, command);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const NarcEntry line = buildMessageFile(QList<QStringList>{{"Hello"}});
        QVERIFY(writeArchive(path("empty.narc"), {line, NarcEntry(), line}));
        if (!before.isEmpty())
            QCOMPARE(narctext(before.split(' ')).code, 0);
        const Run run = narctext(command.split(' '));
        QCOMPARE(QString::fromUtf8(run.err), err);
        QCOMPARE(QString::fromUtf8(run.out), out.replace("%1", QString::number(line.size())));
        QCOMPARE(run.code, code);
    }

    // narctext --help lists every command, each command's help gives its synopsis
    // and options, and the manual page names every command and option they give.
    // Read from the help itself: a command or option added without its page fails.
    void helpAndManualAgree()
    {
        QFile page(QFINDTESTDATA("../dist/narctext.1"));
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString manual = QString::fromUtf8(page.readAll()).replace("\\-", "-");
        const auto part = [&](const char *title) {
            return manual.section(QString(".SH ") + title + "\n", 1).section("\n.SH ", 0, 0);
        };
        // What `pattern` captures in `text`, each group an item.
        const auto found = [](const QByteArray &text, const char *pattern) {
            QStringList items;
            const QRegularExpression expression(pattern, QRegularExpression::MultilineOption);
            for (const QRegularExpressionMatch &match : expression.globalMatch(QString::fromUtf8(text)))
                items << match.capturedTexts().mid(1);
            return items;
        };
        const char *optionLine = "^  (?:-(\\w), )?--([\\w-]+)";
        const Run help = narctext({"--help"});
        const QStringList names = found(help.out, "^  narctext (\\S+)");
        QStringList options = found(help.out, optionLine);
        QVERIFY(help.code == 0 && names.size() == 14);
        for (const QString &name : names) {
            QVERIFY2(part("SYNOPSIS").contains(".B narctext " + name + "\n"), qPrintable(name));
            QVERIFY2(part("COMMANDS").contains(".TP\n.B " + name + "\n"), qPrintable(name));
            const Run own = narctext({name, "--help"});
            const QString usage = QString::fromUtf8(own.out).section('\n', 0, 0);
            QVERIFY2(own.code == 0 && usage.startsWith("Usage: narctext " + name + " "), qPrintable(name));
            QVERIFY2(help.out.contains("  " + usage.mid(7).toUtf8() + "\n"), qPrintable(usage));
            options += found(own.out, optionLine);
        }
        options.removeAll(QString());
        QVERIFY(options.contains("ignore-case") && options.contains("o") && options.contains("V"));
        for (const QString &option : options) {
            const QRegularExpression named(
                QString("(?<![\\w-])-%1%2(?![\\w-])").arg(option.size() > 1 ? "-" : "", option));
            QVERIFY2(part("OPTIONS").contains(named), qPrintable(option));
        }
    }

    // On a terminal, show and find print the units a terminal acts on (ESC, DEL,
    // the C1 controls) as their escapes, which read back to the same units; a
    // pipe gets the text as it is.
    void terminalGetsEscapes()
    {
        const QString hostile = "red" + QString(QChar(0x1B)) + "[31m" + QChar(0x7F) + QChar(0x9B) + "2J" + QChar(0x85)
                                + "end";
        QVERIFY(writeArchive(archive, {buildMessageFile(QList<QStringList>{{hostile, "plain"}})}));
        const QByteArray shown = "red\\x001b[31m\\x007f\\x009b2J\\x0085end";
        RunSetup terminal;
        terminal.directory = dir->path();
        terminal.terminal = true;
        QCOMPARE(::narctext({"show", "test.narc", "0", "0"}, terminal).out, shown + "\nplain\n");
        QCOMPARE(::narctext({"find", "test.narc", "end"}, terminal).out, "0\t0\t1\t" + shown + "\n");
        QCOMPARE(narctext({"show", "test.narc", "0", "0"}).out, (hostile + "\nplain\n").toUtf8());
        // Standard input read back, a byte-order mark dropped.
        QCOMPARE(
            narctext({"set", "test.narc", "0", "0", "-", "-o", "back.narc"}, "\xef\xbb\xbf" + shown + "\nother\n").code,
            0);
        QCOMPARE(narctext({"show", "back.narc", "0", "0"}).out, (hostile + "\nother\n").toUtf8());

        // Report lines are never data: a file name's controls are escaped on a pipe too.
        const Run named = narctext({"export-file", "test.narc", "out\x1b[2J.txt"});
        QVERIFY2(named.err.contains("Exporting to file out\\x001b[2J.txt\n"), named.err.constData());
        QVERIFY(!named.err.contains('\x1b'));
        QVERIFY(QFileInfo::exists(path("out\x1b[2J.txt")));
    }

    // '-' is standard output for export-file and export-po: the same bytes as
    // into a file. Standard output redirected to a file with >> is appended to
    // by every name of it: the file is written through the descriptor, never
    // replaced by a new one through the name its /proc link leads to.
    void standardStreams()
    {
        QCOMPARE(narctext({"export-file", "test.narc", "all.txt"}).code, 1); // entry 3 cannot be decoded
        QCOMPARE(narctext({"export-po", "test.narc", "all.pot"}).code, 1);
        for (const char *name : {"-", "/proc/self/fd/1"}) {
            for (const auto &[command, written] : {std::pair{"export-file", "all.txt"}, {"export-po", "all.pot"}}) {
                QVERIFY(writeFileBytes(path("log.txt"), "earlier\n"));
                const Result<FileIdentity> before = identifyPath(path("log.txt"));
                RunSetup appending;
                appending.directory = dir->path();
                appending.outputFile = path("log.txt");
                QCOMPARE(::narctext({command, "test.narc", name}, appending).code, 1);
                QCOMPARE(readFileBytes(path("log.txt")), "earlier\n" + readFileBytes(path(written)));
                QVERIFY2(identifyPath(path("log.txt")).value.sameFile(before.value), name);
            }
        }
    }

    // --quiet leaves the lines that report a problem, and only those.
    void quietKeepsProblems()
    {
        const Run loud = narctext({"export", "test.narc", "tree"});
        const Run quiet = narctext({"export", "--quiet", "test.narc", "tree"});
        QCOMPARE(loud.code, 1);
        QCOMPARE(quiet.code, 1);
        QCOMPARE(QString::fromUtf8(loud.err).section('\n', 0, 0), "Exporting to directory tree/");
        QCOMPARE(quiet.err, loud.err.mid(loud.err.indexOf('\n') + 1));
        QVERIFY(!quiet.err.isEmpty());
        const Run replaced = narctext({"replace", "-q", "--ignore-case", "test.narc", "HELLO", "bye", "--output",
                                       "out.narc"});
        QCOMPARE(replaced.code, 1); // entry 3 cannot be decoded
        QCOMPARE(replaced.err,
                 QByteArray("Cannot decode entry 3: the header is cut short (6 bytes, at least 12 needed)\n"));
        QCOMPARE(narctext({"find", "test.narc", "bye"}).code, 1);
        QCOMPARE(narctext({"find", "out.narc", "bye"}).code, 0);
    }

    // Both exports of the sample archive, byte for byte as committed
    // (tests/golden/demo.txt and the tree tests/golden/demo-tree).
    void demoSample()
    {
        const QString sample = QFINDTESTDATA("../samples/demo.narc");
        QCOMPARE(narctext({"export-file", sample, "demo.txt"}).code, 0);
        QCOMPARE(readFileBytes(path("demo.txt")), readFileBytes(QFINDTESTDATA("golden/demo.txt")));
        QCOMPARE(narctext({"export", sample, "tree"}).code, 0);
        QCOMPARE(treeContents(path("tree")), treeContents(QFINDTESTDATA("golden/demo-tree")));
        // The generator is built beside narctext; running it again gives the same bytes.
        const QString generator = QFileInfo(narctextPath()).dir().filePath("makedemo");
        QCOMPARE(QProcess::execute(generator, {path("demo.narc")}), 0);
        QCOMPARE(readFileBytes(path("demo.narc")), readFileBytes(sample));
        // --help is an option, not the name of the archive to write.
        RunSetup here;
        here.directory = dir->path();
        const Run help = runProgram(generator, {"--help"}, here);
        QVERIFY(help.code == 0 && help.out.startsWith("Usage: "));
        QVERIFY(!QFileInfo::exists(path("--help")));
    }

    // Hostile files and odd targets, run in a directory holding test.narc (entry 0
    // has two sections, entries 1 and 2 one), empty.narc (entry 1 is empty),
    // overlap.narc (100,000 entries on the same 1 MB), big.narc (one 1.5 GB
    // entry, sparse), the character devices
    // null and full (made here, or links to /dev's), a FIFO no one reads and an
    // export tree. Commands that must fail leave every file as it was: same
    // bytes, same inode, the devices and the FIFO still what they were.
    // "STDIN=f" and "STDOUT=f" redirect, "LIMIT" cuts file size at 100 bytes,
    // "MEMORY" limits the address space to 1 GiB. wide.narc holds one line of 60,000 characters.
    void hostileInput_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("error"); // stderr holds this
        QTest::addColumn<bool>("changes");  // whether a file in the directory may change
        const QString noDevice = "it is a device, not a regular file";
        row("archive is a device", "list /dev/zero", 2,
            "Failed to load /dev/zero: cannot open the file (" + noDevice + ")", false);
        row("overlapping entries", "MEMORY list overlap.narc", 2, "Failed to load overlap.narc: its entries overlap",
            false);
        row("entry larger than memory", "MEMORY set big.narc 0 0 text.txt -o out.narc", 2,
            "Failed to load big.narc: not enough memory\n", false);
        // Any other allocation that fails ends the program there, with nothing written.
        row("replacement larger than memory", "MEMORY replace wide.narc a " + QString(100000, 'b') + " -o out.narc", 2,
            "narctext: not enough memory\n", false);
        row("export-file into null", "export-file empty.narc null", 0, "Exporting to file null", false);
        row("export-file into full", "export-file empty.narc full", 1,
            "Exporting to file full\nFailed to export to file full: No space left on device", false);
        row("export-file into a FIFO no one reads", "export-file empty.narc fifo", 1,
            "Exporting to file fifo\nFailed to export to file fifo: it is a pipe (FIFO) that no program is reading",
            false);
        row("set -o null", "set test.narc 0 0 text.txt -o null", 0, "", false);
        row("set -o full", "set test.narc 0 0 text.txt -o full", 2, "Failed to write full: No space left on device",
            false);
        row("endless standard input", "STDIN=/dev/zero set test.narc 0 0 - -o out.narc", 1,
            "Failed to import from file: standard input: larger than the text of a section of 3 lines", true);
        row("standard input not UTF-8", "STDIN=bad.txt set test.narc 0 1 - -o out.narc", 1,
            "Failed to import from file: standard input: not valid UTF-8\nNothing changed; out.narc not written",
            false);
        // Into a standard output that fails, the output of a command and the
        // help texts (--help, -V, COMMAND --help: one path) say so and exit 2.
        const QString noSpace = "Failed to write to standard output: No space left on device\n";
        row("show to a full disk", "STDOUT=full show test.narc 0 0", 2, noSpace, false);
        row("help to a full disk", "STDOUT=full --help", 2, noSpace, false);
        row("entry equal to the count", "show test.narc 4 0", 2,
            "narctext: entry 4 is out of range (the archive has 4 entries)", false);
        row("set a section the entry lacks", "set test.narc 1 1 text.txt", 2,
            "narctext: entry 1 has no section 1 (it has 1)", false);
        row("export into a regular file", "export test.narc text.txt", 2,
            "Failed to export to directory text.txt/: cannot create the directory text.txt/ (File exists)", false);
        row("import, archive write fails", "LIMIT import test.narc edited", 2,
            "Finished importing from directory edited/\nFailed to write test.narc: File too large\n", false);
        // Its first bytes, read as a section count of 0, say nothing: the head is cut short.
        row("show, a head of zeros cut short", "show short.narc 0 0", 1,
            "Cannot decode section 0 of entry 0: the header is cut short (6 bytes", false);
        row("import, no 0001", "import test.narc half", 2,
            "Failed to import. Either 0000 or 0001 does not exist in half/", false);
        // Bad command lines: one line on standard error.
        row("no command", "", 2, "narctext: no command given", false);
        row("unknown command", "frobnicate test.narc", 2, "narctext: unknown command frobnicate", false);
        row("too many arguments", "list test.narc extra", 2, "narctext: list has too many arguments", false);
        row("entry not a number", "show test.narc x 0", 2, "narctext: entry x is not a valid index", false);
        row("unknown option", "find -z test.narc a", 2, "narctext: find: Unknown option 'z'", false);
        row("archive to standard output", "set test.narc 0 0 text.txt -o -", 2,
            "narctext: -o takes a file name, not standard output", false);
        // A section of 200 lines could hold 79 MB of escaped text; 64 MiB is the bound.
        row("text past 64 MiB", "STDIN=/dev/zero set long.narc 0 0 -", 1,
            "Failed to import from file: standard input: larger than the 64 MiB the text of a section may have\nNothing changed; long.narc not written",
            false);
        row("text of 64 MiB", "set long.narc 0 0 64mib.txt", 1,
            "Failed to import from file: 64mib.txt: it holds the character U+0000", false);
        row("text of 64 MiB and a byte", "set long.narc 0 0 64mib+1.txt", 1,
            "Failed to import from file: 64mib+1.txt: larger than the 64 MiB", false);
    }

    void hostileInput()
    {
        QFETCH(QString, command);
        QFETCH(int, code);
        QFETCH(QString, error);
        QFETCH(bool, changes);
        QByteArray overlap = buildNarcBytes(QList<QByteArray>(100000, QByteArray()) << QByteArray(1000000, 'x'));
        for (int i = 0; i < 100000; ++i)
            overlap.replace(0x1C + 8 * i + 4, 4, QByteArray("\x40\x42\x0F\x00", 4)); // ends at 1,000,000
        QVERIFY(writeFileBytes(path("overlap.narc"), overlap));
        const QList<QStringList> longLine{QStringList(QString(60000, QLatin1Char('a')))};
        QVERIFY(writeArchive(path("wide.narc"), {buildMessageFile(longLine)}));
        constexpr quint32 bigEntry = 1500u << 20;
        QByteArray big = buildNarcBytes({QByteArray(4, 'x')});
        const qint64 bigSize = big.size() - 4 + bigEntry;
        // The archive's size, the entry's end and the image block's size, then the entry is left sparse.
        for (const auto &[offset, value] :
             {std::pair<int, quint32>(8, quint32(bigSize)), {0x20, bigEntry}, {int(big.size()) - 8, bigEntry + 8}}) {
            const quint32 little = qToLittleEndian(value);
            big.replace(offset, 4, QByteArray(reinterpret_cast<const char *>(&little), 4));
        }
        big.chop(4);
        QFile bigFile(path("big.narc"));
        QVERIFY(bigFile.open(QIODevice::WriteOnly) && bigFile.write(big) == big.size() && bigFile.resize(bigSize));
        bigFile.close();
        QVERIFY(writeArchive(path("long.narc"), {buildMessageFile({QStringList(200, "line")})}));
        for (const qint64 size : {qint64(64) << 20, (qint64(64) << 20) + 1}) {
            QFile text(path(size % 2 ? "64mib+1.txt" : "64mib.txt")); // sparse: zeros
            QVERIFY(text.open(QIODevice::WriteOnly) && text.resize(size));
        }
        QVERIFY(writeArchive(path("empty.narc"), {testEntries().at(0), NarcEntry()}));
        for (const auto &[name, bytes] : {std::pair("text.txt", QByteArray("a\nb\nc")),
                                          {"bad.txt", QByteArray("a\n\xc3\x28\nc")},
                                          {"edited/0000/0002.txt", QByteArray("a new line")}})
            QVERIFY(QDir().mkpath(QFileInfo(path(name)).path()) && writeFileBytes(path(name), bytes));
        QCOMPARE(QProcess::execute("mkfifo", {path("fifo")}), 0);
        for (const auto &[name, minor] : {std::pair("null", "3"), std::pair("full", "7")}) {
            if (getuid() != 0 || QProcess::execute("mknod", {path(name), "c", "1", minor}) != 0)
                QVERIFY(QFile::link(QString("/dev/") + name, path(name)));
        }
        for (const char *folder : {"tree/0000", "tree/0001", "edited/0001", "half/0000"})
            QVERIFY(QDir().mkpath(path(folder)));
        QVERIFY(writeArchive(path("short.narc"), {NarcEntry(6, '\0')}));
        const auto inodes = [this] {
            QMap<QString, QString> kinds;
            for (const QString &name :
                 QDir(dir->path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
                struct stat info = {};
                stat(QFile::encodeName(path(name)).constData(), &info);
                kinds.insert(name, QString("%1 %2").arg(info.st_ino).arg(info.st_mode & S_IFMT));
            }
            return kinds;
        };
        const QMap<QString, QString> kindsBefore = inodes();
        const QMap<QString, QByteArray> before = treeContents(path("tree"));
        const QByteArray archiveBefore = readFileBytes(archive);

        RunSetup setup; // a hang shows as code -1
        setup.directory = dir->path();
        setup.timeoutMs = 20000;
        bool limitFiles = false;
        QStringList arguments = command.split(' ', Qt::SkipEmptyParts);
        while (!arguments.isEmpty()
               && QRegularExpression("^(STDIN=|STDOUT=|LIMIT$|MEMORY$)").match(arguments.first()).hasMatch()) {
            const QString option = arguments.takeFirst();
            if (option.startsWith("STDIN="))
                setup.inputFile = QDir(dir->path()).absoluteFilePath(option.mid(6));
            else if (option.startsWith("STDOUT="))
                setup.outputFile = path(option.mid(7));
            limitFiles |= option == "LIMIT";
            setup.memoryLimit = option == "MEMORY" ? quint64(1) << 30 : setup.memoryLimit;
        }
#if defined(__SANITIZE_ADDRESS__)
        if (setup.memoryLimit)
            QSKIP("AddressSanitizer reserves more address space than the limit allows");
#endif
        std::unique_ptr<FileSizeLimit> limit(limitFiles ? new FileSizeLimit(100) : nullptr);
        const Run run = ::narctext(arguments, setup);
        limit.reset();
        QVERIFY2(run.code == code && run.err.contains(error.toUtf8()),
                 qPrintable(QString::number(run.code) + " " + run.err));
        const bool oneLine = error.startsWith("narctext: ") || error.startsWith("Failed to write to standard output");
        if (code == 2)
            QVERIFY(run.out.isEmpty() && (!oneLine || linesOf(run.err).size() == 1));
        for (const char *special : {"null", "full", "fifo"})
            QCOMPARE(inodes().value(special), kindsBefore.value(special));
        if (!changes) {
            QCOMPARE(inodes(), kindsBefore);
            QCOMPARE(treeContents(path("tree")), before);
            QCOMPARE(readFileBytes(archive), archiveBefore);
        }
    }

    // An output that is the archive by any name is refused and nothing is
    // written: export-file replaced the archive with its text and exited 0, an
    // export truncated a tree file that was the archive. Run where soft.narc and
    // linked/0000/0000.txt are symbolic links to test.narc, and hard.narc and
    // tree/0000/0001.txt are hard links to it. -o naming the archive writes it in place.
    void outputOverTheArchive_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("error"); // the last line; empty: the command succeeds
        const QString refused = ": it is the archive being edited";
        row("export-file, symbolic link", "export-file test.narc soft.narc",
            "Failed to export to file soft.narc" + refused);
        row("export, a tree file", "export test.narc tree", "Failed to export to file tree/0000/0001.txt" + refused);
        row("export, a tree file by a symbolic link", "export test.narc linked",
            "Failed to export to file linked/0000/0000.txt" + refused);
        row("set -o, the archive by a link", "set test.narc 2 0 text.txt -o soft.narc", "");
    }

    void outputOverTheArchive()
    {
        QFETCH(QString, command);
        QFETCH(QString, error);
        QVERIFY(writeFileBytes(path("text.txt"), "new") && QFile::link("test.narc", path("soft.narc")));
        QVERIFY(QDir().mkpath(path("tree/0000")) && QDir().mkpath(path("tree/0001")));
        for (const char *name : {"hard.narc", "tree/0000/0001.txt"})
            QCOMPARE(::link(QFile::encodeName(archive).constData(), QFile::encodeName(path(name)).constData()), 0);
        QVERIFY(QDir().mkpath(path("linked/0000")) && QDir().mkpath(path("linked/0001")));
        QVERIFY(QFile::link("../../test.narc", path("linked/0000/0000.txt")));
        const QByteArray before = readFileBytes(archive);
        const Run run = narctext(command.split(' '));
        QCOMPARE(readFileBytes(path("hard.narc")), before);
        if (error.isEmpty()) {
            QCOMPARE(run.code, 0);
            QCOMPARE(run.err, QByteArray("soft.narc has 2 other names; they keep the old content\n"));
            QVERIFY(readFileBytes(archive) != before && QFileInfo(path("soft.narc")).isSymLink());
            return;
        }
        QCOMPARE(run.code, 2);
        QCOMPARE(linesOf(run.err).last(), error);
        // A one-file export refused says only that: no line that it began.
        if (command.startsWith("export-"))
            QCOMPARE(linesOf(run.err), QStringList(error));
        struct stat info = {};
        QVERIFY(stat(QFile::encodeName(archive).constData(), &info) == 0 && info.st_nlink == 3);
        QCOMPARE(readFileBytes(archive), before);
        QCOMPARE(treeContents(path("tree")).keys(), QStringList({"0000", "0000/0001.txt", "0001"}));
    }

    // Linked section folders refuse the whole export or import: 0001 linked to
    // 0000 swapped every section 0 for section 1 on the way back, 0000 linked
    // elsewhere made the export write, and the import read, outside the tree.
    void linkedTreeFolders_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("link"); // the folder and where it points
        QTest::addColumn<QString>("error");
        row("export, 0001 to 0000", "export", "0001 0000",
            "Failed to export to directory tree/: 0001 is a symbolic link");
        row("import, 0000 elsewhere", "import", "0000 ../outside",
            "Failed to import from directory tree/: 0000 is a symbolic link");
    }

    void linkedTreeFolders()
    {
        QFETCH(QString, command);
        QFETCH(QString, link);
        QFETCH(QString, error);
        QCOMPARE(narctext({"export", "test.narc", "tree"}).code, 1); // entry 3 cannot be decoded
        const QString folder = path("tree/" + link.section(' ', 0, 0));
        QVERIFY(QDir().rename(folder, path("outside")) || QDir(folder).removeRecursively());
        QVERIFY(QFile::link(link.section(' ', 1), folder));
        const QMap<QString, QByteArray> before = treeContents(dir->path());
        const Run run = narctext({command, "test.narc", "tree"});
        QCOMPARE(run.code, 2);
        QCOMPARE(run.err, error.toUtf8() + '\n');
        QCOMPARE(treeContents(dir->path()), before);
    }

    // A tree file with another name (a hard link) is replaced, never written
    // through: the other name was truncated in place. Re-exporting over files
    // edited since is refused without --force, naming how many and the first.
    void exportOverAnEditedTree()
    {
        QCOMPARE(narctext({"export", "test.narc", "tree"}).code, 1); // entry 3 cannot be decoded
        const QMap<QString, QByteArray> exported = treeContents(path("tree"));
        QCOMPARE(narctext({"export", "test.narc", "tree"}).code, 1); // unchanged: runs
        QVERIFY(writeFileBytes(path("notes.txt"), "my notes") && QFile::remove(path("tree/0000/0001.txt")));
        QCOMPARE(::link(QFile::encodeName(path("notes.txt")).constData(),
                        QFile::encodeName(path("tree/0000/0001.txt")).constData()),
                 0);
        QVERIFY(writeFileBytes(path("tree/0001/0000.txt"), "edited"));
        const QMap<QString, QByteArray> edited = treeContents(path("tree"));

        const Run refused = narctext({"export", "test.narc", "tree"});
        QCOMPARE(refused.code, 2);
        QCOMPARE(refused.err,
                 QByteArray("Failed to export to directory tree/: 2 files differ from the archive and would be "
                            "replaced, the first tree/0001/0000.txt\n"));
        QCOMPARE(treeContents(path("tree")), edited);
        QCOMPARE(narctext({"export", "--force", "test.narc", "tree"}).code, 1);
        QCOMPARE(treeContents(path("tree")), exported);
        QCOMPARE(readFileBytes(path("notes.txt")), QByteArray("my notes"));
    }

    // Two commands writing one archive at once run one after the other, the
    // second reading the first one's result: both read the archive, both wrote
    // it, and the first change was lost. Their texts come on standard input once
    // both have started, so that both had read the archive (or waited for it).
    void twoWritersAtOnce()
    {
        QProcess writers[2];
        const QStringList entries{"2", "1"};
        for (int i = 0; i < 2; ++i) {
            writers[i].setWorkingDirectory(dir->path());
            writers[i].start(qEnvironmentVariable("NARCTEXT"), {"set", "test.narc", entries.at(i), "0", "-"});
            QVERIFY(writers[i].waitForStarted());
        }
        QTest::qSleep(500);
        const QByteArray texts[2] = {"first\n", "A\nB\n"};
        for (int i = 0; i < 2; ++i) {
            writers[i].write(texts[i]);
            QVERIFY(writers[i].waitForBytesWritten());
            writers[i].closeWriteChannel();
        }
        for (int i = 0; i < 2; ++i) {
            QVERIFY(writers[i].waitForFinished(20000));
            QVERIFY2(writers[i].exitCode() == 0, writers[i].readAllStandardError().constData());
        }
        QCOMPARE(narctext({"show", "test.narc", "2", "0"}).out, QByteArray("first\n"));
        QCOMPARE(narctext({"show", "test.narc", "1", "0"}).out, QByteArray("A\nB\n"));
    }

    // A write in place keeps the archive's owner, group and mode (as root the new
    // file became root's), and says that its other names keep the old content.
    void inPlaceWriteKeepsOwnerAndTellsOfOtherNames()
    {
        // The mode alone first: the owner is the writer already.
        QCOMPARE(chmod(QFile::encodeName(archive).constData(), 0604), 0);
        QVERIFY(writeFileBytes(path("text.txt"), "first"));
        QCOMPARE(narctext({"set", "test.narc", "2", "0", "text.txt"}).code, 0);
        struct stat mode = {};
        QCOMPARE(stat(QFile::encodeName(archive).constData(), &mode), 0);
        QCOMPARE(mode.st_mode & 07777, mode_t(0604));

        const bool root = getuid() == 0;
        if (root)
            QCOMPARE(chown(QFile::encodeName(archive).constData(), 1234, 5678), 0);
        QCOMPARE(chmod(QFile::encodeName(archive).constData(), 0640), 0);
        QCOMPARE(::link(QFile::encodeName(archive).constData(), QFile::encodeName(path("other.narc")).constData()), 0);
        QVERIFY(writeFileBytes(path("text.txt"), "changed"));
        const QByteArray before = readFileBytes(archive);
        const Run run = narctext({"set", "test.narc", "2", "0", "text.txt"});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.err, QByteArray("test.narc has 1 other name; it keeps the old content\n"));
        struct stat info = {};
        QCOMPARE(stat(QFile::encodeName(archive).constData(), &info), 0);
        QCOMPARE(QString("%1 %2 %3").arg(info.st_uid).arg(info.st_gid).arg(info.st_mode & 07777, 0, 8),
                 root ? QString("1234 5678 640") : QString("%1 %2 640").arg(getuid()).arg(getgid()));
        QCOMPARE(readFileBytes(path("other.narc")), before);
        QVERIFY(readFileBytes(archive) != before);
    }

    // A file name that is not valid UTF-8 reached narctext with U+FFFD for its
    // bad byte: an existing file was "not there", -o wrote a file of another name.
    void nonUtf8FileNames()
    {
        const QByteArray existing = QFile::encodeName(dir->path()) + "/a\xff.narc";
        const int fd = ::open(existing.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
        QVERIFY(writeFileBytes(path("text.txt"), "new"));
        const QStringList before = QDir(dir->path()).entryList(QDir::Files);
        RunSetup here;
        here.directory = dir->path();
        const auto run = [&](const QString &script) {
            return runProgram("/bin/sh", {"-c", script, narctextPath()}, here);
        };
        const Run list = run("\"$0\" list \"$(printf 'a\\377.narc')\"");
        QCOMPARE(list.code, 2);
        QCOMPARE(QString::fromUtf8(list.err),
                 "Failed to load a\uFFFD.narc: cannot open the file (the file name is not valid UTF-8)\n");
        const Run set = run("\"$0\" set test.narc 2 0 text.txt -o \"$(printf 'b\\376.narc')\"");
        QCOMPARE(set.code, 2);
        QCOMPARE(QString::fromUtf8(set.err), "Failed to write b\uFFFD.narc: the file name is not valid UTF-8\n");
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files), before);
    }

    // A tree file for an entry the archive does not have was ignored without a
    // word. Names the export does not make (too few digits, a leading zero
    // past four) are no tree files: 00002.txt is not entry 2's.
    void treeFileForAMissingEntry()
    {
        QVERIFY(QDir().mkpath(path("tree/0000")) && QDir().mkpath(path("tree/0001")));
        QVERIFY(writeFileBytes(path("tree/0000/0999.txt"), "lost")
                && writeFileBytes(path("tree/0001/12345.txt"), "lost"));
        QVERIFY(writeFileBytes(path("tree/0000/999.txt"), "not a tree file name"));
        QVERIFY(writeFileBytes(path("tree/0000/00002.txt"), "not entry 2"));
        const Run run = narctext({"import", "test.narc", "tree", "-o", "out.narc"});
        QCOMPARE(run.code, 1);
        QVERIFY(
            run.err.contains("Skipping 0000/0999: the archive has no entry 999\n"
                             "Skipping 0001/12345: the archive has no entry 12345\n"));
        QVERIFY(!run.err.contains("999.txt"));
        QVERIFY(run.err.contains("Failed to import from file: tree/0000/0002.txt\n")); // missing, not unreadable
        QVERIFY(!QFileInfo::exists(path("out.narc")));                                 // nothing changed
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "test_cli.moc"
