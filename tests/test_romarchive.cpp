// Archives inside ROM images, end to end: narctext on names like
// game.nds:data/msg/text.narc (every command works on them as on a file of its
// own), the image written back around the archive under the rules that protect
// archives, and the window choosing, editing and writing one.

#include "corefixture.h"
#include "document/archivedocument.h"
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
#include <QtTest>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

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

    // Every archive by id, the message archive marked, one that does not read
    // with its reason; an archive named as an image is refused.
    void romList()
    {
        const RomLayout layout = gameLayout();
        auto line = [&](const QString &name, const QByteArray &bytes, const QString &rest) {
            return QString("%1\t%2\t%3\t%4\n").arg(name).arg(idOf(name)).arg(bytes.size()).arg(rest);
        };
        const QByteArray bad = layout.files.at(3).second;
        const QString expected = line("#0", layout.overlays.at(0), "1\tother")
                                 + line("data/gfx.narc", layout.files.at(2).second, "2\tother")
                                 + line("data/bad.narc", bad, "not a well-formed archive: " + readNarc(bad).reason)
                                 + line(member, layout.files.at(0).second, "3\tmessages");
        const Run run = narctext({"rom-list", "game.nds"});
        QCOMPARE(run.code, 0);
        QCOMPARE(QString::fromUtf8(run.out), expected);
        QVERIFY(writeFileBytes(path("plain.narc"), narcBytes(textEntries())));
        const Run refused = narctext({"rom-list", "plain.narc"});
        QCOMPARE(refused.code, 2);
        QVERIFY2(refused.err.contains("it is a NARC archive, not a ROM image"), refused.err.constData());
    }

    // Each command on the archive inside the image does what it does on a copy
    // of it in a file of its own: the same output, report lines (but for the
    // name), exit status and files written, and a command that writes leaves in
    // the image what it leaves in the file. ARCHIVE stands for the archive's
    // name.
    void everyCommandOnAMember_data()
    {
        QTest::addColumn<QStringList>("arguments");
        row("list", QStringList{"list", "ARCHIVE"});
        row("show", QStringList{"show", "ARCHIVE", "0", "1"});
        row("find", QStringList{"find", "-i", "ARCHIVE", "FOX"});
        row("export", QStringList{"export", "ARCHIVE", "tree"});
        row("export-file", QStringList{"export-file", "ARCHIVE", "all.txt"});
        row("export-po", QStringList{"export-po", "ARCHIVE", "text.pot"});
        row("check with a reference", QStringList{"check", "ARCHIVE", "--width", "5", "--reference", "ARCHIVE"});
        row("diff", QStringList{"diff", "ARCHIVE", "../inputs/other.narc"});
        row("set", QStringList{"set", "ARCHIVE", "0", "0", "../inputs/lines.txt"});
        row("replace", QStringList{"replace", "-i", "ARCHIVE", "fox", "cat"});
        row("replace -n", QStringList{"replace", "-n", "ARCHIVE", "fox", "cat"});
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

        const QString name = "game.nds:" + member;
        QStringList onMember = arguments;
        onMember.replaceInStrings(QRegularExpression("^ARCHIVE$"), name);
        QStringList onFile = arguments;
        onFile.replaceInStrings(QRegularExpression("^ARCHIVE$"), "text.narc");
        Run onPlain = narctext(onFile, "plain");
        const QByteArray imageBefore = readFileBytes(path("inside/game.nds"));
        const Run run = narctext(onMember, "inside");

        QCOMPARE(run.code, onPlain.code);
        QCOMPARE(run.out, onPlain.out.replace("text.narc", name.toUtf8()));
        QCOMPARE(run.err, onPlain.err.replace("text.narc", name.toUtf8()));
        QCOMPARE(memberBytes(path("inside/game.nds"), member), readFileBytes(path("plain/text.narc")));
        QMap<QString, QByteArray> written = treeContents(path("inside")), expected = treeContents(path("plain"));
        written.remove("game.nds");
        expected.remove("text.narc");
        QCOMPARE(written, expected);
        if (readFileBytes(path("plain/text.narc")) == original)
            QCOMPARE(readFileBytes(path("inside/game.nds")), imageBefore); // nothing written, or only to -o
    }

    // A DSi image is written with a warning: its digests no longer match. An
    // archive that outgrows its room says where it went. The image keeps its
    // owner (where the system lets it be given away, as root) and mode.
    void dsiImageAndMovedArchive()
    {
        RomLayout layout = gameLayout();
        layout.unitCode = 2;
        layout.dsiArm9At = 0x80000;
        QVERIFY(writeFileBytes(image, buildRomImage(layout).bytes));
        const bool root = ::getuid() == 0;
        QVERIFY(!root || ::chown(QFile::encodeName(image).constData(), 65534, 65534) == 0);
        QVERIFY(QFile::setPermissions(image, QFile::ReadOwner | QFile::WriteOwner));
        const Run run = narctext({"replace", "-i", "game.nds:" + member, "fox", QString(300, 'w')});
        QCOMPARE(run.code, 0);
        QVERIFY2(run.err.contains("Warning: the DSi digests of game.nds are not recomputed"), run.err.constData());
        QVERIFY2(run.err.contains("Moved game.nds:" + member.toUtf8() + " to the end of its image (at 0x"),
                 run.err.constData());
        QCOMPARE(narctext({"find", "game.nds:" + member, "fox"}).code, 1);
        QCOMPARE(QFileInfo(image).ownerId(), root ? 65534u : ::getuid());
        QCOMPARE(QFile::permissions(image), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
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
        row("export-po over the image by a link", QStringList{"export-po", inside, "link.nds"}, 2,
            "it is the archive being edited", "");
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
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden).size(), changed == "out.narc" ? 4 : 3);
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
    // archive was read from it, unless the user says so; then only the archive
    // is replaced, and the document describes the image written.
    void changedOnDisk()
    {
        Result<ArchiveDocument> opened = ArchiveDocument::open(image + ':' + member);
        QVERIFY2(opened.ok(), qPrintable(opened.reason));
        ArchiveDocument &document = opened.value;
        QVERIFY(replaceRomMember(parseRomMemberName(image + ":readme.txt").value, "HELLO").ok());
        const QByteArray changed = readFileBytes(image);
        Narc edited = document.narc();
        edited.files[1] = buildMessageFile(QList<QStringList>{{"edited"}});
        Reports reports;
        QCOMPARE(document.save(edited, reports).reason, QString("it changed on disk since it was opened"));
        QCOMPARE(readFileBytes(image), changed);
        SaveOptions options;
        options.overwriteChanged = true;
        QVERIFY(document.save(edited, reports, options).ok());
        QCOMPARE(narctext({"show", "game.nds:" + member, "1", "0"}).out, QByteArray("edited\n"));
        QCOMPARE(memberBytes(image, "readme.txt"), QByteArray("HELLO"));
        edited.files[1] = buildMessageFile(QList<QStringList>{{"again"}});
        QVERIFY(document.save(edited, reports).ok());
        QCOMPARE(narctext({"show", "game.nds:" + member, "1", "0"}).out, QByteArray("again\n"));
    }

    // The window: Open Narc on an image offers its archives, message archives
    // first (the one that does not read is not offered); the one chosen opens
    // with both names in the title, is edited, written back into the image, and
    // reads back edited. An image without archives is reported; the archive stays.
    void windowOpensAndWritesBack()
    {
        MainWindowProbe probe(QString{});
        QList<QStringList> offered;
        probe.window.chooseArchive = [&](const QString &file, const QStringList &items) {
            offered.append(QStringList{file} + items);
            return 0;
        };
        probe.open(image);
        QCOMPARE(offered, (QList<QStringList>{{"game.nds", member + " (3 entries, messages)", "#0 (1 entry)",
                                               "data/gfx.narc (2 entries)"}}));
        const QString title = "game.nds: " + member + "[*] - MainWindow";
        QCOMPARE(probe.window.windowTitle(), title);
        QCOMPARE(probe.log(), "Loaded " + image + ':' + member + '\n');
        QCOMPARE(probe.editor(), QString("Hello\na fox\n"));

        probe.type("Hallo\nein Fuchs\n");
        probe.saveText();
        probe.window.findChild<QAction *>("actionWrite_To_Narc")->trigger();
        QVERIFY2(probe.log().endsWith("Finished writing " + image + ':' + member + '\n'), qPrintable(probe.log()));
        QCOMPARE(narctext({"show", "game.nds:" + member, "0", "0"}).out, QByteArray("Hallo\nein Fuchs\n\n"));

        RomLayout empty;
        empty.files = {{"readme.txt", "hello"}};
        QVERIFY(writeFileBytes(path("empty.nds"), buildRomImage(empty).bytes));
        probe.open(path("empty.nds"));
        QVERIFY2(probe.log().endsWith("Failed to load " + path("empty.nds") + ": the image holds no archive\n"),
                 qPrintable(probe.log()));
        QCOMPARE(probe.window.windowTitle(), title);
    }
};

QTEST_MAIN(RomArchiveTest)
#include "test_romarchive.moc"
