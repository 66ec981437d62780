// Archives far larger than real ones: a synthetic archive of 50,000 two-section
// entries (a few hundred MB) plus one entry of 10,000 lines, opened, browsed,
// saved, written, listed, searched, exported to a tree and imported back. The
// window steps run each in its own process so its peak memory can be read. Every
// figure stands beside its baseline, the same I/O without our work, measured in
// the same run: a plain read of the archive for opening and listing it, write +
// fdatasync + rename of the same bytes for writing it, writing the same new files
// (directories made once, nothing read back) for an export, reading the same
// files for an import, grep -r over the exported tree for find, and the editor's
// own setPlainText of the same text for an entry switch. Each row is the median
// of paired runs with the range of the ratios.
//
//   bench_scale [ENTRIES] [WORKDIR] [PAIRS]   (defaults: 50000, a temporary
//                                             directory, 3; a tmpfs such as
//                                             /dev/shm gives steadier figures)
//
// narctext is looked for beside this program's build (../cli/narctext) or in
// $NARCTEXT.

#include "app/mainwindow.h"
#include "codec/compose.h"
#include "codec/messagefile.h"
#include "narc/narcfile.h"
#include "pairedruns.h"
#include "syntheticentry.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextDocument>

#include <cstdio>

using namespace core;
using bench::Paired;
using bench::pairedRuns;
using bench::seconds;

namespace {

constexpr int bigLines = 10000;

// Peak resident memory of this process so far, in bytes.
qint64 peakMemory()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return 0;
}

// `entries` entries of 40 lines, then one of 10,000 lines.
bool makeArchive(const QString &path, int entries)
{
    Narc narc = newNarc();
    narc.files.reserve(entries + 1);
    for (int i = 0; i < entries; ++i)
        narc.files.append(bench::syntheticEntry(i, 40));
    narc.files.append(bench::syntheticEntry(entries, bigLines));
    narc.fileCount = quint32(narc.files.size());
    return saveNarcFile(narc, path).ok();
}

void freshTree(const QString &root)
{
    QDir(root).removeRecursively();
    if (!QDir().mkpath(root + QStringLiteral("/0000")) || !QDir().mkpath(root + QStringLiteral("/0001")))
        qFatal("cannot make %s", qPrintable(root));
}

// One step, run in a child process: opens the archive in a window, then does
// `step`. Prints "seconds peak-bytes", or for the steps that carry their own
// baseline, "seconds baseline-seconds peak-bytes" (medians of `pairs` pairs).
int runStep(const QString &step, const QString &archive, const QString &work, int pairs)
{
    MainWindow window;
    QString answer = archive;
    window.chooseFile = [&](FileChoice, const QString &) { return answer; };
    auto action = [&](const char *name) { return window.findChild<QAction *>(QLatin1String(name)); };
    auto *entries = window.findChild<QComboBox *>(QStringLiteral("narcEntryIds"));
    auto *editor = window.findChild<QPlainTextEdit *>(QStringLiteral("text"));
    auto *saveText = window.findChild<QAbstractButton *>(QStringLiteral("pushButton"));

    const double open = seconds([&] { action("actionOpen_Narc")->trigger(); });
    double time = 0;
    Paired paired; // for the steps that carry their own baseline
    const int big = entries->count() - 1;
    if (step == QLatin1String("open")) {
        time = open;
    } else if (step == QLatin1String("write")) {
        time = seconds([&] { action("actionWrite_To_Narc")->trigger(); });
    } else if (step == QLatin1String("export")) {
        answer = work + QStringLiteral("/tree");
        time = seconds([&] { action("actionExtract_all_to_Text")->trigger(); });
    } else if (step == QLatin1String("import")) {
        answer = work + QStringLiteral("/tree");
        time = seconds([&] { action("actionImport_all_from_files")->trigger(); });
    } else if (step == QLatin1String("switch")) {
        // From entry 0 to the big entry, beside the editor's own setPlainText of
        // the same texts.
        entries->setCurrentIndex(big);
        const QString bigText = editor->toPlainText();
        entries->setCurrentIndex(0);
        const QString smallText = editor->toPlainText();
        paired = pairedRuns(
            pairs, [&] { entries->setCurrentIndex(big); }, [&] { editor->setPlainText(bigText); },
            [&] { entries->setCurrentIndex(0); }, [&] { editor->setPlainText(smallText); });
    } else if (step == QLatin1String("save")) {
        // Save Text of the big entry's section, unedited, beside the editor's
        // raw text and one compose of it.
        entries->setCurrentIndex(big);
        const NarcEntry bytes = [&] {
            Narc narc;
            Result<Narc> read = loadNarcFile(archive);
            return read.value.files.at(big);
        }();
        paired = pairedRuns(
            pairs, [&] { saveText->click(); },
            [&] {
                QString text = editor->document()->toRawText();
                text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
                if (!composeEntry(bytes, text, 0).changed())
                    qFatal("the unedited text was refused");
            });
    }
    const QString log = window.findChild<QPlainTextEdit *>(QStringLiteral("report"))->toPlainText();
    if (!paired.work.isEmpty()) {
        QStringList pairsText;
        for (qsizetype i = 0; i < paired.work.size(); ++i)
            pairsText.append(
                QStringLiteral("%1:%2").arg(paired.work.at(i), 0, 'f', 6).arg(paired.baseline.at(i), 0, 'f', 6));
        std::fprintf(stdout, "%s %lld\n", qPrintable(pairsText.join(QLatin1Char(','))), peakMemory());
    } else {
        std::fprintf(stdout, "%f %lld\n", time, peakMemory());
    }
    std::fprintf(stderr, "%s", qPrintable(log.right(300)));
    return 0;
}

