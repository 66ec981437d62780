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

using namespace core;

using Units = QVector<quint16>;
using Status = ComposeResult::Status;

static QString esc(const char *hex)
{
    return QStringLiteral("\\x") + QLatin1String(hex);
}

// Two sections of three lines that need escapes: a 20-byte head, section 0 at
// 20, its line table at 24.
static NarcEntry sample()
{
    const FixtureSection first{fixtureLine("Hello\\{}", 0x0102, 7), {{'a', 0xFFFF, 'b', 0xD800}, 0xFEDC, 0},
                               {{0xFEFF, 0x2028, 0x000A, 0xF000}, 0x5555, 1}};
    const FixtureSection second{fixtureLine("x", 1, 2), fixtureLine("", 3, 4), fixtureLine("\U0001F600", 5, 6)};
    return buildMessageFile({first, second}, 0xCAFEF00D);
}

// The sample with `width` bytes at `at` set to `value`.
static NarcEntry patched(int at, quint32 value, int width = 4)
{
    NarcEntry entry = sample();
    for (int b = 0; b < width; ++b)
        entry[at + b] = char(value >> (8 * b));
    return entry;
}

class TestCodec : public QObject
{
    Q_OBJECT

private slots:
    // Parsing each text gives its units, whose escaped form is the text itself or,
    // where given, the third column.
    void escapedSyntax()
    {
        const QList<std::tuple<QString, Units, QString>> rows{
            // 0x0014 and 0xf000 are escaped, their neighbours not.
            {esc("0014") + QChar(0x15) + esc("000a") + QChar(0xEFFF) + esc("f000") + QChar(0xF001),
             {0x14, 0x15, 0x0A, 0xEFFF, 0xF000, 0xF001}, {}},
            // 0xfff0..0xfffe, assigned or not.
            {QChar(0xFFEE) + esc("fff0") + esc("fff1") + esc("fff9") + esc("fffd") + esc("fffe"),
             {0xFFEE, 0xFFF0, 0xFFF1, 0xFFF9, 0xFFFD, 0xFFFE}, {}},
            // Unassigned, the backslash, 0xfeff 0x2028 0x2029; an interior 0xffff.
            {esc("0378") + "a" + esc("005c") + esc("feff") + esc("2028") + esc("2029"),
             {0x0378, 'a', 0x5C, 0xFEFF, 0x2028, 0x2029}, {}},
            {"a" + esc("ffff") + esc("ffff") + "b", {'a', 0xFFFF, 0xFFFF, 'b'}, {}},
            // Surrogates, paired or lone.
            {"\U0001F600" + esc("dc00") + esc("d800") + "a" + esc("d800") + QChar(0xD801) + QChar(0xDC01) + esc("dbff"),
             {0xD83D, 0xDE00, 0xDC00, 0xD800, 'a', 0xD800, 0xD801, 0xDC01, 0xDBFF}, {}},
            // The char after the backslash is not examined; hex may be upper case.
            {"\\q000a\\X000A", {0x0A, 0x0A}, esc("000a") + esc("000a")},
            // A bad number gives 0, still six chars used.
            {"\\xzzzzb", {0, 'b'}, esc("0000") + "b"},
            {"\\x{41}", {0x5C, 'x', '{', '4', '1', '}'}, esc("005c") + "x{41}"},
            // Cut short: the missing chars count as U+0000.
            {"a\\x00a", {'a', 0}, "a" + esc("0000")},
        };
        for (const auto &[text, units, shown] : rows) {
            QCOMPARE(parseEscapedLine(text), units);
            QCOMPARE(escapeLineText(units.constData(), int(units.size())), shown.isNull() ? text : shown);
        }
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
    }

    void scramblingAndNewFiles()
    {
        // Keys 0x1234, 0x91a0, 0x8d04 for units 'a', 'b' and the terminator.
        const Units ab{0x1255, 0x91C2, 0x72FB};
        QCOMPARE(encodeLine("ab", 0x1234), ab);
        const NarcEntry single = buildMessageFile(QList<FixtureSection>{{fixtureLine("ab", 0x1234)}});
        QCOMPARE((Units{entryU16(single, 28), entryU16(single, 30), entryU16(single, 32)}), ab);

        // Attributes missing from the list are 0.
        const NarcEntry expected = buildMessageFile(QList<FixtureSection>{
            {fixtureLine("abc", 1, 9), fixtureLine("", 2)}, {fixtureLine("x", 3), fixtureLine("\u3042", 4)}});
        QCOMPARE(newMessageFile({{"abc", ""}, {"x", "\u3042"}}, {{1, 2}, {3, 4}}, {{9}}).entry, expected);
        QVERIFY(!newMessageFile({{"a", "b"}}, {{1}}).ok()); // a key missing
        // At most 65535 units a line, terminator and padding included (see also
        // composing()).
        QVERIFY(newMessageFile({{QString(65534, u'a'), ""}}, {{1, 2}}).ok());
        QVERIFY(!newMessageFile({{QString(65534, u'a')}}, {{1}}).ok());
    }

