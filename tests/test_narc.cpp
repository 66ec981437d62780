// The byte cursor and the archive reader and writer.

#include "narc/bytebuffer.h"
#include "narc/narcfile.h"
#include "narc/narcreader.h"
#include "narc/narcwriter.h"
#include "narcfixture.h"
#include "rows.h"

#include <QBuffer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace core;

static QVector<char> vec(const QByteArray &bytes)
{
    return QVector<char>(bytes.begin(), bytes.end());
}

// `bytes` with little-endian 32-bit `values` written from `offset` on.
static QByteArray patched(QByteArray bytes, int offset, std::initializer_list<quint32> values)
{
    for (const quint32 value : values)
        for (int b = 0; b < 4; ++b)
            bytes[offset++] = char(value >> (8 * b));
    return bytes;
}

// The first 0x44 bytes of an archive of two entries (header, table, name table,
// image head) with the table's four offsets replaced.
static QByteArray headOfTwo(quint32 start0, quint32 end0, quint32 start1, quint32 end1)
{
    return patched(buildNarcBytes({"a", "b"}).left(0x44), 0x1C, {start0, end0, start1, end1});
}

class NarcTest : public QObject
{
    Q_OBJECT
private slots:
    void byteBuffer()
    {
        // The last read finds two bytes left: it gives 0, leaves pos and clears ok.
        ByteBuffer in(vec(QByteArray::fromHex("34120000785634120000")));
        quint16 a = 0, b = 0;
        quint32 c = 0, d = 1;
        in >> a >> b >> c >> d;
        QCOMPARE((QList<quint32>{a, c, d, quint32(in.pos), in.ok}), (QList<quint32>{0x1234, 0x12345678, 0, 8, false}));
    }

    // The layout follows the entries; the count comes from them too: appending
    // entries without touching fileCount made the writer drop them silently.
    void writerLaysOutEntries()
    {
        Narc narc = newNarc();
        QCOMPARE(serializeNarc(narc), buildNarcBytes({}));
        narc.files = {vec("abcde"), NarcEntry(), vec("12345678")};
        narc.fileCount = 1;
        QCOMPARE(serializeNarc(narc), buildNarcBytes({"abcde", "", "12345678"}));
        QCOMPARE(narc.fileCount, 3u);
        narc.files[0] += vec("fghi");
        QCOMPARE(serializeNarc(narc), buildNarcBytes({"abcdefghi", "", "12345678"}));
    }

    // A canonical archive comes back byte for byte, names included; padding is
    // written as zeros whatever was read.
    void readThenWrite()
    {
        const QByteArray canonical = buildNarcBytes(
            {"abc", "", QByteArray(1000, 'x'), "abcdefg"},
            QByteArray("\x08\x00\x00\x00\x00\x00\x01\x00\x05hello\x05world\x00\x00", 22));
        Narc narc = readNarc(canonical).value;
        QCOMPARE(serializeNarc(narc), canonical);
        narc = readNarc(buildNarcBytes({"abcde", "xy"}, {}, char(0xFF))).value;
        QCOMPARE(serializeNarc(narc), buildNarcBytes({"abcde", "xy"}));
    }

    void malformedInputIsRefused()
    {
        // Entry table at 0x1C, name table at 0x2C, image block at 0x3C.
        const QByteArray good = buildNarcBytes({"abcdef", "gh"});
        const QList<std::pair<QByteArray, QString>> cases{
            {"hello world, this is not an archive", "NARC"},
            {patched(good, 12, {0x30014}), "header size"},
            {patched(good, 12, {0x3000C}), "header size"}, // shorter than the header's own fields
            {patched(good, 0x10, {0}), "BTAF"},
            {patched(good, 0x2C, {0}), "BTNF"},
            {patched(good, 0x3C, {0}), "GMIF"},
            {patched(good, 0x18, {0xFFFFFFFF}), "fewer than"},
            {patched(good, 0x18, {3}), "fewer than its 3 entries"}, // one entry more than the table holds
            {patched(good, 0x1C, {4, 0}), "ends before"},
            {patched(good, 0x1C, {0xFFFFFFF0, 0xFFFFFFFF}), "outside"},
            {patched(good, 0x30, {0xFFFFFFFF}), "name table's size"},
            {patched(good, 0x30, {4}), "name table's size"},
        };
        for (const auto &[bytes, reason] : cases) {
            const Result<Narc> read = readNarc(bytes);
            QVERIFY2(read.reason.contains(reason), qPrintable(reason + ": " + read.reason));
            QVERIFY(read.value.fileCount == 0 && read.value.files.isEmpty());
        }
    }

