// The archive being edited as opened from disk: what it refuses to write over,
// when it sees the file changed under it, and the lock two writers share.

#include "corefixture.h"
#include "document/archivedocument.h"
#include "io/filelock.h"
#include "messagefixture.h"
#include "narc/narcfile.h"
#include "narc/narcwriter.h"
#include "narcfixture.h"
#include "rows.h"
#include "windowfixture.h" // writeArchive

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

using namespace core;

class DocumentTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString archive;

    QString path(const QString &name) const { return dir.filePath(name); }

    // The archive with section 0 of entry 0 made to read `text`.
    static Narc edited(const ArchiveDocument &document, const QString &text)
    {
        Narc narc = document.narc();
        narc.files[0] = buildMessageFile(QList<QStringList>{{text}});
        return narc;
    }

private slots:
    void init()
    {
        archive = path("a.narc");
        QVERIFY(writeArchive(archive, {buildMessageFile(QList<QStringList>{{"one"}})}));
    }

    // What another program does to the file between the read and the write, and
    // whether the write then goes ahead: only when the file is the one read, or
    // gone, or the user said to overwrite.
    void changedOnDisk_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("refused");
        row("nothing", "", false);
        row("same size, new time", "touch", true);
        row("appended to", "append", true);
        row("replaced by another file", "replace", true);
        row("removed", "remove", false);
        row("replaced, user said overwrite", "replace overwrite", false);
    }

    void changedOnDisk()
    {
        QFETCH(QString, change);
        QFETCH(bool, refused);
        Result<ArchiveDocument> opened = ArchiveDocument::open(archive);
        QVERIFY2(opened, qPrintable(opened.reason));
        ArchiveDocument &document = opened.value;
        Narc two = archiveOf({buildMessageFile(QList<QStringList>{{"two"}})});
        const QByteArray other = serializeNarc(two);
        if (change.startsWith("touch")) {
            const utimbuf times{1000000, 1000000};
            QCOMPARE(utime(QFile::encodeName(archive).constData(), &times), 0);
        } else if (change.startsWith("append")) {
            QFile file(archive);
            QVERIFY(file.open(QIODevice::Append) && file.write("x") == 1);
        } else if (change.startsWith("replace")) {
            QVERIFY(writeFileBytes(path("other"), other) && QFile::remove(archive)
                    && QFile::rename(path("other"), archive));
        } else if (change.startsWith("remove")) {
            QVERIFY(QFile::remove(archive));
        }
        const QByteArray before = readFileBytes(archive);
        const bool overwrite = change.endsWith("overwrite");
        QCOMPARE(document.checkUnchanged().reason,
                 refused || overwrite ? "it changed on disk since it was opened" : "");

        SaveOptions options;
        options.overwriteChanged = overwrite;
        Reports report;
        Narc mine = edited(document, "mine");
        const Status saved = document.save(mine, report, options);
        QCOMPARE(saved.reason, refused ? "it changed on disk since it was opened" : "");
        QCOMPARE(readFileBytes(archive), refused ? before : serializeNarc(mine));
        QVERIFY(report.lines.isEmpty());
        // Written, the document describes the new file: the next write is no conflict.
        if (!refused)
            QVERIFY(document.checkUnchanged() && !document.differs(mine));
    }

    // Every name of the archive is refused as an output; other files are not,
    // whether they exist or not.
    void outputThatIsTheArchive()
    {
        const ArchiveDocument document = ArchiveDocument::open(archive).value;
        QVERIFY(QFile::link(archive, path("soft.narc")));
        QCOMPARE(::link(QFile::encodeName(archive).constData(), QFile::encodeName(path("hard.narc")).constData()), 0);
        QVERIFY(writeFileBytes(path("copy.narc"), readFileBytes(archive)));
        for (const char *name : {"a.narc", "soft.narc", "hard.narc", "./a.narc"})
            QCOMPARE(document.checkOutput(path(name)).reason, "it is the archive being edited");
        for (const char *name : {"copy.narc", "new.narc"})
            QVERIFY(document.checkOutput(path(name)));
        QCOMPARE(ArchiveDocument().checkOutput(archive).reason, "");
    }

    // A second writer waits for the lock and then refuses; once the first is
    // done, it gets the lock of the file the path names.
    void lockIsWaitedForThenRefused()
    {
        Result<ArchiveDocument> first = ArchiveDocument::open(archive, Access::Write);
        QVERIFY(first);
        QFile second;
        QVERIFY(openNarcFile(second, archive));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(lockForWriting(second, archive, 300).reason,
                 "another program is writing it (still locked after 0.3 seconds)");
        QVERIFY(timer.elapsed() >= 300);
        Reports report;
        QVERIFY(first.value.save(edited(first.value, "first"), report));
        first.value = ArchiveDocument(); // gives up the lock
        QVERIFY(lockForWriting(second, archive, 300));
        QCOMPARE(loadNarcFile(second).value.files, loadNarcFile(archive).value.files);
    }
};

QTEST_GUILESS_MAIN(DocumentTest)
#include "test_document.moc"
