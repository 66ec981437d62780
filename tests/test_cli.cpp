// narctext end to end: the real binary (env NARCTEXT) on real files, its output
// compared with what the core calls behind the window produce on the same archive.

#include "filesizelimit.h"
#include "messagefixture.h"
#include "narcfixture.h"
#include "windowfixture.h" // writeArchive

#include "bulk/exportfile.h"
#include "bulk/exporttree.h"
#include "bulk/importtree.h"
#include "codec/compose.h"
#include "codec/decode.h"
#include "narc/narcfile.h"
#include "narc/narcwriter.h"

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace core;

namespace {

struct Run
{
    int code = -1;
    QByteArray out, err;
};

QStringList linesOf(const QByteArray &text)
{
    return QString::fromUtf8(text).split('\n', Qt::SkipEmptyParts);
}

struct Reports : BulkObserver
{
    QStringList lines;
    void report(const QString &line) override { lines.append(line); }
};

// Entry 0: two sections of three lines, Japanese, a backslash, an empty last line.
// Entry 1: one section with control units. Entry 2: one line. Entry 3: too short
// for a head.
QList<NarcEntry> testEntries()
{
    return {buildMessageFile(QList<QStringList>{{"Hello", "back\\slash", ""}, {"こんにちは", "漢字 hello", ""}}),
            buildMessageFile(QList<QStringList>{{QStringLiteral("a\nb\uFFFE"), "plain"}}),
            buildMessageFile(QList<QStringList>{{"only line"}}), NarcEntry(6, 'x')};
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
        QProcess process;
        process.setWorkingDirectory(dir->path());
        process.start(qEnvironmentVariable("NARCTEXT"), arguments);
        process.write(input);
        process.closeWriteChannel();
        const bool ended = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
        return {ended ? process.exitCode() : -1, process.readAllStandardOutput(), process.readAllStandardError()};
    }

private slots:
    void init()
    {
        QVERIFY2(QFileInfo(qEnvironmentVariable("NARCTEXT")).isExecutable(), "NARCTEXT must name the built binary");
        dir = std::make_unique<QTemporaryDir>();
        archive = path("test.narc");
        QVERIFY(writeArchive(archive, testEntries()));
    }

    void listShowFind()
    {
        const QList<NarcEntry> entries = testEntries();
        QCOMPARE(narctext({"list", archive}).out,
                 QString("0\t%1\t2\t3\n1\t%2\t1\t2\n2\t%3\t1\t1\n3\t6\tnot a message file: the header is cut short (6 bytes, "
                         "at least 12 needed)\n").arg(entries.at(0).size()).arg(entries.at(1).size()).arg(entries.at(2).size())
                     .toUtf8());
        for (const auto &[e, s] : {std::pair(0, 0), {0, 1}, {1, 0}})
            QCOMPARE(narctext({"show", archive, QString::number(e), QString::number(s)}).out,
                     (decodeMessageSection(entries.at(e), s).lines.join('\n') + '\n').toUtf8());
        QCOMPARE(narctext({"find", "-i", archive, "HELLO"}).out, QString("0\t0\t0\tHello\n0\t1\t1\t漢字 hello\n").toUtf8());
        // The escaped text is searched, as the editor shows it.
        QCOMPARE(narctext({"find", archive, "\\xfffe"}).out, QByteArray("1\t0\t0\ta\\x000ab\\xfffe\n"));
    }

    // Both exports report the undecodable entry 3; the tree is then edited and
    // imported: a new line ending, a removed file, a section refused, bytes that
    // are not UTF-8.
    void bulkCommandsMatchTheWindow()
    {
        const Narc narc = loadNarcFile(archive).narc;
        // The window's tree needs its directories made beforehand; narctext makes them.
        QVERIFY(QDir().mkpath(path("window/0000")) && QDir().mkpath(path("window/0001")));
        Reports window;
        exportToTree(narc, path("window"), window);
        exportToFile(narc, path("window.txt"), window);
        const Run tree = narctext({"export", archive, path("cli")});
        const Run file = narctext({"export-file", archive, path("cli.txt")});
        QVERIFY(tree.code == 1 && file.code == 1);
        QCOMPARE(linesOf(tree.err + file.err), window.lines.replaceInStrings(path("window"), path("cli")));
        QCOMPARE(treeContents(path("cli")), treeContents(path("window")));
        QCOMPARE(readFileBytes(path("cli.txt")), readFileBytes(path("window.txt")));

        QVERIFY(writeFileBytes(path("cli/0001/0000.txt"), "Hi\r\nnew \\x000a line\r\n") && QFile::remove(path("cli/0000/0002.txt")));
        QVERIFY(writeFileBytes(path("cli/0000/0000.txt"), "one") && writeFileBytes(path("cli/0000/0001.txt"), "ok\n\xc3\x28"));
        Narc imported = narc;
        Reports reports;
        importFromTree(imported, path("cli"), reports);
        const QByteArray original = readFileBytes(archive);
        const Run run = narctext({"import", archive, path("cli"), "-o", "out.narc"});
        QCOMPARE(run.code, 1);
        QCOMPARE(linesOf(run.err), reports.lines);
        QCOMPARE(readFileBytes(path("out.narc")), serializeNarc(imported));
        QCOMPARE(readFileBytes(archive), original);
        // Without -o the archive itself is replaced.
        QCOMPARE(narctext({"import", archive, path("cli")}).code, 1);
        QCOMPARE(readFileBytes(archive), serializeNarc(imported));
    }