struct StepResult
{
    double seconds = 0;
    Paired paired; // of the steps that carry their own baseline
    qint64 peak = 0;
};

StepResult childStep(const QString &step, const QString &archive, const QString &work, int pairs = 1)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--step"), step, archive, work, QString::number(pairs)});
    child.waitForFinished(-1);
    const QStringList fields = QString::fromLatin1(child.readAllStandardOutput()).trimmed().split(QLatin1Char(' '));
    StepResult result;
    if (fields.size() != 2)
        qFatal("step %s failed: %s", qPrintable(step), child.readAllStandardError().constData());
    result.peak = fields[1].toLongLong();
    if (fields[0].contains(QLatin1Char(':'))) {
        for (const QString &pair : fields[0].split(QLatin1Char(','))) {
            result.paired.work.append(pair.section(QLatin1Char(':'), 0, 0).toDouble());
            result.paired.baseline.append(pair.section(QLatin1Char(':'), 1, 1).toDouble());
        }
    } else {
        result.seconds = fields[0].toDouble();
    }
    return result;
}

// Runs a program with its output thrown away.
void runQuietly(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit)
        qFatal("%s did not finish", qPrintable(program));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return file.readAll();
}

void row(const char *what, const Paired &paired, const char *baselineWhat, qint64 peak, qint64 archiveSize)
{
    bench::printPaired(what, paired, baselineWhat);
    if (peak > 0)
        std::printf("  %-34s peak memory %.1f MB (x%.2f the archive)\n", "", double(peak) / (1 << 20),
                    double(peak) / double(archiveSize));
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 6 && args[1] == QLatin1String("--step"))
        return runStep(args[2], args[3], args[4], args[5].toInt());

    const int entries = args.size() > 1 ? args[1].toInt() : 50000;
    QTemporaryDir temporary(args.size() > 2 ? args[2] + QStringLiteral("/bench_scale-XXXXXX") : QString());
    const int pairs = args.size() > 3 ? args[3].toInt() : 3;
    if (!temporary.isValid() || entries <= 0 || pairs <= 0)
        return 1;
    const QString work = temporary.path();
    const QString archive = work + QStringLiteral("/scale.narc");
    QString narctext = qEnvironmentVariable("NARCTEXT");
    if (narctext.isEmpty())
        narctext = QCoreApplication::applicationDirPath() + QStringLiteral("/../cli/narctext");
    if (!QFileInfo(narctext).isExecutable())
        qFatal("narctext not found at %s (set NARCTEXT)", qPrintable(narctext));

    std::printf("work directory %s, medians of %d paired runs\n", qPrintable(work), pairs);
    std::printf("Generating %d entries and one of %d lines ... ", entries, bigLines);
    std::fflush(stdout);
    const double generate = seconds([&] {
        if (!makeArchive(archive, entries))
            qFatal("cannot write the archive");
    });
    const qint64 size = QFileInfo(archive).size();
    std::printf("%.1f MB in %.1f s\n\n", double(size) / (1 << 20), generate);

    // A window step in a child, `pairs` times, each beside `baseline`; the child's
    // own figure excludes starting the process and, but for "open", opening.
    StepResult last;
    const auto childPairs = [&](const QString &name, const std::function<void()> &baseline,
                                const std::function<void()> &prepareWork = {},
                                const std::function<void()> &prepareBaseline = {}) {
        Paired paired;
        for (int i = 0; i < pairs; ++i) {
            if (prepareWork)
                prepareWork();
            last = childStep(name, archive, work);
            paired.work.append(last.seconds);
            if (prepareBaseline)
                prepareBaseline();
            paired.baseline.append(seconds(baseline));
        }
        return paired;
    };

    const Paired opens = childPairs(QStringLiteral("open"), [&] { readFile(archive); });
    row("open in the window", opens, "one plain read of the file", last.peak, size);
    // Both in a new process.
    row("narctext list",
        pairedRuns(
            pairs,
            [&] {
                runQuietly(narctext, {QStringLiteral("list"), archive});
            },
            [&] { runQuietly(QStringLiteral("cat"), {archive}); }),
        "cat of the file", 0, size);

    // These two pair up inside one window.
    const StepResult switched = childStep(QStringLiteral("switch"), archive, work, pairs);
    row("switch to the 10,000-line entry", switched.paired, "its setPlainText alone", switched.peak, size);
    const StepResult saved = childStep(QStringLiteral("save"), archive, work, pairs);
    // (No peak memory: the baseline loads the archive a second time.)
    row("Save Text of that section", saved.paired, "toRawText + one compose", 0, size);

    const QByteArray archiveBytes = readFile(archive);
    const QByteArray copyPath = QFile::encodeName(work + QStringLiteral("/copy.narc"));
    const Paired writes = childPairs(QStringLiteral("write"), [&] {
        if (!bench::writeSyncRename(copyPath, archiveBytes))
            qFatal("plain write failed");
    });
    row("write the archive", writes, "write+fdatasync+rename the bytes", last.peak, size);
    QFile::remove(QString::fromLocal8Bit(copyPath));

    // The export's files, for the baselines.
    const QString tree = work + QStringLiteral("/tree");
    freshTree(tree);
    childStep(QStringLiteral("export"), archive, work);
    QStringList names;
    QList<QByteArray> contents;
    QDirIterator it(tree, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        names.append(path.mid(tree.size()));
        contents.append(readFile(path));
    }
    const QString plainTree = work + QStringLiteral("/plain");
    const Paired exports = childPairs(
        QStringLiteral("export"),
        [&] {
            for (qsizetype f = 0; f < names.size(); ++f) {
                QFile file(plainTree + names.at(f));
                if (!file.open(QIODevice::WriteOnly) || file.write(contents.at(f)) != contents.at(f).size())
                    qFatal("plain write failed");
            }
        },
        [&] { freshTree(tree); }, [&] { freshTree(plainTree); });
    StepResult exported = last;
    QDir(plainTree).removeRecursively();
    char what[64];
    std::snprintf(what, sizeof what, "export to a new tree (%lld files)", qlonglong(names.size()));
    row(what, exports, "write the same new files", exported.peak, size);

    const Paired imports = childPairs(QStringLiteral("import"), [&] {
        for (const QString &name : std::as_const(names))
            readFile(tree + name);
    });
    const StepResult imported = last;
    row("import of the unedited tree", imports, "read the same files", imported.peak, size);

    const QString needle = QStringLiteral("entry %1 text").arg(entries / 2);
    row("narctext find",
        pairedRuns(
            pairs,
            [&] {
                runQuietly(narctext, {QStringLiteral("find"), archive, needle});
            },
            [&] {
                runQuietly(QStringLiteral("grep"), {QStringLiteral("-r"), needle, tree});
            }),
        "grep -r over the exported tree", 0, size);
    return 0;
}
