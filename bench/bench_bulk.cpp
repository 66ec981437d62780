// Times the bulk operations on a synthetic archive, each beside its baseline: the
// same I/O without our work, in the same run (reading the same files for an
// import, writing the same files for an export, with directories made once and
// nothing read back, and for the one-file export writing, syncing and renaming
// the same bytes as its commit does). Every figure is the median of paired runs,
// with the range of the ratios. Last, an import that logs a failure line for
// every file through the window.
//
//   bench_bulk [ENTRIES] [WORKDIR] [PAIRS]   (defaults: 10000, a temporary
//                                            directory, 5; a tmpfs such as
//                                            /dev/shm gives steadier figures)

#include "app/mainwindow.h"
#include "codec/messagefile.h"
#include "narc/narcfile.h"
#include "onefile/exportfile.h"
#include "pairedruns.h"
#include "tree/exporttree.h"
#include "tree/importtree.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextCursor>

#include <cstdio>

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
        sections[0].append(
            QStringLiteral("Entry %1, line %2: the quick brown fox jumps over the lazy dog.").arg(index).arg(i));
        sections[1].append(QStringLiteral("\u30a8\u30f3\u30c8\u30ea %1 \u884c %2 \u6f22\u5b57\u304b\u306a "
                                          "\\x000a\\xf000")
                               .arg(index)
                               .arg(i));
        keys.append(quint16(0x1234 + 0x91 * i + index));
    }
    const Result<NarcEntry> file = newMessageFile({sections[0], sections[1]}, {keys, keys});
    if (!file.ok())
        qFatal("cannot build the synthetic entries: %s", qPrintable(file.reason));
    return file.value;
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

using bench::Paired;
using bench::pairedRuns;
using bench::printPaired;
using bench::seconds;

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

void writeTree(const QString &root, const TreeFiles &tree)
{
    for (qsizetype i = 0; i < tree.names.size(); ++i) {
        QFile file(root + tree.names.at(i));
        if (!file.open(QIODevice::WriteOnly) || file.write(tree.contents.at(i)) != tree.contents.at(i).size())
            qFatal("plain write failed");
    }
}

void freshTree(const QString &root)
{
    QDir(root).removeRecursively();
    if (!makeTree(root))
        qFatal("cannot make a tree");
}

void run(int count, const QString &work, int pairs)
{
    std::printf("%d entries, 2 sections of %d lines each\n", count, linesPerSection);
    Narc narc;
    const double build = seconds([&] { narc = syntheticArchive(count); });
    qint64 archiveBytes = 0;
    for (const NarcEntry &entry : std::as_const(narc.files))
        archiveBytes += entry.size();
    std::printf("  (built %.1f MB of message files in %.3f s)\n", double(archiveBytes) / 1e6, build);

    const QString root = work + QStringLiteral("/tree%1/").arg(count);
    const QString plainRoot = work + QStringLiteral("/plain%1/").arg(count);
    CountingObserver observer;
    BulkSummary summary;
    const auto exportTree = [&] {
        summary = exportToTree(narc, root, FileIdentity(), EditedFiles::Replace, observer);
        if (summary.outcome() != Outcome::Done)
            qFatal("the tree export failed");
    };
    // The same export as narctext runs it without --force: the files there are
    // compared with what it would write first.
    const auto exportCheckedTree = [&] {
        summary = exportToTree(narc, root, FileIdentity(), EditedFiles::Refuse, observer);
        if (summary.outcome() != Outcome::Done)
            qFatal("the checked tree export failed");
    };
    // One export, untimed, gives the files the baselines write and read; it also
    // takes the first burst of new files, which on a disk is slower than the next.
    freshTree(root);
    exportTree();
    const TreeFiles tree = readTree(root);
    std::printf("  tree: %lld files, %.1f MB\n", qlonglong(tree.names.size()), double(tree.bytes) / 1e6);

    // Into new files: both trees removed and their directories made, untimed.
    printPaired("export to tree, new files",
                pairedRuns(
                    pairs, exportTree, [&] { writeTree(plainRoot, tree); }, [&] { freshTree(root); },
                    [&] { freshTree(plainRoot); }),
                "write the same new files");
    // Over files that differ, as after edits: each is replaced by a new file.
    TreeFiles edited = tree;
    for (QByteArray &content : edited.contents)
        content += " (edited)";
    printPaired("export to tree, over edited files",
                pairedRuns(
                    pairs, exportTree, [&] { writeTree(plainRoot, tree); }, [&] { writeTree(root, edited); },
                    [&] { writeTree(plainRoot, edited); }),
                "write the same files over");
    // Over the files of the previous run, which hold what it writes: compared,
    // not written; checked first too, as narctext export without --force does.
    printPaired("export to tree, unchanged files", pairedRuns(pairs, exportTree, [&] { writeTree(plainRoot, tree); }),
                "write the same files over");
    printPaired("export to tree, unchanged files, checked",
                pairedRuns(pairs, exportCheckedTree, [&] { writeTree(plainRoot, tree); }), "write the same files over");

    // Export to one file, committed as QSaveFile does.
    const QString onePath = work + QStringLiteral("/all%1.txt").arg(count);
    summary = exportToFile(narc, onePath, FileIdentity(), observer);
    QFile exported(onePath);
    if (summary.outcome() != Outcome::Done || !exported.open(QIODevice::ReadOnly))
        qFatal("cannot read back the one-file export");
    const QByteArray oneBytes = exported.readAll();
    const QByteArray plainOne = QFile::encodeName(work + QStringLiteral("/plain%1.txt").arg(count));
    std::printf("  one file: %.1f MB\n", double(oneBytes.size()) / 1e6);
    printPaired("export to one file",
                pairedRuns(
                    pairs,
                    [&] {
                        if (exportToFile(narc, onePath, FileIdentity(), observer).outcome() != Outcome::Done)
                            qFatal("the one-file export failed");
                    },
                    [&] {
                        if (!bench::writeSyncRename(plainOne, oneBytes))
                            qFatal("plain write failed");
                    }),
                "write+fdatasync+rename the bytes");

    // Import of the unedited tree, beside reading the same files.
    Narc imported;
    printPaired("import of the unedited tree",
                pairedRuns(
                    pairs,
                    [&] {
                        summary = importFromTree(imported, root, observer);
                        if (summary.outcome() != Outcome::Done || summary.sectionsChanged != tree.names.size())
                            qFatal("the import failed");
                    },
                    [&] {
                        for (const QString &name : tree.names) {
                            QFile file(root + name);
                            if (!file.open(QIODevice::ReadOnly) || file.readAll().isEmpty())
                                qFatal("plain read failed");
                        }
                    },
                    [&] { imported = narc; }),
                "read the same files");

    // An import where every file is missing: 2 * count failure lines, beside
    // trying to open the same missing files.
    const QString emptyRoot = work + QStringLiteral("/empty%1/").arg(count);
    freshTree(emptyRoot);
    CountingObserver failures;
    const Paired missing = pairedRuns(
        pairs,
        [&] {
            failures = CountingObserver();
            importFromTree(imported, emptyRoot, failures);
        },
        [&] {
            for (const QString &name : tree.names) {
                QFile file(emptyRoot + name);
                if (file.open(QIODevice::ReadOnly))
                    qFatal("a file that should be missing opened");
            }
        },
        [&] { imported = narc; });
    char what[64];
    std::snprintf(what, sizeof what, "import, %lld lines of failure", qlonglong(failures.reports - 2));
    printPaired(what, missing, "open the same missing files");
    std::printf("\n");
}

