// Disks fail: writes cut short. In each case the report says what failed and no
// file the user had is damaged. (Tree files that cannot be read are in
// test_bulk's import.)

#include "corefixture.h"
#include "filesizelimit.h"
#include "messagefixture.h"
#include "narc/narcfile.h"
#include "narcfixture.h"
#include "onefile/exportfile.h"
#include "tree/exporttree.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace core;

namespace {

// `count` entries; section 0 holds a short line, section 1 a 200-character one.
Narc sampleArchive(int count)
{
    QList<NarcEntry> entries;
    for (int i = 0; i < count; ++i)
        entries.append(buildMessageFile(QList<QStringList>{{"first " + QString::number(i)}, {QString(200, 'k')}}));
    return archiveOf(entries);
}

} // namespace

class FaultTest : public QObject
{
    Q_OBJECT
private slots:
    // The old file stays byte for byte and no temporary file is left beside it,
    // for an archive write and a one-file export alike. Small ones fail only when
    // the last buffered bytes are flushed at the end.
    void writesCutShortKeepTheOldFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("old");
        for (const bool exportText : {false, true}) {
            for (const int entries : {2, 200}) {
                QVERIFY(writeFileBytes(path, "the user's file"));
                Narc narc = sampleArchive(entries);
                Reports recorder;
                QString error;
                {
                    FileSizeLimit limit(256);
                    if (exportText)
                        exportToFile(narc, path, FileIdentity(), recorder);
                    else
                        error = saveNarcFile(narc, path).reason;
                }
                // The system's reason, not "Unknown error".
                QVERIFY(exportText ? recorder.lines.contains("Failed to export to file " + path + ": File too large")
                                   : error == "File too large");
                QCOMPARE(readFileBytes(path), QByteArray("the user's file"));
                QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                         QStringList("old"));
            }
        }
    }

    // Each tree file that cannot be written is reported and the export goes on;
    // none is left cut short.
    void treeExportCutShortIsReported()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath("tree") + "/";
        QVERIFY(QDir().mkpath(root + "0000") && QDir().mkpath(root + "0001"));
        QVERIFY(writeFileBytes(root + "0001/0001.txt", "old"));
        Reports recorder;
        {
            FileSizeLimit limit(100);
            exportToTree(sampleArchive(2), root, FileIdentity(), EditedFiles::Replace, recorder);
        }
        QCOMPARE(recorder.lines, QStringList({"Exporting to directory " + root,
                                              "Failed to export to file " + root + "0001/0000.txt: File too large",
                                              "Failed to export to file " + root + "0001/0001.txt: File too large"}));
        QCOMPARE(readFileBytes(root + "0000/0001.txt"), QByteArray("first 1"));
        // A new file cut short is not left behind; one replaced stays as it was,
        // and its temporary file goes.
        QCOMPARE(QDir(root + "0001").entryList(QDir::Files | QDir::Hidden), QStringList("0001.txt"));
        QCOMPARE(readFileBytes(root + "0001/0001.txt"), QByteArray("old"));
    }
};

QTEST_GUILESS_MAIN(FaultTest)
#include "test_faults.moc"
