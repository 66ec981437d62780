// ROM images: reading their file system, writing one file back, the names of
// files inside them, and the sample image.

#include "filesizelimit.h"
#include "narc/narcreader.h"
#include "narcfixture.h"
#include "rom/romheader.h"
#include "rom/romimagefile.h"
#include "rom/romwriter.h"
#include "romfixture.h"
#include "rows.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace core;

namespace {

// A device over `bytes` that notes any read asked past its end and counts what
// was read: the reader must check every offset before it reads.
class GuardedImage : public QBuffer
{
public:
    explicit GuardedImage(const QByteArray &bytes)
        : image(bytes)
    {
        setBuffer(&image);
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool overread = false;
    qint64 bytesRead = 0;

protected:
    qint64 readData(char *data, qint64 length) override
    {
        overread |= pos() + length > size();
        const qint64 got = QBuffer::readData(data, length);
        bytesRead += qMax<qint64>(got, 0);
        return got;
    }

private:
    QByteArray image;
};

Result<RomFileSystem> readGuarded(const QByteArray &bytes, bool *overread = nullptr)
{
    GuardedImage device(bytes);
    Result<RomFileSystem> read = readRomFileSystem(&device);
    if (overread)
        *overread = device.overread;
    return read;
}

// Two overlays, then files in four directories; listed so that id order and
// address order differ: first.narc (id 6) lies between a.bin (2) and second.bin (4).
RomLayout sampleLayout()
{
    RomLayout layout;
    layout.overlays = {QByteArray(0x30, 'o'), QByteArray(0x50, 'p')};
    layout.files = {
        {"a.bin", QByteArray(100, 'a')},
        {"data/msg/first.narc", buildNarcBytes({"hello", "world"})},
        {"data/second.bin", QByteArray(0x300, 'b')},
        {"data/msg/deep/third.bin", QByteArray(10, 'c')},
        {"empty", QByteArray()},
        {"data/last.bin", QByteArray(0x40, 'd')},
    };
    return layout;
}

// UsedShort: the used-size field ends before the last file does. EmptyInside:
// the empty file's entry points into a.bin. Signed: padded to the chip, with
// 0x88 bytes of data just past the used area (a signature) and a stray byte
// further into the padding.
enum Variant { Plain, Dsi, UsedShort, EmptyInside, Signed };

RomLayout variantLayout(int variant)
{
    RomLayout layout = sampleLayout();
    layout.padded = variant == Signed;
    if (variant == Signed)
        layout.files.last().second = QByteArray(0x200, 'd'); // the used area ends on an alignment
    if (variant == Dsi) {
        layout.unitCode = 2;
        layout.dsiArm9At = 0x80000;
    }
    return layout;
}

BuiltRom variantImage(int variant)
{
    BuiltRom built = buildRomImage(variantLayout(variant));
    const qint64 aBin = built.allocationTableAt + 8 * built.ids.value("a.bin");
    const qint64 empty = built.allocationTableAt + 8 * built.ids.value("empty");
    if (variant == UsedShort)
        qToLittleEndian(field32(built.bytes, 0x80) - 0x40, built.bytes.data() + 0x80); // the start of last.bin
    if (variant == Signed) {
        const qint64 used = field32(built.bytes, 0x80);
        built.bytes.replace(used, 0x88, QByteArray(0x88, 'S'));
        built.bytes[used + 0x88 + 0x600] = 0x00;
    }
    if (variant == EmptyInside) {
        qToLittleEndian(field32(built.bytes, aBin) + 4, built.bytes.data() + empty);
        qToLittleEndian(field32(built.bytes, aBin) + 4, built.bytes.data() + empty + 4);
    }
    qToLittleEndian(crc16Modbus(built.bytes.constData(), 0x15E), built.bytes.data() + 0x15E);
    return built;
}

// `bytes` with `value` written at `at`: a little-endian number, or characters.
template <typename T>
QByteArray patched(QByteArray bytes, qint64 at, T value)
{
    qToLittleEndian(value, bytes.data() + at);
    return bytes;
}

QByteArray patched(QByteArray bytes, qint64 at, const char *with)
{
    return bytes.replace(at, qstrlen(with), with);
}

RomMemberName member(const QString &image, const QString &inside)
{
    RomMemberName name;
    name.imagePath = image;
    if (inside.startsWith('#'))
        name.fileId = inside.mid(1).toInt();
    else
        name.memberPath = inside;
    return name;
}

} // namespace

class RomTest : public QObject
{
    Q_OBJECT
private slots:
    // Every file of every layout is found by its path and id, with its bytes;
    // overlays have ids below the named files and no names.
    void readsTheFileSystem_data()
    {
        QTest::addColumn<int>("variant");
        row("DS", int(Plain));
        row("DSi", int(Dsi));
        row("an empty file inside another", int(EmptyInside));
    }
    void readsTheFileSystem()
    {
        QFETCH(int, variant);
        const RomLayout layout = variantLayout(variant);
        const BuiltRom built = variantImage(variant);
        GuardedImage device(built.bytes);
        const Result<RomFileSystem> read = readRomFileSystem(&device);
        QVERIFY2(read.ok(), qPrintable(read.reason));
        QVERIFY(!device.overread);
        const RomFileSystem &fs = read.value;
        QCOMPARE(int(fs.files.size()), 8);
        QCOMPARE(int(fs.firstNamedId), 2);
        QVERIFY(fs.checksumMatches());
        QCOMPARE(fs.isDsi(), variant == Dsi);
        for (int id = 0; id < 2; ++id) {
            QVERIFY(fs.isOverlay(id) && fs.path(id).isEmpty());
            QCOMPARE(readRomFile(&device, fs, id).value, layout.overlays.at(id));
        }
        for (const auto &[path, bytes] : layout.files) {
            const int id = built.ids.value(path);
            QCOMPARE(fs.idOf(path), id);
            QCOMPARE(fs.path(id), path);
            QCOMPARE(readRomFile(&device, fs, id).value, bytes);
        }
        QCOMPARE(findRomMember(fs, member("x", "#7")).value, 7);
        QCOMPARE(findRomMember(fs, member("x", "#8")).reason, QString("the image has no file #8 (it holds 8)"));
        QCOMPARE(findRomMember(fs, member("x", "data/msg")).reason, QString("the image holds no file data/msg"));
        QVERIFY(!device.overread);
    }

