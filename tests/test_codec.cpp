// The escaped syntax, line scrambling, the section layout and decode/encode
// round trips.

#include "codec/decode.h"
#include "codec/encode.h"
#include "codec/escape.h"
#include "codec/messagefile.h"
#include "messagefixture.h"

#include <QRandomGenerator>
#include <QTest>

using Units = QVector<quint16>;

namespace {

QString esc(const char *hex)
{
    return QStringLiteral("\\x") + QLatin1String(hex);
}

// The block of section `section` of a canonical fixture entry.
NarcEntry blockOf(const NarcEntry &entry, int section)
{
    const quint32 offset = entryU32(entry, 12 + 4 * section);
    return entry.mid(offset, entryU32(entry, offset));
}

} // namespace

class TestCodec : public QObject
{
    Q_OBJECT

private slots:
    void newMessageFileMatchesTheFixture()
    {
        const QList<QStringList> text = {{"ab", "", "\u3042"}, {"x", "yz", ""}};
        QList<QList<quint16>> keys;
        for (int s = 0; s < 2; ++s)
            keys.append({fixtureKey(s, 0), fixtureKey(s, 1), fixtureKey(s, 2)});
        const NewMessageFile file = newMessageFile(text, keys);
        QVERIFY(file.ok());
        QCOMPARE(file.entry, buildMessageFile(text));

        QVERIFY(!newMessageFile({{"a"}, {"b", "c"}}, {{1}, {1, 2}}).ok());
        QVERIFY(!newMessageFile({{"a", "b"}}, {{1}}).ok());
        QVERIFY(!newMessageFile({{QString(70000, QLatin1Char('z'))}}, {{1}}).ok());
    }

    void escapeTable_data()
    {
        QTest::addColumn<Units>("units");
        QTest::addColumn<QString>("text");
        QTest::newRow("0x0014 escaped") << Units{0x14} << esc("0014");
        QTest::newRow("0x0015 plain") << Units{0x15} << QString(QChar(0x15));
        QTest::newRow("0x0000") << Units{0x0} << esc("0000");
        QTest::newRow("0x000a lowercase zero padded") << Units{0x0A} << esc("000a");
        QTest::newRow("0xffee plain") << Units{0xFFEE} << QString(QChar(0xFFEE));
        QTest::newRow("0xfff0 unassigned") << Units{0xFFF0} << esc("fff0");
        QTest::newRow("0xfff1..0xfffe, assigned or not")
            << Units{0xFFF1, 0xFFF9, 0xFFFD, 0xFFFE} << esc("fff1") + esc("fff9") + esc("fffd") + esc("fffe");
        QTest::newRow("0xf000 but not its neighbours")
            << Units{0xEFFF, 0xF000, 0xF001} << QChar(0xEFFF) + esc("f000") + QChar(0xF001);
        QTest::newRow("unassigned 0x0378") << Units{0x0378} << esc("0378");
        QTest::newRow("backslash") << Units{'a', 0x5C, 'x'} << "a" + esc("005c") + "x";
        QTest::newRow("interior 0xffff") << Units{'a', 0xFFFF, 0xFFFF, 'b'} << "a" + esc("ffff") + esc("ffff") + "b";
        QTest::newRow("0xfeff 0x2028 0x2029") << Units{0xFEFF, 0x2028, 0x2029} << esc("feff") + esc("2028") + esc("2029");
        QTest::newRow("surrogate pair") << Units{0xD83D, 0xDE00} << QStringLiteral("\U0001F600");
        QTest::newRow("lone high at end") << Units{'a', 0xD800} << "a" + esc("d800");
        QTest::newRow("high then plain") << Units{0xDBFF, 'a'} << esc("dbff") + "a";
        QTest::newRow("low then high") << Units{0xDC00, 0xD800} << esc("dc00") + esc("d800");
        QTest::newRow("two highs then low") << Units{0xD800, 0xD801, 0xDC01} << esc("d800") + QChar(0xD801) + QChar(0xDC01);
    }

