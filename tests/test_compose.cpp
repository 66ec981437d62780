// Replacing a section of a message file with edited text.

#include "codec/compose.h"
#include "codec/decode.h"
#include "messagefixture.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

QString unedited(const NarcEntry &entry, int section)
{
    return decodeMessageSection(entry, section).lines.join(u'\n');
}

// A two-section entry with text that needs escapes.
NarcEntry sample()
{
    FixtureSection first{fixtureLine(QStringLiteral("Hello\\{}"), 0x0102, 7), {{'a', 0xFFFF, 'b', 0xD800}, 0xFEDC, 0},
                         {{0xFEFF, 0x2028, 0x000A, 0xF000}, 0x5555, 1}};
    FixtureSection second{fixtureLine(QStringLiteral("x"), 1, 2), fixtureLine(QString(), 3, 4),
                          fixtureLine(QStringLiteral("\U0001F600"), 5, 6)};
    return buildMessageFile({first, second}, 0xCAFEF00D);
}

} // namespace

class TestCompose : public QObject
{
    Q_OBJECT

private slots:
    void split_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("crlf wins") << QStringLiteral("a\r\nb\nc\rd") << QStringList{"a", "b\nc\rd"};
        QTest::newRow("cr before lf") << QStringLiteral("a\rb\nc") << QStringList{"a", "b\nc"};
        QTest::newRow("lf") << QStringLiteral("a\n\nb\n") << QStringList{"a", "", "b", ""};
        QTest::newRow("empty is one line") << QString() << QStringList{""};
    }

    void split()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        QCOMPARE(splitEditedText(text), lines);
    }

    void uneditedIsIdentical()
    {
        QRandomGenerator random(77);
        QList<NarcEntry> entries{sample(), buildMessageFile(QList<QStringList>{{}, {}, {}})};
        for (int i = 0; i < 300; ++i)
            entries << buildMessageFile(randomSections(random, 1 + random.bounded(3), 5, 8));
        for (const NarcEntry &entry : std::as_const(entries)) {
            for (int s = 0; s < entryU16(entry, 0); ++s) {
                const ComposeResult result = composeEntry(entry, unedited(entry, s), 0, s);
                QCOMPARE(result.status, ComposeResult::Status::Replaced);
                QVERIFY(result.entry == entry);
            }
        }
    }

    void sectionZeroGrows()
    {
        const NarcEntry entry = sample();
        const QString text = QStringLiteral("a much longer first line\n\n\\x0041");
        const ComposeResult result = composeEntry(entry, text, 3, 0);
        QVERIFY(result.changed());
        const NarcEntry &out = result.entry;
        const quint32 newSize = entryU32(out, 20);
        QCOMPARE(entryU32(out, 4), newSize);
        QCOMPARE(entryU32(out, 8), 0xCAFEF00Du);
        QCOMPARE(entryU32(out, 12), 20u);
        QCOMPARE(entryU32(out, 16), 20 + newSize);
        QCOMPARE(out.mid(20 + newSize), entry.mid(entryU32(entry, 16)));
        QCOMPARE(decodeMessageSection(out, 0).lines, (QStringList{"a much longer first line", "", "A"}));
        QCOMPARE(decodeMessageSection(out, 0).lineKeys, decodeMessageSection(entry, 0).lineKeys);
    }

    void sectionOneLeavesHeader()
    {
        const NarcEntry entry = sample();
        const ComposeResult result = composeEntry(entry, QStringLiteral("1\n2\n3\n4"), 3, 1);
        QVERIFY(result.changed());
        const quint32 second = entryU32(entry, 16);
        QCOMPARE(result.entry.first(second), entry.first(second));
        QCOMPARE(decodeMessageSection(result.entry, 1).lines, (QStringList{"1", "2", "3"}));
    }

    // Bytes before section 0 stay; gaps between blocks and trailing bytes go.
    void unusualLayout()
    {
        const NarcEntry canonical = buildMessageFile(QList<QStringList>{{"a"}, {"bb"}, {"ccc"}});
        NarcEntry entry = canonical.first(24) + NarcEntry{'G', 'A', 'P', '!'};
        QList<quint32> offsets;
        for (int s = 0; s < 3; ++s) {
            offsets << quint32(entry.size());
            const quint32 at = entryU32(canonical, 12 + 4 * s);
            entry += canonical.mid(at, entryU32(canonical, at)) + NarcEntry(4, 'x');
        }
        for (int s = 0; s < 3; ++s)
            for (int b = 0; b < 4; ++b)
                entry[12 + 4 * s + b] = char(offsets.at(s) >> (8 * b));

        const ComposeResult result = composeEntry(entry, QStringLiteral("middle"), 9, 1);
        QVERIFY(result.changed());
        QCOMPARE(result.entry.mid(24, 4), (NarcEntry{'G', 'A', 'P', '!'}));
        const QStringList expected{"a", "middle", "ccc"};
        for (int s = 0; s < 3; ++s)
            QCOMPARE(decodeMessageSection(result.entry, s).lines, QStringList{expected.at(s)});
        const quint32 last = entryU32(result.entry, 20);
        QCOMPARE(qint64(last + entryU32(result.entry, last)), result.entry.size());
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("entryIndex");
        QTest::addColumn<int>("section");
        QTest::addColumn<ComposeResult::Status>("status");
        QTest::addColumn<QString>("report");
        QTest::newRow("too few, 4 digits") << "a\nb" << 42 << 1 << ComposeResult::Status::TooFewLines
                                           << "Skipping 0001/0042 due to too few lines";
        QTest::newRow("too few, 5 digits") << "" << 12345 << 0 << ComposeResult::Status::TooFewLines
                                           << "Skipping 0000/12345 due to too few lines";
        QTest::newRow("line too long") << "a\n" + QString(70000, u'z') + "\nc" << 3 << 0
                                       << ComposeResult::Status::LineTooLong
                                       << "Skipping 0000/0003: line 2 is too long (70001 units, at most 65535)";
        QTest::newRow("negative section") << "a\nb\nc" << 0 << -1 << ComposeResult::Status::NoSuchSection << "";
        QTest::newRow("no such section") << "a\nb\nc" << 0 << 2 << ComposeResult::Status::NoSuchSection << "";
    }

    void refusals()
    {
        QFETCH(QString, text);
        QFETCH(int, entryIndex);
        QFETCH(int, section);
        QFETCH(ComposeResult::Status, status);
        QFETCH(QString, report);
        const NarcEntry entry = sample();
        const ComposeResult result = composeEntry(entry, text, entryIndex, section);
        QCOMPARE(result.status, status);
        QCOMPARE(result.report, report);
        QVERIFY(result.entry == entry);
    }

    void malformedReports()
    {
        NarcEntry entry = sample();
        entry[28] = entry[29] = 0; // line 0 of section 0 has no units
        ComposeResult result = composeEntry(entry, "a\nb\nc", 3, 0);
        QCOMPARE(result.status, ComposeResult::Status::Malformed);
        QVERIFY(result.report.startsWith(QStringLiteral("Skipping 0000/0003: the message file cannot be read (")));
        QVERIFY(result.entry == entry);

        entry = sample();
        entry[16] = 0x14; // section 1 on top of section 0
        QCOMPARE(composeEntry(entry, "a\nb\nc", 3, 1).status, ComposeResult::Status::Malformed);
    }

    // Cut or scrambled entries: no crash, no read outside, results stay consistent.
    void hostileEntries()
    {
        const NarcEntry valid = sample();
        QList<NarcEntry> entries;
        for (qsizetype n = 0; n < valid.size(); ++n)
            entries << valid.first(n);
        QRandomGenerator random(4242);
        for (int i = 0; i < 3000; ++i) {
            NarcEntry bytes = valid;
            for (int flips = 1 + random.bounded(4); flips > 0; --flips)
                bytes[random.bounded(int(bytes.size()))] = char(random.bounded(256));
            entries << bytes;
            NarcEntry noise(random.bounded(64), 0);
            for (char &b : noise)
                b = char(random.bounded(random.bounded(2) ? 4 : 256));
            entries << noise;
        }
        for (const NarcEntry &entry : std::as_const(entries)) {
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

QTEST_GUILESS_MAIN(TestCompose)
#include "test_compose.moc"
