// The byte cursor and the archive reader and writer.

#include "narcfixture.h"

#include "narc/bytebuffer.h"
#include "narc/narcreader.h"
#include "narc/narcwriter.h"

#include <QBuffer>
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

        // Writes reach the source vector only through copyTo().
        QVector<char> target(4, 0);
        ByteBuffer out(target);
        out.pos = 2;
        out << quint16(0xABCD);
        QCOMPARE(target, QVector<char>(4, 0));
        out.copyTo(target);
        QCOMPARE(target, vec(QByteArray::fromHex("0000cdab")));
    }

    void writerLaysOutEntries()
    {
        Narc narc = newNarc();
        QCOMPARE(serializeNarc(narc).size(), 52);
        QCOMPARE(serializeNarc(narc), buildNarcBytes({}));

        narc.files = {vec("abcde"), NarcEntry(), vec("12345678")};
        narc.fileCount = 3;
        QCOMPARE(serializeNarc(narc), buildNarcBytes({"abcde", "", "12345678"}));
        QCOMPARE(narc.fileStarts + narc.fileEnds, QVector<quint32>({0, 8, 8, 5, 8, 16}));
        QCOMPARE((QList<int>{narc.imgSize, narc.fatSize, narc.fileSize}), (QList<int>{24, 36, 92}));

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
        Narc narc = readNarc(canonical).narc;
        QCOMPARE(serializeNarc(narc), canonical);
        narc = readNarc(buildNarcBytes({"abcde", "xy"}, {}, char(0xFF))).narc;
        QCOMPARE(serializeNarc(narc), buildNarcBytes({"abcde", "xy"}));
    }

    void malformedInputIsRefused()
    {
        // Entry table at 0x1C, name table at 0x2C, image block at 0x3C.
        const QByteArray good = buildNarcBytes({"abcdef", "gh"});
        const QList<std::pair<QByteArray, QString>> cases{
            {"hello world, this is not an archive", "NARC"},
            {patched(good, 12, {0x30014}), "header size"},
            {patched(good, 0x10, {0}), "BTAF"},
            {patched(good, 0x2C, {0}), "BTNF"},
            {patched(good, 0x3C, {0}), "GMIF"},
            {patched(good, 0x18, {0xFFFFFFFF}), "fewer than"},
            {patched(good, 0x1C, {4, 0}), "ends before"},
            {patched(good, 0x1C, {0xFFFFFFF0, 0xFFFFFFFF}), "outside"},
            {patched(good, 0x30, {0xFFFFFFFF}), "name table's size"},
            {patched(good, 0x30, {4}), "name table's size"},
        };
        for (const auto &[bytes, reason] : cases) {
            const NarcRead read = readNarc(bytes);
            QVERIFY2(read.error.contains(reason), qPrintable(reason + ": " + read.error));
            QVERIFY(read.narc.fileCount == 0 && read.narc.files.isEmpty());
        }
    }

    // Both readers refuse every cut but the one dropping only the last padding byte.
    void everyTruncation()
    {
        const QByteArray good = buildNarcBytes({"abcdef", "", "ghijklmnopq"});
        for (int length = 0; length <= good.size(); ++length) {
            const NarcRead read = readNarc(good.left(length));
            QCOMPARE(read.ok(), length >= good.size() - 1);
            QByteArray prefixed = "junk" + good.left(length);
            QBuffer device(&prefixed);
            device.open(QIODevice::ReadOnly);
            QString error = "stale";
            const Narc fromDevice(&device, 4, &error);
            QCOMPARE(error, read.error);
            QCOMPARE(fromDevice.files, read.narc.files);
        }
        QCOMPARE(readNarc(good.chopped(1)).narc.files.last(), vec("ghijklmnopq"));
    }
};

QTEST_GUILESS_MAIN(NarcTest)
#include "test_narc.moc"