    // Section 1 of entry 0 from a file or standard input ("-"); the archive is
    // written also when the section is refused.
    void setMatchesTheWindow()
    {
        const QByteArray lines = QString("一\\x005c\n二\nさん\n").toUtf8();
        for (const auto &[text, source] : QList<std::pair<QByteArray, QString>>{
                 {lines, "text.txt"}, {"\xef\xbb\xbf" + lines, "-"}, {"1\n2", "text.txt"}, {"a\n\xc3\x28\nc", "-"}}) {
            QVERIFY(writeFileBytes(path("text.txt"), text));
            Narc narc = loadNarcFile(archive).narc;
            const bool utf8 = !QString::fromUtf8(text).contains(QChar::ReplacementCharacter);
            const ComposeResult composed = composeEntry(narc.files.at(0), QString::fromUtf8(text).remove(QChar(0xFEFF)), 0, 1);
            if (utf8 && composed.changed())
                narc.files[0] = composed.entry;
            const Run run = narctext({"set", archive, "0", "1", source, "-o", "out.narc"}, source == "-" ? text : QByteArray());
            QCOMPARE(run.code, utf8 && composed.changed() ? 0 : 1);
            const QString report = utf8 ? composed.report : "Failed to import from file: standard input (not valid UTF-8)";
            QCOMPARE(linesOf(run.err), report.isEmpty() ? QStringList() : QStringList(report));
            QCOMPARE(readFileBytes(path("out.narc")), serializeNarc(narc));
        }
    }

    // Commands that must leave every file as it was, run where test.narc is the
    // test archive, garbage.narc not an archive and text.txt twenty lines. "LIMIT"
    // runs narctext under a file size limit that cuts the archive write short.
    // Errors of status 2 are one line, and nothing goes to stdout.
    void exitStatuses()
    {
        QVERIFY(writeFileBytes(path("garbage.narc"), "NARC but not really"));
        QVERIFY(writeFileBytes(path("text.txt"), QByteArray("a\n").repeated(20)));
        const QMap<QString, QByteArray> before = treeContents(dir->path());
        const QList<std::tuple<QString, int, QString>> cases{
            {"--help", 0, ""}, {"find test.narc l", 0, ""}, {"find test.narc zzz", 1, "Cannot decode entry 3: "},
            {"show test.narc 3 0", 1, "Cannot decode section 0 of entry 3: "},
            {"import test.narc none", 2, "Failed to import. Either 0000 or 0001 does not exist in none/"},
            {"LIMIT set test.narc 0 0 text.txt", 2, "Failed to write test.narc: "},
            {"list garbage.narc", 2, "Failed to load garbage.narc: "}, {"", 2, ""}, {"frobnicate test.narc", 2, ""},
            {"list test.narc extra", 2, ""}, {"show test.narc 5 0", 2, ""}, {"show test.narc x 0", 2, ""},
            {"set test.narc 0 0 - -o", 2, ""}, {"find -z test.narc a", 2, ""}};
        for (auto [arguments, code, error] : cases) {
            std::unique_ptr<FileSizeLimit> limit(arguments.startsWith("LIMIT ") ? new FileSizeLimit(100) : nullptr);
            const Run run = narctext(arguments.remove("LIMIT ").split(' ', Qt::SkipEmptyParts), "a\nb\nc\n");
            limit.reset();
            QVERIFY2(run.code == code && run.err.startsWith(error.toUtf8()), qPrintable(arguments + ": " + run.err));
            if (code == 2)
                QVERIFY2(run.out.isEmpty() && linesOf(run.err).size() == 1 && run.err.endsWith('\n'), qPrintable(arguments));
            QCOMPARE(treeContents(dir->path()), before);
        }
    }

    // On a pipe, long work prints its report lines and nothing else: no progress bar.
    // (All commands share one console.)
    void noProgressWithoutTerminal()
    {
        QVERIFY(writeArchive(archive, QList<NarcEntry>(4000, buildMessageFile({QStringList(20, "line"), QStringList(20, "行")}))));
        const Run exported = narctext({"export", "test.narc", "tree"});
        QCOMPARE(exported.code, 0);
        QCOMPARE(exported.err, QByteArray("Exporting to directory tree/\n"));
    }

    void demoSample()
    {
        const QString sample = QFINDTESTDATA("../samples/demo.narc");
        const Run run = narctext({"list", sample});
        QVERIFY(run.code == 0 && !run.out.isEmpty() && !run.out.contains("not a message file"));
        // The generator is built beside narctext; running it again gives the same bytes.
        const QString generator = QFileInfo(qEnvironmentVariable("NARCTEXT")).dir().filePath("makedemo");
        QCOMPARE(QProcess::execute(generator, {path("demo.narc")}), 0);
        QCOMPARE(readFileBytes(path("demo.narc")), readFileBytes(sample));
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "test_cli.moc"
