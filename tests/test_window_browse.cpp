// Browsing entries and sections in the window, and saving edited text into them.

#include "support/messagefixture.h"
#include "support/narcfixture.h"
#include "support/windowfixture.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

const QString nbsp = QString(QChar(0x00A0));

// Entry 0: two sections of two lines. Entry 1: one section of three lines.
// Entry 2: empty. Entry 3: a section without lines.
QList<NarcEntry> browseEntries()
{
    FixtureSection hiragana = {fixtureLine("first line", 0x1234, 7), fixtureLine("second", 0xbeef, 0)};
    FixtureSection kanji = {fixtureLine("kanji one", 0x0f0f, 1), fixtureLine("", 0xffff, 2)};
    return {buildMessageFile({hiragana, kanji}), buildMessageFile(QList<QStringList>{{"a", "b", "c"}}),
            NarcEntry(), buildMessageFile(QList<QStringList>{{}})};
}

QString rawEditorText(const Ui::MainWindow &ui)
{
    return ui.text->document()->toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}

} // namespace

class WindowBrowseTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void browsingEntriesAndSections();
    void switchingAwayDiscardsEdits();
    void saveTextStoresInMemoryOnly();
    void uneditedSaveKeepsEntryBytes();
    void tooFewLinesAreReported();
    void malformedEntryIsReported();
    void decodeAndComposeIgnoreMissingIndices();

private:
    QTemporaryDir dir;
    QString path;
};

void WindowBrowseTest::init()
{
    path = dir.filePath("browse.narc");
    QVERIFY(writeArchive(path, browseEntries()));
}

void WindowBrowseTest::browsingEntriesAndSections()
{
    WindowFixture f;
    f.open(path);
    const QString loaded = QStringLiteral("Loaded ") + path + QLatin1Char('\n');

    // Entry 0, section 0 shows first; its first byte 2 offers both sections.
    QCOMPARE(f.ui.narcEntryIds->currentIndex(), 0);
    QCOMPARE(f.typeItems(), (QStringList{"Hiragana", "Kanji"}));
    QCOMPARE(f.ui.typeIds->currentIndex(), 0);
    QCOMPARE(rawEditorText(f.ui), QStringLiteral("first line\nsecond"));
    QCOMPARE(MainWindowProbe::lineKeys(f.window), (QList<quint16>{0x1234, 0xbeef}));
    QCOMPARE(MainWindowProbe::lineAttributes(f.window), (QList<quint16>{7, 0}));

    f.select(0, 1);
    QCOMPARE(rawEditorText(f.ui), QStringLiteral("kanji one\n"));
    QCOMPARE(MainWindowProbe::lineKeys(f.window), (QList<quint16>{0x0f0f, 0xffff}));
    QCOMPARE(MainWindowProbe::lineAttributes(f.window), (QList<quint16>{1, 2}));

    // Another entry starts again at its section 0.
    f.select(1);
    QCOMPARE(f.typeItems(), QStringList{"Hiragana"});
    QCOMPARE(f.ui.typeIds->currentIndex(), 0);
    QCOMPARE(rawEditorText(f.ui), QStringLiteral("a\nb\nc"));
    QCOMPARE(MainWindowProbe::lineKeys(f.window), (QList<quint16>{fixtureKey(0, 0), fixtureKey(0, 1), fixtureKey(0, 2)}));

    // An empty entry holds no sections: nothing to show, nothing to report.
    QCOMPARE(f.log(), loaded);
    f.select(2);
    QCOMPARE(f.typeItems(), QStringList{"Hiragana"});
    QVERIFY(f.ui.text->document()->isEmpty());
    QVERIFY(MainWindowProbe::lineKeys(f.window).isEmpty());
    QCOMPARE(f.log(), loaded);
    const QString afterEmpty = f.log();

    f.select(3);
    QCOMPARE(f.typeItems(), QStringList{"Hiragana"});
    QVERIFY(f.ui.text->document()->isEmpty());

    f.select(0, 1);
    QCOMPARE(rawEditorText(f.ui), QStringLiteral("kanji one\n"));

    // Browsing well-formed entries logs nothing.
    QCOMPARE(f.log(), afterEmpty);
}

