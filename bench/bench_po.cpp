// Times the PO export and import of a synthetic archive beside the tree export and
// import of the same archive (the baseline), in the same run, round after round:
// each round does all four, so the figures of one round are paired. Both imports
// bring the same new text into every section, so both compose every section.
//
//   bench_po [ENTRIES] [WORKDIR] [ROUNDS]   (defaults: 50000, a temporary directory, 5)
//
// WORKDIR on a tmpfs (/dev/shm) keeps the disk out of the figures.

#include "codec/messagefile.h"
#include "narc/narcwriter.h"
#include "po/poexport.h"
#include "po/poimport.h"
#include "tree/exporttree.h"
#include "tree/importtree.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <gettext-po.h>
#include <vector>

using namespace core;

namespace {

constexpr int linesPerSection = 12;

struct Quiet : BulkObserver
{
    qint64 reports = 0;
    void report(const QString &) override { ++reports; }
};

// A two-section entry of Latin and Japanese lines with a few escapes, different
// for every entry; `prefix` starts every line.
NarcEntry syntheticEntry(int index, const QString &prefix)
{
    QStringList sections[2];
    QList<quint16> keys;
    for (int i = 0; i < linesPerSection; ++i) {
        sections[0].append(
            prefix
            + QStringLiteral("Entry %1, line %2: the quick brown fox jumps over the lazy dog.").arg(index).arg(i));
        sections[1].append(
            prefix
            + QStringLiteral("\u30a8\u30f3\u30c8\u30ea %1 \u884c %2 \u6f22\u5b57 \\x000a\\xf000").arg(index).arg(i));
        keys.append(quint16(0x1234 + 0x91 * i + index));
    }
    const Result<NarcEntry> file = newMessageFile({sections[0], sections[1]}, {keys, keys});
    if (!file.ok())
        qFatal("cannot build the synthetic entries: %s", qPrintable(file.reason));
    return file.value;
}

Narc syntheticArchive(int count, const QString &prefix)
{
    Narc narc = newNarc();
    narc.files.reserve(count);
    for (int i = 0; i < count; ++i)
        narc.files.append(syntheticEntry(i, prefix));
    narc.fileCount = quint32(count);
    return narc;
}

double seconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e9;
}

double cpuNow()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Wall-clock and processor time of one run of `work`. On a machine shared with
// other work the processor time is the steadier figure.
struct Timing
{
    std::vector<double> wall;
    std::vector<double> cpu;
    void measure(const std::function<void()> &work)
    {
        const double cpuStart = cpuNow();
        wall.push_back(seconds(work));
        cpu.push_back(cpuNow() - cpuStart);
    }
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void line(const char *what, const std::vector<double> &secs, const char *baselineWhat,
          const std::vector<double> &baseline);

void lines(const char *what, const Timing &timing, const char *baselineWhat, const Timing &baseline)
{
    std::printf(" wall clock:\n");
    line(what, timing.wall, baselineWhat, baseline.wall);
    std::printf(" processor time:\n");
    line(what, timing.cpu, baselineWhat, baseline.cpu);
}

void line(const char *what, const std::vector<double> &secs, const char *baselineWhat,
          const std::vector<double> &baseline)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < secs.size(); ++i)
        ratios.push_back(secs[i] / baseline[i]);
    std::printf(
        "  %-11s median %6.3f s (%6.3f .. %6.3f) | %-11s median %6.3f s (%6.3f .. %6.3f) | ratio x%.2f (x%.2f .. "
        "x%.2f)\n",
        what, median(secs), *std::min_element(secs.begin(), secs.end()), *std::max_element(secs.begin(), secs.end()),
        baselineWhat, median(baseline), *std::min_element(baseline.begin(), baseline.end()),
        *std::max_element(baseline.begin(), baseline.end()), median(ratios),
        *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()));
}

void gettextReport(int severity, po_message_t, const char *, size_t, size_t, int, const char *text)
{
    std::fprintf(stderr, "gettext: %s\n", text);
    if (severity == PO_SEVERITY_FATAL_ERROR)
        std::exit(1);
}

void gettextReport2(int severity, po_message_t, const char *, size_t, size_t, int, const char *text, po_message_t,
                    const char *, size_t, size_t, int, const char *)
{
    gettextReport(severity, nullptr, nullptr, 0, 0, 0, text);
}

const po_xerror_handler reportHandler = {gettextReport, gettextReport2};

