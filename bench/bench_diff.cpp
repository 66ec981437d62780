// narctext diff of two archives of 50,000 two-section entries (a few hundred MB
// each) beside what a user would do without it: narctext export of each archive
// into a tree, then diff -r of the two trees. Both sides run as processes with
// their output thrown away, in paired runs; each row gives the median of each
// side and the median and range of the ratios (below 1: diff is faster).
//
// Three pairs of archives: a translation begun (one line changed in every tenth
// entry), a translation everywhere (one line changed in every entry, so every
// entry is decoded on both sides), and two equal archives. Peak memory of diff
// is printed beside the size of one archive.
//
// Then the window, in this process on the offscreen platform: View > Open
// Reference... of the original beside a translation everywhere (every entry
// compared, the counts put into the entry list), beside File > Open Narc of the
// same archive; and Save Text with the reference open (one entry compared
// again) beside Save Text without.
//
//   bench_diff [ENTRIES] [WORKDIR] [PAIRS]   (defaults: 50000, a temporary
//                                            directory, 3; use /dev/shm)
//
// narctext is looked for beside this program's build (../cli/narctext) or in
// $NARCTEXT.

#include "app/mainwindow.h"
#include "codec/messagefile.h"
#include "narc/narcfile.h"
#include "pairedruns.h"
#include "syntheticentry.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextCursor>

#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>

using namespace core;
using bench::pairedRuns;

namespace {

constexpr int linesPerSection = 40;

// The scale benchmark's entry of 40 lines; `changed` rewrites line 7 of section
// 0, as a translator would.
NarcEntry syntheticEntry(int index, bool changed)
{
    bench::SyntheticText text = bench::syntheticText(index, linesPerSection);
    if (changed)
        text.hiragana[7] = QStringLiteral("Ligne 7 de l'entr\u00e9e %1 : bonjour\\xfffemerci").arg(index);
    return bench::syntheticEntry(text);
}

void makeArchive(const QString &path, int entries, int changeEvery)
{
    Narc narc = newNarc();
    narc.files.reserve(entries);
    for (int i = 0; i < entries; ++i)
        narc.files.append(syntheticEntry(i, changeEvery > 0 && i % changeEvery == 0));
    narc.fileCount = quint32(narc.files.size());
    if (!saveNarcFile(narc, path))
        qFatal("cannot write %s", qPrintable(path));
}

// Runs a program with its standard output thrown away; its exit status.
int runQuietly(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit)
        qFatal("%s did not finish", qPrintable(program));
    return process.exitCode();
}

