// Archives far larger than real ones: a synthetic archive of 50,000 two-section
// entries (a few hundred MB), opened, browsed, written, exported to a tree and
// imported back through the window, each step in its own process so its peak
// memory can be read. Every figure stands beside a baseline measured in the same
// run: plain copies of the same bytes, as one file or as the same files.
//
//   bench_scale [ENTRIES] [WORKDIR]      (defaults: 50000, a temporary directory)

#include "app/mainwindow.h"
#include "codec/messagefile.h"
#include "narc/narcfile.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace core;

namespace {

QTextStream out(stdout);

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

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1024 * 1024), 'f', 1) + QStringLiteral(" MB");
}

// A two-section message file of `lines` lines, mixing Latin and Japanese text
// with a few escapes, different for every entry.
NarcEntry syntheticEntry(int index, int lines)
{
    QList<quint16> keys;
    QStringList hiragana;
    QStringList kanji;
    for (int i = 0; i < lines; ++i) {
        keys.append(quint16(index * 31 + i * 7));
        hiragana.append(QStringLiteral("Line %1 of entry %2: \u3053\u3093\u306b\u3061\u306f\\xfffe\u3042\u308a\u304c\u3068\u3046")
                            .arg(i)
                            .arg(index));
        kanji.append(QStringLiteral("\u884c %1 \u6f22\u5b57\u306e\u6587\u7ae0\\x000a\u3067\u3059\u3002 entry %2 text")
                         .arg(i)
                         .arg(index));
    }
    return newMessageFile({hiragana, kanji}, {keys, keys}).entry;
}

bool makeArchive(const QString &path, int entries)
{
    Narc narc = newNarc();
    narc.files.reserve(entries);
    for (int i = 0; i < entries; ++i)
        narc.files.append(syntheticEntry(i, 40));
    narc.fileCount = quint32(entries);
    return saveNarcFile(narc, path);
}

// Copies every file below `from` to the same place below `to`, as a user's
// file manager would; returns the number of files.
int copyTree(const QString &from, const QString &to)
{
    int count = 0;
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + source.mid(from.size());
        QDir().mkpath(QFileInfo(target).path());
        QFile in(source);
        QFile copy(target);
        if (in.open(QIODevice::ReadOnly) && copy.open(QIODevice::WriteOnly))
            copy.write(in.readAll());
        ++count;
    }
    return count;
}

void syncFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// One step, run in a child process: opens the archive in a window, then does
// `step`; prints "seconds peak-bytes".
int runStep(const QString &step, const QString &archive, const QString &work)
{
    MainWindow window;
    QString answer = archive;
    window.chooseFile = [&](FileChoice) { return answer; };
    auto action = [&](const char *name) { return window.findChild<QAction *>(QLatin1String(name)); };
    auto *entries = window.findChild<QComboBox *>(QStringLiteral("narcEntryIds"));
    auto *types = window.findChild<QComboBox *>(QStringLiteral("typeIds"));

    QElapsedTimer timer;
    timer.start();
    action("actionOpen_Narc")->trigger();
    if (step != QLatin1String("open"))
        timer.restart();

    if (step == QLatin1String("switch")) {
        const int count = entries->count();
        for (int i = 0; i < 1000; ++i) {
            entries->setCurrentIndex(int((qint64(i) * 7919) % count));
            types->setCurrentIndex(1);
        }
    } else if (step == QLatin1String("write")) {
        action("actionWrite_To_Narc")->trigger();
    } else if (step == QLatin1String("export")) {
        answer = work + QStringLiteral("/tree");
        action("actionExtract_all_to_Text")->trigger();
    } else if (step == QLatin1String("import")) {
        answer = work + QStringLiteral("/tree");
        action("actionImport_all_from_files")->trigger();
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const QString log = window.findChild<QPlainTextEdit *>(QStringLiteral("report"))->toPlainText();
    std::fprintf(stdout, "%f %lld\n", seconds, peakMemory());
    std::fprintf(stderr, "%s", qPrintable(log.right(300)));
    return 0;
}

struct StepResult
{
    double seconds = 0;
    qint64 peak = 0;
};

StepResult childStep(const QString &step, const QString &archive, const QString &work)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--step"), step, archive, work});
    child.waitForFinished(-1);
    const QStringList fields = QString::fromLatin1(child.readAllStandardOutput()).split(QLatin1Char(' '));
    StepResult result;
    if (fields.size() == 2) {
        result.seconds = fields[0].toDouble();
        result.peak = fields[1].trimmed().toLongLong();
    }
    return result;
}