// The window's import of a tree where every file is missing: 2 * count failure
// lines go through its log. Beside it: the same import with a counting observer,
// plus the same number of lines appended to a lone log widget the way the window
// appends them.
void runWindow(int count, const QString &work, int pairs)
{
    const QString archivePath = work + QStringLiteral("/window%1.narc").arg(count);
    Narc narc = syntheticArchive(count);
    const QString emptyRoot = work + QStringLiteral("/windowtree%1/").arg(count);
    if (!saveNarcFile(narc, archivePath).ok() || !makeTree(emptyRoot))
        qFatal("cannot prepare the window run");

    MainWindow window;
    window.show();
    QString answer = archivePath;
    window.chooseFile = [&](FileChoice, const QString &) { return answer; };
    window.findChild<QAction *>(QStringLiteral("actionOpen_Narc"))->trigger();
    auto *log = window.findChild<QPlainTextEdit *>(QStringLiteral("report"));
    answer = emptyRoot;

    QPlainTextEdit lone;
    lone.show();
    const QString line = QStringLiteral("Failed to import from file: ") + emptyRoot + QStringLiteral("0000/0000.txt");
    int logged = 0;
    const Paired paired = pairedRuns(
        pairs,
        [&] {
            const int before = log->document()->blockCount();
            window.findChild<QAction *>(QStringLiteral("actionImport_all_from_files"))->trigger();
            logged = log->document()->blockCount() - before;
        },
        [&] {
            CountingObserver observer;
            importFromTree(narc, emptyRoot, observer);
            for (int i = 0; i < 2 * count; ++i) {
                QTextCursor cursor(lone.document());
                cursor.movePosition(QTextCursor::End);
                cursor.insertText(line + QLatin1Char('\n'));
            }
        });
    char what[64];
    std::snprintf(what, sizeof what, "window import, %d log lines", logged);
    printPaired(what, paired, "core import + lone log appends");
}

} // namespace

int main(int argc, char **argv)
{
    // The window part needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;
    QTemporaryDir temporary(argc > 2 ? QString::fromLocal8Bit(argv[2]) + QStringLiteral("/bench_bulk-XXXXXX")
                                     : QString());
    const int pairs = argc > 3 ? QString::fromLocal8Bit(argv[3]).toInt() : 5;
    if (!temporary.isValid() || count <= 0 || pairs <= 0)
        return 1;
    const QString work = temporary.path();
    std::printf("work directory %s, medians of %d paired runs\n\n", qPrintable(work), pairs);
    // Half and full size, to show the cost grows linearly.
    run(count / 2, work, pairs);
    run(count, work, pairs);
    std::printf("The window (offscreen)\n");
    runWindow(count / 2, work, pairs);
    runWindow(count, work, pairs);
    return 0;
}