    // Both readers refuse every cut but the one dropping only the last padding byte.
    void everyTruncation()
    {
        const QByteArray good = buildNarcBytes({"abcdef", "", "ghijklmnopq"});
        for (int length = 0; length <= good.size(); ++length) {
            const Result<Narc> read = readNarc(good.left(length));
            QCOMPARE(read.ok(), length >= good.size() - 1);
            QByteArray prefixed = "junk" + good.left(length);
            QBuffer device(&prefixed);
            device.open(QIODevice::ReadOnly);
            const Narc fromDevice(&device, 4);
            QCOMPARE(fromDevice.files, read.value.files);
            // One entry at a time: the same refusal, or the same entries in order.
            QVERIFY(device.seek(4));
            QList<NarcEntry> visited;
            QList<quint32> indices;
            QCOMPARE(readNarcEntries(&device,
                                     [&](quint32 i, EntryView entry) {
                                         indices.append(i);
                                         visited.append(entry.toEntry());
                                     })
                         .reason,
                     read.reason);
            if (read.ok()) {
                QCOMPARE(visited, read.value.files);
                QCOMPARE(indices, (QList<quint32>{0, 1, 2}));
            }
        }
        QCOMPARE(readNarc(good.chopped(1)).value.files.last(), vec("ghijklmnopq"));
    }