    // Decoding any stored lines (sections of no lines, empty lines included) finds
    // their keys, and composing them unedited gives back the same bytes (attributes
    // included); a missing section changes nothing.
    void decodeThenComposeIsIdentity()
    {
        QRandomGenerator random(20240601);
        for (int round = 0; round < 3000; ++round) {
            const QList<FixtureSection> sections = randomSections(random, 1 + random.bounded(3), 6, 10);
            const NarcEntry entry = buildMessageFile(sections);
            for (int s = -1; s <= sections.size(); ++s) {
                const bool present = s >= 0 && s < sections.size();
                const DecodedSection decoded = decodeMessageSection(entry, s);
                for (int i = 0; present && i < sections.at(s).size(); ++i)
                    QCOMPARE(decoded.lineKeys.value(i), sections.at(s).at(i).key);
                const ComposeResult result = composeEntry(entry, decoded.lines.join(u'\n'), 0, s);
                QCOMPARE(result.status, present ? Status::Replaced : Status::NoSuchSection);
                QVERIFY2(result.entry == entry, qPrintable(decoded.lines.join(u'|')));
            }
        }
    }

    void composing()
    {
        QCOMPARE(splitEditedText("a\rb\nc"), (QStringList{"a", "b\nc"}));

        // Split on CRLF only, empty lines kept. Section 0 grows: section 1 moves, offsets 4 and 16 follow.
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
        const ComposeResult tooLong = composeEntry(entry, "a\n" + QString(65535, u'z') + "\nc", 3, 0);
        QCOMPARE(tooLong.status, Status::LineTooLong);
        QCOMPARE(tooLong.report, "Skipping 0000/0003: line 2 is too long (65536 units, at most 65535)");
        QVERIFY(tooLong.entry == entry);
    }

    // Corrupt sections and every cut of an entry (but the empty one, which has no
    // sections) are reported and the entry kept. Cut and scrambled entries never
    // make decode or compose crash or read outside, and the results stay consistent.
    void hostileEntries()
    {
        const NarcEntry valid = sample();
        QList<std::pair<NarcEntry, int>> refused{
            {patched(12, 0x7FFFFFF0), 0}, // section offset past the end
            {patched(20, 0xFFFFFFF0), 0}, // block size past the end
            {patched(20, 8), 0},          // block smaller than its table
            {patched(24, 0xFFFFFFFE), 0}, // line offset past the block
            {patched(28, 0xFFFF, 2), 0},  // line length past the block
            {patched(28, 0, 2), 0},       // line length 0
            {patched(2, 0xFFFF, 2), 0},   // line count past the end
            {patched(16, 20), 1},         // section 1 on top of section 0
        };
        for (int length = 1; length < valid.size(); ++length)
            refused.append({valid.first(length), 1});
        for (const auto &[entry, s] : refused) {
            const ComposeResult result = composeEntry(entry, "a\nb\nc", 3, s);
            QCOMPARE(result.status, Status::Malformed);
            QVERIFY2(result.report.contains("3: the message file cannot be read ("), qPrintable(result.report));
            QVERIFY(result.entry == entry);
        }

        QRandomGenerator random(4242);
        for (int round = 0; round < 6000; ++round) {
            NarcEntry entry = valid.first(random.bounded(int(valid.size()) + 1));
            for (int flips = random.bounded(5); flips > 0 && !entry.isEmpty(); --flips)
                entry[random.bounded(int(entry.size()))] = char(random.bounded(random.bounded(2) ? 4 : 256));
            for (int s = -1; s < 4; ++s) {
                const DecodedSection decoded = decodeMessageSection(entry, s);
                const qsizetype count = decoded.lines.size();
                QVERIFY(decoded.lineKeys.size() == count && decoded.lineAttributes.size() == count);
                QVERIFY(decoded.error.isEmpty() || count == 0);
                const ComposeResult result = composeEntry(entry, "a\nb\nc\nd", 5, s);
                QVERIFY(result.changed() ? decodeMessageSection(result.entry, s).present : result.entry == entry);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestCodec)
#include "test_codec.moc"
