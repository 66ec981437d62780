// The byte cursor and the archive reader and writer.

#include "narcfixture.h"

#include "narc/bytebuffer.h"
#include "narc/narcfile.h"
#include "narc/narcreader.h"
#include "narc/narcwriter.h"

#include <QBuffer>
#include <QDataStream>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QVector<char> vec(const QByteArray &bytes)
{
    return QVector<char>(bytes.begin(), bytes.end());
}

// `bytes` with little-endian 32-bit `values` written from `offset` on.
QByteArray patched(QByteArray bytes, int offset, std::initializer_list<quint32> values)
{
    for (const quint32 value : values)
        for (int b = 0; b < 4; ++b)
            bytes[offset++] = char(value >> (8 * b));
    return bytes;
}

} // namespace

class NarcTest : public QObject
{
    Q_OBJECT
private slots:
    void byteBuffer()
    {
        const QVector<char> bytes = vec(QByteArray::fromHex("3412000078563412ffffffff"));
        ByteBuffer in(bytes);
        quint16 a = 0, b = 0;
        quint32 c = 0, d = 0;
        in >> a >> b >> c >> d;
        QCOMPARE((QList<quint32>{a, c, quint32(in.pos)}), (QList<quint32>{0x1234, 0x12345678, 12}));
        QVERIFY(in.ok);
        // Outside the vector: writes nothing, reads 0, pos stays, ok cleared.
        in.pos = 10;
        in << quint32(0xDEADBEEF);
        QVERIFY(!in.ok);
        QCOMPARE(in.bytes, bytes);
        in.ok = true;
        in >> c;
        QCOMPARE((QList<quint32>{c, quint32(in.pos)}), (QList<quint32>{0, 10}));
        QVERIFY(!in.ok);
        in.pos = -1;
        in >> a;
        QCOMPARE(a, quint16(0));

        QVector<char> target(4, 0);
        ByteBuffer out(target);
        out.pos = 2;
        out << quint16(0xABCD);
        QCOMPARE(out.pos, 4);
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
        QCOMPARE(narc.fileStarts, QVector<int>({0, 8, 8}));
        QCOMPARE(narc.fileEnds, QVector<int>({5, 8, 16}));
        QCOMPARE((QList<int>{narc.imgSize, narc.fatSize, narc.fileSize}), (QList<int>{24, 36, 92}));

        narc.files[0] += vec("fghi");
        QCOMPARE(serializeNarc(narc), buildNarcBytes({"abcdefghi", "", "12345678"}));
        QCOMPARE(narc.fileStarts, QVector<int>({0, 12, 12}));
    }

    void readThenWrite_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("output");
        const QByteArray canonical = buildNarcBytes({"\x02\x00\x01", "", QByteArray(1000, 'x'), "abcdefg"});
        QTest::newRow("canonical") << canonical << canonical;
        QTest::newRow("non-zero padding") << buildNarcBytes({"abcde", "xy"}, {}, char(0xFF))
                                          << buildNarcBytes({"abcde", "xy"});
        const QByteArray padded = buildNarcBytes({"one", "two!"}, plainNameTable() + QByteArray(4, char(0xFF)));
        QTest::newRow("20-byte name table") << padded << padded;
        const QByteArray named = buildNarcBytes(
            {"one"}, QByteArray("\x08\x00\x00\x00\x00\x00\x01\x00\x05hello\x05world\x00\x00", 22));
        QTest::newRow("names") << named << named;
        // Entry 1 stored before entry 0: each is read from its own start.
        QTest::newRow("out of order") << patched(buildNarcBytes({"AAAA", "BBBBBBBB"}), 0x1C, {8, 12, 0, 6})
                                      << buildNarcBytes({"BBBB", "AAAABB"});
    }

    void readThenWrite()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, output);
        NarcRead read = readNarc(input);
        QVERIFY2(read.ok(), qPrintable(read.error));
        QCOMPARE(serializeNarc(read.narc), output);

        QDataStream in(input);
        Narc streamed;
        in >> streamed;
        QCOMPARE(in.status(), QDataStream::Ok);
        QByteArray bytes;
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << streamed;
        QCOMPARE(bytes, output);
    }

    void malformedInputIsRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        // Entry table at 0x1C, name table at 0x2C, image block at 0x3C.
        const QByteArray good = buildNarcBytes({"abcdef", "gh"});
        QTest::newRow("empty file") << QByteArray() << "NARC";
        QTest::newRow("text file") << QByteArray("hello world, this is not an archive") << "NARC";
        QTest::newRow("header size 20") << patched(good, 12, {0x30014}) << "header size";
        QTest::newRow("no BTAF") << patched(good, 0x10, {0}) << "BTAF";
        QTest::newRow("no BTNF") << patched(good, 0x2C, {0}) << "BTNF";
        QTest::newRow("no GMIF") << patched(good, 0x3C, {0}) << "GMIF";
        QTest::newRow("count 0xFFFFFFFF") << patched(good, 0x18, {0xFFFFFFFF}) << "fewer than";
        QTest::newRow("table past the end") << patched(good, 0x14, {0x7FFFFFF0}) << "table's size";
        QTest::newRow("end below start") << patched(good, 0x1C, {4, 0}) << "ends before";
        QTest::newRow("end outside") << patched(good, 0x1C, {0, 0x10000}) << "outside";
        QTest::newRow("far outside") << patched(good, 0x1C, {0xFFFFFFF0, 0xFFFFFFFF}) << "outside";
        QTest::newRow("name table too long") << patched(good, 0x30, {0xFFFFFFFF}) << "name table's size";
        QTest::newRow("name table below its head") << patched(good, 0x30, {4}) << "name table's size";
    }

    void malformedInputIsRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        NarcRead read = readNarc(bytes);
        QVERIFY2(read.error.contains(reason), qPrintable(read.error));
        QCOMPARE(read.narc.fileCount, quint32(0));
        QVERIFY(read.narc.files.isEmpty());
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

    void files()
    {
        QTemporaryDir dir;
        Narc narc = readNarc(buildNarcBytes({"abcd"})).narc;
        QVERIFY(saveNarcFile(narc, dir.filePath("a.narc")));
        QCOMPARE(loadNarcFile(dir.filePath("a.narc")).narc.files, narc.files);
        QVERIFY(loadNarcFile(dir.filePath("missing.narc")).error.contains("cannot open"));

        // Below a regular file: refused, nothing left behind.
        QVERIFY(writeFileBytes(dir.filePath("plain"), "text"));
        QString error;
        QVERIFY(!saveNarcFile(narc, dir.filePath("plain/below.narc"), &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"a.narc", "plain"}));
        QCOMPARE(readFileBytes(dir.filePath("plain")), QByteArray("text"));
    }
};

QTEST_GUILESS_MAIN(NarcTest)
#include "test_narc.moc"
