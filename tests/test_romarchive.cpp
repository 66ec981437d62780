// Archives inside ROM images, end to end: narctext on names like
// game.nds:data/msg/text.narc (every command works on them as on a file of its
// own), the image written back around the archive under the rules that protect
// archives, and the window choosing, editing and writing one.

#include "corefixture.h"
#include "document/archivedocument.h"
#include "filesizelimit.h"
#include "messagefixture.h"
#include "narc/narcreader.h"
#include "narc/narcwriter.h"
#include "narcfixture.h"
#include "process.h"
#include "rom/romheader.h"
#include "rom/romimagefile.h"
#include "romfixture.h"
#include "rows.h"
#include "windowfixture.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

using namespace core;

namespace {

const QString member = QStringLiteral("data/msg/text.narc");

// Entry 0: two sections of three lines; entry 1: one line; entry 2: empty.
QList<NarcEntry> textEntries()
{
    return {buildMessageFile(QList<QStringList>{{"Hello", "a fox", ""}, {"こんにちは", "two fox", "x"}}),
            buildMessageFile(QList<QStringList>{{"plain fox"}}), NarcEntry()};
}

QByteArray narcBytes(const QList<NarcEntry> &entries)
{
    Narc narc = archiveOf(entries);
    return serializeNarc(narc);
}

// An overlay that is an archive (it has no name), the message archive with a
// file right after it (so that an archive that grows moves), an archive of
// other things, a file that starts like an archive and is not one, and a text.
RomLayout gameLayout()
{
    RomLayout layout;
    layout.overlays = {narcBytes({NarcEntry(8, 'o')})};
    layout.files = {
        {member, narcBytes(textEntries())},
        {"data/msg/after.bin", QByteArray(0x100, 'a')},
        {"data/gfx.narc", narcBytes({NarcEntry(32, 'g'), NarcEntry(16, 'h')})},
        {"data/bad.narc", QByteArray("NARC") + QByteArray(60, '\xff')},
        {"readme.txt", "hello"},
    };
    return layout;
}

// The bytes of the file `inside` names in the image at `image`.
QByteArray memberBytes(const QString &image, const QString &inside)
{
    return loadRomMember(parseRomMemberName(image + ':' + inside).value).value;
}

// Replaces the archive's name in lines narctext printed on the plain copy.
QByteArray named(QByteArray text, const QByteArray &name)
{
    return text.replace("text.narc", name);
}

} // namespace

class RomArchiveTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    BuiltRom built;
    QString image;

    QString path(const QString &name) const { return dir->filePath(name); }
    int idOf(const QString &inside) const { return built.ids.value(inside); }

    Run narctext(const QStringList &arguments, const QString &in = QString(), const QByteArray &input = {}) const
    {
        RunSetup setup;
        setup.directory = in.isEmpty() ? dir->path() : path(in);
        setup.input = input;
        return ::narctext(arguments, setup);
    }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        built = buildRomImage(gameLayout());
        image = path("game.nds");
        QVERIFY(writeFileBytes(image, built.bytes));
    }

    // Every archive by id, the message archive marked; the sample image; images
    // that are not sound, and files that are none, refused with exit status 2.
    void romList_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("expected"); // standard output, or a part of standard error
        row("game", "game.nds", 0, "");
        row("sample", "demo.nds", 0, "data/demo.narc\t0\t%1\t6\tmessages\n");
        row("cut short", "short.nds", 2, "Failed to load short.nds: the name table");
        row("a text", "text.nds", 2, "shorter than a ROM header");
        row("an archive", "plain.narc", 2, "it is a NARC archive, not a ROM image");
        row("missing", "none.nds", 2, "Failed to load none.nds: cannot open the file");
        row("a directory", "folder", 2, "Failed to load folder: cannot open the file");
    }
    void romList()
    {
        QFETCH(QString, file);
        QFETCH(int, code);
        QFETCH(QString, expected);
        QVERIFY(QFile::copy(QFINDTESTDATA("../samples/demo.nds"), path("demo.nds")));
        QVERIFY(writeFileBytes(path("short.nds"), built.bytes.left(built.nameTableAt + 4)));
        QVERIFY(writeFileBytes(path("text.nds"), "not an image\n"));
        QVERIFY(writeFileBytes(path("plain.narc"), narcBytes(textEntries())));
        QVERIFY(QDir(dir->path()).mkdir("folder"));
        if (file == "game.nds") {
            QMap<QString, QByteArray> bytes{{"#0", gameLayout().overlays.at(0)}};
            for (const auto &[name, content] : gameLayout().files)
                bytes.insert(name, content);
            const QList<std::pair<QString, QString>> archives{
                {"#0", "1\tother"},
                {member, "3\tmessages"},
                {"data/gfx.narc", "2\tother"},
                {"data/bad.narc", "not a well-formed archive: " + readNarc(bytes.value("data/bad.narc")).reason}};
            QMap<int, QString> lines; // by id; "#0" is no path, and idOf() gives it 0
            for (const auto &[name, rest] : archives)
                lines.insert(
                    idOf(name),
                    QString("%1\t%2\t%3\t%4\n").arg(name).arg(idOf(name)).arg(bytes.value(name).size()).arg(rest));
            expected = QStringList(lines.values()).join(QString());
        }
        if (file == "demo.nds")
            expected = expected.arg(memberBytes(path("demo.nds"), "data/demo.narc").size());
        const Run run = narctext({"rom-list", file});
        QVERIFY2(run.code == code, run.err.constData());
        if (code == 0) {
            QCOMPARE(QString::fromUtf8(run.out), expected);
            QCOMPARE(run.err, QByteArray());
        } else {
            QVERIFY2(run.err.contains(expected.toUtf8()), run.err.constData());
            QCOMPARE(run.out, QByteArray());
        }
    }

    // Each command on the archive inside the image does what it does on a copy
    // of it in a file of its own: the same output, report lines (but for the
    // name), exit status and files written, and a command that writes leaves in
    // the image what it leaves in the file. ARCHIVE stands for the archive's
    // name, ID for it named by file id.
    void everyCommandOnAMember_data()
    {
        QTest::addColumn<QStringList>("arguments");
        const QString fox = "fox";
        row("list", QStringList{"list", "ARCHIVE"});
        row("show", QStringList{"show", "ARCHIVE", "0", "1"});
        row("find", QStringList{"find", "-i", "ARCHIVE", "FOX"});
        row("export", QStringList{"export", "ARCHIVE", "tree"});
        row("export-file", QStringList{"export-file", "ARCHIVE", "all.txt"});
        row("export-po", QStringList{"export-po", "ARCHIVE", "text.pot"});
        row("check with a reference", QStringList{"check", "ARCHIVE", "--width", "5", "--reference", "ARCHIVE"});
        row("diff, the archive old", QStringList{"diff", "ARCHIVE", "../inputs/other.narc"});
        row("diff, the archive new", QStringList{"diff", "../inputs/other.narc", "ARCHIVE"});
        row("set (fits)", QStringList{"set", "ARCHIVE", "0", "0", "../inputs/lines.txt"});
        row("set by id", QStringList{"set", "ID", "1", "0", "../inputs/one.txt"});
        row("replace (fits)", QStringList{"replace", "ARCHIVE", fox, "cat"});
        row("replace (moves)", QStringList{"replace", "-i", "ARCHIVE", fox, QString(300, 'w')});
        row("replace, nothing found", QStringList{"replace", "ARCHIVE", "wolf", "dog"});
        row("replace -n", QStringList{"replace", "-n", "ARCHIVE", fox, QString(300, 'w')});
        row("import", QStringList{"import", "ARCHIVE", "../inputs/tree"});
        row("import-po", QStringList{"import-po", "ARCHIVE", "../inputs/de.po"});
        row("set, refused", QStringList{"set", "ARCHIVE", "0", "0", "../inputs/one.txt"});
    }
    void everyCommandOnAMember()
    {
        QFETCH(QStringList, arguments);
        const QByteArray original = memberBytes(image, member);
        QDir top(dir->path());
        QVERIFY(top.mkdir("plain") && top.mkdir("inside") && top.mkdir("inputs"));
        QVERIFY(writeFileBytes(path("plain/text.narc"), original));
        QVERIFY(QFile::rename(image, path("inside/game.nds")));
        QVERIFY(writeFileBytes(path("inputs/lines.txt"), "Hi\nthere fox\n\n"));
        QVERIFY(writeFileBytes(path("inputs/one.txt"), "one line\n"));
        QList<NarcEntry> other = textEntries();
        other[1] = buildMessageFile(QList<QStringList>{{"plain wolf"}});
        QVERIFY(writeArchive(path("inputs/other.narc"), other));
        QVERIFY(writeFileBytes(path("inputs/de.po"),
                               "msgctxt \"0000/0000/0002\"\nmsgid \"a fox\"\nmsgstr \"ein Fuchs\"\n"));
        QCOMPARE(narctext({"export", "other.narc", "tree"}, "inputs").code, 0);
        QVERIFY(writeFileBytes(path("inputs/tree/0001/0000.txt"), "Guten Tag\nzwei\nx\n"));

        const QString inside = "game.nds:" + member;
        const QString byId = "game.nds:#" + QString::number(idOf(member));
        const QString name = arguments.contains("ID") ? byId : inside;
        QStringList onMember = arguments;
        onMember.replaceInStrings(QRegularExpression("^(ARCHIVE|ID)$"), name);
        QStringList onFile = arguments;
        onFile.replaceInStrings(QRegularExpression("^(ARCHIVE|ID)$"), "text.narc");
        const Run onPlain = narctext(onFile, "plain");
        const QByteArray imageBefore = readFileBytes(path("inside/game.nds"));
        const Run run = narctext(onMember, "inside");

        QCOMPARE(run.code, onPlain.code);
        QCOMPARE(run.out, named(onPlain.out, name.toUtf8()));
        // Where an archive that outgrew its room went is the image's own line.
        QString err = QString::fromUtf8(run.err);
        err.remove(QRegularExpression("^Moved [^\n]*\n", QRegularExpression::MultilineOption));
        QCOMPARE(err.toUtf8(), named(onPlain.err, name.toUtf8()));
        QCOMPARE(err.size() != run.err.size(), QByteArray(QTest::currentDataTag()) == "replace (moves)");
        QCOMPARE(memberBytes(path("inside/game.nds"), member), readFileBytes(path("plain/text.narc")));
        QMap<QString, QByteArray> written = treeContents(path("inside")), expected = treeContents(path("plain"));
        written.remove("game.nds");
        expected.remove("text.narc");
        QCOMPARE(written, expected);
        const QByteArray imageAfter = readFileBytes(path("inside/game.nds"));
        if (readFileBytes(path("plain/text.narc")) == original)
            QCOMPARE(imageAfter, imageBefore); // nothing written, or only to -o
        else
            QCOMPARE(strayRomChange(imageBefore, imageAfter, built.allocationTableAt, idOf(member)), -1);
    }

    // A write back changes the archive's bytes, its allocation entry and the
    // header fields that follow from them, and nothing else: in its room when it
    // fits, else at the end of the used area, its old room left as it was. A DSi
    // image is written with the warning about its digests.
    void writeBackKeepsTheRest_data()
    {
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<bool>("dsi");
        QTest::addColumn<bool>("moves");
        row("fits", "cat", false, false);
        row("shrinks", "", false, false);
        row("grows and moves", QString(400, 'w'), false, true);
        row("DSi, fits", "cat", true, false);
    }
    void writeBackKeepsTheRest()
    {
        QFETCH(QString, replacement);
        QFETCH(bool, dsi);
        QFETCH(bool, moves);
        if (dsi) {
            RomLayout layout = gameLayout();
            layout.unitCode = 2;
            layout.dsiArm9At = 0x80000;
            built = buildRomImage(layout);
            QVERIFY(writeFileBytes(image, built.bytes));
        }
        // The owner, where the system lets it be given away (as root), and the mode stay.
        const bool root = ::getuid() == 0;
        QVERIFY(!root || ::chown(QFile::encodeName(image).constData(), 65534, 65534) == 0);
        QVERIFY(QFile::setPermissions(image, QFile::ReadOwner | QFile::WriteOwner));
        const QByteArray before = built.bytes;
        const Run run = narctext({"replace", "game.nds:" + member, "fox", replacement});
        QCOMPARE(run.code, 0);
        const QByteArray warning = "Warning: the DSi digests of game.nds are not recomputed";
        QCOMPARE(run.err.contains(warning), dsi);
        const QByteArray moved = "Moved game.nds:" + member.toUtf8() + " to the end of its image (at 0x";
        QCOMPARE(run.err.contains(moved), moves);

        const QByteArray after = readFileBytes(image);
        QCOMPARE(QFile::permissions(image), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QCOMPARE(QFileInfo(image).ownerId(), root ? 65534u : ::getuid());
        QCOMPARE(strayRomChange(before, after, built.allocationTableAt, idOf(member)), -1);
        if (!replacement.isEmpty())
            QCOMPARE(narctext({"find", "game.nds:" + member, replacement}).code, 0);
        QCOMPARE(narctext({"find", "game.nds:" + member, "fox"}).code, 1);
    }

    // Where a write that names an image goes, and what is refused: -o with a
    // plain name writes the archive alone; -o inside another image writes there;
    // the image itself, by any name, is no output of the archive in it.
    void outputsAndRefusals_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("error");   // a part of standard error
        QTest::addColumn<QString>("changed"); // the file that changed, or empty
        const QString inside = "game.nds:" + member;
        row("-o a plain file", QStringList{"replace", inside, "fox", "cat", "-o", "out.narc"}, 0, "", "out.narc");
        row("-o inside another image", QStringList{"replace", inside, "fox", "cat", "-o", "copy.nds:" + member}, 0, "",
            "copy.nds");
        row("-o the image", QStringList{"replace", inside, "fox", "cat", "-o", "game.nds"}, 2,
            "Failed to write game.nds: it is the archive being edited", "");
        row("-o the image by a link", QStringList{"replace", inside, "fox", "cat", "-o", "link.nds"}, 2,
            "Failed to write link.nds: it is the archive being edited", "");
        row("export-file over the image", QStringList{"export-file", inside, "game.nds"}, 2,
            "Failed to export to file game.nds: it is the archive being edited", "");
        row("export-po over the image by a link", QStringList{"export-po", inside, "link.nds"}, 2,
            "it is the archive being edited", "");
        row("nothing changed", QStringList{"set", inside, "1", "0", "same.txt"}, 0,
            "Nothing changed; " + inside + " not written", "");
        row("no such file inside", QStringList{"show", "game.nds:data/none.narc", "0", "0"}, 2,
            "Failed to load game.nds:data/none.narc: the image holds no file data/none.narc", "");
        row("id out of range", QStringList{"list", "game.nds:#99"}, 2,
            "Failed to load game.nds:#99: the image has no file #99", "");
        row("not an archive", QStringList{"list", "game.nds:readme.txt"}, 2,
            "Failed to load game.nds:readme.txt: " + readNarc(QByteArray("hello")).reason, "");
        row("the image as an archive", QStringList{"list", "game.nds"}, 2,
            "Failed to load game.nds: it is a ROM image; name an archive inside it as game.nds:PATH or game.nds:#ID",
            "");
    }
    void outputsAndRefusals()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QString, error);
        QFETCH(QString, changed);
        QVERIFY(QFile::copy(image, path("copy.nds")) && QFile::link("game.nds", path("link.nds")));
        QVERIFY(writeFileBytes(path("same.txt"), "plain fox\n"));
        struct stat old = {};
        QCOMPARE(::stat(QFile::encodeName(image).constData(), &old), 0);
        const Run run = narctext(arguments);
        QCOMPARE(run.code, code);
        QVERIFY2(run.err.contains(error.toUtf8()), run.err.constData());
        struct stat now = {};
        QCOMPARE(::stat(QFile::encodeName(image).constData(), &now), 0);
        QCOMPARE(now.st_ino, old.st_ino); // not even rewritten
        QCOMPARE(readFileBytes(image), built.bytes);
        QCOMPARE(readFileBytes(path("copy.nds")) != built.bytes, changed == "copy.nds");
        QCOMPARE(QFileInfo::exists(path("out.narc")), changed == "out.narc");
        if (!changed.isEmpty())
            QCOMPARE(narctext({"find", changed == "out.narc" ? "out.narc" : "copy.nds:" + member, "cat"}).code, 0);
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden).size(), changed == "out.narc" ? 5 : 4);
    }

    // Two commands writing into one image at once, one of them moving its
    // archive: the second waits for the first and reads its result, so both
    // changes are kept.
    void twoWritersAtOnce()
    {
        QProcess writers[2];
        const QStringList entries{"0", "1"};
        for (int i = 0; i < 2; ++i) {
            writers[i].setWorkingDirectory(dir->path());
            writers[i].start(narctextPath(), {"set", "game.nds:" + member, entries.at(i), "0", "-"});
            QVERIFY(writers[i].waitForStarted());
        }
        QTest::qSleep(500);
        const QByteArray texts[2] = {"first\n" + QByteArray(600, 'l') + "\nlast\n", "only\n"};
        for (int i = 0; i < 2; ++i) {
            writers[i].write(texts[i]);
            QVERIFY(writers[i].waitForBytesWritten());
            writers[i].closeWriteChannel();
        }
        for (int i = 0; i < 2; ++i) {
            QVERIFY(writers[i].waitForFinished(20000));
            QVERIFY2(writers[i].exitCode() == 0, writers[i].readAllStandardError().constData());
        }
        QCOMPARE(narctext({"show", "game.nds:" + member, "0", "0"}).out, texts[0]);
        QCOMPARE(narctext({"show", "game.nds:" + member, "1", "0"}).out, texts[1]);
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"game.nds"});
    }

    // The image is not replaced when another program changed it since the
    // archive was read from it, unless the user said so.
    void changedOnDisk_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("reason");
        row("nothing", "", "");
        row("touched", "touch", "it changed on disk since it was opened");
        row("another member written", "write", "it changed on disk since it was opened");
        row("overwrite, as the user said", "write overwrite", "");
    }
    void changedOnDisk()
    {
        QFETCH(QString, change);
        QFETCH(QString, reason);
        Result<ArchiveDocument> opened = ArchiveDocument::open(image + ':' + member);
        QVERIFY2(opened.ok(), qPrintable(opened.reason));
        ArchiveDocument &document = opened.value;
        if (change == "touch") {
            const utimbuf times{1000000, 1000000};
            QCOMPARE(utime(QFile::encodeName(image).constData(), &times), 0);
        } else if (change.startsWith("write")) {
            QVERIFY(replaceRomMember(parseRomMemberName(image + ":readme.txt").value, "HELLO").ok());
        }
        const QByteArray before = readFileBytes(image);
        Narc edited = document.narc();
        edited.files[1] = buildMessageFile(QList<QStringList>{{"edited"}});
        Reports reports;
        SaveOptions options;
        options.overwriteChanged = change.endsWith("overwrite");
        const Status saved = document.save(edited, reports, options);
        QCOMPARE(saved.reason, reason);
        if (!reason.isEmpty()) {
            QCOMPARE(readFileBytes(image), before);
            return;
        }
        QCOMPARE(narctext({"show", "game.nds:" + member, "1", "0"}).out, QByteArray("edited\n"));
        // Only the archive is replaced: what the other program wrote elsewhere stays.
        QCOMPARE(memberBytes(image, "readme.txt"), QByteArray(change.isEmpty() ? "hello" : "HELLO"));
        // The document now describes the image written: a second write goes ahead.
        edited.files[1] = buildMessageFile(QList<QStringList>{{"again"}});
        QVERIFY(document.save(edited, reports).ok());
        QCOMPARE(narctext({"show", "game.nds:" + member, "1", "0"}).out, QByteArray("again\n"));
    }

    // The window: Open Narc on an image offers its archives, message archives
    // first (the one that does not read is not offered); the one chosen opens
    // with both names in the title, is edited and written back into the image,
    // and reads back edited. A cancelled choice asks nothing and changes nothing.
    void windowOpensAndWritesBack()
    {
        MainWindowProbe probe(QString{});
        QList<QStringList> offered;
        QList<int> choices{-1, 0, 0};
        probe.window.chooseArchive = [&](const QString &file, const QStringList &items) {
            offered.append(QStringList{file} + items);
            return choices.takeFirst();
        };
        probe.open(image); // cancelled
        QCOMPARE(probe.window.windowTitle(), QString("MainWindow"));
        QCOMPARE(probe.log(), QString());
        probe.open(image);
        const QStringList items{"game.nds", member + " (3 entries, messages)", "#0 (1 entry)",
                                "data/gfx.narc (2 entries)"};
        QCOMPARE(offered, (QList<QStringList>{items, items}));
        QCOMPARE(probe.window.windowTitle(), "game.nds: " + member + "[*] - MainWindow");
        QCOMPARE(probe.log(), "Loaded " + image + ':' + member + '\n');
        QCOMPARE(probe.editor(), QString("Hello\na fox\n"));

        probe.type("Hallo\nein Fuchs\n");
        probe.saveText();
        QVERIFY(probe.unwritten());
        probe.window.findChild<QAction *>("actionWrite_To_Narc")->trigger();
        QVERIFY2(probe.log().endsWith("Finished writing " + image + ':' + member + '\n'), qPrintable(probe.log()));
        QCOMPARE(narctext({"show", "game.nds:" + member, "0", "0"}).out, QByteArray("Hallo\nein Fuchs\n\n"));

        // The next dialog starts in the image's folder; the archive opens by name.
        probe.open(QString{});
        QCOMPARE(probe.startFolders.last(), dir->path());
        probe.window.openArchive(image + ':' + member);
        QCOMPARE(probe.editor(), QString("Hallo\nein Fuchs\n"));
        QCOMPARE(offered.size(), 2);

        // View > Open Reference takes an archive inside an image the same way.
        QVERIFY(writeFileBytes(path("original.nds"), built.bytes));
        probe.answers = QStringList{path("original.nds")};
        probe.window.findChild<QAction *>("actionOpen_Reference")->trigger();
        QCOMPARE(offered.size(), 3);
        QVERIFY2(probe.log().endsWith("Opened reference " + path("original.nds") + ':' + member + '\n'),
                 qPrintable(probe.log()));
    }

    // An image that does not read, or holds no archive, is reported; the
    // archive open stays.
    void windowRefusals()
    {
        MainWindowProbe probe(image + ':' + member);
        probe.type("unwritten\nlines\n");
        probe.saveText();

        RomLayout empty;
        empty.files = {{"readme.txt", "hello"}};
        QVERIFY(writeFileBytes(path("empty.nds"), buildRomImage(empty).bytes));
        QVERIFY(writeFileBytes(path("bad.nds"), built.bytes.left(0x300)));
        probe.window.chooseArchive = [](const QString &, const QStringList &) { return 0; };
        probe.replies = {Answer::Discard};
        probe.open(path("empty.nds"));
        probe.open(path("bad.nds"));
        const QStringList log = probe.log().split('\n');
        QCOMPARE(log.at(log.size() - 3), "Failed to load " + path("empty.nds") + ": the image holds no archive");
        QVERIFY2(log.at(log.size() - 2).startsWith("Failed to load " + path("bad.nds") + ": "),
                 qPrintable(log.at(log.size() - 2)));
        QCOMPARE(probe.window.windowTitle(), "game.nds: " + member + "[*] - MainWindow"); // still unwritten
    }
};

QTEST_MAIN(RomArchiveTest)
#include "test_romarchive.moc"