// The peak resident memory of one run of `program`, in bytes, as wait4 reports it.
qint64 peakOf(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    process.waitForStarted(-1);
    const pid_t pid = pid_t(process.processId());
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return -1;
    process.waitForFinished(-1); // reaped already; lets QProcess notice
    return qint64(usage.ru_maxrss) * 1024;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int entries = arguments.size() > 1 ? arguments.at(1).toInt() : 50000;
    QTemporaryDir temporary(arguments.size() > 2 ? arguments.at(2) + QStringLiteral("/bench_diff-XXXXXX")
                                                 : QDir::tempPath() + QStringLiteral("/bench_diff-XXXXXX"));
    const int pairs = arguments.size() > 3 ? arguments.at(3).toInt() : 3;
    if (!temporary.isValid() || entries < 1 || pairs < 1)
        qFatal("usage: bench_diff [ENTRIES] [WORKDIR] [PAIRS]");
    QString narctext = qEnvironmentVariable("NARCTEXT");
    if (narctext.isEmpty())
        narctext = QCoreApplication::applicationDirPath() + QStringLiteral("/../cli/narctext");
    if (!QFileInfo(narctext).isExecutable())
        qFatal("narctext not found at %s (set NARCTEXT)", qPrintable(narctext));

    const QString work = temporary.path();
    const QString original = work + QStringLiteral("/original.narc");
    std::printf("Generating 4 archives of %d entries of %d lines ... ", entries, 2 * linesPerSection);
    std::fflush(stdout);
    makeArchive(original, entries, 0);
    makeArchive(work + QStringLiteral("/copy.narc"), entries, 0);
    makeArchive(work + QStringLiteral("/begun.narc"), entries, 10);
    makeArchive(work + QStringLiteral("/everywhere.narc"), entries, 1);
    const qint64 archiveBytes = QFileInfo(original).size();
    std::printf("%.0f MB each, in %s\n", double(archiveBytes) / 1e6, qPrintable(work));

    const QString treeOld = work + QStringLiteral("/tree-old");
    const QString treeNew = work + QStringLiteral("/tree-new");
    const auto removeTrees = [&] {
        QDir(treeOld).removeRecursively();
        QDir(treeNew).removeRecursively();
    };
    struct Case
    {
        const char *name;
        const char *archive;
        int expected; // diff's exit status
    };
    for (const Case &which :
         {Case{"translation begun (1 entry in 10)", "begun.narc", 1},
          Case{"translation everywhere (every entry)", "everywhere.narc", 1}, Case{"equal archives", "copy.narc", 0}}) {
        const QString changed = work + QLatin1Char('/') + QLatin1String(which.archive);
        std::printf("%s:\n", which.name);
        // The pipeline finds what diff finds: as many files differ as diff names entries.
        if (runQuietly(narctext, {QStringLiteral("diff"), original, changed}) != which.expected)
            qFatal("narctext diff did not exit with %d", which.expected);

        const auto pipeline = [&] {
            runQuietly(narctext, {QStringLiteral("export"), original, treeOld});
            runQuietly(narctext, {QStringLiteral("export"), changed, treeNew});
            if (runQuietly(QStringLiteral("diff"), {QStringLiteral("-r"), treeOld, treeNew}) != which.expected)
                qFatal("diff -r did not exit with %d", which.expected);
        };
        bench::printPaired("narctext diff",
                           pairedRuns(
                               pairs,
                               [&] {
                                   runQuietly(narctext, {QStringLiteral("diff"), original, changed});
                               },
                               pipeline, {}, removeTrees),
                           "2 x narctext export + diff -r");
        bench::printPaired(
            "narctext diff --stat",
            pairedRuns(
                pairs,
                [&] {
                    runQuietly(narctext, {QStringLiteral("diff"), QStringLiteral("--stat"), original, changed});
                },
                pipeline, {}, removeTrees),
            "2 x narctext export + diff -r");
        const qint64 peak = peakOf(narctext, {QStringLiteral("diff"), original, changed});
        std::printf("  peak memory of narctext diff: %.0f MB (one archive: %.0f MB)\n", double(peak) / 1e6,
                    double(archiveBytes) / 1e6);
        removeTrees();
    }

    std::printf("the window, %d entries:\n", entries);
    MainWindow window;
    QString answer;
    window.chooseFile = [&](FileChoice, const QString &) { return answer; };
    window.ask = [](Question, const QString &) { return Answer::Discard; };
    const auto trigger = [&](const char *action, const QString &path) {
        answer = path;
        window.findChild<QAction *>(QLatin1String(action))->trigger();
    };
    const QString everywhere = work + QStringLiteral("/everywhere.narc");
    const auto withReference = [&](bool on) {
        if (on != window.findChild<QAction *>(QStringLiteral("actionClose_Reference"))->isEnabled())
            trigger(on ? "actionOpen_Reference" : "actionClose_Reference", original);
    };
    // The archive is opened with no reference remembered for it on both sides:
    // opening it again would read a remembered reference along with it.
    const auto openWithout = [&] {
        withReference(false);
        trigger("actionOpen_Narc", everywhere);
    };
    bench::printPaired("Open Reference...",
                       pairedRuns(
                           pairs, [&] { trigger("actionOpen_Reference", original); },
                           [&] { trigger("actionOpen_Narc", everywhere); }, openWithout, [&] { withReference(false); }),
                       "Open Narc of the archive");
    auto *editor = window.findChild<QPlainTextEdit *>(QStringLiteral("text"));
    auto *saveText = window.findChild<QAbstractButton *>(QStringLiteral("pushButton"));
    int edits = 0;
    const auto edit = [&] {
        QTextCursor cursor(editor->document());
        cursor.insertText(QString::number(++edits));
    };
    // 100 edits, each saved.
    const auto saveTexts = [&] {
        for (int i = 0; i < 100; ++i) {
            edit();
            saveText->click();
        }
    };
    bench::printPaired("100 x Save Text, with reference",
                       pairedRuns(
                           pairs, saveTexts, saveTexts, [&] { withReference(true); }, [&] { withReference(false); }),
                       "100 x Save Text, without");
    return 0;
}
