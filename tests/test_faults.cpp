// Disks fail: writes cut short, directories that vanish, files that cannot be
// read. In each case the report says what failed and no file the user had is
// damaged.

#include "filesizelimit.h"
#include "messagefixture.h"
#include "narcfixture.h"

#include "bulk/exportfile.h"
#include "bulk/exporttree.h"
#include "bulk/importtree.h"
#include "codec/decode.h"
#include "narc/narcfile.h"
#include "narc/narcreader.h"
#include "narc/narcwriter.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

namespace {

struct Recorder : BulkObserver
{
    QStringList lines;
    QStringList statuses;
    std::function<void(int)> onProgress;
    void report(const QString &line) override { lines.append(line); }
    void status(const QString &text) override { statuses.append(text); }
    void progress(int index) override
    {
        if (onProgress)
            onProgress(index);
    }
};

QByteArray toBytes(const NarcEntry &entry)
{
    return QByteArray(entry.constData(), entry.size());
}

// An archive of `count` two-section entries with a few lines each.
Narc sampleArchive(int count)
{
    QList<QByteArray> entries;
    for (int i = 0; i < count; ++i) {
        const QString tag = QString::number(i);
        entries.append(toBytes(buildMessageFile(QList<QStringList>{
            {QStringLiteral("first ") + tag, QStringLiteral("second ") + tag},
            {QStringLiteral("\u6f22\u5b57 ") + tag, QString(200, QLatin1Char('k'))}})));
    }
    NarcRead read = readNarc(buildNarcBytes(entries));
    Q_ASSERT(read.ok());
    return read.narc;
}

QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class FaultTest : public QObject
{
    Q_OBJECT
private slots:
    void archiveWriteCutShortKeepsTheOriginal_data()
    {
        QTest::addColumn<int>("entries");
        // A small archive fails only when the write buffer is flushed at the end.
        QTest::newRow("small") << 2;
        QTest::newRow("large") << 200;
    }

    void archiveWriteCutShortKeepsTheOriginal()
    {
        QFETCH(int, entries);
        QTemporaryDir dir;
        const QString path = dir.filePath("game.narc");
        const QByteArray original = buildNarcBytes({"small"});
        QVERIFY(writeFileBytes(path, original));
        Narc big = sampleArchive(entries);
        QString error;
        {
            FileSizeLimit limit(256);
            QVERIFY(!saveNarcFile(big, path, &error));
        }
        QVERIFY(!error.isEmpty());
        QCOMPARE(readFileBytes(path), original);
        QCOMPARE(filesIn(dir.path()), QStringList({"game.narc"}));
    }

    void singleFileExportCutShortKeepsTheOldFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("all.txt");
        QVERIFY(writeFileBytes(path, "the user's notes"));
        Recorder recorder;
        {
            FileSizeLimit limit(4096);
            exportToFile(sampleArchive(200), path, recorder);
        }
        QVERIFY(recorder.lines.contains("Failed to export to file " + path));
        QVERIFY(!recorder.statuses.contains("Finished Exporting!"));
        QCOMPARE(readFileBytes(path), QByteArray("the user's notes"));
        QCOMPARE(filesIn(dir.path()), QStringList({"all.txt"}));
    }

    void treeExportCutShortReportsEachFailedFile()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("0000") && QDir(dir.path()).mkpath("0001"));
        const Narc narc = sampleArchive(3);
        Recorder recorder;
        {
            // Section 1 of every entry holds a 200-character line: too big.
            FileSizeLimit limit(100);
            exportToTree(narc, dir.path(), recorder);
        }
        const QString root = dir.path() + "/";
        for (int i = 0; i < 3; ++i) {
            const QString name = QStringLiteral("%1.txt").arg(i, 4, 10, QLatin1Char('0'));
            QVERIFY2(recorder.lines.contains("Failed to export to file " + root + "0001/" + name),
                     qPrintable(recorder.lines.join('\n')));
            QCOMPARE(QString::fromUtf8(readFileBytes(root + "0000/" + name)),
                     decodeMessageSection(narc.files[i], 0).lines.join('\n'));
        }
    }

    void treeThatVanishesMidwayIsReportedNotFatal()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath("tree") + "/";
        QVERIFY(QDir().mkpath(root + "0000") && QDir().mkpath(root + "0001"));
        Recorder recorder;
        recorder.onProgress = [&](int index) {
            if (index == 5)
                QDir(root).removeRecursively();
        };
        exportToTree(sampleArchive(10), root, recorder);
        QVERIFY(recorder.lines.contains("Failed to export to file " + root + "0000/0005.txt"));
        QVERIFY(recorder.lines.contains("Failed to export to file " + root + "0001/0009.txt"));
        QVERIFY(!QFileInfo::exists(root));
    }

    void unreadableTreeFilesLeaveTheirSectionsAlone()
    {
        QTemporaryDir dir;
        const QString root = dir.path() + "/";
        Narc narc = sampleArchive(2);
        QVERIFY(QDir(root).mkpath("0000") && QDir(root).mkpath("0001"));
        Recorder exported;
        exportToTree(narc, root, exported);

        // Entry 0's first file becomes a directory (unreadable even for root), entry
        // 1's first file holds bytes that are not UTF-8; both keep their text.
        QVERIFY(QFile::remove(root + "0000/0000.txt"));
        QVERIFY(QDir(root).mkpath("0000/0000.txt"));
        QVERIFY(writeFileBytes(root + "0000/0001.txt", QByteArray("caf\xe9\nline", 9)));
        QVERIFY(writeFileBytes(root + "0001/0001.txt", QByteArray("new\nkanji")));
        const QList<NarcEntry> before = narc.files;

        Recorder recorder;
        const BulkSummary summary = importFromTree(narc, root, recorder);
        QVERIFY(recorder.lines.contains("Failed to import from file: " + root + "0000/0000.txt"));
        QVERIFY(std::any_of(recorder.lines.cbegin(), recorder.lines.cend(), [&](const QString &line) {
            return line.startsWith("Failed to import from file: " + root + "0000/0001.txt");
        }));
        QCOMPARE(summary.filesFailed, 2);
        QCOMPARE(decodeMessageSection(narc.files[0], 0).lines, decodeMessageSection(before[0], 0).lines);
        QCOMPARE(decodeMessageSection(narc.files[1], 0).lines, decodeMessageSection(before[1], 0).lines);
        QCOMPARE(decodeMessageSection(narc.files[1], 1).lines, QStringList({"new", "kanji"}));
        QCOMPARE(recorder.lines.last(), "Finished importing from directory " + root);
    }
};

QTEST_GUILESS_MAIN(FaultTest)
#include "test_faults.moc"