    void escapeTable()
    {
        QFETCH(Units, units);
        QFETCH(QString, text);
        QCOMPARE(escapeLineText(units.constData(), int(units.size())), text);
        QCOMPARE(parseEscapedLine(text), units);
    }

    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Units>("units");
        QTest::newRow("plain") << QStringLiteral("ab") << Units{'a', 'b'};
        QTest::newRow("empty") << QString() << Units{};
        QTest::newRow("upper hex") << QStringLiteral("\\xF000") << Units{0xF000};
        QTest::newRow("second char unexamined") << QStringLiteral("\\q000a\\X000A") << Units{0x0A, 0x0A};
        QTest::newRow("bad number is 0, six chars used") << QStringLiteral("\\xzzzzb") << Units{0, 'b'};
        QTest::newRow("backslash before {") << QStringLiteral("\\x{41}") << Units{0x5C, 'x', '{', '4', '1', '}'};
        QTest::newRow("lone backslash at end") << QStringLiteral("a\\") << Units{'a', 0};
        QTest::newRow("backslash x at end") << QStringLiteral("\\x") << Units{0};
        QTest::newRow("short escape at end") << QStringLiteral("\\x1f") << Units{0};
        QTest::newRow("short escape then nothing") << QStringLiteral("a\\x00a") << Units{'a', 0};
        QTest::newRow("outside the BMP") << QStringLiteral("\U0001F600") << Units{0xD83D, 0xDE00};
    }

    void parse()
    {
        QFETCH(QString, text);
        QFETCH(Units, units);
        QCOMPARE(parseEscapedLine(text), units);
    }

    void scrambling()
    {
        // k0 = 0x1234, k1 = 0x91a0, k2 = 0x8d04.
        QCOMPARE(encodeLine(QStringLiteral("ab"), 0x1234), (Units{0x1255, 0x91C2, 0x72FB}));
    }

    void layout_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QList<quint32>>("offsets");
        QTest::addColumn<QList<quint16>>("lengths");
        QTest::addColumn<quint32>("blockSize");
        QTest::newRow("5+1+4 units") << QStringList{"abcd", "", "xyz"} << QList<quint32>{28, 38, 40}
                                     << QList<quint16>{5, 1, 4} << 48u;
        QTest::newRow("odd total pads the last line") << QStringList{"a", ""} << QList<quint32>{20, 24}
                                                      << QList<quint16>{2, 2} << 28u;
        QTest::newRow("no lines") << QStringList{} << QList<quint32>{} << QList<quint16>{} << 4u;
    }

    void layout()
    {
        QFETCH(QStringList, lines);
        QFETCH(QList<quint32>, offsets);
        QFETCH(QList<quint16>, lengths);
        QFETCH(quint32, blockSize);
        QList<quint16> keys, attributes;
        for (int i = 0; i < lines.size(); ++i) {
            keys << quint16(0x1111 * (i + 1));
            attributes << quint16(100 + i);
        }
        const EncodedSection encoded = encodeSection(lines + QStringList{"ignored"}, int(lines.size()), keys, attributes);
        QVERIFY(encoded.ok());
        QCOMPARE(quint32(encoded.block.size()), blockSize);
        QCOMPARE(entryU32(encoded.block, 0), blockSize);
        for (int i = 0; i < lines.size(); ++i) {
            QCOMPARE(entryU32(encoded.block, 4 + 8 * i), offsets.at(i));
            QCOMPARE(entryU16(encoded.block, 8 + 8 * i), lengths.at(i));
            QCOMPARE(entryU16(encoded.block, 10 + 8 * i), attributes.at(i));
        }
        // The padding unit is a 0xFFFF scrambled with the key of its position.
        if (QTest::currentDataTag() == QByteArray("odd total pads the last line"))
            QCOMPARE(entryU16(encoded.block, 26), quint16(~rotateKeyLeft(0x2222)));
    }

    void encodeRefuses_data()
    {
        QTest::addColumn<QList<int>>("textUnits");
        QTest::addColumn<int>("badLine");
        QTest::newRow("65534 + terminator fits") << QList<int>{65534, 0} << -1;
        QTest::newRow("65535 + terminator") << QList<int>{0, 65535, 0} << 1;
        QTest::newRow("padding makes the last line too long") << QList<int>{65534} << 0;
    }

    void encodeRefuses()
    {
        QFETCH(QList<int>, textUnits);
        QFETCH(int, badLine);
        QStringList lines;
        for (const int n : textUnits)
            lines << QString(n, QChar(u'a'));
        const QList<quint16> zeros(lines.size(), 0);
        const EncodedSection encoded = encodeSection(lines, int(lines.size()), zeros, zeros);
        QCOMPARE(encoded.badLine, badLine);
        QCOMPARE(encoded.ok(), badLine < 0);
        QCOMPARE(encoded.block.isEmpty(), badLine >= 0);
        if (badLine >= 0)
            QVERIFY(encoded.error.contains(QStringLiteral("line %1 is too long").arg(badLine + 1)));
    }

    void encodeNeedsEnoughInput()
    {
        QVERIFY(!encodeSection({"a"}, 2, {0, 0}, {0, 0}).ok());
        QVERIFY(!encodeSection({"a", "b"}, 2, {0}, {0, 0}).ok());
        QVERIFY(!encodeSection({"a", "b"}, 2, {0, 0}, {0}).ok());
    }

    // Any stored lines decode to text that encodes back to the same bytes.
    void roundTripRandom()
    {
        QRandomGenerator random(20240601);
        for (int round = 0; round < 3000; ++round) {
            const QList<FixtureSection> sections = randomSections(random, 1 + random.bounded(3), 6, 10);
            const NarcEntry entry = buildMessageFile(sections);
            for (int s = 0; s < sections.size(); ++s) {
                const DecodedSection decoded = decodeMessageSection(entry, s);
                QVERIFY2(decoded.error.isEmpty(), qPrintable(decoded.error));
                QCOMPARE(decoded.lines.size(), sections.at(s).size());
                for (int i = 0; i < decoded.lines.size(); ++i) {
                    QCOMPARE(decoded.lineKeys.at(i), sections.at(s).at(i).key);
                    QCOMPARE(decoded.lineAttributes.at(i), sections.at(s).at(i).attribute);
                }
                const EncodedSection encoded = encodeSection(decoded.lines, int(decoded.lines.size()),
                                                             decoded.lineKeys, decoded.lineAttributes);
                QVERIFY2(encoded.block == blockOf(entry, s), qPrintable(decoded.lines.join(u'|')));
            }
        }
    }

    // Plain text that ends in 0xFFFF is kept apart from terminator and padding.
    void trailingFfffIsText()
    {
        // 3 + 2 + 2 units: the last line is padded, and its second 0xFFFF is that.
        FixtureSection lines{{{'a', 0xFFFF}, 1, 0}, {{0xFFFF}, 2, 0}, {{'b'}, 3, 0}};
        const DecodedSection decoded = decodeMessageSection(buildMessageFile({lines}), 0);
        QCOMPARE(decoded.lines, (QStringList{"a" + esc("ffff"), esc("ffff"), "b"}));
    }

    void decodeMissingSection()
    {
        const NarcEntry entry = buildMessageFile(QList<QStringList>{{"a"}, {"b"}});
        for (const int section : {-1, 2, 7}) {
            const DecodedSection decoded = decodeMessageSection(entry, section);
            QVERIFY(decoded.lines.isEmpty() && decoded.error.isEmpty());
        }
    }

    void decodeMalformed_data()
    {
        QTest::addColumn<int>("at");    // byte to patch, or -1 to cut the entry at `value`
        QTest::addColumn<quint32>("value");
        // Two sections of two lines: head 20 bytes, section 0 at 20, its table at 24.
        QTest::newRow("head cut short") << -1 << 11u;
        QTest::newRow("offset table past the end") << -1 << 19u;
        QTest::newRow("section offset past the end") << 12 << 0x7FFFFFF0u;
        QTest::newRow("block size past the end") << 20 << 0xFFFFFFF0u;
        QTest::newRow("block smaller than its table") << 20 << 8u;
        QTest::newRow("line offset past the block") << 24 << 0xFFFFFFFEu;
        QTest::newRow("line length past the block") << 28 << 0xFFFFu;
        QTest::newRow("line length 0") << 28 << 0u;
        QTest::newRow("line count past the end") << 2 << 0xFFFFu;
    }

    void decodeMalformed()
    {
        QFETCH(int, at);
        QFETCH(quint32, value);
        NarcEntry entry = buildMessageFile(QList<QStringList>{{"ab", "c"}, {"d", "e"}});
        if (at < 0) {
            entry.resize(value);
        } else {
            const int width = at == 28 || at == 2 ? 2 : 4;
            for (int b = 0; b < width; ++b)
                entry[at + b] = char(value >> (8 * b));
        }
        const DecodedSection decoded = decodeMessageSection(entry, 0);
        QVERIFY(!decoded.error.isEmpty());
        QVERIFY(decoded.lines.isEmpty() && decoded.lineKeys.isEmpty() && decoded.lineAttributes.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCodec)
#include "test_codec.moc"
