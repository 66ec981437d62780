// The window's text-box width: View > Line Width..., the guide, the marks past
// the limit and the status of the cursor's row, through real signals; and the PO
// import's choice to skip translations whose escapes changed.

#include "app/linewidthdialog.h"
#include "app/linewidthview.h"
#include "codec/decode.h"
#include "support/messagefixture.h"
#include "support/rows.h"
#include "support/windowfixture.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextBlock>

#include <memory>
#include <optional>

using namespace core;

namespace {

// Entry 0: a Latin section and a Japanese one, each with a line that fits, lines
// too wide and a line of two rows. Entry 1: more lines than the editor shows.
QList<NarcEntry> entries()
{
    QStringList many;
    for (int i = 1; i <= 80; ++i)
        many.append(QStringLiteral("line %1 of the long section").arg(i, 2, 10, QLatin1Char('0')));
    return {buildMessageFile(QList<QStringList>{{"short", "0123456789ABC", "ab\ncdefghijklm", "12345678\uFFFE90"},
                                                {QStringLiteral("こんにちは"), QStringLiteral("こんにちは世界"),
                                                 QStringLiteral("はい\nいいえ、ちがいます"), "x"}}),
            buildMessageFile(QList<QStringList>{many})};
}

// A window on screen, as marks are set for the rows in view.
struct Window : MainWindowProbe
{
    explicit Window(const QString &path)
        : MainWindowProbe(path)
    {
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            qWarning("the window was not exposed");
    }

    LineWidthView &view() const { return *window.findChild<LineWidthView *>(); }
    QString status() const { return window.findChild<QLabel *>("lineWidthStatus")->text(); }
    QWidget *guide() const { return window.findChild<QWidget *>("lineWidthGuide"); }
    // View > Line Width..., answered with `rule` (nothing: cancelled).
    void chooseRule(std::optional<WidthRule> rule)
    {
        view().askRule = [rule](const WidthRule &) { return rule; };
        QMenu *menu = window.menuBar()->findChild<QMenu *>("menuView");
        QAction *lineWidth = window.findChild<QAction *>("actionLine_Width");
        QVERIFY(menu && lineWidth && menu->actions().first() == lineWidth);
        lineWidth->trigger();
    }
    // The marked text of the editor, in order.
    QStringList marks() const
    {
        QCoreApplication::processEvents(); // marks follow the text once it settled
        QStringList texts;
        for (const QTextEdit::ExtraSelection &mark : ui.text->extraSelections())
            texts.append(mark.cursor.selectedText());
        return texts;
    }
    // Puts the cursor at `column` of line `line` (from 1), as a click would.
    void placeCursor(int line, int column)
    {
        QTextCursor cursor(ui.text->document()->findBlockByNumber(line - 1));
        cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, column);
        ui.text->setTextCursor(cursor);
    }
};

} // namespace

class LineWidthTest : public QObject
{
    Q_OBJECT

    QTemporaryDir settings; // the user's settings, for this test only
    std::unique_ptr<QTemporaryDir> dir;
    QString archive;

private slots:
    void initTestCase() { qputenv("XDG_CONFIG_HOME", QFile::encodeName(settings.path())); }

    void init()
    {
        QFile::remove(settings.filePath("narcedit/narcedit.conf"));
        dir = std::make_unique<QTemporaryDir>();
        archive = dir->filePath("game.narc");
        QVERIFY(writeArchive(archive, entries()));
    }

    // With a limit, the part of each row past it is marked, in Latin and
    // Japanese text alike, and the marks follow the text as it is typed.
    void marksPastTheLimit_data()
    {
        QTest::addColumn<int>("section");
        QTest::addColumn<QStringList>("marks");
        row("Latin", 0, QStringList{"ABC", "m"}); // line 4 is exactly as wide as the limit
        row("Japanese", 1, QStringList{QStringLiteral("世界"), QStringLiteral("がいます")});
    }