double timed(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args[1] == QLatin1String("--step"))
        return runStep(args[2], args[3], args[4]);

    const int entries = args.size() > 1 ? args[1].toInt() : 50000;
    QTemporaryDir temporary;
    const QString work = args.size() > 2 ? args[2] : temporary.path();
    QDir().mkpath(work);
    const QString archive = work + QStringLiteral("/scale.narc");

    out << "Generating " << entries << " entries ... " << Qt::flush;
    const double generate = timed([&] { makeArchive(archive, entries); });
    const qint64 size = QFileInfo(archive).size();
    out << megabytes(size) << " in " << generate << " s\n";

    QDir(work + QStringLiteral("/tree")).removeRecursively();
    QDir().mkpath(work + QStringLiteral("/tree/0000"));
    QDir().mkpath(work + QStringLiteral("/tree/0001"));

    // Baselines: the same bytes copied as one file, with and without syncing
    // to disk (the archive write syncs before it replaces the file).
    const QString copyPath = work + QStringLiteral("/copy.narc");
    QFile::remove(copyPath);
    const double copy = timed([&] { QFile::copy(archive, copyPath); });
    QFile::remove(copyPath);
    const double copySynced = timed([&] {
        QFile::copy(archive, copyPath);
        syncFile(copyPath);
    });

    out << "\nstep      seconds   peak memory (x archive)   baseline\n";
    auto row = [&](const char *name, const StepResult &r, const QString &baseline) {
        out << QString::fromLatin1(name).leftJustified(9) << QString::number(r.seconds, 'f', 3).rightJustified(8)
            << "   " << megabytes(r.peak).rightJustified(10) << " ("
            << QString::number(double(r.peak) / double(size), 'f', 2) << "x)       " << baseline << "\n"
            << Qt::flush;
    };
    const StepResult open = childStep(QStringLiteral("open"), archive, work);
    row("open", open, QStringLiteral("read the file: %1 s").arg(timed([&] {
        QFile file(archive);
        file.open(QIODevice::ReadOnly);
        file.readAll();
    }), 0, 'f', 3));
    const StepResult browse = childStep(QStringLiteral("switch"), archive, work);
    row("switch", browse, QStringLiteral("per switch: %1 ms").arg(browse.seconds, 0, 'f', 3));
    const StepResult write = childStep(QStringLiteral("write"), archive, work);
    row("write", write, QStringLiteral("copy: %1 s, copy+sync: %2 s (ratio %3 / %4)")
                            .arg(copy, 0, 'f', 3)
                            .arg(copySynced, 0, 'f', 3)
                            .arg(write.seconds / copy, 0, 'f', 2)
                            .arg(write.seconds / copySynced, 0, 'f', 2));
    const StepResult exported = childStep(QStringLiteral("export"), archive, work);
    QDir(work + QStringLiteral("/tree-copy")).removeRecursively();
    int files = 0;
    const double treeCopy = timed([&] { files = copyTree(work + QStringLiteral("/tree"), work + QStringLiteral("/tree-copy")); });
    row("export", exported, QStringLiteral("copy of its %1 files: %2 s (ratio %3)")
                                .arg(files)
                                .arg(treeCopy, 0, 'f', 3)
                                .arg(exported.seconds / treeCopy, 0, 'f', 2));
    const StepResult imported = childStep(QStringLiteral("import"), archive, work);
    row("import", imported, QStringLiteral("copy of the tree: %1 s (ratio %2)")
                                .arg(treeCopy, 0, 'f', 3)
                                .arg(imported.seconds / treeCopy, 0, 'f', 2));
    QDir(work + QStringLiteral("/tree-copy")).removeRecursively();
    return 0;
}
