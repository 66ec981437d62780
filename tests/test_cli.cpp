// narctext end to end: the real binary (env NARCTEXT) on real files, its output
// compared with what the core calls behind the window produce on the same archive.

#include "filesizelimit.h"
#include "messagefixture.h"
#include "narcfixture.h"
#include "windowfixture.h"

#include "bulk/exportfile.h"
#include "bulk/exporttree.h"
#include "bulk/importtree.h"
#include "codec/compose.h"
#include "codec/decode.h"
#include "narc/narcfile.h"
#include "narc/narcwriter.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
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

// Runs narctext with `arguments`, feeding it `input`; stderr is a pipe, not a terminal.
Run narctext(const QStringList &arguments, const QByteArray &input = {})
{
    QProcess process;
    process.start(qEnvironmentVariable("NARCTEXT"), arguments);
    process.write(input);
    process.closeWriteChannel();
    Run run;
    if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit)
        run.code = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

struct Reports : BulkObserver
{
    QStringList lines;
    void report(const QString &line) override { lines.append(line); }
};

// Entry 0: two sections of three lines, Japanese, a backslash, an empty last line.
// Entry 1: one section with control units. Entry 2: one line.
QList<NarcEntry> cleanEntries()
{
    FixtureLine controls = fixtureLine("a", 0x1234);
    controls.units << 0x000A << 'b' << 0xFFFE;
    return {buildMessageFile(QList<QStringList>{{"Hello", "back\\slash", ""}, {"こんにちは", "漢字 hello", ""}}),
            buildMessageFile(QList<FixtureSection>{{controls, fixtureLine("plain", 7)}}),
            buildMessageFile(QList<QStringList>{{"only line"}})};
}

// cleanEntries, then entry 3, too short for a head, and entry 4, whose head is
// fine but whose line has no units.
QList<NarcEntry> brokenEntries()
{
    NarcEntry noUnits = buildMessageFile(QList<QStringList>{{"abc"}});
    noUnits[24] = noUnits[25] = 0; // the unit count of line 0 (block at 16, line table at 20)
    return cleanEntries() << NarcEntry(6, 'x') << noUnits;
}

// `count` entries of two sections of 20 lines each.
QList<NarcEntry> manyEntries(int count)
{
    QList<NarcEntry> entries;
    for (int i = 0; i < count; ++i)
        entries.append(buildMessageFile(QList<QStringList>{QStringList(20, QString("line %1").arg(i)), QStringList(20, "行")}));
    return entries;
}

Narc load(const QString &path)
{
    return loadNarcFile(path).narc;
}

bool makeTree(const QString &root)
{
    return QDir().mkpath(root + "/0000") && QDir().mkpath(root + "/0001");
}

// Every file below `root`: relative path -> bytes.
QMap<QString, QByteArray> treeContents(const QString &root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(root).relativeFilePath(path), readFileBytes(path));
    }
    return files;
}

} // namespace

class CliTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir; // a fresh one for every test
    QString archive;
    QString broken;

    QString path(const QString &name) const { return dir->filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(qEnvironmentVariable("NARCTEXT")).isExecutable(), "NARCTEXT must name the built binary");
    }

    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        archive = path("clean.narc");
        broken = path("broken.narc");
        QVERIFY(writeArchive(archive, cleanEntries()));
        QVERIFY(writeArchive(broken, brokenEntries()));
    }

    void list()
    {
        const QList<NarcEntry> entries = brokenEntries();
        const Run run = narctext({"list", broken});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.err, QByteArray());
        const QStringList lines = QString::fromUtf8(run.out).split('\n');
        QCOMPARE(lines.size(), 6); // five entries and the final newline
        QCOMPARE(lines.at(0), QString("0\t%1\t2\t3").arg(entries.at(0).size()));
        QCOMPARE(lines.at(1), QString("1\t%1\t1\t2").arg(entries.at(1).size()));
        QCOMPARE(lines.at(2), QString("2\t%1\t1\t1").arg(entries.at(2).size()));
        QVERIFY2(lines.at(3).startsWith("3\t6\tnot a message file: the header"), qPrintable(lines.at(3)));
        QCOMPARE(lines.at(4), QString("4\t%1\tnot a message file: line 0 of section 0 has no units").arg(entries.at(4).size()));
    }

    void showIsWhatTheEditorShows()
    {
        const QList<NarcEntry> entries = cleanEntries();
        for (int e = 0; e < entries.size(); ++e) {
            for (int s = 0; s < (e == 0 ? 2 : 1); ++s) {
                const Run run = narctext({"show", archive, QString::number(e), QString::number(s)});
                QCOMPARE(run.code, 0);
                QCOMPARE(run.out, (decodeMessageSection(entries.at(e), s).lines.join('\n') + '\n').toUtf8());
            }
        }
        QCOMPARE(narctext({"show", archive, "1", "0"}).out, QByteArray("a\\x000ab\\xfffe\nplain\n"));
        QCOMPARE(narctext({"show", archive, "0", "1"}).out, QString("こんにちは\n漢字 hello\n\n").toUtf8());

        const Run bad = narctext({"show", broken, "4", "0"});
        QCOMPARE(bad.code, 1);
        QCOMPARE(bad.out, QByteArray());
        QCOMPARE(bad.errLines(), {"Cannot decode section 0 of entry 4: line 0 of section 0 has no units"});
    }

    void exportsMatchTheWindow_data()
    {
        QTest::addColumn<bool>("withBroken");
        QTest::newRow("clean") << false;
        QTest::newRow("undecodable entries") << true;
    }
    void exportsMatchTheWindow()
    {
        QFETCH(bool, withBroken);
        const QString source = withBroken ? broken : archive;
        const Narc narc = load(source);

        // The window's tree needs its directories made beforehand; narctext makes them.
        const QString windowRoot = path("window");
        QVERIFY(makeTree(windowRoot));
        Reports treeReports;
        exportToTree(narc, windowRoot, treeReports);
        const QString cliRoot = path("new/tree");
        const Run tree = narctext({"export", source, cliRoot});
        QCOMPARE(tree.code, withBroken ? 1 : 0);
        QCOMPARE(tree.out, QByteArray());
        QCOMPARE(tree.errLines(), treeReports.lines.replaceInStrings(windowRoot, cliRoot));
        QVERIFY(!treeContents(cliRoot).isEmpty());
        QCOMPARE(treeContents(cliRoot), treeContents(windowRoot));

        Reports fileReports;
        exportToFile(narc, path("window.txt"), fileReports);
        const Run file = narctext({"export-file", source, path("cli.txt")});
        QCOMPARE(file.code, withBroken ? 1 : 0);
        QCOMPARE(file.errLines(), fileReports.lines.replaceInStrings("window.txt", "cli.txt"));
        QCOMPARE(readFileBytes(path("cli.txt")), readFileBytes(path("window.txt")));
    }

    void importMatchesTheWindow_data()
    {
        QTest::addColumn<QString>("file");    // in the tree
        QTest::addColumn<QByteArray>("text"); // its new content; empty: the file is removed
        QTest::addColumn<int>("code");
        QTest::newRow("edited") << "0001/0000.txt" << QByteArray("Hi\r\nnew \\x000a line\r\n") << 0;
        QTest::newRow("file removed") << "0001/0000.txt" << QByteArray() << 0;
        QTest::newRow("too few lines") << "0000/0000.txt" << QByteArray("one") << 1;
        QTest::newRow("not UTF-8") << "0000/0001.txt" << QByteArray("ok\n\xc3\x28") << 1;
    }
    void importMatchesTheWindow()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, text);
        QFETCH(int, code);
        const QString root = path("tree");
        QVERIFY(makeTree(root));
        Reports ignored;
        exportToTree(load(archive), root, ignored);
        // One change that always goes through, so there is something to write.
        QVERIFY(writeFileBytes(root + "/0000/0002.txt", "changed"));
        QVERIFY(text.isEmpty() ? QFile::remove(root + '/' + file) : writeFileBytes(root + '/' + file, text));

        Narc narc = load(archive);
        Reports reports;
        importFromTree(narc, root, reports);
        const QByteArray expected = serializeNarc(narc);
        const QByteArray original = readFileBytes(archive);
        QVERIFY(expected != original);

        const Run run = narctext({"import", archive, root, "-o", path("out.narc")});
        QCOMPARE(run.code, code);
        QCOMPARE(run.errLines(), reports.lines);
        QCOMPARE(readFileBytes(path("out.narc")), expected);
        QCOMPARE(readFileBytes(archive), original);

        // Without -o the archive itself is replaced.
        QCOMPARE(narctext({"import", archive, root}).code, code);
        QCOMPARE(readFileBytes(archive), expected);
    }

    void importWithoutTreeStillWrites()
    {
        const Run run = narctext({"import", archive, path("none"), "-o", path("out.narc")});
        QCOMPARE(run.code, 1);
        QCOMPARE(run.errLines().size(), 1);
        QVERIFY(run.errLines().at(0).startsWith("Failed to import. "));
        QCOMPARE(readFileBytes(path("out.narc")), readFileBytes(archive));
    }

    void set_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("viaStdin");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("report"); // %1: the text file
        const QByteArray lines = QString("一\\x005c\n二\nさん\n").toUtf8();
        const QString notUtf8 = "Failed to read %1: the text is not valid UTF-8";
        QTest::newRow("file") << lines << false << 0 << "";
        QTest::newRow("stdin") << lines << true << 0 << "";
        QTest::newRow("byte order mark") << "\xef\xbb\xbf" + lines << false << 0 << "";
        QTest::newRow("too few lines") << QByteArray("1\n2") << false << 1 << "Skipping 0001/0000 due to too few lines";
        QTest::newRow("invalid UTF-8") << QByteArray("a\n\xc3\x28\nc") << true << 1 << notUtf8.arg("standard input");
        QTest::newRow("cut-off UTF-8") << QByteArray("a\nb\nc\xe3\x81") << false << 1 << notUtf8;
    }
    void set()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, viaStdin);
        QFETCH(int, code);
        QFETCH(QString, report);
        const QString textFile = path("text.txt");
        QVERIFY(writeFileBytes(textFile, text));

        Narc narc = load(archive);
        if (code == 0)
            narc.files[0] = composeEntry(narc.files.at(0), QString::fromUtf8(text).remove(QChar(0xFEFF)), 0, 1).entry;

        const Run run = narctext({"set", archive, "0", "1", viaStdin ? "-" : textFile, "-o", path("out.narc")},
                                 viaStdin ? text : QByteArray());
        QCOMPARE(run.code, code);
        QCOMPARE(run.errLines(), report.isEmpty() ? QStringList() : QStringList{report.replace("%1", textFile)});
        // Written also when the section was refused.
        QCOMPARE(readFileBytes(path("out.narc")), serializeNarc(narc));
    }

    void find()
    {
        const Run run = narctext({"find", archive, "l"});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QString("0\t0\t0\tHello\n0\t0\t1\tback\\x005cslash\n0\t1\t1\t漢字 hello\n"
                                  "1\t0\t1\tplain\n2\t0\t0\tonly line\n")
                              .toUtf8());
        QCOMPARE(narctext({"find", "-i", archive, "HELLO"}).out, QString("0\t0\t0\tHello\n0\t1\t1\t漢字 hello\n").toUtf8());
        // The escaped text is searched, as the editor shows it.
        QCOMPARE(narctext({"find", archive, "\\xfffe"}).out, QByteArray("1\t0\t0\ta\\x000ab\\xfffe\n"));

        const Run none = narctext({"find", archive, "HELLO"});
        QCOMPARE(none.code, 1);
        QCOMPARE(none.out, QByteArray());
    }

    void failedWriteLeavesTheArchive()
    {
        QVERIFY(writeFileBytes(path("file"), "x"));
        QVERIFY(writeFileBytes(path("t.txt"), "a\nb\nc\n"));
        const QString below = path("file/out.narc"); // its directory is a regular file
        const QByteArray original = readFileBytes(archive);
        for (const QStringList &arguments : {QStringList{"set", archive, "0", "0", path("t.txt"), "-o", below},
                                             QStringList{"import", archive, path("none"), "-o", below}}) {
            const Run run = narctext(arguments);
            QCOMPARE(run.code, 2);
            QVERIFY2(run.errLines().constLast().startsWith("Failed to write " + below + ": "), run.err.constData());
            QCOMPARE(readFileBytes(archive), original);
        }

        // In place: a file size limit, inherited by narctext, cuts the write short.
        const QString big = path("big.narc");
        QVERIFY(writeArchive(big, manyEntries(100)));
        const QByteArray bigOriginal = readFileBytes(big);
        QVERIFY(bigOriginal.size() > 32768);
        Run run;
        {
            FileSizeLimit limit(4096);
            run = narctext({"set", big, "0", "0", path("t.txt")});
        }
        QCOMPARE(run.code, 2);
        QVERIFY2(run.errLines().constLast().startsWith("Failed to write " + big + ": "), run.err.constData());
        QCOMPARE(readFileBytes(big), bigOriginal);
    }

    void unloadableArchive_data()
    {
        QTest::addColumn<QStringList>("arguments"); // ARCHIVE: the archive, OUT: a path that does not exist
        for (const char *arguments : {"list ARCHIVE", "show ARCHIVE 0 0", "export ARCHIVE OUT", "export-file ARCHIVE OUT",
                                      "import ARCHIVE OUT", "import ARCHIVE OUT -o OUT", "set ARCHIVE 0 0 - -o OUT",
                                      "find ARCHIVE a"})
            QTest::newRow(arguments) << QString(arguments).split(' ');
    }
    void unloadableArchive()
    {
        QFETCH(QStringList, arguments);
        const QString garbage = path("garbage.narc");
        QVERIFY(writeFileBytes(garbage, "NARC but not really"));
        for (const QString &target : {garbage, path("missing.narc")}) {
            const Run run = narctext(QStringList(arguments).replaceInStrings("ARCHIVE", target).replaceInStrings("OUT", path("out")));
            QCOMPARE(run.code, 2);
            QCOMPARE(run.errLines().size(), 1);
            QVERIFY2(run.errLines().at(0).startsWith("Failed to load " + target + ": "), run.err.constData());
            QVERIFY(!QFileInfo::exists(path("out")));
        }
        QCOMPARE(readFileBytes(garbage), QByteArray("NARC but not really"));
        QVERIFY(!QFileInfo::exists(path("missing.narc")));
    }

    void badArguments_data()
    {
        QTest::addColumn<QString>("arguments"); // ARCHIVE: the archive
        for (const char *arguments :
             {"", "frobnicate ARCHIVE", "list", "list ARCHIVE extra", "list -i ARCHIVE", "show ARCHIVE 0", "show ARCHIVE 3 0",
              "show ARCHIVE -1 0", "show ARCHIVE x 0", "show ARCHIVE 0 zero", "show ARCHIVE 2 1", "set ARCHIVE 9 0 -",
              "set ARCHIVE 0 2 -", "set ARCHIVE 0 0 - -o", "set ARCHIVE 0 0 - -x OUT", "import ARCHIVE",
              "find -z ARCHIVE a", "export-file ARCHIVE", "--help extra"})
            QTest::newRow(arguments) << QString(arguments);
    }
    void badArguments()
    {
        QFETCH(QString, arguments);
        const QByteArray original = readFileBytes(archive);
        const Run run = narctext(arguments.replace("ARCHIVE", archive).split(' ', Qt::SkipEmptyParts), "a\nb\nc\n");
        QCOMPARE(run.code, 2);
        QCOMPARE(run.out, QByteArray());
        QCOMPARE(run.errLines().size(), 1);
        QVERIFY(run.err.endsWith('\n'));
        QCOMPARE(readFileBytes(archive), original);
        QCOMPARE(QDir(dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(), 2); // nothing written
    }

    void helpAndVersion()
    {
        const Run help = narctext({"--help"});
        QCOMPARE(help.code, 0);
        QCOMPARE(help.err, QByteArray());
        for (const char *command : {"list", "show", "export", "export-file", "import", "set", "find"})
            QVERIFY(help.out.contains(QByteArray("narctext ") + command + ' '));
        const Run version = narctext({"--version"});
        QCOMPARE(version.code, 0);
        QVERIFY2(QRegularExpression("^narctext \\d+\\.\\d+\\.\\d+\n$").match(QString::fromUtf8(version.out)).hasMatch(),
                 version.out.constData());
    }

    // On a pipe, long work prints its report lines and nothing else: no progress bar.
    void noProgressWithoutTerminal()
    {
        const QString big = path("big.narc");
        QVERIFY(writeArchive(big, manyEntries(4000)));
        const QString root = path("bigtree");
        const Run exported = narctext({"export", big, root});
        QCOMPARE(exported.code, 0);
        QCOMPARE(exported.err, ("Exporting to directory " + root + "/\n").toUtf8());
        const Run imported = narctext({"import", big, root});
        QCOMPARE(imported.code, 0);
        QCOMPARE(imported.errLines(), QStringList({"Importing from directory " + root + '/',
                                                   "Finished importing from directory " + root + '/'}));
    }

    void demoSample()
    {
        const QString sample = QFINDTESTDATA("../samples/demo.narc");
        QVERIFY(!sample.isEmpty());
        const Run run = narctext({"list", sample});
        QCOMPARE(run.code, 0);
        QVERIFY(!run.out.contains("not a message file"));
        QVERIFY(narctext({"show", sample, "0", "1"}).out.contains(QString("今日は").toUtf8()));

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