    void marksPastTheLimit()
    {
        QFETCH(int, section);
        QFETCH(QStringList, marks);
        Window f(archive);
        f.select(0, section);
        f.chooseRule(WidthRule{10, {0x000a}});
        QCOMPARE(f.marks(), marks);

        // Typing over the limit marks what went past it; deleting it again clears it.
        f.placeCursor(1, 0);
        QTest::keyClicks(f.ui.text, "......");
        QCOMPARE(f.marks().first(), section == 0 ? QString("t") : QStringLiteral("にちは"));
        for (int i = 0; i < 6; ++i)
            QTest::keyClick(f.ui.text, Qt::Key_Backspace);
        QCOMPARE(f.marks(), marks);
        // A check, not a refusal: a line past the limit is saved as typed.
        f.placeCursor(1, 0);
        QTest::keyClicks(f.ui.text, "wide wide wide ");
        f.saveText();
        QVERIFY2(!f.log().contains("Skipping"), qPrintable(f.log()));
        QVERIFY(decodeMessageSection(f.entries().at(0), section).lines.first().startsWith("wide wide wide "));
    }

    // The status bar names the cursor's line, and its row in a line of several,
    // with the row's width and the limit, as the cursor moves.
    void statusOfTheCursorsRow_data()
    {
        QTest::addColumn<int>("section");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("status");
        row("too wide", 0, 2, 13, "line 2: 13 of 10");
        row("inside the breaking escape", 0, 3, 4, "line 3, row 1: 2 of 10");
        row("second row", 0, 3, 8, "line 3, row 2: 11 of 10");
        row("escape of no width", 0, 4, 0, "line 4: 10 of 10");
        row("full width, second row", 1, 3, 9, "line 3, row 2: 18 of 10");
    }

    void statusOfTheCursorsRow()
    {
        QFETCH(int, section);
        QFETCH(int, line);
        QFETCH(int, column);
        QFETCH(QString, status);
        Window f(archive);
        f.select(0, section);
        f.chooseRule(WidthRule{10, {0x000a}});
        f.placeCursor(line, column);
        QCOMPARE(f.status(), status);
    }

    // Off at first, and again at a limit of 0: no guide, no marks, no status.
    // With a limit, the guide stands where the limit's column starts, as the
    // editor lays the text out, and follows scrolling.
    void guideAtTheLimit()
    {
        Window f(archive);
        QVERIFY(f.guide()->isHidden());
        QCOMPARE(f.marks(), QStringList());
        f.placeCursor(2, 3);
        QCOMPARE(f.status(), QString());
        f.chooseRule(WidthRule{10, {0x000a}});
        QVERIFY(f.guide()->isVisibleTo(&f.window));
        QCOMPARE(f.guide()->geometry(), f.ui.text->viewport()->rect());
        QTextCursor tenth(f.ui.text->document()->findBlockByNumber(1));
        tenth.setPosition(tenth.position() + 10); // before "A" of "0123456789ABC"
        QVERIFY(qAbs(f.ui.text->cursorRect(tenth).left() - f.view().guideX()) <= 1);
        const QFontMetricsF metrics(f.ui.text->font()); // fixed pitch, whatever the family
        QCOMPARE(metrics.horizontalAdvance('i'), metrics.horizontalAdvance('M'));

        // Scrolled to the end, the rows now in view are marked and the guide stays put.
        f.select(1);
        QScrollBar *scroll = f.ui.text->verticalScrollBar();
        QVERIFY(scroll->maximum() > 0);
        scroll->setValue(scroll->maximum());
        QVERIFY(!f.marks().isEmpty());
        QCOMPARE(f.ui.text->extraSelections().last().cursor.block().blockNumber(), 79);
        QVERIFY(f.ui.text->extraSelections().first().cursor.block().blockNumber() > 0);
        QCOMPARE(f.guide()->geometry(), f.ui.text->viewport()->rect());

        f.chooseRule(WidthRule{0, {0x000a}});
        QVERIFY(f.guide()->isHidden());
        QCOMPARE(f.view().guideX(), -1);
        QCOMPARE(f.marks(), QStringList());
        QCOMPARE(f.status(), QString());
    }