// The translation: the template of `source` with every msgstr set to the line of
// `translated` at the same place, written through gettext's library.
bool writeTranslation(const QString &templatePath, const Narc &translated, const QString &target)
{
    // The template of the translated archive gives its lines in the same order.
    const QString otherTemplate = target + QStringLiteral(".other.pot");
    Quiet quiet;
    if (!exportToPoTemplate(translated, QString(), otherTemplate, FileIdentity(), quiet).finished)
        return false;
    po_file_t source = po_file_read(QFile::encodeName(templatePath).constData(), &reportHandler);
    po_file_t other = po_file_read(QFile::encodeName(otherTemplate).constData(), &reportHandler);
    if (!source || !other)
        return false;
    po_message_iterator_t to = po_message_iterator(source, nullptr);
    po_message_iterator_t from = po_message_iterator(other, nullptr);
    while (po_message_t message = po_next_message(to)) {
        po_message_t line = po_next_message(from);
        if (!line)
            return false;
        if (po_message_msgctxt(message))
            po_message_set_msgstr(message, po_message_msgid(line));
    }
    po_message_iterator_free(to);
    po_message_iterator_free(from);
    po_file_write(source, QFile::encodeName(target).constData(), &reportHandler);
    po_file_free(source);
    po_file_free(other);
    QFile::remove(otherTemplate);
    return true;
}

qint64 fileSize(const QString &path)
{
    return QFileInfo(path).size();
}

} // namespace

int main(int argc, char *argv[])
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // figures show as they come, also into a file
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 50000;
    const int rounds = argc > 3 ? QByteArray(argv[3]).toInt() : 5;
    QTemporaryDir temporary(argc > 2 ? QFile::decodeName(argv[2]) + QStringLiteral("/bench_po-XXXXXX")
                                     : QDir::tempPath() + QStringLiteral("/bench_po-XXXXXX"));
    if (count <= 0 || rounds <= 0 || !temporary.isValid()) {
        std::fprintf(stderr, "usage: bench_po [ENTRIES] [WORKDIR] [ROUNDS]\n");
        return 2;
    }
    const QString work = temporary.path() + QLatin1Char('/');
    std::printf("%d entries, 2 sections of %d lines each, work directory %s, %d rounds\n", count, linesPerSection,
                qPrintable(work), rounds);

    const Narc original = syntheticArchive(count, QString());
    const Narc translated = syntheticArchive(count, QStringLiteral("T: "));
    // The inputs of the imports: a tree and a PO file holding the translated text.
    Quiet quiet;
    const QString tree = work + QStringLiteral("translated-tree");
    QDir().mkpath(tree + QStringLiteral("/0000"));
    QDir().mkpath(tree + QStringLiteral("/0001"));
    if (!exportToTree(translated, tree, FileIdentity(), EditedFiles::Replace, quiet).finished
        || !exportToPoTemplate(original, QString(), work + "t.pot", FileIdentity(), quiet).finished
        || !writeTranslation(work + "t.pot", translated, work + "translated.po")) {
        std::fprintf(stderr, "cannot prepare the inputs\n");
        return 1;
    }
    std::printf("  template %.1f MB, translation %.1f MB\n", double(fileSize(work + "t.pot")) / 1e6,
                double(fileSize(work + "translated.po")) / 1e6);

    Timing poExport, treeExport, poImport, treeImport;
    const QString exportTree = work + QStringLiteral("export-tree");
    QDir().mkpath(exportTree + QStringLiteral("/0000"));
    QDir().mkpath(exportTree + QStringLiteral("/0001"));
    for (int round = 0; round < rounds; ++round) {
        bool ok = true;
        treeExport.measure([&] {
            ok = exportToTree(original, exportTree, FileIdentity(), EditedFiles::Replace, quiet).finished && ok;
        });
        poExport.measure([&] {
            ok = exportToPoTemplate(original, QString(), work + "export.pot", FileIdentity(), quiet).finished && ok;
        });
        Narc byTree = original;
        treeImport.measure([&] { ok = importFromTree(byTree, tree, quiet).outcome() == Outcome::Done && ok; });
        Narc byPo = original;
        PoImportSummary summary;
        poImport.measure([&] { summary = importFromPo(byPo, work + "translated.po", quiet); });
        if (!ok || summary.outcome() != Outcome::Done || summary.sectionsChanged != 2 * count
            || byPo.files != byTree.files) {
            std::fprintf(stderr, "round %d: the runs did not give the same archive\n", round);
            return 1;
        }
        std::printf("  round %d done\n", round + 1);
    }
    std::printf("medians (min .. max) of %d paired rounds:\n", rounds);
    lines("PO export", poExport, "tree export", treeExport);
    lines("PO import", poImport, "tree import", treeImport);
    return 0;
}