    // Entries that share bytes would multiply memory: 2,000 entries of the same
    // 1 MB in a 1 MB file took 2 GB. Together entries must fit in the image block.
    // (A memory limit on narctext is in test_cli.)
    void overlappingEntriesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("accepted");
        const QByteArray good = buildNarcBytes({"abcdefgh", "ijklmnop"}); // table at 0x1C
        // Sharing is let through while the total still fits: memory stays within the file.
        row("shared, within the block", patched(good, 0x1C, {0, 8, 0, 8}), true);
        row("one byte more than the block", patched(good, 0x1C, {0, 9, 8, 16}), false);
        row("gaps, no overlap", patched(good, 0x1C, {1, 5, 9, 12}), true);
        QByteArray many = buildNarcBytes(QList<QByteArray>(2000, QByteArray()) << QByteArray(1000, 'x'));
        for (int i = 0; i < 2000; ++i)
            many = patched(many, 0x1C + 8 * i, {0, 1000});
        row("2,000 entries on the same bytes", many, false);
    }

    void overlappingEntriesAreRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, accepted);
        const Result<Narc> read = readNarc(bytes);
        QCOMPARE(read.ok(), accepted);
        if (!accepted)
            QVERIFY2(read.reason.contains("overlap"), qPrintable(read.reason));
    }

    // The format's offsets are unsigned 32-bit: entries past 2 GiB are read (they
    // crashed the reader as int), a file longer than 4 GiB is refused with the
    // reason. Sparse files keep this cheap.
    void offsetsPast2GiB_data()
    {
        QTest::addColumn<quint32>("start0");
        QTest::addColumn<quint32>("start1");
        QTest::addColumn<qint64>("fileSize");
        QTest::addColumn<QString>("error");
        row("one ends past 2 GiB, one starts past it", 0x7FFFFFF8u, 0x80000010u, qint64(0x80000064), "");
        row("near 4 GiB", 0xFFFFFE00u, 0xFFFFFF00u, qint64(0xFFFFFF54), "");
        row("file longer than 4 GiB", 0u, 16u, qint64(0x100000000), "larger than an archive can be");
    }

    void offsetsPast2GiB()
    {
        QFETCH(quint32, start0);
        QFETCH(quint32, start1);
        QFETCH(qint64, fileSize);
        QFETCH(QString, error);
        QTemporaryDir dir;
        QFile file(dir.filePath("sparse.narc"));
        const QByteArray first(16, 'a'), second(16, 'b');
        QVERIFY(file.open(QIODevice::WriteOnly)
                && file.write(headOfTwo(start0, start0 + 16, start1, start1 + 16)) == 0x44);
        QVERIFY(file.resize(fileSize));
        QVERIFY(file.seek(0x44 + qint64(start0)) && file.write(first) == 16);
        QVERIFY(file.seek(0x44 + qint64(start1)) && file.write(second) == 16);
        file.close();
        const Result<Narc> read = loadNarcFile(file.fileName());
        QVERIFY2(error.isEmpty() ? read.ok() : read.reason.contains(error), qPrintable(read.reason));
        if (error.isEmpty()) {
            QCOMPARE(read.value.files, QList<NarcEntry>({vec(first), vec(second)}));
            QCOMPARE(read.value.fileStarts, QVector<quint32>({start0, start1}));
        }
    }

    // A write whose layout does not fit 32 bits is refused before anything is
    // written: it wrapped, wrote a 4.4 GB file no reader accepts and said it
    // succeeded. 65 entries of 64 MiB share one buffer, so the test takes 64 MiB.
    void layoutPast4GiBIsRefused()
    {
        Narc narc = newNarc();
        narc.files = QList<NarcEntry>(65, NarcEntry(64 << 20, 'x'));
        QString error = narc.recomputeLayout().reason;
        QVERIFY(!error.isEmpty());
        QVERIFY2(error.contains("larger than the format's 32-bit sizes allow"), qPrintable(error));
        QCOMPARE(narc.fileStarts.size(), 0);

        QTemporaryDir dir;
        const QString path = dir.filePath("old.narc");
        QVERIFY(writeFileBytes(path, "old"));
        QVERIFY(saveNarcFile(narc, path).reason.contains("4 GiB"));
        QCOMPARE(readFileBytes(path), QByteArray("old"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList("old.narc"));
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(!narc.writeTo(&buffer, 0).ok() && buffer.data().isEmpty());

        narc.files.removeLast(); // 64 x 64 MiB plus the head: still too large by the head
        QVERIFY(!narc.recomputeLayout().ok());
        narc.files.last().resize(1000);
        QVERIFY(narc.recomputeLayout().ok());
        QCOMPARE(narc.fileEnds.last(), 63u * (64 << 20) + 1000);
    }

    // Entries around the reader's 1 MiB chunk are read whole from a file, from
    // memory and from a pipe, which cannot seek.
    void largeEntriesEveryWay_data()
    {
        QTest::addColumn<QList<int>>("sizes");
        const int mib = 1 << 20;
        row("around one chunk", QList<int>{mib - 1, 3, mib, 0, mib + 1});
        row("many small", QList<int>(3000, 1001));
    }

    void largeEntriesEveryWay()
    {
        QFETCH(QList<int>, sizes);
        QList<QByteArray> entries;
        for (int i = 0; i < sizes.size(); ++i) {
            QByteArray entry(sizes[i], Qt::Uninitialized);
            for (int b = 0; b < entry.size(); ++b)
                entry[b] = char(b * 7 + i);
            entries.append(entry);
        }
        const QByteArray bytes = buildNarcBytes(entries);
        QTemporaryDir dir;
        const QString path = dir.filePath("big.narc");
        QVERIFY(writeFileBytes(path, bytes));
        QProcess pipe;
        pipe.start("cat", {path});
        QVERIFY(pipe.waitForStarted());
        for (const Result<Narc> &read : {loadNarcFile(path), readNarc(bytes), readNarc(&pipe)}) {
            QVERIFY2(read.ok(), qPrintable(read.reason));
            Narc narc = read.value; // written back, the bytes that were read
            QCOMPARE(serializeNarc(narc), bytes);
        }
    }

    // Devices, pipes and directories are refused when an archive is loaded, at
    // once: /dev/zero was read until memory ran out, a FIFO with no writer hung.
    void onlyRegularFilesLoad()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath("fifo");
        QCOMPARE(QProcess::execute("mkfifo", {fifo}), 0);
        const QList<std::pair<QString, QString>> cases{{"/dev/zero", "it is a device, not a regular file"},
                                                       {fifo, "it is a pipe (FIFO), not a regular file"},
                                                       {dir.path(), "it is a directory"},
                                                       {dir.filePath("none"), "No such file or directory"}};
        for (const auto &[path, reason] : cases)
            QCOMPARE(loadNarcFile(path).reason, "cannot open the file (" + reason + ")");
    }
};

QTEST_GUILESS_MAIN(NarcTest)
#include "test_narc.moc"
