// Translators' checks: the width of a line in a text box, the control escapes a
// translation keeps, and narctext check and check-po run as processes.

#include "check/escapes.h"
#include "check/width.h"

#include <QtTest>

using namespace core;

namespace {

QString unit(ushort value) { return QString(QChar(value)); }

QList<int> widths(const QList<TextRow> &rows)
{
    QList<int> result;
    for (const TextRow &row : rows)
        result.append(row.width);
    return result;
}

} // namespace

class TestCheck : public QObject
{
    Q_OBJECT

private slots:
    // Rows end at the breaking escapes; wide and fullwidth characters count 2,
    // other characters 1, other escapes 0.
    void rows_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QList<int>>("widths");
        QTest::addColumn<QStringList>("texts"); // each row's characters

        const auto row = [](const char *text) { return QString::fromUtf8(text); };
        QTest::newRow("empty") << QString() << QList<int>{0} << QStringList{""};
        QTest::newRow("ASCII") << row("Press A to go on.") << QList<int>{17} << QStringList{"Press A to go on."};
        QTest::newRow("Japanese, full width") << row("こんにちは、世界！") << QList<int>{18} << QStringList{row("こんにちは、世界！")};
        // Halfwidth katakana and the ideographic space are no exception.
        QTest::newRow("mixed") << row("HP ５０ ｶﾀｶﾅ　漢字") << QList<int>{18} << QStringList{row("HP ５０ ｶﾀｶﾅ　漢字")};
        QTest::newRow("breaking escape") << row("First line\\x000asecond line")
                                         << QList<int>{10, 11} << QStringList{"First line", "second line"};
        QTest::newRow("breaking escape at both ends") << row("\\x000aあ\\x000a") << QList<int>{0, 2, 0}
                                                      << QStringList{"", row("あ"), ""};
        QTest::newRow("escapes of no width") << row("\\xfffe\\x0001\\x0000Name\\xfffe: hi") << QList<int>{8}
                                             << QStringList{row("\\xfffe\\x0001\\x0000Name\\xfffe: hi")};
        // A unit written as an escape is no character, whatever it is.
        QTest::newRow("escaped letter") << row("\\x0041B") << QList<int>{1} << QStringList{row("\\x0041B")};
        QTest::newRow("upper case break") << row("a\\x000Ab") << QList<int>{1, 1} << QStringList{"a", "b"};
        QTest::newRow("backslash that starts no escape") << row("ab\\x00zz") << QList<int>{2}
                                                         << QStringList{row("ab\\x00zz")};
        QTest::newRow("cut short escape") << row("ab\\x00") << QList<int>{2} << QStringList{row("ab\\x00")};
        // By code point: U+20B9F is wide, U+1F600 wide, U+1D400 (bold A) narrow;
        // a lone surrogate is one character.
        QTest::newRow("surrogate pairs") << row("𠮟😀𝐀") + unit(0xD800) + "x" << QList<int>{7}
                                         << QStringList{row("𠮟😀𝐀") + unit(0xD800) + "x"};
    }

    void rows()
    {
        QFETCH(QString, line);
        QFETCH(QList<int>, widths);
        QFETCH(QStringList, texts);
        const QList<TextRow> rows = textRows(line, {0x000a});
        QCOMPARE(::widths(rows), widths);
        QStringList shown;
        for (const TextRow &row : rows)
            shown.append(line.mid(row.start, row.end - row.start));
        QCOMPARE(shown, texts);
    }

    // Only the escapes named break lines: without them a line is one row.
    void breaksAreChosen()
    {
        const QString line = QStringLiteral("ab\\x000acd\\xfffeef");
        QCOMPARE(widths(textRows(line, {})), QList<int>({6}));
        QCOMPARE(widths(textRows(line, {0xfffe})), QList<int>({4, 2}));
        QCOMPARE(widths(textRows(line, {0x000a, 0xfffe})), QList<int>({2, 2, 2}));
    }

    void escapeLists_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<quint16>>("units");
        QTest::addColumn<QString>("reason");
        QTest::newRow("none") << " " << QList<quint16>{} << QString();
        QTest::newRow("one") << "\\x000a" << QList<quint16>{0x000a} << QString();
        QTest::newRow("several, once each") << " \\xFFFE, \\x000a  \\xfffe" << QList<quint16>{0xfffe, 0x000a} << QString();
        QTest::newRow("not hex") << "\\x00zz" << QList<quint16>{} << "\"\\x00zz\" is not an escape such as \\x000a";
        QTest::newRow("cut short") << "\\x0a" << QList<quint16>{} << "\"\\x0a\" is not an escape such as \\x000a";
        QTest::newRow("a letter") << "\\x000a n" << QList<quint16>{} << "\"n\" is not an escape such as \\x000a";
        QTest::newRow("two in one") << "\\x000a\\x000b" << QList<quint16>{} << "\"\\x000a\\x000b\" is not an escape such as \\x000a";
    }

    void escapeLists()
    {
        QFETCH(QString, text);
        QFETCH(QList<quint16>, units);
        QFETCH(QString, reason);
        const Result<QList<quint16>> parsed = parseEscapeList(text);
        QCOMPARE(parsed.reason, reason);
        QCOMPARE(parsed.value, units);
    }

    // The escapes of a text against its origin's, in words.
    void escapeChanges_data()
    {
        QTest::addColumn<QString>("origin");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("words"); // empty: no change
        QTest::newRow("same") << "\\xfffe\\x0001Name\\xfffe" << "\\xfffe\\x0001Nom\\xfffe" << QString();
        QTest::newRow("written in upper case") << "a\\xfffe" << "b\\xFFFE" << QString();
        QTest::newRow("a character typed as an escape") << "A\\x0001" << "\\x0041\\x0001" << QString();
        QTest::newRow("a control character typed as itself") << "a\\xfffe" << "b" + unit(0xfffe) << QString();
        QTest::newRow("missing") << "Press\\xfffe" << "Appuyez" << "escapes differ from the source: missing \\xfffe";
        QTest::newRow("one of two missing") << "\\xfffeA\\xfffe" << "A\\xfffe" << "escapes differ from the source: missing \\xfffe";
        QTest::newRow("added") << "A" << "A\\x0001" << "escapes differ from the source: added \\x0001";
        QTest::newRow("missing and added") << "\\x0001\\x0002" << "\\x0003\\x0001"
                                           << "escapes differ from the source: missing \\x0002; added \\x0003";
        QTest::newRow("reordered") << "\\x0001a\\x0002" << "\\x0002a\\x0001"
                                   << "escapes differ from the source: in another order: \\x0002 \\x0001, the source has \\x0001 \\x0002";
        // Breaking escapes move freely.
        QTest::newRow("breaks left out") << "one\\x000atwo\\x0001" << "one two\\x000a\\x000athree\\x0001" << QString();
    }

    void escapeChanges()
    {
        QFETCH(QString, origin);
        QFETCH(QString, text);
        QFETCH(QString, words);
        const EscapeChange change = compareEscapes(origin, text, {0x000a});
        QCOMPARE(change.changed(), !words.isEmpty());
        if (change.changed())
            QCOMPARE(change.text(EscapeOrigin::Source), words);
    }
};

QTEST_GUILESS_MAIN(TestCheck)
#include "test_check.moc"