    // The rule is remembered for the next window; a cancelled dialog keeps it.
    void remembered()
    {
        {
            Window f(archive);
            f.chooseRule(WidthRule{38, {0x000a, 0xfffe}});
            f.chooseRule(std::nullopt);
            QCOMPARE(f.view().rule().limit, 38);
        }
        Window again(archive);
        QCOMPARE(again.view().rule().limit, 38);
        QCOMPARE(again.view().rule().breaks, (QList<quint16>{0x000a, 0xfffe}));
        again.placeCursor(2, 0);
        QCOMPARE(again.status(), "line 2: 13 of 38");
    }

    // The dialog offers OK only while the escapes read as escapes, and says why not.
    void dialog()
    {
        LineWidthDialog dialog(WidthRule{0, {0x000a}});
        auto *limit = dialog.findChild<QSpinBox *>("limit");
        auto *breaks = dialog.findChild<QLineEdit *>("breaks");
        auto *problem = dialog.findChild<QLabel *>("problem");
        QPushButton *ok = dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
        QCOMPARE(limit->text(), QString("Off"));
        QCOMPARE(breaks->text(), QString("\\x000a"));
        limit->setValue(38);
        breaks->clear();
        QTest::keyClicks(breaks, "\\xfffe, \\x00");
        QVERIFY(!ok->isEnabled());
        QCOMPARE(problem->text(), QString("\"\\x00\" is not an escape such as \\x000a"));
        QTest::keyClicks(breaks, "0a");
        QVERIFY(ok->isEnabled());
        QVERIFY(problem->isHidden());
        QCOMPARE(dialog.rule().limit, 38);
        QCOMPARE(dialog.rule().breaks, (QList<quint16>{0xfffe, 0x000a}));
    }

    // File > Skip Translations with Changed Escapes: the PO import skips them
    // instead of applying them with a line to check; the breaking escapes of the
    // line width move freely. Remembered.
    void skipChangedEscapes_data()
    {
        QTest::addColumn<bool>("skip");
        row("applied with a warning", false);
        row("skipped", true);
    }

    void skipChangedEscapes()
    {
        QFETCH(bool, skip);
        const QByteArray po =
            "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
            "msgctxt \"0000/0000/0004\"\nmsgid \"12345678\\\\xfffe90\"\nmsgstr \"1234\"\n\n"
            "msgctxt \"0000/0000/0003\"\nmsgid \"ab\\\\x000acdefghijklm\"\nmsgstr \"abc\"\n";
        QVERIFY(writeFileBytes(dir->filePath("fr.po"), po));
        {
            Window f(archive);
            f.chooseRule(WidthRule{0, {0x000a}});
            QAction *action = f.window.findChild<QAction *>("actionSkip_Changed_Escapes");
            QVERIFY(action && action->isCheckable() && !action->isChecked());
            const QList<QAction *> file = f.ui.menuFile->actions();
            QCOMPARE(file.indexOf(action), file.indexOf(f.ui.actionImport_Translations_from_PO) + 1);
            action->setChecked(skip);
        }
        Window f(archive);
        f.answers = QStringList{dir->filePath("fr.po")};
        f.ui.actionImport_Translations_from_PO->trigger();
        const QString check =
            "0000/0000/0004 (entry 0, Hiragana, line 4): escapes differ from the source: missing \\xfffe";
        QVERIFY2(f.log().contains((skip ? "Skipping " : "Check ") + check), qPrintable(f.log()));
        QVERIFY2(f.log().contains(QString("%1 applied, %2 skipped, 0 untranslated, 0 fuzzy, 1 with changed escapes")
                                      .arg(skip ? 1 : 2)
                                      .arg(skip ? 1 : 0)),
                 qPrintable(f.log()));
        QCOMPARE(decodeMessageSection(f.entries().at(0), 0).lines.at(3),
                 skip ? QString("12345678\\xfffe90") : QString("1234"));
        QCOMPARE(decodeMessageSection(f.entries().at(0), 0).lines.at(2), QString("abc"));
    }
};

QTEST_MAIN(LineWidthTest)
#include "test_linewidth.moc"