    // Listing a large image reads its header and tables, not its files.
    void readsOnlyTheTables()
    {
        RomLayout layout = sampleLayout();
        layout.files.append({"big/file", QByteArray(4 << 20, 'x')});
        GuardedImage device(buildRomImage(layout).bytes);
        QVERIFY(readRomFileSystem(&device).ok());
        QVERIFY2(device.bytesRead < 4096, qPrintable(QString::number(device.bytesRead)));
    }

    // One file written back, the whole image compared with the one expected:
    // the old image, padded with 0xFF up to the file's new end, with the file's
    // bytes, its allocation entry, and the header's used size, device capacity
    // and checksum changed.
    void writesOneFileBack_data()
    {
        QTest::addColumn<int>("variant");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("moved");
        QTest::addColumn<int>("capacity"); // the device capacity field afterwards
        QTest::addColumn<int>("skipped");  // bytes a moved file goes past the aligned used end
        row("an archive fills its room", int(Plain), "data/msg/first.narc", 0x200, false, 0, 0);
        // The next file by id (third.bin) lies further on: the room ends at the next by address.
        row("an archive grows past its room and moves", int(Plain), "data/msg/first.narc", 0x201, true, 0, 0);
        row("an empty file gets bytes", int(Plain), "empty", 16, true, 0, 0);
        row("used size short: a file moves past the last", int(UsedShort), "a.bin", 0x1000, true, 0, 0);
        row("the last file grows four chips past", int(Plain), "data/last.bin", 600 * 1024, true, 3, 0);
        row("DSi: moves within the DS part", int(Dsi), "a.bin", 0x1000, true, 0, 0);
        // Data past the used area is kept: a file that moves goes after it.
        row("signed: past the signature and a stray byte", int(Signed), "a.bin", 0x1000, true, 0, 0x800);
    }
    void writesOneFileBack()
    {
        QFETCH(int, variant);
        QFETCH(QString, file);
        QFETCH(int, size);
        QFETCH(bool, moved);
        QFETCH(int, capacity);
        QFETCH(int, skipped);
        const BuiltRom built = variantImage(variant);
        const QByteArray old = built.bytes;
        QTemporaryDir dir;
        const QString path = dir.filePath("game.nds");
        QVERIFY(writeFileBytes(path, old));
        const int id = built.ids.value(file);
        const QByteArray bytes = QByteArray(size, 'N');

        const Result<RomPlacement> placed = replaceRomMember(member(path, file), bytes);
        QVERIFY2(placed.ok(), qPrintable(placed.reason));
        QCOMPARE(placed.value.moved, moved);
        QCOMPARE(placed.value.staleDsiDigests, variant == Dsi);
        const Result<RomFileSystem> before = readGuarded(old);
        qint64 usedEnd = field32(old, 0x80);
        for (const RomFile &other : before.value.files)
            usedEnd = qMax<qint64>(usedEnd, other.end);
        const qint64 start = moved ? (usedEnd + 0x1FF) / 0x200 * 0x200 + skipped : before.value.files.at(id).start;
        const qint64 end = start + size;

        QByteArray expected = old + QByteArray(qMax<qint64>(end - old.size(), 0), char(0xFF));
        expected.replace(start, size, bytes);
        qToLittleEndian(quint32(start), expected.data() + built.allocationTableAt + 8 * id);
        qToLittleEndian(quint32(end), expected.data() + built.allocationTableAt + 8 * id + 4);
        qToLittleEndian(quint32(qMax<qint64>(field32(old, 0x80), end)), expected.data() + 0x80);
        expected[0x14] = char(capacity);
        qToLittleEndian(crc16Modbus(expected.constData(), 0x15E), expected.data() + 0x15E);
        QVERIFY2(readFileBytes(path) == expected, "the image is not the one expected");
    }

