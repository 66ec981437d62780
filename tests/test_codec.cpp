// The escaped syntax, line scrambling, the section layout, decoding, and
// composing edited text back into a message file.

#include "codec/compose.h"
#include "codec/decode.h"
#include "codec/encode.h"
#include "codec/escape.h"
#include "codec/messagefile.h"
#include "messagefixture.h"

#include <QRandomGenerator>
#include <QTest>

using Units = QVector<quint16>;
using Status = ComposeResult::Status;

namespace {

QString esc(const char *hex)
{
    return QStringLiteral("\\x") + QLatin1String(hex);
}

// Two sections of three lines that need escapes: a 20-byte head, section 0 at
// 20, its line table at 24.
NarcEntry sample()
{
    const FixtureSection first{fixtureLine("Hello\\{}", 0x0102, 7), {{'a', 0xFFFF, 'b', 0xD800}, 0xFEDC, 0},
                               {{0xFEFF, 0x2028, 0x000A, 0xF000}, 0x5555, 1}};
    const FixtureSection second{fixtureLine("x", 1, 2), fixtureLine("", 3, 4), fixtureLine("\U0001F600", 5, 6)};
    return buildMessageFile({first, second}, 0xCAFEF00D);
}

// The sample with `width` bytes at `at` set to `value`.
NarcEntry patched(int at, quint32 value, int width = 4)
{
    NarcEntry entry = sample();
    for (int b = 0; b < width; ++b)
        entry[at + b] = char(value >> (8 * b));
    return entry;
}

} // namespace

