// Times the bulk operations on a synthetic archive and, beside each, a baseline
// measured in the same run: plain QFile work on the same bytes and file count, and
// the codec alone on the same sections. Last, an import that logs a failure line
// for every file through the window.
//
//   bench_bulk [entries]     (default 10000)

#include "app/mainwindow.h"
#include "bulk/exportfile.h"
#include "bulk/exporttree.h"
#include "bulk/importtree.h"
#include "codec/compose.h"
#include "codec/decode.h"
#include "codec/messagefile.h"
#include "narc/narcfile.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextCursor>

#include <cstdio>
#include <functional>

using namespace core;

namespace {

constexpr int linesPerSection = 12;

// Counts what it is told; prints nothing.
struct CountingObserver : BulkObserver
{
    qint64 reports = 0;
    qint64 progressCalls = 0;
    qint64 sectionCalls = 0;
    void report(const QString &) override { ++reports; }
    void progress(int) override { ++progressCalls; }
    void sectionChanged(int) override { ++sectionCalls; }
};

// A two-section message file, different for every entry: Latin text in
// section 0, Japanese with escapes in section 1.
NarcEntry messageFile(int index)
{
    QStringList sections[2];
    QList<quint16> keys;
    for (int i = 0; i < linesPerSection; ++i) {
        sections[0].append(QStringLiteral("Entry %1, line %2: the quick brown fox jumps over the lazy dog.")
                               .arg(index)
                               .arg(i));
        sections[1].append(QStringLiteral("\u30a8\u30f3\u30c8\u30ea %1 \u884c %2 \u6f22\u5b57\u304b\u306a "
                                          "\\x000a\\xf000")
                               .arg(index)
                               .arg(i));
        keys.append(quint16(0x1234 + 0x91 * i + index));
    }
    const NewMessageFile file = newMessageFile({sections[0], sections[1]}, {keys, keys});
    if (!file.ok())
        qFatal("cannot build the synthetic entries: %s", qPrintable(file.error));
    return file.entry;
}

Narc syntheticArchive(int count)
{
    Narc narc = newNarc();
    narc.files.reserve(count);
    for (int i = 0; i < count; ++i)
        narc.files.append(messageFile(i));
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

// One figure beside its baseline: plain file work plus, where the operation
// also runs the codec, the codec alone on the same sections.
void line(const char *what, double secs, const char *plainWhat, double plainSecs, double codecSecs = 0)
{
    const double baseline = plainSecs + codecSecs;
    std::printf("  %-30s %7.3f s | baseline %7.3f s = %s %.3f s", what, secs, baseline, plainWhat, plainSecs);
    if (codecSecs > 0)
        std::printf(" + codec %.3f s", codecSecs);
    std::printf("  (x%.2f)\n", baseline > 0 ? secs / baseline : 0.0);
}

// The fastest of `rounds` runs of `work`; `prepare` runs untimed before each.
double best(int rounds, const std::function<void()> &work, const std::function<void()> &prepare = {})
{
    double fastest = 1e9;
    for (int i = 0; i < rounds; ++i) {
        if (prepare)
            prepare();
        fastest = qMin(fastest, seconds(work));
    }
    return fastest;
}

bool makeTree(const QString &root)
{
    return QDir(root).mkpath(QStringLiteral("0000")) && QDir(root).mkpath(QStringLiteral("0001"));
}

// The names and contents of every file in an export tree, for the baselines.
struct TreeFiles
{
    QStringList names; // relative to the root
    QList<QByteArray> contents;
    qint64 bytes = 0;
};

TreeFiles readTree(const QString &root)
{
    TreeFiles tree;
    for (const char *dirName : {"0000", "0001"}) {
        const QString dir = QLatin1String(dirName);
        for (const QString &name : QDir(root + dir).entryList(QDir::Files, QDir::Name)) {
            QFile file(root + dir + QLatin1Char('/') + name);
            if (!file.open(QIODevice::ReadOnly))
                qFatal("cannot read back the tree");
            tree.names.append(dir + QLatin1Char('/') + name);
            tree.contents.append(file.readAll());
            tree.bytes += tree.contents.last().size();
        }
    }
    return tree;
}

void run(int count, const QString &work)
{
    std::printf("%d entries, 2 sections of %d lines each\n", count, linesPerSection);
    Narc narc;
    const double build = seconds([&] { narc = syntheticArchive(count); });
    qint64 archiveBytes = 0;
    for (const NarcEntry &entry : std::as_const(narc.files))
        archiveBytes += entry.size();
    std::printf("  (built %.1f MB of message files in %.3f s)\n", double(archiveBytes) / 1e6, build);

    // The codec alone: decoding every section, and composing every section back.
    QStringList texts;
    const double decodeAll = seconds([&] {
        texts.reserve(2 * count);
        for (const NarcEntry &entry : std::as_const(narc.files))
            for (int s = 0; s < 2; ++s)
                texts.append(decodeMessageSection(entry, s).lines.join(QLatin1Char('\n')));
    });
    Narc composed = narc;
    const double composeAll = seconds([&] {
        for (int i = 0; i < count; ++i) {
            for (int s = 0; s < 2; ++s) {
                ComposeResult result = composeEntry(composed.files.at(i), texts.at(2 * i + s), i, s);
                if (result.changed())
                    composed.files[i] = std::move(result.entry);
            }
        }
    });

    // Export to a tree, and the same files written and read with plain QFile;
    // first into new files, then over the existing ones. File creation on a real
    // disk is noisy: the two are measured back to back, once each.
    const QString root = work + QStringLiteral("/tree%1/").arg(count);
    const QString plainRoot = work + QStringLiteral("/plain%1/").arg(count);
    if (!makeTree(root) || !makeTree(plainRoot))
        qFatal("cannot make the trees");
    // The first burst of new files on a disk is much slower than the next; take
    // it here, untimed.
    const QString warmUp = work + QStringLiteral("/warmup%1/").arg(count);
    if (!makeTree(warmUp))
        qFatal("cannot make the warm-up tree");
    for (int i = 0; i < 2 * count; ++i) {
        QFile file(warmUp + QStringLiteral("000%1/%2.txt").arg(i % 2).arg(i));
        if (!file.open(QIODevice::WriteOnly) || file.write("warm-up\n") != 8)
            qFatal("cannot write the warm-up tree");
    }

    CountingObserver observer;
    BulkSummary summary;
    const auto exportTree = [&] {
        summary = exportToTree(narc, root, observer);
        if (summary.hasErrors())
            qFatal("the tree export failed");
    };
    const double exportNew = seconds(exportTree);
    const TreeFiles tree = readTree(root);
    const auto plainWrite = [&] {
        for (qsizetype i = 0; i < tree.names.size(); ++i) {
            QFile file(plainRoot + tree.names.at(i));
            if (!file.open(QIODevice::WriteOnly) || file.write(tree.contents.at(i)) != tree.contents.at(i).size())
                qFatal("plain write failed");
        }
    };
    const double plainNew = seconds(plainWrite);
    const double exportOver = seconds(exportTree);
    const double plainOver = seconds(plainWrite);
    const double plainRead = best(3, [&] {
        for (const QString &name : tree.names) {
            QFile file(plainRoot + name);
            if (!file.open(QIODevice::ReadOnly) || file.readAll().isEmpty())
                qFatal("plain read failed");
        }
    });

    // Export to one file, and the same bytes written with one QFile.
    const QString onePath = work + QStringLiteral("/all%1.txt").arg(count);
    const double exportFile = best(3, [&] {
        summary = exportToFile(narc, onePath, observer);
        if (summary.hasErrors())
            qFatal("the one-file export failed");
    });
    QFile exported(onePath);
    if (!exported.open(QIODevice::ReadOnly))
        qFatal("cannot read back the one-file export");
    const QByteArray oneBytes = exported.readAll();
    const double plainOne = best(3, [&] {
        QFile file(work + QStringLiteral("/plain%1.txt").arg(count));
        if (!file.open(QIODevice::WriteOnly) || file.write(oneBytes) != oneBytes.size())
            qFatal("plain write failed");
    });

    // Import of the unedited tree.
    const double importTree = best(3, [&] {
        Narc imported = narc;
        summary = importFromTree(imported, root, observer);
        if (summary.hasErrors() || summary.sectionsChanged != tree.names.size())
            qFatal("the import failed");
    });

    // An import where every file is missing: 2 * count failure lines.
    const QString emptyRoot = work + QStringLiteral("/empty%1/").arg(count);
    if (!makeTree(emptyRoot))
        qFatal("cannot make the empty tree");
    CountingObserver failures;
    const double importMissing = best(3, [&] {
        Narc untouched = narc;
        failures = CountingObserver();
        importFromTree(untouched, emptyRoot, failures);
    });

    std::printf("  tree: %lld files, %.1f MB; one file: %.1f MB\n", qlonglong(tree.names.size()),
                double(tree.bytes) / 1e6, double(oneBytes.size()) / 1e6);
    line("export to tree, new files", exportNew, "QFile write", plainNew, decodeAll);
    line("export to tree, overwriting", exportOver, "QFile write", plainOver, decodeAll);
    line("export to one file", exportFile, "one QFile write", plainOne, decodeAll);
    line("import of the unedited tree", importTree, "QFile read", plainRead, composeAll);
    char what[64];
    std::snprintf(what, sizeof what, "import, %lld lines of failure", qlonglong(failures.reports - 2));
    line(what, importMissing, "QFile read of the real files", plainRead);
    std::printf("  per entry: tree export %.1f us, one-file export %.1f us, import %.1f us\n\n",
                1e6 * exportOver / count, 1e6 * exportFile / count, 1e6 * importTree / count);
}

// The window's import of a tree where every file is missing: 2 * count failure
// lines go through its log, and every section is shown under "Type" on the way.
// Beside it: the same import with a counting observer, plus the same number of
// lines appended to a lone log widget the way the window appends them.
void runWindow(int count, const QString &work)
{
    const QString archivePath = work + QStringLiteral("/window%1.narc").arg(count);
    Narc narc = syntheticArchive(count);
    const QString emptyRoot = work + QStringLiteral("/windowtree%1/").arg(count);
    if (!saveNarcFile(narc, archivePath) || !makeTree(emptyRoot))
        qFatal("cannot prepare the window run");

    MainWindow window;
    window.show();
    QString answer = archivePath;
    window.chooseFile = [&](FileChoice) { return answer; };
    window.findChild<QAction *>(QStringLiteral("actionOpen_Narc"))->trigger();
    auto *log = window.findChild<QPlainTextEdit *>(QStringLiteral("report"));
    answer = emptyRoot;
    const int before = log->document()->blockCount();
    const double windowImport =
        seconds([&] { window.findChild<QAction *>(QStringLiteral("actionImport_all_from_files"))->trigger(); });
    const int logged = log->document()->blockCount() - before;

    CountingObserver observer;
    const double coreImport = seconds([&] { importFromTree(narc, emptyRoot, observer); });

    QPlainTextEdit lone;
    lone.show();
    const QString line = QStringLiteral("Failed to import from file: ") + emptyRoot + QStringLiteral("0000/0000.txt");
    const double appends = seconds([&] {
        for (int i = 0; i < 2 * count; ++i) {
            QTextCursor cursor(lone.document());
            cursor.movePosition(QTextCursor::End);
            cursor.insertText(line + QLatin1Char('\n'));
        }
    });

    // What each section change costs the window: "Type" switched back and forth
    // as often, each switch showing a section of the selected entry.
    auto *types = window.findChild<QComboBox *>(QStringLiteral("typeIds"));
    const double switches = seconds([&] {
        for (int i = 0; i < 2 * count; ++i)
            types->setCurrentIndex(i % 2);
    });

    const double baseline = coreImport + appends + switches;
    char what[64];
    std::snprintf(what, sizeof what, "window import, %d log lines", logged);
    std::printf("  %-30s %7.3f s | baseline %7.3f s = core import %.3f s + %d lone log appends %.3f s\n"
                "  %-30s           |                    + %d switches of \"Type\" %.3f s  (x%.2f)\n",
                what, windowImport, baseline, coreImport, 2 * count, appends, "", 2 * count, switches,
                windowImport / baseline);
}

} // namespace

int main(int argc, char **argv)
{
    // The window part needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;
    QTemporaryDir work;
    if (!work.isValid() || count <= 0)
        return 1;
    // Half and full size, to show the cost grows linearly.
    run(count / 2, work.path());
    run(count, work.path());
    std::printf("The window (offscreen)\n");
    runWindow(count / 2, work.path());
    runWindow(count, work.path());
    return 0;
}