void WindowBrowseTest::switchingAwayDiscardsEdits()
{
    WindowFixture f;
    f.open(path);
    f.ui.text->setPlainText("edited\nlines");
    f.select(0, 1);
    f.select(0, 0);
    QCOMPARE(rawEditorText(f.ui), QStringLiteral("first line\nsecond"));

    f.ui.text->setPlainText("edited\nagain");
    f.select(1);
    f.select(0);
    QCOMPARE(rawEditorText(f.ui), QStringLiteral("first line\nsecond"));
    QCOMPARE(MainWindowProbe::narc(f.window).files, browseEntries());
}

void WindowBrowseTest::saveTextStoresInMemoryOnly()
{
    const QByteArray onDisk = readFileBytes(path);
    WindowFixture f;
    f.open(path);
    const QString log = f.log();

    // Section 0 grows: section 1 must survive the move.
    const QString edited = QStringLiteral("a rather longer first line\n") + QStringLiteral("x") + nbsp + QStringLiteral("y");
    f.ui.text->setPlainText(edited);
    f.saveText();
    QCOMPARE(f.log(), log);
    QCOMPARE(rawEditorText(f.ui), edited);
    QCOMPARE(f.ui.narcEntryIds->currentIndex(), 0);
    QCOMPARE(f.ui.typeIds->currentIndex(), 0);
    QCOMPARE(readFileBytes(path), onDisk);

    f.select(1);
    f.select(0);
    QCOMPARE(rawEditorText(f.ui), edited);
    f.select(0, 1);
    QCOMPARE(rawEditorText(f.ui), QStringLiteral("kanji one\n"));

    // Section 1 of the same entry, then another entry.
    f.ui.text->setPlainText("new kanji\nsecond kanji");
    f.saveText();
    f.select(1);
    f.ui.text->setPlainText("A\r\nB\nC");
    f.saveText();
    QCOMPARE(f.log(), log);
    QCOMPARE(readFileBytes(path), onDisk);

    // Written and read back, the archive holds all three edits.
    f.write();
    QVERIFY(readFileBytes(path) != onDisk);
    WindowFixture g;
    g.open(path);
    QCOMPARE(rawEditorText(g.ui), edited);
    g.select(0, 1);
    QCOMPARE(rawEditorText(g.ui), QStringLiteral("new kanji\nsecond kanji"));
    g.select(1);
    QCOMPARE(rawEditorText(g.ui), QStringLiteral("A\nB\nC"));
    QCOMPARE(g.log(), QStringLiteral("Loaded ") + path + QLatin1Char('\n'));
}

void WindowBrowseTest::uneditedSaveKeepsEntryBytes()
{
    // Units the editor must carry unchanged: a no-break space, a backslash,
    // escaped control and private-use units, and a character outside the BMP.
    FixtureLine special = fixtureLine(QStringLiteral("a") + nbsp + QStringLiteral("b\\c"), 0x4321, 9);
    special.units.append({0x0001, 0xF000, 0x000A, 0xD83D, 0xDE00});
    const FixtureSection hiragana = {special, fixtureLine(nbsp + nbsp, 0x1111, 3), fixtureLine("", 0x2222, 4)};
    const FixtureSection kanji = {fixtureLine("\\x0041", 0x3333, 5), fixtureLine(nbsp, 0x4444, 6),
                                  fixtureLine("end", 0x5555, 7)};
    const QList<NarcEntry> entries = {buildMessageFile({hiragana, kanji})};
    QVERIFY(writeArchive(path, entries));

    WindowFixture f;
    f.open(path);
    QCOMPARE(rawEditorText(f.ui), QStringLiteral("a") + nbsp + QStringLiteral("b\\x005cc\\x0001\\xf000\\x000a")
                                      + QString::fromUtf8("\xf0\x9f\x98\x80") + QStringLiteral("\n") + nbsp + nbsp
                                      + QStringLiteral("\n"));
    f.saveText();
    QCOMPARE(MainWindowProbe::narc(f.window).files, entries);
    f.select(0, 1);
    f.saveText();
    QCOMPARE(MainWindowProbe::narc(f.window).files, entries);
    QCOMPARE(f.log(), QStringLiteral("Loaded ") + path + QLatin1Char('\n'));
}

