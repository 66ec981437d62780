// The bulk commands of narctext, each run as a whole process beside its baseline
// (another program doing the same I/O without our work), in paired runs on two
// synthetic archives: 2,000 entries of 100 lines a section (about 44 MB) and
// 50,000 entries of 28 lines (about 300 MB). Each row prints the median time of
// each side, the median of the per-pair ratios with their range, and the peak
// memory (resident set) of the command.
//
//   work                          baseline
//   export-file ARCHIVE FILE      cp of the file it writes
//   export ARCHIVE NEWDIR         tar xf of the same tree into a new directory
//   import ARCHIVE TREE           readfiles (readfiles.c): the archive and every
//     (the tree as exported)        tree file read into one reused buffer
//   find ARCHIVE RAREWORD         grep -rF RAREWORD over the exported tree
//   export-po ARCHIVE FILE.pot    export ARCHIVE NEWDIR (the tree export)
//   import-po ARCHIVE FR.po -o X  msgfmt --check of the same PO file
//   set ARCHIVE 7 0 TEXT -o X     cp of the archive
//
// Baselines that read must read: `tar cf /dev/null` reads nothing, and `cat` of
// many small files pays an munmap per file, so neither is used. Outputs are
// removed before each run (untimed), so both sides write new files.
//
//   bench_commands [--work DIR] [--pairs N] [--sizes small,large]
//                  [--rows export-file,export,import,find,export-po,import-po,set]
//                  [--narctext PATH]
//
// DIR defaults to /dev/shm (a tmpfs keeps the disk out of the figures); narctext
// is looked for beside this program's build (../cli/narctext). The archives,
// trees and PO files are made once per DIR and reused by later runs, so two
// builds of narctext can be measured against the same inputs.

#include "codec/messagefile.h"
#include "narc/narcfile.h"
#include "pairedruns.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace core;

