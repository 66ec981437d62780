// The archive being edited as opened from disk: what it refuses to write over,
// when it sees the file changed under it, and the lock two writers share.

#include "corefixture.h"
#include "document/archivedocument.h"
#include "filesizelimit.h"
#include "io/filelock.h"
#include "messagefixture.h"
#include "narc/narcfile.h"
#include "narc/narcwriter.h"
#include "narcfixture.h"
#include "rows.h"
#include "windowfixture.h" // writeArchive

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
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
        // Edited whole (the window) and entry by entry (narctext) alike.
        for (const Access access : {Access::Read, Access::Edit}) {
            init();
            Result<ArchiveDocument> opened = ArchiveDocument::open(archive, access);
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
            Narc mine = archiveOf({buildMessageFile(QList<QStringList>{{"mine"}})});
            Status saved;
            if (access == Access::Edit) {
                EntryView entry;
                QVERIFY(document.entries().next(&entry));
                document.entries().replace(NarcEntry(mine.files[0]));
                saved = document.save(report, options);
            } else {
                saved = document.save(mine, report, options);
            }
            QCOMPARE(saved.reason, refused ? "it changed on disk since it was opened" : "");
            QCOMPARE(readFileBytes(archive), refused ? before : serializeNarc(mine));
            QVERIFY(report.lines.isEmpty());
            // Written, the document describes the new file: the next write is no conflict.
            if (!refused)
                QVERIFY(document.checkUnchanged());
            if (!refused && access == Access::Read)
                QVERIFY(!document.differs(mine));
        }
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

    // An archive edited entry by entry is written from its file again with the
    // entries replaced: byte for byte what the whole archive edited the same way
    // writes, whatever the layout read (entries out of order, odd padding and name
    // table). A write that fails half way keeps the old file whole and says why;
    // the same bytes put back change nothing.
    void editedEntryByEntry()
    {
        QByteArray bytes = buildNarcBytes(
            {"odd", QByteArray(600000, 'a'), {}, QByteArray(600001, 'b'), QByteArray(600002, 'c')},
            plainNameTable() + "names", char(0xAA));
        // Entries 0 and 1 trade places in the table: stored out of order.
        const QByteArray first = bytes.mid(0x1C, 8);
        bytes.replace(0x1C, 8, bytes.mid(0x24, 8)).replace(0x24, 8, first);
        QVERIFY(writeFileBytes(archive, bytes));
        Narc whole = loadNarcFile(archive).value;
        whole.files[3] = NarcEntry(5, 'x');
        const QByteArray expected = serializeNarc(whole);
        Reports report;
        const auto files = [this] { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); };
        const QStringList filesBefore = files();
        for (const bool cut : {true, false}) {
            Result<ArchiveDocument> opened = ArchiveDocument::open(archive, Access::Edit);
            QVERIFY2(opened, qPrintable(opened.reason));
            EditableEntries &edits = opened.value.entries();
            EntryView entry;
            for (int i = 0; i <= 3; ++i)
                QVERIFY(edits.next(&entry));
            edits.replace(NarcEntry(5, 'x'));
            // Past the first of the writer's 1 MiB chunks.
            std::unique_ptr<FileSizeLimit> limit(cut ? new FileSizeLimit(1 << 20) : nullptr);
            const Status saved = opened.value.save(report);
            limit.reset();
            QCOMPARE(saved.reason, cut ? "File too large" : "");
            QCOMPARE(readFileBytes(archive), cut ? bytes : expected);
            QCOMPARE(files(), filesBefore);
        }
        ArchiveDocument again = ArchiveDocument::open(archive, Access::Edit).value;
        EntryView entry;
        QVERIFY(again.entries().next(&entry));
        again.entries().replace(entry.toEntry());
        report.lines.clear();
        QVERIFY(again.save(report));
        QCOMPARE(report.lines, QStringList("Nothing changed; " + archive + " not written"));
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
