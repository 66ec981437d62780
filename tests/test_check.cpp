// Translators' checks: the width of a line in a text box, the control escapes a
// translation keeps, and narctext check and check-po run as processes.

#include "check/escapes.h"
#include "check/width.h"
#include "messagefixture.h"
#include "narcfixture.h"
#include "process.h"
#include "rows.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace core;

namespace {

using Sections = QList<QStringList>;

QString unit(ushort value)
{
    return QString(QChar(value));
}

// Each row of `line` as "width:characters".
QStringList shown(const QString &line, const QList<quint16> &breaks)
{
    QStringList result;
    for (const TextRow &row : textRows(line, breaks))
        result.append(QString::number(row.width) + ':' + line.mid(row.start, row.end - row.start));
    return result;
}

// narctext run in `dir`, against the current row: its findings, one per line
// on standard output, the last line on standard error and the exit status.
void expectRun(const QTemporaryDir &dir, const QStringList &arguments)
{
    QFETCH(QStringList, findings);
    QFETCH(QString, error);
    QFETCH(int, code);
    RunSetup inDir;
    inDir.directory = dir.path();
    const Run run = narctext(arguments, inDir);
    QCOMPARE(QString::fromUtf8(run.out).split('\n', Qt::SkipEmptyParts), findings);
    QCOMPARE(QString::fromUtf8(run.err).trimmed().section('\n', -1), error);
    QCOMPARE(run.code, code);
}

} // namespace

class TestCheck : public QObject
{
    Q_OBJECT

private slots:
    // Rows end at the breaking escapes; wide and fullwidth characters count 2,
    // other characters 1, escapes of control codes 0.
    void rows_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("rows");

