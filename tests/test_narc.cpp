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

QVector<char> vec(std::initializer_list<int> bytes)
{
    QVector<char> out;
    for (int b : bytes)
        out.append(char(b));
    return out;
}

QByteArray bytesOf(const NarcEntry &entry)
{
    return QByteArray(entry.constData(), entry.size());
}

NarcEntry entryOf(const QByteArray &bytes)
{
    return NarcEntry(bytes.constData(), bytes.constData() + bytes.size());
}

quint32 u32(const QByteArray &bytes, int offset)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData()) + offset;
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

void putU32(QByteArray &bytes, int offset, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = char((value >> (8 * i)) & 0xFF);
}

// An archive value as a fresh open of a tool-made file would give it.
Narc archiveOf(const QList<QByteArray> &entries)
{
    NarcRead read = readNarc(buildNarcBytes(entries));
    Q_ASSERT(read.ok());
    return read.narc;
}

} // namespace

class ByteBufferTest : public QObject
{
    Q_OBJECT
private slots:
    void readsLittleEndian()
    {
        ByteBuffer buffer(vec({0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xFF}));
        quint16 a = 0;
        quint32 b = 0;
        quint8 c = 0;
        buffer >> a >> b >> c;
        QCOMPARE(a, quint16(0x1234));
        QCOMPARE(b, quint32(0x12345678));
        QCOMPARE(c, quint8(0xFF));
        QCOMPARE(buffer.pos, 7);
        QVERIFY(buffer.ok);
    }

    void chainedHeadReadEndsAtTwelve()
    {
        ByteBuffer buffer(QVector<char>(16, 0));
        quint16 count = 0, lines = 0;
        quint32 size = 0, reserved = 0;
        buffer >> count >> lines >> size >> reserved;
        QCOMPARE(buffer.pos, 12);
    }

    void writesInPlaceWithoutTouchingTheSource()
    {
        const QVector<char> source = vec({0, 0, 0, 0});
        ByteBuffer buffer(source);
        buffer.pos = 2;
        buffer << quint16(0xABCD);
        QCOMPARE(buffer.pos, 4);
        QCOMPARE(buffer.bytes, vec({0, 0, 0xCD, 0xAB}));
        QCOMPARE(source, vec({0, 0, 0, 0}));

        QVector<char> out = source;
        buffer.copyTo(out);
        QCOMPARE(out, vec({0, 0, 0xCD, 0xAB}));

        ByteBuffer wide(QVector<char>(4, 0));
        wide << quint32(0x01020304);
        QCOMPARE(wide.bytes, vec({4, 3, 2, 1}));
    }

    void neverReachesOutsideTheVector()
    {
        ByteBuffer buffer(vec({1, 2, 3}));
        buffer.pos = 2;
        quint16 value = 0xFFFF;
        buffer >> value;
        QCOMPARE(value, quint16(0));
        QVERIFY(!buffer.ok);
        QCOMPARE(buffer.pos, 2);

        buffer << quint32(0xDEADBEEF);
        QCOMPARE(buffer.bytes, vec({1, 2, 3}));

        ByteBuffer negative(vec({1, 2, 3, 4}));
        negative.pos = -1;
        quint32 wide = 7;
        negative >> wide;
        QCOMPARE(wide, quint32(0));
        QVERIFY(!negative.ok);

        // Once failed, always failed: one check after a run of reads is enough.
        ByteBuffer sticky(vec({1}));
        quint16 first = 0;
        quint8 second = 0;
        sticky >> first;
        sticky.pos = 0;
        sticky >> second;
        QCOMPARE(second, quint8(1));
        QVERIFY(!sticky.ok);
    }
};

class NarcWriterTest : public QObject
{
    Q_OBJECT
private slots:
    void emptyArchiveIs52Bytes()
    {
        Narc narc = archiveOf({});
        const QByteArray out = serializeNarc(narc);
        QCOMPARE(out.size(), 52);
        QCOMPARE(narc.fatSize, 12);
        QCOMPARE(narc.imgSize, 8);
        QCOMPARE(narc.fileSize, 52);
        QCOMPARE(u32(out, 8), quint32(52));
        QCOMPARE(out, buildNarcBytes({}));
    }

    void newArchiveIsTheUsualEmptyLayout()
    {
        Narc narc = newNarc();
        QCOMPARE(serializeNarc(narc), buildNarcBytes({}));
    }

    void entriesArePaddedAndOffsetsRecomputed()
    {
        Narc narc = archiveOf({});
        narc.files = {entryOf("abcde"), NarcEntry(), entryOf("12345678")};
        narc.fileCount = 3;
        const QByteArray out = serializeNarc(narc);
        QCOMPARE(narc.fileStarts, QVector<int>({0, 8, 8}));
        QCOMPARE(narc.fileEnds, QVector<int>({5, 8, 16}));
        QCOMPARE(narc.imgSize, 24);
        QCOMPARE(narc.fatSize, 36);
        QCOMPARE(narc.fileSize, 92);
        QCOMPARE(out.size(), 92);
        QCOMPARE(out.mid(76), QByteArray("abcde\0\0\0" "12345678", 16));
        QCOMPARE(out, buildNarcBytes({"abcde", "", "12345678"}));
    }

