// narctext end to end: the real binary (env NARCTEXT) on real files, its output
// compared with what the core calls behind the window produce on the same archive.

#include "filesizelimit.h"
#include "messagefixture.h"
#include "narcfixture.h"

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

namespace {

struct Run
{
    int code = -1;
    QByteArray out;
    QByteArray err;
    QStringList errLines() const { return QString::fromUtf8(err).split('\n', Qt::SkipEmptyParts); }
};

struct Reports : BulkObserver
{
    QStringList lines;
    void report(const QString &line) override { lines.append(line); }
};

bool writeArchive(const QString &path, const QList<NarcEntry> &entries)
{
    Narc narc = newNarc();
    narc.files = entries;
    narc.fileCount = quint32(entries.size());
    return saveNarcFile(narc, path);
}

// Entry 0: two sections of three lines, Japanese, a backslash, an empty last line.
// Entry 1: one section with control units. Entry 2: one line. Entry 3: too short
// for a head. Entry 4: a fine head, but its line has no units.
QList<NarcEntry> testEntries()
{
    NarcEntry noUnits = buildMessageFile(QList<QStringList>{{"abc"}});
    noUnits[24] = noUnits[25] = 0; // the unit count of line 0 (block at 16, line table at 20)
    return {buildMessageFile(QList<QStringList>{{"Hello", "back\\slash", ""}, {"こんにちは", "漢字 hello", ""}}),
            buildMessageFile(QList<QStringList>{{QStringLiteral("a\nb\uFFFE"), "plain"}}),
            buildMessageFile(QList<QStringList>{{"only line"}}), NarcEntry(6, 'x'), noUnits};
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
                         "at least 12 needed)\n4\t%4\tnot a message file: line 0 of section 0 has no units\n")
                     .arg(entries.at(0).size()).arg(entries.at(1).size()).arg(entries.at(2).size()).arg(entries.at(4).size())
                     .toUtf8());
        for (const auto &[e, s] : {std::pair(0, 0), {0, 1}, {1, 0}, {2, 0}})
            QCOMPARE(narctext({"show", archive, QString::number(e), QString::number(s)}).out,
                     (decodeMessageSection(entries.at(e), s).lines.join('\n') + '\n').toUtf8());
        QCOMPARE(narctext({"find", archive, "l"}).out, QString("0\t0\t0\tHello\n0\t0\t1\tback\\x005cslash\n0\t1\t1\t漢字 hello\n"
                                                               "1\t0\t1\tplain\n2\t0\t0\tonly line\n").toUtf8());
        QCOMPARE(narctext({"find", "-i", archive, "HELLO"}).out, QString("0\t0\t0\tHello\n0\t1\t1\t漢字 hello\n").toUtf8());
        // The escaped text is searched, as the editor shows it.
        QCOMPARE(narctext({"find", archive, "\\xfffe"}).out, QByteArray("1\t0\t0\ta\\x000ab\\xfffe\n"));
    }

    // Both sides report the undecodable entries 3 and 4.
    void exportsMatchTheWindow()
    {
        const Narc narc = loadNarcFile(archive).narc;
        // The window's tree needs its directories made beforehand; narctext makes them.
        QVERIFY(QDir().mkpath(path("window/0000")) && QDir().mkpath(path("window/0001")));
        Reports treeReports;
        exportToTree(narc, path("window"), treeReports);
        const Run tree = narctext({"export", archive, path("new/tree")});
        QCOMPARE(tree.code, 1);
        QCOMPARE(tree.errLines(), treeReports.lines.replaceInStrings(path("window"), path("new/tree")));
        QCOMPARE(treeContents(path("new/tree")), treeContents(path("window")));

        Reports fileReports;
        exportToFile(narc, path("window.txt"), fileReports);
        const Run file = narctext({"export-file", archive, path("cli.txt")});
        QCOMPARE(file.code, 1);
        QCOMPARE(file.errLines(), fileReports.lines.replaceInStrings("window.txt", "cli.txt"));
        QCOMPARE(readFileBytes(path("cli.txt")), readFileBytes(path("window.txt")));
    }

    void importMatchesTheWindow()
    {
        // Edits to an exported tree (a null text removes the file), and the exit
        // status; the last case has no tree at all.
        const QList<std::pair<QList<std::pair<QString, QByteArray>>, int>> cases{
            {{{"0001/0000.txt", "Hi\r\nnew \\x000a line\r\n"}, {"0000/0002.txt", QByteArray()}}, 0},
            {{{"0000/0000.txt", "one"}, {"0000/0001.txt", "ok\n\xc3\x28"}, {"0000/0002.txt", "changed"}}, 1},
            {{}, 1}};
        for (const auto &[edits, code] : cases) {
            const QString root = path("tree");
            QVERIFY(QDir(root).removeRecursively());
            if (!edits.isEmpty())
                QCOMPARE(narctext({"export", archive, root}).code, 1);
            for (const auto &[file, text] : edits)
                QVERIFY(text.isNull() ? QFile::remove(root + '/' + file) : writeFileBytes(root + '/' + file, text));
            Narc narc = loadNarcFile(archive).narc;
            Reports reports;
            importFromTree(narc, root, reports);
            const QByteArray expected = serializeNarc(narc);
            const QByteArray original = readFileBytes(archive);

            const Run run = narctext({"import", archive, root, "-o", "out.narc"});
            QCOMPARE(run.code, code);
            QCOMPARE(run.errLines(), reports.lines);
            QCOMPARE(readFileBytes(path("out.narc")), expected);
            QCOMPARE(readFileBytes(archive), original);
            // Without -o the archive itself is replaced.
            QCOMPARE(narctext({"import", archive, root}).code, code);
            QCOMPARE(readFileBytes(archive), expected);
        }
    }

    // Section 1 of entry 0 from a file or standard input ("-"); the archive is
    // written also when the section is refused.
    void setMatchesTheWindow()
    {
        const QByteArray lines = QString("一\\x005c\n二\nさん\n").toUtf8();
        const QString notUtf8 = "Failed to read %1: the text is not valid UTF-8";
        for (const auto &[text, source, readError] : QList<std::tuple<QByteArray, QString, QString>>{
                 {lines, "text.txt", ""}, {"\xef\xbb\xbf" + lines, "-", ""}, {"1\n2", "text.txt", ""},
                 {"a\n\xc3\x28\nc", "-", notUtf8.arg("standard input")}, {"a\nb\nc\xe3\x81", "text.txt", notUtf8.arg("text.txt")}}) {
            QVERIFY(writeFileBytes(path("text.txt"), text));
            Narc narc = loadNarcFile(archive).narc;
            const ComposeResult composed = composeEntry(narc.files.at(0), QString::fromUtf8(text).remove(QChar(0xFEFF)), 0, 1);
            const bool changed = readError.isEmpty() && composed.changed();
            if (changed)
                narc.files[0] = composed.entry;
            const Run run = narctext({"set", archive, "0", "1", source, "-o", "out.narc"}, source == "-" ? text : QByteArray());
            QCOMPARE(run.code, changed ? 0 : 1);
            const QString report = readError.isEmpty() ? composed.report : readError;
            QCOMPARE(run.errLines(), report.isEmpty() ? QStringList() : QStringList(report));
            QCOMPARE(readFileBytes(path("out.narc")), serializeNarc(narc));
        }
    }

    // Commands that must leave every file as it was, run where test.narc is the
    // test archive, garbage.narc not an archive, text.txt twenty lines and "file"
    // a regular file. "LIMIT" runs narctext under a file size limit that cuts the
    // archive write short.
    void exitStatuses_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("error"); // how stderr starts
        const QList<std::tuple<const char *, int, const char *>> cases{
            {"--help", 0, ""}, {"--version", 0, ""}, {"list test.narc", 0, ""}, {"find test.narc l", 0, ""},
            {"find test.narc zzz", 1, "Cannot decode entry 3: "},
            {"show test.narc 4 0", 1, "Cannot decode section 0 of entry 4: line 0 of section 0 has no units"},
            {"set test.narc 0 0 text.txt -o file/out.narc", 2, "Failed to write file/out.narc: "},
            {"LIMIT set test.narc 0 0 text.txt", 2, "Failed to write test.narc: "},
            {"list garbage.narc", 2, "Failed to load garbage.narc: "}, {"show none.narc 0 0", 2, "Failed to load none.narc: "},
            {"export garbage.narc out", 2, "Failed to load garbage.narc: "},
            {"export-file none.narc out", 2, "Failed to load none.narc: "},
            {"import garbage.narc out", 2, "Failed to load garbage.narc: "},
            {"import none.narc out -o out", 2, "Failed to load none.narc: "},
            {"set garbage.narc 0 0 - -o out", 2, "Failed to load garbage.narc: "}, {"find none.narc a", 2, "Failed to load none.narc: "},
            {"", 2, ""}, {"frobnicate test.narc", 2, ""}, {"list", 2, ""}, {"list test.narc extra", 2, ""},
            {"list -i test.narc", 2, ""}, {"show test.narc 0", 2, ""}, {"show test.narc 5 0", 2, ""},
            {"show test.narc -1 0", 2, ""}, {"show test.narc x 0", 2, ""}, {"show test.narc 0 zero", 2, ""},
            {"show test.narc 2 1", 2, ""}, {"set test.narc 9 0 -", 2, ""}, {"set test.narc 0 2 -", 2, ""},
            {"set test.narc 0 0 - -o", 2, ""}, {"set test.narc 0 0 - -x out", 2, ""}, {"import test.narc", 2, ""},
            {"find -z test.narc a", 2, ""}, {"export-file test.narc", 2, ""}, {"--help extra", 2, ""}};
        for (const auto &[arguments, code, error] : cases)
            QTest::newRow(arguments) << QString(arguments) << code << QString(error);
    }
    void exitStatuses()
    {
        QFETCH(QString, arguments);
        QFETCH(int, code);
        QFETCH(QString, error);
        QVERIFY(writeFileBytes(path("garbage.narc"), "NARC but not really") && writeFileBytes(path("file"), "x"));
        QVERIFY(writeFileBytes(path("text.txt"), QByteArray("a\n").repeated(20)));
        const QMap<QString, QByteArray> before = treeContents(dir->path());

        std::unique_ptr<FileSizeLimit> limit(arguments.startsWith("LIMIT ") ? new FileSizeLimit(100) : nullptr);
        const Run run = narctext(arguments.remove("LIMIT ").split(' ', Qt::SkipEmptyParts), "a\nb\nc\n");
        limit.reset();
        QCOMPARE(run.code, code);
        QVERIFY2(run.err.startsWith(error.toUtf8()), run.err.constData());
        if (code == 2) // exactly one line, and nothing on stdout
            QVERIFY2(run.out.isEmpty() && run.errLines().size() == 1 && run.err.endsWith('\n'), run.err.constData());
        QCOMPARE(treeContents(dir->path()), before);
    }

    // On a pipe, long work prints its report lines and nothing else: no progress bar.
    void noProgressWithoutTerminal()
    {
        QVERIFY(writeArchive(archive, QList<NarcEntry>(4000, buildMessageFile({QStringList(20, "line"), QStringList(20, "行")}))));
        const Run exported = narctext({"export", "test.narc", "tree"});
        QCOMPARE(exported.code, 0);
        QCOMPARE(exported.err, QByteArray("Exporting to directory tree/\n"));
        const Run imported = narctext({"import", "test.narc", "tree"});
        QCOMPARE(imported.code, 0);
        QCOMPARE(imported.err, QByteArray("Importing from directory tree/\nFinished importing from directory tree/\n"));
    }

    void demoSample()
    {
        const QString sample = QFINDTESTDATA("../samples/demo.narc");
        const Run run = narctext({"list", sample});
        QVERIFY(run.code == 0 && !run.out.isEmpty() && !run.out.contains("not a message file"));
        // The generator is built beside narctext; running it again gives the same bytes.
        const QString generator = QFileInfo(qEnvironmentVariable("NARCTEXT")).dir().filePath("makedemo");
        if (!QFileInfo(generator).isExecutable())
            QSKIP("makedemo is not built");
        QCOMPARE(QProcess::execute(generator, {path("demo.narc")}), 0);
        QCOMPARE(readFileBytes(path("demo.narc")), readFileBytes(sample));
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "test_cli.moc"