        const auto u8 = [](const char *text) { return QString::fromUtf8(text); };
        row("empty", QString(), QStringList{"0:"});
        row("Japanese, full width", u8("こんにちは、世界！"), QStringList{u8("18:こんにちは、世界！")});
        // Halfwidth katakana and the ideographic space are no exception.
        row("mixed", u8("HP ５０ ｶﾀｶﾅ　漢字"), QStringList{u8("18:HP ５０ ｶﾀｶﾅ　漢字")});
        row("breaking escape", u8("First line\\x000asecond line"), QStringList{"10:First line", "11:second line"});
        row("breaking escape at both ends", u8("\\x000aあ\\x000a"), QStringList{"0:", u8("2:あ"), "0:"});
        row("escapes of no width", u8("\\xfffe\\x0001\\x0000Name\\xfffe: hi"),
            QStringList{u8("8:\\xfffe\\x0001\\x0000Name\\xfffe: hi")});
        // An escape of a printed character counts as that character: the
        // game draws it.
        row("escaped kana", u8("\\x3042a"), QStringList{u8("3:\\x3042a")});
        row("upper case break", u8("a\\x000Ab"), QStringList{"1:a", "1:b"});
        row("backslash that starts no escape", u8("ab\\x00zz"), QStringList{u8("2:ab\\x00zz")});
        // By code point: U+20B9F is wide, U+1F600 wide, U+1D400 (bold A) narrow;
        // a lone surrogate is one character.
        row("surrogate pairs", u8("𠮟😀𝐀") + unit(0xD800) + "x", QStringList{u8("7:𠮟😀𝐀") + unit(0xD800) + "x"});
    }

    void rows()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, rows);
        QCOMPARE(shown(line, {0x000a}), rows);
    }

    // Only the escapes named break lines: without them a line is one row.
    void breaksAreChosen()
    {
        const QString line = QStringLiteral("ab\\x000acd\\xfffeef");
        QCOMPARE(shown(line, {}), QStringList{"6:" + line});
        QCOMPARE(shown(line, {0xfffe}), QStringList({"4:ab\\x000acd", "2:ef"}));
        QCOMPARE(shown(line, {0x000a, 0xfffe}), QStringList({"2:ab", "2:cd", "2:ef"}));
    }

    // The escapes of a text against its origin's, in words.
    void escapeChanges_data()
    {
        QTest::addColumn<QString>("origin");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("words"); // empty: no change
        row("same", "\\xfffe\\x0001Name\\xfffe", "\\xfffe\\x0001Nom\\xfffe", QString());
        row("written in upper case", "a\\xfffe", "b\\xFFFE", QString());
        row("a character typed as an escape", "A\\x0001", "\\x0041\\x0001", QString());
        row("a control character typed as itself", "a\\xfffe", "b" + unit(0xfffe), QString());
        row("missing", "Press\\xfffe", "Appuyez", "escapes differ from the source: missing \\xfffe");
        row("one of two missing", "\\xfffeA\\xfffe", "A\\xfffe", "escapes differ from the source: missing \\xfffe");
        row("added", "A", "A\\x0001", "escapes differ from the source: added \\x0001");
        row("missing and added", "\\x0001\\x0002", "\\x0003\\x0001",
            "escapes differ from the source: missing \\x0002; added \\x0003");
        row("reordered", "\\x0001a\\x0002", "\\x0002a\\x0001",
            "escapes differ from the source: in another order: \\x0002 \\x0001, the source has \\x0001 \\x0002");
        // Breaking escapes move freely.
        row("breaks left out", "one\\x000atwo\\x0001", "one two\\x000a\\x000athree\\x0001", QString());
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

    // narctext check: one line per finding on standard output, in archive
    // order; 0 with none, 1 with findings, 2 when it cannot check.
    void checkCommand_data()
    {
        QTest::addColumn<QStringList>("arguments"); // after "check"
        QTest::addColumn<QStringList>("findings");
        QTest::addColumn<QString>("error"); // the last line on standard error
        QTest::addColumn<int>("code");

        const QStringList all = {
            "0000/0000/0001 (entry 0, Hiragana, line 1): too wide: 21 of 10",
            "0000/0000/0002 (entry 0, Hiragana, line 2): too wide: 15 of 10 (row 2 of 2)",
            "0000/0000/0003 (entry 0, Hiragana, line 3): escapes differ from the reference: missing \\xfffe",
            "0000/0001/0001 (entry 0, Kanji, line 1): too wide: 12 of 10",
            "0000/0001/0003 (entry 0, Kanji, line 3): escapes differ from the reference: in another order: \\x0002 \\x0001, the reference has \\x0001 \\x0002",
            "0001/0000 (entry 1, Hiragana): line count differs: 3, the reference has 2",
            "0002 (entry 2): section count differs: 1, the reference has 2",
            "0003 (entry 3): missing: only the reference has it"};
        row("width and reference",
            QStringList{"translated.narc", "--width", "10", "--break", "\\x000a", "--reference", "original.narc"}, all,
            "Checked 13 lines: 8 findings", 1);
        // Without the break, the line is one row, and the moved break an added escape.
        row("no break named", QStringList{"translated.narc", "--width", "30", "--reference", "original.narc"},
            QStringList{all.at(2), all.at(4),
                        "0000/0002/0001 (entry 0, section 2, line 1): escapes differ from the reference: added \\x000a",
                        all.at(5), all.at(6), all.at(7)},
            "Checked 13 lines: 6 findings", 1);
        // The other way round, the translation has an entry the reference lacks.
        row("the reference lacks an entry", QStringList{"original.narc", "--reference", "translated.narc"},
            QStringList{
                "0000/0000/0003 (entry 0, Hiragana, line 3): escapes differ from the reference: added \\xfffe",
                "0000/0001/0003 (entry 0, Kanji, line 3): escapes differ from the reference: in another order: "
                "\\x0001 \\x0002, the reference has \\x0002 \\x0001",
                "0000/0002/0001 (entry 0, section 2, line 1): escapes differ from the reference: missing \\x000a",
                "0001/0000 (entry 1, Hiragana): line count differs: 2, the reference has 3",
                "0002 (entry 2): section count differs: 2, the reference has 1",
                "0003 (entry 3): not in the reference"},
            "Checked 14 lines: 6 findings", 1);
        row("a row exactly at the limit", QStringList{"translated.narc", "--width", "21", "--break", "\\x000a"},
            QStringList{}, "Checked 13 lines: no findings", 0);
        row("a row one past the limit", QStringList{"translated.narc", "--width", "20", "--break", "\\x000a"},
            QStringList{"0000/0000/0001 (entry 0, Hiragana, line 1): too wide: 21 of 20"},
            "Checked 13 lines: 1 finding", 1);
        row("no reference archive", QStringList{"translated.narc", "--reference", "missing.narc"}, QStringList{},
            "Failed to load missing.narc: cannot open the file (No such file or directory)", 2);
        row("nothing to check for", QStringList{"translated.narc"}, QStringList{},
            "narctext: check needs --width N, --reference ORIGINAL.narc or both", 2);
        row("not an escape", QStringList{"translated.narc", "--width", "9", "--break", "n"}, QStringList{},
            "narctext: check: --break: \"n\" is not an escape such as \\x000a (see narctext check --help)", 2);
    }

    void checkCommand()
    {
        QFETCH(QStringList, arguments);
        QTemporaryDir dir;
        const QString unitA = unit(0x000a);
        // Entry 3 of the original is not translated; entry 2 lost a section.
        QVERIFY(writeArchive(dir.filePath("original.narc"),
                             {buildMessageFile(Sections{{"Hello", "One" + unitA + "two", "Name" + unit(0xfffe)},
                                                        {"こんにちは", "Kanji", "a" + unit(1) + "b" + unit(2)},
                                                        {"Third section", "", ""}}),
                              buildMessageFile(Sections{{"Solo", "Duo"}}), buildMessageFile(Sections{{"A"}, {"B"}}),
                              buildMessageFile(Sections{{"gone"}})}));
        QVERIFY(
            writeArchive(dir.filePath("translated.narc"),
                         {buildMessageFile(Sections{{"Bonjour tout le monde", "Un" + unitA + "deux, et encore", "Nom"},
                                                    {"ごきげんよう", "Kanji", "a" + unit(2) + "b" + unit(1)},
                                                    {"Troisième" + unitA + "section", "", ""}}),
                          buildMessageFile(Sections{{"Solo", "Duo", "Trio"}}), buildMessageFile(Sections{{"A"}})}));
        expectRun(dir, QStringList{"check"} + arguments);
    }

    // narctext check-po: the translations of a PO file, before any import.
    void checkPoCommand_data()
    {
        QTest::addColumn<QByteArray>("po");
        QTest::addColumn<QStringList>("arguments"); // after "check-po in.po"
        QTest::addColumn<QStringList>("findings");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("code");

        const QByteArray header = poUtf8Header;
        const QByteArray po = header + poMessage("0001/0000/0005", "Press the button\\\\xfffe", "Appuyez sur le bouton")
                              + poMessage("0001/0000/0002", "First line\\\\x000asecond line",
                                          "Première ligne\\\\x000adeuxième")
                              + poMessage("0000/0000/0001", "こんにちは！", "Bonjour !")
                              + poMessage("0000/0000/0002", "Hi", "Salut\\\\x05c")
                              + poMessage("0000/0000/0003", "Bye", "") + "msgid \"No context\"\nmsgstr \"x\"\n\n"
                              + poMessage("0000/0001/0001", "漢字", "日本語の文字です");
        row("findings", po, QStringList{"--width", "12", "--break", "\\x000a"},
            QStringList{
                "msgid \"No context\": it has no msgctxt naming its line",
                "0000/0000/0002 (entry 0, Hiragana, line 2): the translation has a backslash that starts no escape: \"\\x05c\"",
                "0000/0001/0001 (entry 0, Kanji, line 1): too wide: 16 of 12",
                "0001/0000/0002 (entry 1, Hiragana, line 2): too wide: 14 of 12 (row 1 of 2)",
                "0001/0000/0005 (entry 1, Hiragana, line 5): escapes differ from the source: missing \\xfffe",
                "0001/0000/0005 (entry 1, Hiragana, line 5): too wide: 21 of 12"},
            "Checked 6 translations: 6 findings", 1);
        row("clean", header + poMessage("0000/0000/0001", "こんにちは！", "Bonjour !"), QStringList{"--width", "9"},
            QStringList{}, "Checked 1 translation: no findings", 0);
    }

    void checkPoCommand()
    {
        QFETCH(QByteArray, po);
        QFETCH(QStringList, arguments);
        QTemporaryDir dir;
        QVERIFY(writeFileBytes(dir.filePath("in.po"), po));
        expectRun(dir, QStringList{"check-po", "in.po"} + arguments);
    }
};

QTEST_GUILESS_MAIN(TestCheck)
#include "test_check.moc"