    void growingEntryShiftsEveryLaterOffset()
    {
        Narc narc = archiveOf({"abcd", "efgh", "ijkl"});
        const QByteArray before = serializeNarc(narc);
        narc.files[1] += entryOf("123456");
        const QByteArray after = serializeNarc(narc);
        QCOMPARE(narc.fileStarts, QVector<int>({0, 4, 16}));
        QCOMPARE(narc.fileEnds, QVector<int>({4, 14, 20}));
        QCOMPARE(after.size(), before.size() + 8);
        QCOMPARE(u32(after, 8), u32(before, 8) + 8);
        QCOMPARE(after, buildNarcBytes({"abcd", "efgh123456", "ijkl"}));
    }

    void canonicalArchiveRoundTripsByteForByte()
    {
        const QByteArray original = buildNarcBytes({"\x02\x00\x01", "", QByteArray(1000, 'x'), "abcdefg"});
        NarcRead read = readNarc(original);
        QVERIFY2(read.ok(), qPrintable(read.error));
        QCOMPARE(read.narc.fileCount, quint32(4));
        QCOMPARE(bytesOf(read.narc.files[2]), QByteArray(1000, 'x'));
        QCOMPARE(serializeNarc(read.narc), original);

        // The stream forms give the same bytes.
        QByteArray streamed;
        QDataStream out(&streamed, QIODevice::WriteOnly);
        out << read.narc;
        QCOMPARE(streamed, original);
        QDataStream in(original);
        Narc again;
        in >> again;
        QCOMPARE(in.status(), QDataStream::Ok);
        QCOMPARE(again.files, read.narc.files);
    }

    void nonZeroPaddingComesBackAsZeros()
    {
        const QByteArray padded = buildNarcBytes({"abcde", "xy"}, QByteArray(), char(0xFF));
        NarcRead read = readNarc(padded);
        QVERIFY(read.ok());
        QCOMPARE(bytesOf(read.narc.files[0]), QByteArray("abcde"));
        QCOMPARE(serializeNarc(read.narc), buildNarcBytes({"abcde", "xy"}));
    }

    void nameTableIsKeptWhateverItsSize()
    {
        // A root entry padded with 0xFF (20-byte block), and a table holding names.
        const QByteArray padded = plainNameTable() + QByteArray(4, char(0xFF));
        const QByteArray named = QByteArray("\x08\x00\x00\x00\x00\x00\x01\x00\x05hello\x05world\x00\x00", 22);
        for (const QByteArray &table : {padded, named}) {
            const QByteArray original = buildNarcBytes({"one", "two!"}, table);
            NarcRead read = readNarc(original);
            QVERIFY2(read.ok(), qPrintable(read.error));
            QCOMPARE(read.narc.fntSize, 8 + int(table.size()));
            QCOMPARE(bytesOf(read.narc.files[0]), QByteArray("one"));
            QCOMPARE(bytesOf(read.narc.files[1]), QByteArray("two!"));
            QCOMPARE(serializeNarc(read.narc), original);
        }
    }

    void writeToReportsAShortDevice()
    {
        Narc narc = archiveOf({"abcd"});
        QBuffer readOnly;
        readOnly.open(QIODevice::ReadOnly);
        QString error;
        QVERIFY(!narc.writeTo(&readOnly, 0, &error));
        QVERIFY(!error.isEmpty());
    }
};

class NarcReaderTest : public QObject
{
    Q_OBJECT
private slots:
    void entriesAreReadFromTheirOwnStart()
    {
        // Entry 1 stored before entry 0, with a gap: each is taken from its offset.
        QByteArray bytes = buildNarcBytes({"AAAA", "BBBBBBBB"});
        const int table = 0x1C;
        putU32(bytes, table + 0, 8);
        putU32(bytes, table + 4, 12);
        putU32(bytes, table + 8, 0);
        putU32(bytes, table + 12, 6);
        NarcRead read = readNarc(bytes);
        QVERIFY2(read.ok(), qPrintable(read.error));
        QCOMPARE(bytesOf(read.narc.files[0]), QByteArray("BBBB"));
        QCOMPARE(bytesOf(read.narc.files[1]), QByteArray("AAAABB"));
    }

    void malformedInputIsRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        const QByteArray good = buildNarcBytes({"abcdef", "gh"});
        const int fatCount = 0x18;
        const int firstEnd = 0x20;
        const int fnt = 0x10 + 12 + 16;

