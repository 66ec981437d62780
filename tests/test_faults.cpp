// Disks fail: writes cut short, directories that vanish. In each case the report
// says what failed and no file the user had is damaged. (Tree files that cannot
// be read are in test_bulk's import.)

#include "filesizelimit.h"
#include "messagefixture.h"
#include "narcfixture.h"

#include "bulk/exportfile.h"
#include "bulk/exporttree.h"
#include "narc/narcfile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

struct Recorder : BulkObserver
{
    QStringList lines; // report lines, and status texts behind "status "
    std::function<void(int)> onProgress = [](int) {};
    void report(const QString &line) override { lines.append(line); }
    void status(const QString &text) override { lines.append("status " + text); }
    void progress(int index) override { onProgress(index); }
};

// `count` entries; section 0 holds a short line, section 1 a 200-character one.
Narc sampleArchive(int count)
{
    Narc narc = newNarc();
    for (int i = 0; i < count; ++i)
        narc.files.append(buildMessageFile(QList<QStringList>{{"first " + QString::number(i)}, {QString(200, 'k')}}));
    narc.fileCount = quint32(count);
    return narc;
}

QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class FaultTest : public QObject
{
    Q_OBJECT
private slots:
    // The old file stays byte for byte and no temporary file is left. A small
    // archive fails only when the write buffer is flushed at the end.
    void writesCutShortKeepTheOldFile()
    {
        for (int entries : {2, 200}) {
            QTemporaryDir dir;
            const QString path = dir.filePath("game.narc");
            QVERIFY(writeFileBytes(path, "the user's archive"));
            Narc narc = sampleArchive(entries);
            QString error;
            {
                FileSizeLimit limit(256);
                QVERIFY(!saveNarcFile(narc, path, &error));
            }
            QVERIFY(!error.isEmpty());
            QCOMPARE(readFileBytes(path), QByteArray("the user's archive"));
            QCOMPARE(filesIn(dir.path()), QStringList("game.narc"));
        }

        QTemporaryDir dir;
        const QString path = dir.filePath("all.txt");
        QVERIFY(writeFileBytes(path, "the user's notes"));
        Recorder recorder;
        {
            FileSizeLimit limit(4096);
            exportToFile(sampleArchive(200), path, recorder);
        }
        QCOMPARE(recorder.lines, QStringList({"status Exporting: ", "Exporting to file " + path, "Failed to export to file " + path}));
        QCOMPARE(readFileBytes(path), QByteArray("the user's notes"));
        QCOMPARE(filesIn(dir.path()), QStringList("all.txt"));
    }

    // Each file that cannot be written is reported and the export goes on: files
    // cut short by a size limit, then a tree that vanishes midway.
    void treeExportFailuresAreReported()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath("tree") + "/";
        QVERIFY(QDir().mkpath(root + "0000") && QDir().mkpath(root + "0001"));
        Recorder recorder;
        {
            FileSizeLimit limit(100);
            exportToTree(sampleArchive(2), root, recorder);
        }
        QCOMPARE(recorder.lines, QStringList({"status Exporting: ", "Exporting to directory " + root,
                                              "Failed to export to file " + root + "0001/0000.txt",
                                              "Failed to export to file " + root + "0001/0001.txt", "status Finished Exporting!"}));
        QCOMPARE(readFileBytes(root + "0000/0001.txt"), QByteArray("first 1"));

        recorder.lines.clear();
        recorder.onProgress = [&](int index) {
            if (index == 5)
                QDir(root).removeRecursively();
        };
        exportToTree(sampleArchive(10), root, recorder);
        QCOMPARE(recorder.lines.size(), 2 + 10 + 1);
        QCOMPARE(recorder.lines.at(2), "Failed to export to file " + root + "0000/0005.txt");
        QCOMPARE(recorder.lines.at(11), "Failed to export to file " + root + "0001/0009.txt");
        QVERIFY(!QFileInfo::exists(root));
    }
};

QTEST_GUILESS_MAIN(FaultTest)
#include "test_faults.moc"