void WindowBrowseTest::tooFewLinesAreReported()
{
    WindowFixture f;
    f.open(path);
    const QString log = f.log();

    f.ui.text->setPlainText("only one line");
    f.saveText();
    QCOMPARE(f.log(), log + QStringLiteral("Skipping 0000/0000 due to too few lines\n"));
    QCOMPARE(MainWindowProbe::narc(f.window).files, browseEntries());
    QCOMPARE(rawEditorText(f.ui), QStringLiteral("only one line"));

    f.select(1);
    f.ui.text->setPlainText("a\nb");
    f.saveText();
    QCOMPARE(f.log(), log + QStringLiteral("Skipping 0000/0000 due to too few lines\n")
                          + QStringLiteral("Skipping 0000/0001 due to too few lines\n"));
    QCOMPARE(MainWindowProbe::narc(f.window).files, browseEntries());

    // Lines beyond the section's count are dropped without a word.
    f.ui.text->setPlainText("a\nb\nc\nd\n");
    f.saveText();
    QCOMPARE(f.log().count(QLatin1Char('\n')), 3);
    QCOMPARE(MainWindowProbe::narc(f.window).files, browseEntries());
}

void WindowBrowseTest::malformedEntryIsReported()
{
    // Two sections claimed, the second offset far past the end.
    NarcEntry broken = buildMessageFile(QList<QStringList>{{"fine"}, {"lost"}});
    broken[16] = char(0x7f);
    broken[17] = char(0x7f);
    QVERIFY(writeArchive(path, {buildMessageFile(QList<QStringList>{{"ok"}}), broken}));

    WindowFixture f;
    f.open(path);
    const QString log = f.log();
    f.select(1);
    QCOMPARE(f.typeItems(), (QStringList{"Hiragana", "Kanji"}));
    const QStringList lines = f.log().mid(log.size()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().startsWith(QStringLiteral("Cannot decode section 0 of entry 1: ")), qPrintable(lines.first()));
    QVERIFY(f.ui.text->document()->isEmpty());

    // Saving into it changes nothing and does not crash; whatever it says is one line.
    f.ui.text->setPlainText("replacement");
    const QString before = f.log();
    f.saveText();
    QVERIFY(f.log().count(QLatin1Char('\n')) <= before.count(QLatin1Char('\n')) + 1);
    QCOMPARE(MainWindowProbe::narc(f.window).files.at(1), broken);
}

void WindowBrowseTest::decodeAndComposeIgnoreMissingIndices()
{
    WindowFixture f;
    f.open(path);
    MainWindow &w = f.window;
    const QList<QPair<int, int>> missing = {{-1, 0}, {0, -1}, {4, 0}, {1000, 1}, {0, 5}, {1, 1}};
    for (const auto &[entry, section] : missing) {
        QCOMPARE(MainWindowProbe::decodeSection(w, 0, 0).size(), 2);
        QVERIFY(!MainWindowProbe::lineKeys(w).isEmpty());
        QVERIFY(MainWindowProbe::decodeSection(w, entry, section).isEmpty());
        QVERIFY(MainWindowProbe::lineKeys(w).isEmpty());
        QVERIFY(MainWindowProbe::lineAttributes(w).isEmpty());

        MainWindowProbe::composeEntry(w, QStringLiteral("x\ny\nz"), entry, section);
        QCOMPARE(MainWindowProbe::narc(w).files, browseEntries());
    }
    QCOMPARE(f.log(), QStringLiteral("Loaded ") + path + QLatin1Char('\n'));

    // composeEntry leaves the keys of the section as it was before the change.
    MainWindowProbe::composeEntry(w, QStringLiteral("x\ny"), 0, 1);
    QCOMPARE(MainWindowProbe::lineKeys(w), (QList<quint16>{0x0f0f, 0xffff}));
    QCOMPARE(MainWindowProbe::decodeSection(w, 0, 1), (QStringList{"x", "y"}));
}

QTEST_MAIN(WindowBrowseTest)
#include "test_window_browse.moc"
