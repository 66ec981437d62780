// The escaped syntax, line scrambling, the section layout, decoding, and
// composing edited text back into a message file.

#include "codec/compose.h"
#include "codec/decode.h"
#include "codec/encode.h"
#include "codec/escape.h"
#include "codec/messagefile.h"
#include "codec/messageheader.h"
#include "codec/utf8text.h"
#include "messagefixture.h"
#include "report/lines.h"
#include "rows.h"

#include <QDataStream>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>

using namespace core;

using Units = QVector<quint16>;
using Kind = TextRefusal::Kind;

static QString esc(const char *hex)
{
    return QStringLiteral("\\x") + QLatin1String(hex);
}

// Two sections of three lines that need escapes: a 20-byte head, section 0 at
// 20, its line table at 24.
static NarcEntry sample()
{
    const FixtureSection first{fixtureLine("Hello\\{}", 0x0102, 7),
                               {{'a', 0xFFFF, 'b', 0xD800}, 0xFEDC, 0},
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

// Section `s` of `entry` as UTF-8, straight from its units and by way of the
// editor's text; the two must agree, reason and presence included.
static bool utf8AgreesWithText(const NarcEntry &entry, int s)
{
    QByteArray direct = "before ";
    const SectionRead read = appendSectionUtf8(direct, entry, s);
    const DecodedSection text = decodeMessageSection(entry, s, DecodeForm::Text);
    QByteArray converted = "before ";
    appendSectionText(converted, text.text);
    return direct == converted && read.reason == text.reason && read.present == text.present;
}

// Whether text holds none of the characters the UTF-8 compose leaves to the
// QString one: U+FEFF and the noncharacters.
static bool plainUtf8(const QString &text)
{
    for (const char32_t c : text.toUcs4()) {
        if (c == 0xFEFF || (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE)
            return false;
    }
    return true;
}

// The units of escaped text, and where its first bad escape is.
static Units parsed(const QString &text, qsizetype *bad = nullptr)
{
    Units units;
    const qsizetype at = parseEscapedText(text, [&](quint16 unit) { units.append(unit); });
    if (bad)
        *bad = at;
    return units;
}

// A message file of one section laid out by hand, keys 0 (units stored as they
// are): each line its units and its terminator, no padding unless a line carries
// it in `lines`. `extraLength` is added to the last line's record only.
static NarcEntry handBuilt(const QList<Units> &lines, int extraLength = 0)
{
    QByteArray table, units, entry;
    QDataStream tableOut(&table, QIODevice::WriteOnly), unitsOut(&units, QIODevice::WriteOnly),
        out(&entry, QIODevice::WriteOnly);
    for (QDataStream *stream : {&tableOut, &unitsOut, &out})
        stream->setByteOrder(QDataStream::LittleEndian);
    const quint32 tableEnd = quint32(4 + 8 * lines.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        tableOut << quint32(tableEnd + units.size())
                 << quint16(lines.at(i).size() + 1 + (i == lines.size() - 1 ? extraLength : 0)) << quint16(0);
        for (const quint16 unit : lines.at(i))
            unitsOut << unit;
        unitsOut << quint16(0xFFFF);
    }
    const quint32 blockSize = tableEnd + quint32(units.size());
    out << quint16(1) << quint16(lines.size()) << blockSize << quint32(0) << quint32(16) << blockSize;
    entry += table + units;
    return NarcEntry(entry.begin(), entry.end());
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
             {0x14, 0x15, 0x0A, 0xEFFF, 0xF000, 0xF001},
             {}},
            // 0xfff0..0xfffe, assigned or not.
            {QChar(0xFFEE) + esc("fff0") + esc("fff1") + esc("fff9") + esc("fffd") + esc("fffe"),
             {0xFFEE, 0xFFF0, 0xFFF1, 0xFFF9, 0xFFFD, 0xFFFE},
             {}},
            // Unassigned, the backslash, 0xfeff 0x2028 0x2029; an interior 0xffff.
            {esc("0378") + "a" + esc("005c") + esc("feff") + esc("2028") + esc("2029"),
             {0x0378, 'a', 0x5C, 0xFEFF, 0x2028, 0x2029},
             {}},
            {"a" + esc("ffff") + esc("ffff") + "b", {'a', 0xFFFF, 0xFFFF, 'b'}, {}},
            // Surrogates, paired or lone.
            {"\U0001F600" + esc("dc00") + esc("d800") + "a" + esc("d800") + QChar(0xD801) + QChar(0xDC01) + esc("dbff"),
             {0xD83D, 0xDE00, 0xDC00, 0xD800, 'a', 0xD800, 0xD801, 0xDC01, 0xDBFF},
             {}},
            // The char after the backslash is not examined; hex may be upper case.
            {"\\q000a\\X000A", {0x0A, 0x0A}, esc("000a") + esc("000a")},
            {"\\x{41}", {0x5C, 'x', '{', '4', '1', '}'}, esc("005c") + "x{41}"},
        };
        for (const auto &[text, units, shown] : rows) {
            qsizetype bad = 0;
            QCOMPARE(parsed(text, &bad), units);
            QCOMPARE(bad, -1);
            QCOMPARE(escapeLineText(units.constData(), int(units.size())), shown.isNull() ? text : shown);
        }
        // The exports write UTF-8 straight from the units, escapes and pairs as the editor shows them.
        const Units units{0x5C, 0xD83D, 0xDE00, 0xD800, 0x3042};
        QByteArray bytes(6 * units.size() + 2, '\0');
        bytes.truncate(writeEscapedUtf8(units.constData(), units.size(), bytes.data()));
        QCOMPARE(bytes, QStringLiteral("\\x005c\U0001F600\\xd800\u3042").toUtf8());
    }

    // A backslash that starts no escape: where the parse finds the first one.
    void badEscapes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("at");
        row("letters", "\\xzzzzb", 0);
        row("cut short", "a\\x00a", 1);
        row("lone at end", "ab\\", 2);
        row("sign", "\\x+1a2", 0);
        row("0x", "\\x0x1a", 0);
        row("past f", "\\x0g00", 0);
        row("past 9", "\\x:000", 0);
        row("full-width digits", QString("\\x\uFF10\uFF10\uFF11\uFF41"), 0);
        row("second of two", "\\x0041\\x00g1", 6);
        row("two backslashes", "\\\\x0041", 0);
    }

    void badEscapes()
    {
        QFETCH(QString, text);
        QFETCH(int, at);
        qsizetype bad = 0;
        parsed(text, &bad);
        QCOMPARE(bad, qsizetype(at));
        const NarcEntry line = buildMessageFile(QList<QStringList>{{"x"}});
        const ComposeResult refused = composeEntry(line, text, 0);
        QCOMPARE(refused.reason.kind, Kind::BadEscape);
        QCOMPARE(refused.reason.detail, '"' + text.mid(at, 6) + '"');
    }

    // Sections as other tools may lay them out, the last line always ending
    // exactly where the entry ends: every decode form shows the same text.
    void handBuiltSections_data()
    {
        QTest::addColumn<NarcEntry>("entry");
        QTest::addColumn<QStringList>("shown"); // empty with an error
        QTest::addColumn<QString>("error");
        row("odd and unpadded", handBuilt({{'a', 'b'}}), QStringList{"ab"}, QString());
        // 0xFFFF is padding only where it makes the unit count even.
        row("odd, unpadded, ending in 0xFFFF", handBuilt({{'a', 0xFFFF}}), QStringList{"a" + esc("ffff")}, QString());
        row("two lines, odd, the last ending in 0xFFFF", handBuilt({{'a'}, {0xFFFF, 0xFFFF, 'b', 0xFFFF}}),
            QStringList{"a", esc("ffff") + esc("ffff") + "b" + esc("ffff")}, QString());
        row("padded", handBuilt({{'a', 'b', 0xFFFF}}), QStringList{"ab"}, QString());
        row("padded, text ending in 0xFFFF", handBuilt({{'a', 0xFFFF, 0xFFFF}}), QStringList{"a" + esc("ffff")},
            QString());
        row("no lines", handBuilt({}), QStringList(), QString());
        row("last line one unit past the entry", handBuilt({{'a'}, {'b', 'c'}}, 1), QStringList(),
            "line 1 of section 0 (4 units at 24) runs past its block (30 bytes)");
    }

    void handBuiltSections()
    {
        QFETCH(NarcEntry, entry);
        QFETCH(QStringList, shown);
        QFETCH(QString, error);
        const DecodedSection lines = decodeMessageSection(entry, 0);
        const DecodedSection text = decodeMessageSection(entry, 0, DecodeForm::Text);
        QCOMPARE(lines.reason, error);
        QCOMPARE(text.reason, error);
        QCOMPARE(lines.lines, shown);
        QCOMPARE(text.text, shown.join('\n'));
        if (error.isEmpty()) {
            // Composed unchanged, the text comes back the same (padded as the encoder pads).
            const ComposeResult composed = composeEntry(entry, shown.join('\n'), 0);
            QVERIFY(composed.changed());
            QCOMPARE(decodeMessageSection(composed.entry, 0).lines, shown);
        }
    }

    // A section holds at most 65,535 lines: the count is a 16-bit field, and
    // nothing may wrap it.
    void lineCountLimit()
    {
        const QStringList most(65535, "x");
        const Result<NarcEntry> full = newMessageFile({most}, {QList<quint16>(65535, 1)});
        QVERIFY(full.ok());
        QCOMPARE(entryU16(full.value, 2), 65535);
        QCOMPARE(decodeMessageSection(full.value, 0).lines, most);
        const QStringList tooMany(65536, "x");
        const Result<NarcEntry> wrapped = newMessageFile({tooMany}, {QList<quint16>(65536, 1)});
        QVERIFY(!wrapped.ok() && wrapped.value.isEmpty());
        QCOMPARE(wrapped.reason, "a section cannot hold 65536 lines");
        // Text of one line more than the section has is refused, never stored.
        const ComposeResult more = composeEntry(full.value, (most + QStringList{"y"}).join('\n'), 0);
        QCOMPARE(composeRefusedLine(7, 0, more.reason), "Skipping 0000/0007 due to too many lines (65536 of 65535)");
        QVERIFY(more.entry == full.value);
    }

    void scramblingAndNewFiles()
    {
        // Keys 0x1234, 0x91a0, 0x8d04 for units 'a', 'b' and the terminator.
        const Units ab{0x1255, 0x91C2, 0x72FB};
        const NarcEntry single = buildMessageFile(QList<FixtureSection>{{fixtureLine("ab", 0x1234)}});
        QCOMPARE((Units{entryU16(single, 28), entryU16(single, 30), entryU16(single, 32)}), ab);

        // Attributes missing from the list are 0.
        const NarcEntry expected = buildMessageFile(QList<FixtureSection>{
            {fixtureLine("abc", 1, 9), fixtureLine("", 2)}, {fixtureLine("x", 3), fixtureLine("\u3042", 4)}});
        QCOMPARE(newMessageFile({{"abc", ""}, {"x", "\u3042"}}, {{1, 2}, {3, 4}}, {{9}}).value, expected);
        QVERIFY(!newMessageFile({{"a", "b"}}, {{1}}).ok());   // a key missing
        QVERIFY(!newMessageFile({{"a"}, {"b"}}, {{1}}).ok()); // the keys of a section missing
        // At most 65535 units a line, terminator and padding included (see also
        // composing()).
        QVERIFY(newMessageFile({{QString(65534, u'a'), ""}}, {{1, 2}}).ok());
        QVERIFY(!newMessageFile({{QString(65534, u'a')}}, {{1}}).ok());
    }

    void composing()
    {
        // Split on CRLF only, empty lines kept. Section 0 grows: section 1 moves, offsets 4 and 16 follow.
        const NarcEntry entry = sample();
        const NarcEntry out = composeEntry(entry, "a much longer first line\r\n\r\n\\x0041\nb", 0).entry;
        const quint32 size = entryU32(out, 20);
        QCOMPARE((QList<quint32>{entryU32(out, 4), entryU32(out, 8), entryU32(out, 12), entryU32(out, 16)}),
                 (QList<quint32>{size, 0xCAFEF00D, 20, 20 + size}));
        QCOMPARE(out.mid(20 + size), entry.mid(entryU32(entry, 16)));
        QCOMPARE(decodeMessageSection(out, 0).lines,
                 (QStringList{"a much longer first line", "", "A" + esc("000a") + "b"}));

        const NarcEntry second = composeEntry(entry, "1\n2\n3\n\n", 1).entry;
        const quint32 at = entryU32(entry, 16);
        QCOMPARE(second.first(at), entry.first(at));
        QCOMPARE(decodeMessageSection(second, 1).lines, (QStringList{"1", "2", "3"}));

        // Split on CR when there is no CRLF: a lone LF is then part of a line.
        QCOMPARE(decodeMessageSection(composeEntry(entry, "a\rb\nc\r", 1).entry, 1).lines,
                 (QStringList{"a", "b" + esc("000a") + "c", ""}));

        QCOMPARE(composeRefusedLine(42, 1, composeEntry(entry, "a\nb", 1).reason),
                 "Skipping 0001/0042 due to too few lines");
        QCOMPARE(composeRefusedLine(12345, 0, composeEntry(entry, "", 0).reason),
                 "Skipping 0000/12345 due to too few lines");
    }

    // Text the section cannot hold as typed is refused with one report and the
    // entry kept; what converts is stored as before. Section 0 of the sample has
    // three lines.
    void refusedText_data()
    {
        QTest::addColumn<int>("section");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("report"); // empty: stored, showing `shown`
        QTest::addColumn<QStringList>("shown");
        const QString skip = "Skipping 0000/0004";
        const QString bad = skip + ": line %1 has a backslash that starts no escape: \"%2\"";
        row("the example", 0, "one\n Hello\\nWorld C:\\games 50\\%\nthree", bad.arg(2).arg("\\nWorl"), QStringList());
        row("at the line's end", 0, "one\ntwo\n50\\%", bad.arg(3).arg("\\%"), QStringList());
        row("cut by a line break", 0, "a\\x00\r\nb\r\nc", bad.arg(1).arg("\\x00"), QStringList());
        row("cut by a CR", 0, "a\\x0\rb\rc", bad.arg(1).arg("\\x0"), QStringList());
        row("a brace past the line's end", 0, "ab\\\n{\nc", bad.arg(1).arg("\\"), QStringList());
        row("a lone CR inside an escape", 0, "\\x0\rb\r\nb\r\nc", bad.arg(1).arg("\\x0\rb"), QStringList());
        row("other section", 1, "a\nb\n\\q",
            QString("Skipping 0001/0004: line 3 has a backslash "
                    "that starts no escape: \"\\q\""),
            QStringList());
        row("a line after empty ones", 0, "a\nb\nc\n\n\nd", skip + " due to too many lines (6 of 3)", QStringList());
        row("LF after CRLF lines", 0, "a\r\nb\r\nc\r\n\n", skip + " due to too many lines (4 of 3)", QStringList());
        row("too few before anything", 0, "\\q\n" + QString(70000, u'z'), skip + " due to too few lines",
            QStringList());
        row("too many before a bad line", 0, "\\q\nb\nc\nd", skip + " due to too many lines (4 of 3)", QStringList());
        row("first bad line: too long", 0, "a\n" + QString(65535, u'z') + "\n\\q",
            skip + ": line 2 is too long (65536 units, at most 65535)", QStringList());
        row("first bad line: escape", 0, "a\n\\q\n" + QString(65535, u'z'), bad.arg(2).arg("\\q"), QStringList());
        // Stored as before.
        row("trailing line breaks", 0, "a\nb\nc\n\n\n", QString(), QStringList{"a", "b", "c"});
        row("trailing CRLFs", 0, "a\r\nb\r\nc\r\n\r\n", QString(), QStringList{"a", "b", "c"});
        row("escapes that convert", 0, "\\x000a\\X000A\\q000a\n\\x{41}a\\b{\n\\x005c\\xF000\\xfFfE", QString(),
            QStringList{esc("000a") + esc("000a") + esc("000a"), esc("005c") + "x{41}a" + esc("005c") + "b{",
                        esc("005c") + esc("f000") + esc("fffe")});
    }

    void refusedText()
    {
        QFETCH(int, section);
        QFETCH(QString, text);
        QFETCH(QString, report);
        QFETCH(QStringList, shown);
        const NarcEntry entry = sample();
        const ComposeResult result = composeEntry(entry, text, section);
        QCOMPARE(composeRefusedLine(4, section, result.reason), report);
        if (report.isEmpty()) {
            QVERIFY(result.changed());
            QCOMPARE(decodeMessageSection(result.entry, section).lines, shown);
        } else {
            QVERIFY(!result.changed());
            QVERIFY(result.entry == entry);
        }
    }

    // The import parses UTF-8 files straight into units: what it stores is what
    // the QString path stores; bytes that are not plain UTF-8 text, and text
    // that is refused, it leaves to the QString path, which says why. Section 0
    // of the sample has three lines.
    void composeFromUtf8_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("stored");
        row("line feeds", QByteArray("a\nb\nc\n\n"), true);
        row("CRLF, a lone CR inside", QByteArray("a\rx\r\nb\r\nc\r\n"), true);
        row("CR", QByteArray("a\rb\rc"), true);
        row("two, three and four bytes", QByteArray("caf\xC3\xA9\n\xE3\x81\x82\n\xF0\x9F\x98\x80"), true);
        row("largest of each length", QByteArray("\xDF\xBF\xEF\xBF\xBD\n\xF4\x8F\xBF\xBD\n\x7F"), true);
        row("escapes", QByteArray("\\x0041\\x{41}\n\\X00e9\nc"), true);
        row("four bytes only", QString("\U0001F600").repeated(2000).append('\n').repeated(3).toUtf8(), true);
        row("a long line", "a\n" + QByteArray(3000, 'z') + "\xE3\x81\x82\nc", true);
        row("bad escape", QByteArray("\\q\nb\nc"), false);
        row("too few lines", QByteArray("a\nb"), false);
        row("too many lines", QByteArray("a\nb\nc\nd"), false);
        row("overlong", QByteArray("\xC0\x80\nb\nc"), false);
        row("overlong three bytes", QByteArray("\xE0\x9F\xBF\nb\nc"), false);
        row("surrogate", QByteArray("\xED\xA0\x80\nb\nc"), false);
        row("beyond U+10FFFF", QByteArray("\xF4\x90\x80\x80\nb\nc"), false);
        row("stray continuation", QByteArray("\x80\nb\nc"), false);
        row("cut at the end", QByteArray("a\nb\nc\xE3\x81"), false);
        row("cut by a line break", QByteArray("a\xE3\x81\nb\nc"), false);
        row("U+0000", QByteArray("a\0\nb\nc", 6), false);
        row("invalid after the lines", QByteArray("a\nb\nc\n\xFF"), false);
        row("U+FEFF",
            QByteArray("\xEF\xBB\xBF"
                       "a\nb\nc"),
            false);
        row("noncharacter", QByteArray("\xEF\xBF\xBE\nb\nc"), false);
    }

    void composeFromUtf8()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, stored);
        const NarcEntry entry = sample();
        const std::optional<NarcEntry> utf8 = composeEntryUtf8(entry, bytes, 0);
        QCOMPARE(utf8.has_value(), stored);
        if (stored) {
            const ComposeResult text = composeEntry(entry, QString::fromUtf8(bytes), 0);
            QVERIFY(text.changed());
            QVERIFY(*utf8 == text.entry);
        }
    }

    // Thousands of generated sections (no lines, empty lines included): every
    // decode form agrees and finds the stored keys; the shown text composed
    // unedited gives back the same bytes. Edited at random, the text is stored
    // with each line's key and attributes, the other sections untouched, and
    // reads back to text that composes to the same bytes again; or it is
    // refused and nothing changes. A missing section changes nothing.
    void composeRoundTrips()
    {
        QRandomGenerator random(1109);
        static const QString inserts[] = {"\\", "\\x",  "{", "0",      "a",     "F",       "g",    "\n",
                                          "\r", "\r\n", " ", "\u3042", "\\x00", "\\xd800", "\\x{", "\n\n"};
        for (int round = 0; round < 4000; ++round) {
            const QList<FixtureSection> sections = randomSections(random, 1 + random.bounded(3), 8, 12);
            const NarcEntry entry = buildMessageFile(sections);
            for (const int missing : {-1, int(sections.size())}) {
                const ComposeResult result = composeEntry(entry, "", missing);
                QVERIFY(result.reason.kind == Kind::NoSuchSection && result.entry == entry);
            }
            for (int s = 0; s < sections.size(); ++s) {
                const DecodedSection lines = decodeMessageSection(entry, s);
                const DecodedSection text = decodeMessageSection(entry, s, DecodeForm::Text);
                const DecodedSection bare = decodeMessageSection(entry, s, DecodeForm::KeysOnly);
                QCOMPARE(lines.lines.size(), sections.at(s).size());
                QCOMPARE(text.text, lines.lines.join('\n'));
                // A last line ending in 0xFFFF reads as padded when the section's
                // units, terminators included, are even in number.
                qsizetype total = 0;
                for (const FixtureLine &line : sections.at(s))
                    total += line.units.size() + 1;
                for (int i = 0; i < sections.at(s).size(); ++i) {
                    Units units = sections.at(s).at(i).units;
                    if (i == sections.at(s).size() - 1 && total % 2 == 0 && units.endsWith(0xFFFF))
                        units.removeLast();
                    const Units shown = parsed(lines.lines.at(i));
                    // Compared by hand: Qt compares two empty lists with memcmp on null.
                    QVERIFY(std::equal(shown.cbegin(), shown.cend(), units.cbegin(), units.cend()));
                    QCOMPARE(bare.lineKeys.at(i), sections.at(s).at(i).key);
                }
                QCOMPARE(bare.lineAttributes, lines.lineAttributes);
                QVERIFY(composeEntry(entry, text.text, s).entry == entry);
                QVERIFY(utf8AgreesWithText(entry, s));

                QString edited = text.text;
                for (int edits = 1 + random.bounded(3); edits > 0; --edits) {
                    const int at = random.bounded(int(edited.size()) + 1);
                    if (random.bounded(3) == 0 && at < edited.size())
                        edited.remove(at, 1 + random.bounded(3));
                    else
                        edited.insert(at, inserts[random.bounded(int(std::size(inserts)))]);
                }
                const ComposeResult fast = composeEntry(entry, edited, s);
                if (edited.isValidUtf16()) {
                    // Straight from the UTF-8 bytes: the same entry whenever the text is
                    // stored (the lines a deletion cut inside a pair are not UTF-8).
                    const std::optional<NarcEntry> utf8 = composeEntryUtf8(entry, edited.toUtf8(), s);
                    QVERIFY(!utf8 || *utf8 == fast.entry);
                    QVERIFY(utf8 || !fast.changed() || !plainUtf8(edited));
                }
                if (!fast.changed()) {
                    QVERIFY(fast.entry == entry && fast.reason.kind != Kind::NoSuchSection);
                    continue;
                }
                const DecodedSection stored = decodeMessageSection(fast.entry, s, DecodeForm::KeysOnly);
                QCOMPARE(stored.lineKeys, bare.lineKeys);
                QCOMPARE(stored.lineAttributes, bare.lineAttributes);
                for (int other = 0; other < sections.size(); ++other)
                    if (other != s)
                        QCOMPARE(decodeMessageSection(fast.entry, other).lines,
                                 decodeMessageSection(entry, other).lines);
                const QString back = decodeMessageSection(fast.entry, s, DecodeForm::Text).text;
                QVERIFY2(composeEntry(fast.entry, back, s).entry == fast.entry, qPrintable(edited));
                QVERIFY(composeEntry(entry, back, s).entry == fast.entry);
            }
        }
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
        // Two sections of no lines, section 1 starting on section 0's last byte
        // (where the bytes read as a block of 1,024).
        QByteArray overlap = QByteArray::fromHex("0200000004000000000000001400000017000000040000000400000000");
        overlap.resize(1100, '\0');
        refused.append({NarcEntry(overlap.begin(), overlap.end()), 0});
        // A cut inside the head (12 bytes and an offset per section) or inside
        // section 0's line table (at 20, 4 + 8 bytes a line) is named as such:
        // nothing past the entry's end is read. So is a block too short for
        // its own table.
        for (int length = 1; length < 48; ++length) {
            const QString reason = length < 12   ? "the header is cut short (%1 bytes, at least 12 needed)"
                                   : length < 20 ? "the offset table of 2 sections runs past the end (%1 bytes)"
                                                 : "section 0 at offset 20 and its line table of 3 lines run past "
                                                   "the end (%1 bytes)";
            QCOMPARE(readMessageHeader(valid.first(length)).reason, reason.arg(length));
        }
        QCOMPARE(readMessageHeader(patched(20, 8)).reason,
                 "section 0 claims 8 bytes, less than its line table needs (28)");
        for (const auto &[entry, s] : refused) {
            const ComposeResult result = composeEntry(entry, "a\nb\nc", s);
            QCOMPARE(result.reason.kind, Kind::Unreadable);
            QVERIFY(!result.reason.detail.isEmpty());
            QVERIFY(result.entry == entry);
        }

        QRandomGenerator random(4242);
        for (int round = 0; round < 6000; ++round) {
            NarcEntry entry = valid.first(random.bounded(int(valid.size()) + 1));
            for (int flips = random.bounded(5); flips > 0 && !entry.isEmpty(); --flips)
                entry[random.bounded(int(entry.size()))] = char(random.bounded(random.bounded(2) ? 4 : 256));
            for (int s = -1; s < 4; ++s) {
                QVERIFY(utf8AgreesWithText(entry, s));
                const DecodedSection decoded = decodeMessageSection(entry, s);
                const qsizetype count = decoded.lines.size();
                QVERIFY(decoded.lineKeys.size() == count && decoded.lineAttributes.size() == count);
                QVERIFY(decoded.ok() || count == 0);
                const ComposeResult result = composeEntry(entry, "a\nb\nc\nd", s);
                QVERIFY(result.changed() ? decodeMessageSection(result.entry, s).present : result.entry == entry);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestCodec)
#include "test_codec.moc"