namespace {

struct Size
{
    const char *name;
    int entries;
    int lines;
};

const Size sizes[] = {{"small", 2000, 100}, {"large", 50000, 28}};

// The word find looks for: once in the whole archive.
QString rareWord()
{
    return QStringLiteral("quetzalcoatl");
}

// One line of realistic length (about 50 units): Latin, kana and kanji, with
// the escapes games use.
QString lineText(int entry, int section, int line, int lines)
{
    if (section == 0) {
        return QStringLiteral(
                   "Line %1 of entry %2: \u3053\u3093\u306b\u3061\u306f\\xfffe\u3042\u308a\u304c\u3068"
                   "\u3046 the quick brown fox\\x000a")
            .arg(line)
            .arg(entry);
    }
    // The rare word, in the middle entry's middle line.
    const QString extra = line == lines / 2 && entry == 1000 ? rareWord() : QStringLiteral("jumps");
    return QStringLiteral(
               "\u884c %1 \u6f22\u5b57\u306e\u6587\u7ae0\\x000a\u3067\u3059\u3002 entry %2 %3 over "
               "the lazy dog\\xf000")
        .arg(line)
        .arg(entry)
        .arg(extra);
}

NarcEntry syntheticEntry(int index, int lines)
{
    QList<quint16> keys;
    QStringList sections[2];
    for (int i = 0; i < lines; ++i) {
        keys.append(quint16(index * 31 + i * 7));
        for (int s = 0; s < 2; ++s)
            sections[s].append(lineText(index, s, i, lines));
    }
    const Result<NarcEntry> file = newMessageFile({sections[0], sections[1]}, {keys, keys});
    if (!file)
        qFatal("cannot build an entry: %s", qPrintable(file.reason));
    return file.value;
}

double now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Run
{
    double seconds = 0;
    qint64 peak = 0; // bytes
    int status = -1;
};

// Runs `argv` with standard output to `out` (a path; /dev/null by default) and
// standard error thrown away; times it from fork to exit.
Run runProcess(const QStringList &argv, const QString &out = QStringLiteral("/dev/null"))
{
    QList<QByteArray> bytes;
    for (const QString &arg : argv)
        bytes.append(QFile::encodeName(arg));
    QList<char *> pointers;
    for (QByteArray &arg : bytes)
        pointers.append(arg.data());
    pointers.append(nullptr);
    const QByteArray outPath = QFile::encodeName(out);

    Run run;
    const double start = now();
    const pid_t child = fork();
    if (child == 0) {
        const int fd = ::open(outPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = ::open("/dev/null", O_WRONLY);
        if (fd < 0 || null < 0 || dup2(fd, 1) < 0 || dup2(null, 2) < 0)
            _exit(126);
        execvp(pointers.first(), pointers.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child)
        qFatal("cannot run %s", pointers.first());
    run.seconds = now() - start;
    run.peak = qint64(usage.ru_maxrss) * 1024;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

void mustRun(const QStringList &argv, int expected = 0, const QString &out = QStringLiteral("/dev/null"))
{
    const Run run = runProcess(argv, out);
    if (run.status != expected)
        qFatal("%s exited %d, not %d", qPrintable(argv.join(QLatin1Char(' '))), run.status, expected);
}

void removePath(const QString &path)
{
    if (QFileInfo(path).isDir())
        QDir(path).removeRecursively();
    else
        QFile::remove(path);
}

// A translation of every message of the template `pot`: the header made a
// translation's (not fuzzy), each msgstr the msgid with a word put in front,
// escapes kept.
QByteArray translated(const QByteArray &pot)
{
    QByteArray out;
    out.reserve(pot.size() * 3 / 2);
    QByteArray lastMsgid;
    bool header = true;
    qsizetype start = 0;
    while (start < pot.size()) {
        qsizetype end = pot.indexOf('\n', start);
        if (end < 0)
            end = pot.size();
        const QByteArrayView line(pot.constData() + start, end - start);
        start = end + 1;
        if (header && line == "#, fuzzy")
            continue;
        if (line.startsWith("msgid \"")) {
            lastMsgid = line.sliced(7).toByteArray();
        } else if (line == "msgstr \"\"" && lastMsgid != "\"") {
            out += "msgstr \"Traduit: " + lastMsgid + '\n';
            header = false;
            continue;
        }
        out.append(line.data(), line.size());
        out += '\n';
    }
    return out;
}

struct Inputs
{
    QString archive;
    qint64 archiveBytes = 0;
    QString tree;    // as exported
    QString tarFile; // of that tree
    QString po;      // every message translated
    qint64 poBytes = 0;
    QString exportFile; // export-file's output, for cp
    QString text;       // 28 lines, for set
};

// Makes (or finds, from an earlier run) the inputs of one size.
Inputs prepare(const Size &size, const QString &work, const QString &narctext)
{
    Inputs in;
    const QString base = work + QLatin1Char('/') + QLatin1String(size.name);
    in.archive = base + QStringLiteral(".narc");
    in.tree = base + QStringLiteral("-tree");
    in.tarFile = base + QStringLiteral("-tree.tar");
    in.po = base + QStringLiteral("-fr.po");
    in.exportFile = base + QStringLiteral("-all.txt");
    in.text = base + QStringLiteral("-set.txt");
    if (!QFileInfo::exists(in.archive)) {
        std::printf("making %s (%d entries of %d lines a section) ...\n", qPrintable(in.archive), size.entries,
                    size.lines);
        std::fflush(stdout);
        Narc narc = newNarc();
        narc.files.reserve(size.entries);
        for (int i = 0; i < size.entries; ++i)
            narc.files.append(syntheticEntry(i, size.lines));
        if (!saveNarcFile(narc, in.archive))
            qFatal("cannot write the archive");
    }
    in.archiveBytes = QFileInfo(in.archive).size();
    if (!QFileInfo::exists(in.tarFile)) {
        removePath(in.tree);
        mustRun({narctext, QStringLiteral("export"), in.archive, in.tree});
        mustRun({QStringLiteral("tar"), QStringLiteral("cf"), in.tarFile, QStringLiteral("-C"), work,
                 QFileInfo(in.tree).fileName()});
    }
    if (!QFileInfo::exists(in.po)) {
        const QString pot = base + QStringLiteral(".pot");
        mustRun({narctext, QStringLiteral("export-po"), in.archive, pot});
        QFile template_(pot);
        QFile po(in.po);
        if (!template_.open(QIODevice::ReadOnly) || !po.open(QIODevice::WriteOnly))
            qFatal("cannot make the PO file");
        po.write(translated(template_.readAll()));
        po.close();
        QFile::remove(pot);
        mustRun({QStringLiteral("msgfmt"), QStringLiteral("--check"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                 in.po});
    }
    in.poBytes = QFileInfo(in.po).size();
    if (!QFileInfo::exists(in.exportFile))
        mustRun({narctext, QStringLiteral("export-file"), in.archive, in.exportFile});
    if (!QFileInfo::exists(in.text)) {
        QFile text(in.text);
        if (!text.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(in.text));
        for (int i = 0; i < size.lines; ++i)
            text.write(QStringLiteral("Set line %1\n").arg(i).toUtf8());
    }
    return in;
}

struct Side
{
    QStringList argv;
    const char *label;
    int status = 0;
    std::function<void()> before; // untimed
};

void row(const char *what, const Side &work, const Side &baseline, int pairs, qint64 compareBytes,
         const char *compareWhat, qint64 throughputBytes = 0)
{
    QVector<double> workTimes;
    QVector<double> baseTimes;
    qint64 peak = 0;
    for (int i = 0; i < pairs; ++i) {
        for (int side = 0; side < 2; ++side) {
            const bool isWork = (side == 0) == (i % 2 == 0);
            const Side &run = isWork ? work : baseline;
            if (run.before)
                run.before();
            const Run result = runProcess(run.argv);
            if (result.status != run.status)
                qFatal("%s exited %d, not %d", qPrintable(run.argv.join(QLatin1Char(' '))), result.status, run.status);
            (isWork ? workTimes : baseTimes).append(result.seconds);
            if (isWork)
                peak = qMax(peak, result.peak);
        }
    }
    bench::Paired paired{workTimes, baseTimes};
    const QVector<double> ratios = paired.ratios();
    std::printf("  %-12s %7.3f s | %-17s %7.3f s | x%.2f (x%.2f-x%.2f) | peak %6.1f MiB = %.2fx %s", what,
                bench::median(workTimes), baseline.label, bench::median(baseTimes), bench::median(ratios),
                *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()),
                double(peak) / (1 << 20), double(peak) / double(compareBytes), compareWhat);
    if (throughputBytes > 0)
        std::printf(" | %.0f MB/s", double(throughputBytes) / 1e6 / bench::median(workTimes));
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString work = QStringLiteral("/dev/shm/bench_commands");
    int pairs = 5;
    QStringList sizeNames{QStringLiteral("small"), QStringLiteral("large")};
    QStringList rows{QStringLiteral("export-file"), QStringLiteral("export"),    QStringLiteral("import"),
                     QStringLiteral("find"),        QStringLiteral("export-po"), QStringLiteral("import-po"),
                     QStringLiteral("set")};
    QString narctext = QCoreApplication::applicationDirPath() + QStringLiteral("/../cli/narctext");
    for (qsizetype i = 0; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--work"))
            work = args[i + 1];
        else if (args[i] == QLatin1String("--pairs"))
            pairs = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--sizes"))
            sizeNames = args[i + 1].split(QLatin1Char(','));
        else if (args[i] == QLatin1String("--rows"))
            rows = args[i + 1].split(QLatin1Char(','));
        else if (args[i] == QLatin1String("--narctext"))
            narctext = args[i + 1];
        else
            qFatal("unknown option %s", qPrintable(args[i]));
    }
    const QString readfiles = QCoreApplication::applicationDirPath() + QStringLiteral("/readfiles");
    if (!QDir().mkpath(work) || pairs <= 0 || !QFileInfo(narctext).isExecutable())
        qFatal("usage: bench_commands [--work DIR] [--pairs N] [--sizes small,large] [--rows ...] [--narctext PATH]");
    std::printf("narctext %s, work directory %s, medians of %d paired runs\n", qPrintable(narctext), qPrintable(work),
                pairs);

    for (const Size &size : sizes) {
        if (!sizeNames.contains(QLatin1String(size.name)))
            continue;
        const Inputs in = prepare(size, work, narctext);
        std::printf("%s: %d entries x %d lines, archive %.1f MB, tree %s, PO file %.1f MB\n", size.name, size.entries,
                    size.lines, double(in.archiveBytes) / 1e6, qPrintable(in.tree), double(in.poBytes) / 1e6);
        const QString out = work + QStringLiteral("/out");
        const QString other = work + QStringLiteral("/other");
        const auto clean = [=] {
            return [=] {
                removePath(out);
                removePath(other);
            };
        };
        const auto freshOther = [=] {
            return [=] {
                removePath(other);
                QDir().mkpath(other);
            };
        };
        const qint64 exported = QFileInfo(in.exportFile).size();
        for (const QString &name : rows) {
            const QString tree0 = in.tree + QStringLiteral("/0000");
            const QString tree1 = in.tree + QStringLiteral("/0001");
            if (name == QLatin1String("export-file")) {
                row("export-file", {{narctext, name, in.archive, out}, "", 0, clean()},
                    {{QStringLiteral("cp"), in.exportFile, other}, "cp of its output", 0, clean()}, pairs,
                    in.archiveBytes, "archive", exported);
            } else if (name == QLatin1String("export")) {
                row("export", {{narctext, name, in.archive, out}, "", 0, clean()},
                    {{QStringLiteral("tar"), QStringLiteral("xf"), in.tarFile, QStringLiteral("-C"), other},
                     "tar xf of the tree",
                     0,
                     freshOther()},
                    pairs, in.archiveBytes, "archive");
            } else if (name == QLatin1String("import")) {
                row("import", {{narctext, name, in.archive, in.tree}, "", 0, {}},
                    {{readfiles, in.archive, tree0, tree1}, "readfiles", 0, {}}, pairs, in.archiveBytes, "archive");
            } else if (name == QLatin1String("find")) {
                row("find", {{narctext, name, in.archive, rareWord()}, "", 0, {}},
                    {{QStringLiteral("grep"), QStringLiteral("-rF"), rareWord(), in.tree}, "grep -rF", 0, {}}, pairs,
                    in.archiveBytes, "archive");
            } else if (name == QLatin1String("export-po")) {
                row("export-po", {{narctext, name, in.archive, out}, "", 0, clean()},
                    {{narctext, QStringLiteral("export"), in.archive, other}, "narctext export", 0, clean()}, pairs,
                    in.archiveBytes, "archive");
            } else if (name == QLatin1String("import-po")) {
                // import-po refuses a PO file above 256 MiB unread; the rows after it still run.
                if (in.poBytes > qint64(256) << 20) {
                    std::printf("  import-po      not run: the PO file is above the 256 MiB import-po reads\n");
                    continue;
                }
                row("import-po", {{narctext, name, in.archive, in.po, QStringLiteral("-o"), out}, "", 0, clean()},
                    {{QStringLiteral("msgfmt"), QStringLiteral("--check"), QStringLiteral("-o"),
                      QStringLiteral("/dev/null"), in.po},
                     "msgfmt --check",
                     0,
                     {}},
                    pairs, in.poBytes, "PO file");
            } else if (name == QLatin1String("set")) {
                row("set",
                    {{narctext, name, in.archive, QStringLiteral("7"), QStringLiteral("0"), in.text,
                      QStringLiteral("-o"), out},
                     "",
                     0,
                     clean()},
                    {{QStringLiteral("cp"), in.archive, other}, "cp of the archive", 0, clean()}, pairs,
                    in.archiveBytes, "archive");
            } else {
                qFatal("unknown row %s", qPrintable(name));
            }
        }
        removePath(work + QStringLiteral("/out"));
        removePath(work + QStringLiteral("/other"));
    }
    return 0;
}