class TestCodec : public QObject
{
    Q_OBJECT

private slots:
    // Parsing `text` gives `units`, whose escaped form is `shown`.
    void escapedSyntax_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Units>("units");
        QTest::addColumn<QString>("shown");
        const auto both = [](const char *name, const Units &units, const QString &text) {
            QTest::newRow(name) << text << units << text;
        };
        both("0x0014 escaped, 0x0015 not", {0x14, 0x15, 0x0A}, esc("0014") + QChar(0x15) + esc("000a"));
        both("0xfff0..0xfffe, assigned or not", {0xFFEE, 0xFFF0, 0xFFF1, 0xFFF9, 0xFFFD, 0xFFFE},
             QChar(0xFFEE) + esc("fff0") + esc("fff1") + esc("fff9") + esc("fffd") + esc("fffe"));
        both("0xf000, not its neighbours", {0xEFFF, 0xF000, 0xF001}, QChar(0xEFFF) + esc("f000") + QChar(0xF001));
        both("unassigned, backslash", {0x0378, 'a', 0x5C}, esc("0378") + "a" + esc("005c"));
        both("interior 0xffff", {'a', 0xFFFF, 0xFFFF, 'b'}, "a" + esc("ffff") + esc("ffff") + "b");
        both("0xfeff 0x2028 0x2029", {0xFEFF, 0x2028, 0x2029}, esc("feff") + esc("2028") + esc("2029"));
        both("surrogate pair", {0xD83D, 0xDE00}, QStringLiteral("\U0001F600"));
        both("lone surrogates", {0xDC00, 0xD800, 'a', 0xD800, 0xD801, 0xDC01, 0xDBFF},
             esc("dc00") + esc("d800") + "a" + esc("d800") + QChar(0xD801) + QChar(0xDC01) + esc("dbff"));
        both("empty", {}, QString());
        QTest::newRow("upper hex") << "\\xF000" << Units{0xF000} << esc("f000");
        QTest::newRow("second char unexamined") << "\\q000a\\X000A" << Units{0x0A, 0x0A} << esc("000a") + esc("000a");
        QTest::newRow("bad number is 0, six chars used") << "\\xzzzzb" << Units{0, 'b'} << esc("0000") + "b";
        QTest::newRow("backslash before {") << "\\x{41}" << Units{0x5C, 'x', '{', '4', '1', '}'}
                                            << esc("005c") + "x{41}";
        QTest::newRow("lone backslash at end") << "a\\" << Units{'a', 0} << "a" + esc("0000");
        QTest::newRow("cut short at end") << "\\x" << Units{0} << esc("0000");
        QTest::newRow("cut short after a digit") << "a\\x00a" << Units{'a', 0} << "a" + esc("0000");
    }

    void escapedSyntax()
    {
        QFETCH(QString, text);
        QFETCH(Units, units);
        QFETCH(QString, shown);
        QCOMPARE(parseEscapedLine(text), units);
        QCOMPARE(escapeLineText(units.constData(), int(units.size())), shown);
    }

    void layout()
    {
        // Keys 0 (units stored plain) and attributes 1, 2, 3.
        const auto block = [](const QStringList &lines) {
            const EncodedSection encoded =
                encodeSection(lines + QStringList{"extra"}, int(lines.size()), {0, 0, 0}, {1, 2, 3});
            return QByteArray(encoded.block.constData(), encoded.block.size()).toHex();
        };
        QCOMPARE(block({"abcd", "", "xyz"}), QByteArray("30000000" "1c000000" "05000100" "26000000" "01000200"
                                                        "28000000" "04000300" "6100620063006400ffff" "ffff"
                                                        "780079007a00ffff"));
        QCOMPARE(block({"a", ""}),
                 QByteArray("1c000000" "14000000" "02000100" "18000000" "02000200" "6100ffff" "ffffffff"));
        QCOMPARE(block({}), QByteArray("04000000"));
    }

    void scramblingAndNewFiles()
    {
        // Keys 0x1234, 0x91a0, 0x8d04 for units 'a', 'b' and the terminator.
        const Units ab{0x1255, 0x91C2, 0x72FB};
        QCOMPARE(encodeLine("ab", 0x1234), ab);
        const NarcEntry single = buildMessageFile(QList<FixtureSection>{{fixtureLine("ab", 0x1234)}});
        QCOMPARE((Units{entryU16(single, 28), entryU16(single, 30), entryU16(single, 32)}), ab);
        QCOMPARE(decodeMessageSection(single, 0).lineKeys, QList<quint16>{0x1234});

        const QList<QStringList> text = {{"abc", "", "\u3042"}, {"x", "y", ""}};
        const QList<QList<quint16>> keys{{fixtureKey(0, 0), fixtureKey(0, 1), fixtureKey(0, 2)},
                                         {fixtureKey(1, 0), fixtureKey(1, 1), fixtureKey(1, 2)}};
        QCOMPARE(newMessageFile(text, keys).entry, buildMessageFile(text));
        QVERIFY(!newMessageFile({{"a"}, {"b", "c"}}, {{1}, {1, 2}}).ok());
        QVERIFY(!newMessageFile({{"a", "b"}}, {{1}}).ok());
        // At most 65535 units a line, terminator and padding included.
        QVERIFY(newMessageFile({{QString(65534, u'a'), ""}}, {{1, 2}}).ok());
        QVERIFY(!newMessageFile({{QString(65535, u'a'), ""}}, {{1, 2}}).ok());
        QVERIFY(!newMessageFile({{QString(65534, u'a')}}, {{1}}).ok());
    }

    // Decoding any stored lines finds their keys, and composing them unedited gives
    // back the same bytes (attributes included); a missing section changes nothing.
    void decodeThenComposeIsIdentity()
    {
        QRandomGenerator random(20240601);
        for (int round = 0; round < 3000; ++round) {
            const QList<FixtureSection> sections =
                round == 0 ? QList<FixtureSection>(3) : randomSections(random, 1 + random.bounded(3), 6, 10);
            const NarcEntry entry = buildMessageFile(sections);
            for (int s = -1; s <= sections.size(); ++s) {
                const bool present = s >= 0 && s < sections.size();
                const DecodedSection decoded = decodeMessageSection(entry, s);
                QVERIFY2(decoded.error.isEmpty(), qPrintable(decoded.error));
                QCOMPARE(decoded.lines.size(), present ? sections.at(s).size() : 0);
                for (int i = 0; i < decoded.lines.size(); ++i)
                    QCOMPARE(decoded.lineKeys.at(i), sections.at(s).at(i).key);
                const ComposeResult result = composeEntry(entry, decoded.lines.join(u'\n'), 0, s);
                QCOMPARE(result.status, present ? Status::Replaced : Status::NoSuchSection);
                QVERIFY2(result.entry == entry, qPrintable(decoded.lines.join(u'|')));
            }
        }
    }

    void composing()
    {
        QCOMPARE(splitEditedText("a\r\nb\nc\rd"), (QStringList{"a", "b\nc\rd"}));
        QCOMPARE(splitEditedText("a\rb\nc"), (QStringList{"a", "b\nc"}));
        QCOMPARE(splitEditedText("a\n\nb\n"), (QStringList{"a", "", "b", ""}));
        QCOMPARE(splitEditedText(""), QStringList{""});

        // Section 0 grows: section 1 moves, offsets 4 and 16 follow.
        const NarcEntry entry = sample();
        const NarcEntry out = composeEntry(entry, "a much longer first line\r\n\r\n\\x0041\nb", 3, 0).entry;
        const quint32 size = entryU32(out, 20);
        QCOMPARE((QList<quint32>{entryU32(out, 4), entryU32(out, 8), entryU32(out, 12), entryU32(out, 16)}),
                 (QList<quint32>{size, 0xCAFEF00D, 20, 20 + size}));
        QCOMPARE(out.mid(20 + size), entry.mid(entryU32(entry, 16)));
        QCOMPARE(decodeMessageSection(out, 0).lines,
                 (QStringList{"a much longer first line", "", "A" + esc("000a") + "b"}));

        const NarcEntry second = composeEntry(entry, "1\n2\n3\n4", 3, 1).entry;
        const quint32 at = entryU32(entry, 16);
        QCOMPARE(second.first(at), entry.first(at));
        QCOMPARE(decodeMessageSection(second, 1).lines, (QStringList{"1", "2", "3"}));

        QCOMPARE(composeEntry(entry, "a\nb", 42, 1).report, "Skipping 0001/0042 due to too few lines");
        QCOMPARE(composeEntry(entry, "", 12345, 0).report, "Skipping 0000/12345 due to too few lines");
        const ComposeResult tooLong = composeEntry(entry, "a\n" + QString(70000, u'z') + "\nc", 3, 0);
        QCOMPARE(tooLong.status, Status::LineTooLong);
        QCOMPARE(tooLong.report, "Skipping 0000/0003: line 2 is too long (70001 units, at most 65535)");
        QVERIFY(tooLong.entry == entry);
    }

    // Bytes before section 0 stay; gaps between blocks and trailing bytes go.
    void unusualLayout()
    {
        const NarcEntry canonical = buildMessageFile(QList<QStringList>{{"a"}, {"bb"}, {"ccc"}});
        NarcEntry entry = canonical.first(24) + NarcEntry{'G', 'A', 'P', '!'};
        for (int s = 0; s < 3; ++s) {
            for (int b = 0; b < 4; ++b)
                entry[12 + 4 * s + b] = char(entry.size() >> (8 * b));
            const quint32 at = entryU32(canonical, 12 + 4 * s);
            entry += canonical.mid(at, entryU32(canonical, at)) + NarcEntry(4, 'x');
        }
        const ComposeResult result = composeEntry(entry, "middle", 9, 1);
        QVERIFY(result.changed());
        QCOMPARE(result.entry.mid(24, 4), (NarcEntry{'G', 'A', 'P', '!'}));
        for (int s = 0; s < 3; ++s)
            QCOMPARE(decodeMessageSection(result.entry, s).lines, QStringList(QStringList{"a", "middle", "ccc"}.at(s)));
        const quint32 last = entryU32(result.entry, 20);
        QCOMPARE(qint64(last + entryU32(result.entry, last)), result.entry.size());

        // Section 1 on top of section 0 cannot be laid out again.
        QCOMPARE(composeEntry(patched(16, 20), "a\nb\nc", 3, 1).status, Status::Malformed);
    }

    void malformed_data()
    {
        QTest::addColumn<NarcEntry>("entry");
        QTest::newRow("head cut short") << sample().first(11);
        QTest::newRow("offset table cut short") << sample().first(19);
        QTest::newRow("section offset past the end") << patched(12, 0x7FFFFFF0);
        QTest::newRow("block size past the end") << patched(20, 0xFFFFFFF0);
        QTest::newRow("block smaller than its table") << patched(20, 8);
        QTest::newRow("line offset past the block") << patched(24, 0xFFFFFFFE);
        QTest::newRow("line length past the block") << patched(28, 0xFFFF, 2);
        QTest::newRow("line length 0") << patched(28, 0, 2);
        QTest::newRow("line count past the end") << patched(2, 0xFFFF, 2);
    }

    void malformed()
    {
        QFETCH(NarcEntry, entry);
        const DecodedSection decoded = decodeMessageSection(entry, 0);
        QVERIFY(!decoded.error.isEmpty() && decoded.lines.isEmpty() && decoded.lineKeys.isEmpty());
        const ComposeResult result = composeEntry(entry, "a\nb\nc", 3, 0);
        QCOMPARE(result.status, Status::Malformed);
        QVERIFY2(result.report.startsWith("Skipping 0000/0003: the message file cannot be read ("),
                 qPrintable(result.report));
        QVERIFY(result.entry == entry);
    }

    // Every cut of an entry, then cut and scrambled ones: no crash, no read
    // outside, results stay consistent.
    void hostileEntries()
    {
        const NarcEntry valid = sample();
        QRandomGenerator random(4242);
        for (int round = 0; round < 6000; ++round) {
            const bool cut = round < valid.size();
            NarcEntry entry = valid.first(cut ? round : random.bounded(int(valid.size()) + 1));
            for (int flips = cut ? 0 : random.bounded(5); flips > 0 && !entry.isEmpty(); --flips)
                entry[random.bounded(int(entry.size()))] = char(random.bounded(random.bounded(2) ? 4 : 256));
            for (int s = -1; s < 4; ++s) {
                const DecodedSection decoded = decodeMessageSection(entry, s);
                QCOMPARE(decoded.lineKeys.size(), decoded.lines.size());
                QCOMPARE(decoded.lineAttributes.size(), decoded.lines.size());
                QVERIFY(decoded.error.isEmpty() || decoded.lines.isEmpty());
                const ComposeResult result = composeEntry(entry, "a\nb\nc\nd", 5, s);
                if (result.changed())
                    QVERIFY(decodeMessageSection(result.entry, s).error.isEmpty());
                else
                    QVERIFY(result.entry == entry);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestCodec)
#include "test_codec.moc"