        QTest::newRow("empty file") << QByteArray() << "NARC";
        QTest::newRow("text file") << QByteArray("hello world, this is not an archive") << "NARC";
        QByteArray header = good;
        header[12] = 0x14;
        QTest::newRow("header size 20") << header << "header size";
        QByteArray noFat = good;
        noFat[0x10] = 'X';
        QTest::newRow("no BTAF") << noFat << "BTAF";
        QByteArray noFnt = good;
        noFnt[fnt] = 'X';
        QTest::newRow("no BTNF") << noFnt << "BTNF";
        QByteArray noImg = good;
        noImg[fnt + 16] = 'X';
        QTest::newRow("no GMIF") << noImg << "GMIF";
        QByteArray hugeCount = good;
        putU32(hugeCount, fatCount, 0xFFFFFFFF);
        QTest::newRow("count 0xFFFFFFFF") << hugeCount << "allocation table";
        QByteArray hugeFat = good;
        putU32(hugeFat, 0x14, 0x7FFFFFF0);
        QTest::newRow("table size past the end") << hugeFat << "allocation table";
        QByteArray backwards = good;
        putU32(backwards, firstEnd, 0);
        putU32(backwards, firstEnd - 4, 4);
        QTest::newRow("end below start") << backwards << "ends before";
        QByteArray outside = good;
        putU32(outside, firstEnd, 0x10000);
        QTest::newRow("end outside the file") << outside << "outside";
        QByteArray farStart = good;
        putU32(farStart, firstEnd - 4, 0xFFFFFFF0);
        putU32(farStart, firstEnd, 0xFFFFFFFF);
        QTest::newRow("start and end far outside") << farStart << "outside";
        QByteArray hugeNames = good;
        putU32(hugeNames, fnt + 4, 0xFFFFFFFF);
        QTest::newRow("name table past the end") << hugeNames << "name table";
        QByteArray tinyNames = good;
        putU32(tinyNames, fnt + 4, 4);
        QTest::newRow("name table shorter than its head") << tinyNames << "name table";
    }

    void malformedInputIsRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        NarcRead read = readNarc(bytes);
        QVERIFY(!read.ok());
        QVERIFY2(read.error.contains(reason), qPrintable(read.error));
        QCOMPARE(read.narc.fileCount, quint32(0));
        QVERIFY(read.narc.files.isEmpty());
    }

    void everyTruncationIsRefusedOrComplete()
    {
        const QByteArray good = buildNarcBytes({"abcdef", "", "ghijklmnopq"});
        int accepted = 0;
        for (int length = 0; length < good.size(); ++length) {
            NarcRead read = readNarc(good.left(length));
            // The device reader, which fetches only what it needs, agrees.
            QByteArray cut = good.left(length);
            QBuffer device(&cut);
            device.open(QIODevice::ReadOnly);
            const NarcRead fromDevice = readNarc(&device);
            QCOMPARE(fromDevice.error, read.error);
            QCOMPARE(fromDevice.narc.files, read.narc.files);
            if (read.ok()) {
                // Only the last entry's padding may be missing.
                ++accepted;
                QCOMPARE(read.narc.files.size(), 3);
                QCOMPARE(bytesOf(read.narc.files[2]), QByteArray("ghijklmnopq"));
            }
        }
        QCOMPARE(accepted, 1);
        QVERIFY(readNarc(good).ok());
    }

    void deviceConstructorReadsFromAPositionAndReportsErrors()
    {
        const QByteArray archive = buildNarcBytes({"abcd"});
        QByteArray withPrefix = QByteArray("junk") + archive;
        QBuffer device(&withPrefix);
        device.open(QIODevice::ReadOnly);
        QString error = "stale";
        Narc narc(&device, 4, &error);
        QVERIFY(error.isEmpty());
        QCOMPARE(narc.fileCount, quint32(1));

        device.seek(0);
        Narc refused(&device, 0, &error);
        QVERIFY(error.contains("NARC"));
        QCOMPARE(refused.fileCount, quint32(0));
    }
};

class NarcFileTest : public QObject
{
    Q_OBJECT
private slots:
    void savesAndLoadsThroughTheFileSystem()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("a.narc");
        QVERIFY(writeFileBytes(path, buildNarcBytes({"abc"})));
        NarcRead read = loadNarcFile(path);
        QVERIFY(read.ok());
        read.narc.files[0] = entryOf("abcdefgh");
        QString error;
        QVERIFY(saveNarcFile(read.narc, path, &error));
        QCOMPARE(readFileBytes(path), buildNarcBytes({"abcdefgh"}));

        NarcRead missing = loadNarcFile(dir.filePath("missing.narc"));
        QVERIFY(!missing.ok());
        QVERIFY(missing.error.contains("cannot open"));
    }

    void failedSaveLeavesNothingBehind()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("plain");
        QVERIFY(writeFileBytes(file, "not a directory"));
        Narc narc = archiveOf({"abcd"});
        QString error;
        QVERIFY(!saveNarcFile(narc, file + "/below.narc", &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(readFileBytes(file), QByteArray("not a directory"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList({"plain"}));
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int status = 0;
    ByteBufferTest buffer;
    NarcWriterTest writer;
    NarcReaderTest reader;
    NarcFileTest files;
    status |= QTest::qExec(&buffer, argc, argv);
    status |= QTest::qExec(&writer, argc, argv);
    status |= QTest::qExec(&reader, argc, argv);
    status |= QTest::qExec(&files, argc, argv);
    return status;
}

#include "test_narc.moc"