    // A write that cannot be placed, or is cut short (a full disk, in the copy
    // or past the old end), leaves the image as it was and nothing beside it.
    void aFailedWriteKeepsTheImage_data()
    {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("limit"); // bytes the image may grow by
        QTest::addColumn<QString>("reason");
        const QByteArray dsi = buildRomImage(variantLayout(Dsi)).bytes;
        // The DSi binary moved further on, its old bytes made padding.
        const QByteArray dsiFurther = patched<quint32>(dsi, 0x1C0, 0x100000)
                                          .replace(0x80000, 0x100, QByteArray(0x100, char(0xFF)));
        row("past the part DS mode reads", dsiFurther, "data/last.bin", 0x80000, 1 << 30,
            "does not fit in the part of the image DS mode reads (524288 bytes)");
        // A DSi part of one byte just where a moved file would go.
        const qint64 room = (readGuarded(dsi).value.usedEnd + 0x1FF) / 0x200 * 0x200;
        row("a one-byte DSi part where a moved file goes",
            patched<quint32>(patched<quint32>(dsi, 0x1C0, room), 0x1CC, 1), "a.bin", 0x1000, 1 << 30,
            "file 2 (a.bin) does not fit before the DSi ARM9 binary");
        const QByteArray sample = buildRomImage(sampleLayout()).bytes;
        row("past 4 GiB", patched<quint32>(sample, 0x80, 0xFFFFF000), "a.bin", 0x2000, 1 << 30,
            "file 2 (a.bin) would end at byte 4294971392");
        row("in place, cut in the copy", sample, "a.bin", 10, -0x1000, "File too large");
        row("moved, cut past the end", sample, "a.bin", 0x4000, 100, "File too large");
    }
    void aFailedWriteKeepsTheImage()
    {
        QFETCH(QByteArray, image);
        QFETCH(QString, file);
        QFETCH(int, size);
        QFETCH(int, limit);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = dir.filePath("game.nds");
        QVERIFY(writeFileBytes(path, image));
        Result<RomPlacement> placed;
        {
            FileSizeLimit cut(quint64(image.size() + limit));
            placed = replaceRomMember(member(path, file), QByteArray(size, 'N'));
        }
        QVERIFY2(placed.reason.contains(reason), qPrintable(placed.reason));
        QVERIFY2(readFileBytes(path) == image, "the image changed");
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"game.nds"});
    }

    // Every malformed table is refused with its reason, and nothing is read
    // past the end of the image.
    void refusesMalformedImages_data()
    {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<QString>("reason");
        const BuiltRom built = buildRomImage(sampleLayout());
        const QByteArray good = built.bytes;
        const qint64 fnt = built.nameTableAt;
        const qint64 fat = built.allocationTableAt;
        const qint64 ovt = field32(good, 0x50);
        const qint64 listsAt = fnt + 8 * 4; // the root's list: a.bin, data/ (0xF001), empty
        const int aBin = built.ids.value("a.bin");
        auto file = [&](int id, quint32 start, quint32 end) {
            return patched<quint32>(patched<quint32>(good, fat + 8 * id, start), fat + 8 * id + 4, end);
        };
        const QByteArray large = good + QByteArray((18 << 20) - good.size(), char(0xFF));

        row("shorter than a header", good.left(0x1FF), "it is 511 bytes, shorter than a ROM header (512 bytes)");
        row("name table outside", patched<quint32>(good, 0x40, good.size() - 4), "the name table (");
        row("allocation table size", patched<quint32>(good, 0x4C, 8 * 8 - 4),
            "the allocation table's size (60 bytes) is not a multiple of 8");
        row("too many files", patched<quint32>(patched<quint32>(large, 0x48, 0x100000), 0x4C, 8 * 0xF001),
            "the allocation table lists 61441 files, more than the 61440");
        row("file ends before it starts", file(aBin, 0x2000, 0x1FFF), "file 2 ends (0x1FFF) before it starts (0x2000)");
        row("file outside", file(aBin, 0x100, good.size() + 1), "file 2 (0x100 to");
        row("files share one byte", file(aBin, field32(good, fat + 8 * 6 + 4) - 1, field32(good, fat + 8 * 6 + 4)),
            "file 2 (a.bin) overlaps file 6");
        const QByteArray dsi = buildRomImage(variantLayout(Dsi)).bytes;
        row("DSi part over a file", patched<quint32>(dsi, 0x1C0, field32(dsi, 0x80) - 2),
            "the DSi ARM9 binary overlaps file 5 (data/last.bin)");
        row("overlay table size", patched<quint32>(good, 0x54, 33),
            "the ARM9 overlay table's size (33 bytes) is not a multiple of 32");
        row("overlay names no file", patched<quint32>(good, ovt + 0x18, 999),
            "the ARM9 overlay table names file 999, past the 8 files");
        row("more overlays than files", patched<quint32>(good, 0x54, 32 * 9),
            "lists 9 overlays, more than the 8 files");
        row("no directories", patched<quint16>(good, fnt + 6, 0), "the name table's root gives 0 directories");
        row("more directories than the table", patched<quint16>(good, fnt + 6, field32(good, 0x44) / 8 + 1),
            "is too short for its");
        row("first id past the files", patched<quint16>(good, fnt + 4, 9),
            "the root's first file id 9 is past the 8 files");
        row("list without its end", patched<quint32>(good, 0x44, field32(good, 0x44) - 1),
            "the names of directory data/msg/deep run past the end");
        row("name table larger than names take",
            patched<quint32>(patched<quint32>(large, 0x40, 0x100000), 0x44, (16 << 20) + 1),
            "more than the names of any image take");
        row("directory id past the table", patched<quint16>(good, listsAt + 11, 0xF004),
            "lists directory data as 0xF004, not one of the image's 4 directories");
        row("directory inside itself", patched<quint16>(good, listsAt + 11, 0xF000),
            "directory data (0xF000) is listed twice");
        row("directory without a name", patched(good, listsAt + 6, "\x80"),
            "the root directory lists a directory without a name");
        row("file past the files", patched<quint16>(good, fnt + 8 * 3 + 4, 8),
            "directory data/msg/deep names file 8 (data/msg/deep/third.bin), past the 8 files");
        row("file named twice", patched<quint16>(good, fnt + 8 * 2 + 4, 4),
            "file 4 is named twice (data/second.bin and data/msg/first.narc)");
        row("name of an overlay", patched<quint16>(good, fnt + 8 * 2 + 4, 1),
            "directory data/msg names file 1, one of the overlays (ids below 2)");
        row("not UTF-8", patched(good, listsAt + 1, "\xFF"),
            "the root directory holds a name that is neither ASCII nor UTF-8");
        row("slash", patched(good, listsAt + 1, "/"), "holds a name that holds a \"/\"");
        row("two alike", patched(good, listsAt + 14, "a.bin"), "the root directory holds two entries named a.bin");
        RomLayout deep = sampleLayout();
        deep.files.append({QStringList(9, QString(120, 'd')).join('/') + "/f", "x"});
        row("path too long", buildRomImage(deep).bytes, "is longer than 1024 characters");
    }
    void refusesMalformedImages()
    {
        QFETCH(QByteArray, image);
        QFETCH(QString, reason);
        bool overread = true;
        const Result<RomFileSystem> read = readGuarded(image, &overread);
        QVERIFY2(read.reason.contains(reason), qPrintable(read.reason));
        QVERIFY(!overread);
    }

    // Every cut of a trimmed image is refused, and none is read past its end.
    void everyTruncation()
    {
        RomLayout layout = sampleLayout();
        layout.alignment = 4;
        const QByteArray good = buildRomImage(layout).bytes;
        for (qsizetype length = 0; length <= good.size(); ++length) {
            bool overread = true;
            QCOMPARE(readGuarded(good.left(length), &overread).ok(), length == good.size());
            QVERIFY(!overread);
        }
    }

    // A name with a colon names a file inside an image only when what comes
    // before the colon is a file and the whole name is none.
    void memberNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("parsed"); // image, path inside, id; empty: a plain file
        QTest::addColumn<QString>("reason");
        row("by path, leading slash", "game.nds:/data/msg.narc", QStringList{"game.nds", "data/msg.narc", "-1"}, "");
        row("by id", "game.nds:#123", QStringList{"game.nds", "", "123"}, "");
        row("a whole name that exists", "game.nds:copy.narc", QStringList(), "");
        row("a folder before the colon", "folder:x.narc", QStringList(), "");
        row("nothing after the colon", "game.nds:", QStringList(), "no file inside the image is named after the colon");
        row("id past the last", "game.nds:#61440", QStringList(), "\"#61440\" is not a file id (0 to 61439)");
    }
    void memberNames()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, parsed);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QVERIFY(writeFileBytes(dir.filePath("game.nds"), "x")
                && writeFileBytes(dir.filePath("game.nds:copy.narc"), "x"));
        QVERIFY(QDir(dir.path()).mkdir("folder"));
        const Result<RomMemberName> got = parseRomMemberName(dir.filePath(name));
        QCOMPARE(got.reason, reason);
        const RomMemberName &n = got.value;
        const QStringList parts{QFileInfo(n.imagePath).fileName(), n.memberPath, QString::number(n.fileId)};
        QCOMPARE(n.isMember() ? parts : QStringList(), parsed);
    }

    // The sample image holds the demo archive; its generator gives the same bytes again.
    void demoImage()
    {
        const QString sample = QFINDTESTDATA("../samples/demo.nds");
        const Result<QByteArray> archive = loadRomMember(member(sample, "data/demo.narc"));
        QCOMPARE(archive.value, readFileBytes(QFINDTESTDATA("../samples/demo.narc")));
        QTemporaryDir dir;
        const QString generator = QFileInfo(qEnvironmentVariable("NARCTEXT")).dir().filePath("makedemo-nds");
        QCOMPARE(QProcess::execute(generator, {QFINDTESTDATA("../samples/demo.narc"), dir.filePath("demo.nds")}), 0);
        QCOMPARE(readFileBytes(dir.filePath("demo.nds")), readFileBytes(sample));
    }
};

QTEST_GUILESS_MAIN(RomTest)
#include "test_rom.moc"
