// Find in a 50,000-entry archive, the size a search must answer within a second.
// Beside each figure, a baseline measured in the same run, paired round by round:
//
// - in memory: decoding every section alone (what a search cannot avoid), then
//   the search, count and list of matches, for a rare text and for a common one
//   ignoring case; then the same searches through the "Find in Archive" dialog
//   (offscreen), which blocks the window while it runs;
// - from the command line: `narctext find` on the archive beside `grep -r -F`
//   over the same archive exported to a tree, and beside reading the archive
//   bytes alone (cat).
//
// Prints the median of the rounds and their spread (lowest - highest).
//
//   bench_search [ENTRIES] [ROUNDS] [WORKDIR]   (defaults: 50000, 7, a temporary directory)
//
// A WORKDIR given keeps big.narc and its tree there for other tools.

#include "app/finddialog.h"
#include "codec/decode.h"
#include "codec/messagefile.h"
#include "narc/narcfile.h"
#include "search/search.h"
#include "syntheticentry.h"
#include "tree/exporttree.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace core;

namespace {

constexpr int linesPerSection = 40;

struct Quiet : BulkObserver
{
    void report(const QString &) override {}
};

NarcEntry syntheticEntry(int index)
{
    return bench::syntheticEntry(index, linesPerSection);
}

double seconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e9;
}

struct Figures
{
    std::vector<double> runs;
    void add(double value) { runs.push_back(value); }
    double median() const
    {
        std::vector<double> sorted = runs;
        std::sort(sorted.begin(), sorted.end());
        return sorted.at(sorted.size() / 2);
    }
    double low() const { return *std::min_element(runs.begin(), runs.end()); }
    double high() const { return *std::max_element(runs.begin(), runs.end()); }
};

void print(const char *what, const Figures &figures, const char *baselineWhat, const Figures &baseline)
{
    std::printf("  %-38s %7.3f s (%.3f - %.3f) | %-22s %7.3f s (%.3f - %.3f)  x%.2f\n", what, figures.median(),
                figures.low(), figures.high(), baselineWhat, baseline.median(), baseline.low(), baseline.high(),
                baseline.median() > 0 ? figures.median() / baseline.median() : 0.0);
}

// Runs `program` with its standard output thrown away; the wall time.
double timeProcess(const QString &program, const QStringList &arguments, int expectedCode)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(600000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != expectedCode)
        qFatal("%s did not run as expected (exit %d)", qPrintable(program), process.exitCode());
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 50000;
    const int rounds = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 7;
    if (count <= 0 || rounds <= 0)
        return 2;

    Narc narc = newNarc();
    narc.files.reserve(count);
    for (int i = 0; i < count; ++i)
        narc.files.append(syntheticEntry(i));
    narc.fileCount = quint32(count);
    qint64 bytes = 0;
    for (const NarcEntry &entry : std::as_const(narc.files))
        bytes += entry.size();
    std::printf("%d entries, 2 sections of %d lines each, %.1f MB of message files; %d rounds\n", count,
                linesPerSection, double(bytes) / 1e6, rounds);

    // A text in one line of the last entry, and one in every line, ignoring case.
    const SearchQuery rare{QStringLiteral("Line 39 of entry %1:").arg(count - 1), Qt::CaseSensitive};
    const SearchQuery common{QStringLiteral("LINE"), Qt::CaseInsensitive};
    Quiet quiet;

    FindDialog dialog;
    dialog.setArchive(&narc);
    dialog.show();
    const auto dialogSearch = [&](const SearchQuery &query) {
        dialog.findChild<QLineEdit *>(QStringLiteral("findText"))->setText(query.text);
        dialog.findChild<QCheckBox *>(QStringLiteral("ignoreCase"))
            ->setChecked(query.sensitivity == Qt::CaseInsensitive);
        dialog.search();
        QCoreApplication::processEvents(); // the list drawn
    };

    Figures decodeAll, findRare, countCommon, listCommon, dialogRare, dialogCommon;
    qint64 commonTotal = 0;
    for (int r = 0; r < rounds; ++r) {
        decodeAll.add(seconds([&] {
            qsizetype lines = 0;
            for (const NarcEntry &entry : std::as_const(narc.files))
                for (int s = 0; s < 2; ++s)
                    lines += decodeMessageSection(entry, s).lines.size();
            if (lines != qsizetype(count) * 2 * linesPerSection)
                qFatal("decoding failed");
        }));
        findRare.add(seconds([&] {
            if (findInArchive(narc, rare, quiet).summary.matches != 1)
                qFatal("the rare text was not found once");
        }));
        countCommon.add(seconds([&] { commonTotal = countMatches(narc, common, quiet).matches; }));
        listCommon.add(seconds([&] { findInArchive(narc, common, quiet); }));
        dialogRare.add(seconds([&] { dialogSearch(rare); }));
        dialogCommon.add(seconds([&] { dialogSearch(common); }));
    }
    std::printf("In memory (median, spread):\n");
    print("find a rare text", findRare, "decoding alone", decodeAll);
    char what[80];
    std::snprintf(what, sizeof what, "count %lld matches ignoring case", qlonglong(commonTotal));
    print(what, countCommon, "decoding alone", decodeAll);
    print("list them (the first 100000 kept)", listCommon, "decoding alone", decodeAll);
    print("find dialog, rare text", dialogRare, "core find", findRare);
    print("find dialog, listing 100000", dialogCommon, "core list", listCommon);
    dialog.setArchive(nullptr);

    // The command line, beside grep over the exported tree.
    const QString narctext = QStringLiteral(NARCTEXT_PATH);
    if (!QFileInfo(narctext).isExecutable()) {
        std::printf("(narctext not built: no command-line figures)\n");
        return 0;
    }
    QTemporaryDir temporary;
    const QDir work(argc > 3 ? QString::fromLocal8Bit(argv[3]) : temporary.path());
    const QString archive = work.filePath(QStringLiteral("big.narc"));
    const QString tree = work.filePath(QStringLiteral("tree"));
    Quiet exportQuiet;
    if (!work.exists() || !saveNarcFile(narc, archive).ok() || !QDir().mkpath(tree + QStringLiteral("/0000"))
        || !QDir().mkpath(tree + QStringLiteral("/0001"))
        || exportToTree(narc, tree, FileIdentity(), EditedFiles::Replace, exportQuiet).outcome() != Outcome::Done)
        qFatal("cannot write the archive and its tree");
    narc = Narc(); // the processes below get the memory

    Figures cliRare, grepRare, cat, cliCommon, grepCommon;
    const QString rareText = rare.text;
    for (int r = 0; r < rounds; ++r) {
        cat.add(timeProcess(QStringLiteral("cat"), {archive}, 0));
        cliRare.add(timeProcess(narctext, {QStringLiteral("find"), archive, rareText}, 0));
        grepRare.add(timeProcess(QStringLiteral("grep"), {QStringLiteral("-r"), QStringLiteral("-F"), rareText, tree},
                                 0));
        cliCommon.add(timeProcess(narctext, {QStringLiteral("find"), QStringLiteral("-i"), archive, common.text}, 0));
        grepCommon.add(
            timeProcess(QStringLiteral("grep"),
                        {QStringLiteral("-r"), QStringLiteral("-F"), QStringLiteral("-i"), common.text, tree}, 0));
    }
    std::printf("Command line, output to /dev/null (median, spread):\n");
    print("narctext find, rare text", cliRare, "grep -r -F on the tree", grepRare);
    print("narctext find, rare text", cliRare, "cat of the archive", cat);
    print("narctext find -i, every line", cliCommon, "grep -r -F -i", grepCommon);
    return 0;
}
