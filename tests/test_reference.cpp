// The window's reference: View > Open Reference... shows a second archive beside
// the editor, marks the lines that differ from it and counts them per entry and
// in all, kept current through Save Text and imports; Close Reference puts the
// form back as it was. Driven through the menus, the button and the editor.

#include "app/formlayout.h"
#include "app/referencepane.h"
#include "support/messagefixture.h"
#include "support/narcfixture.h"
#include "support/windowfixture.h"

#include <QImage>
#include <QLabel>
#include <QScrollBar>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTextBlock>

#include <memory>

using namespace core;

namespace {

QStringList numbered(const QString &word, int count)
{
    QStringList lines;
    for (int i = 1; i <= count; ++i)
        lines.append(word + QLatin1Char(' ') + QString::number(i));
    return lines;
}

// The original: entry 0 of two sections, entry 1 of one, entry 2 of 60 lines.
QList<NarcEntry> originalEntries()
{
    return {buildMessageFile(QList<QStringList>{{"Hello", "World", "Bye"}, {"kanji 1", "kanji 2", "kanji 3"}}),
            buildMessageFile(QList<QStringList>{{"one"}}), buildMessageFile(QList<QStringList>{numbered("line", 60)})};
}

// Its translation, begun: one line of entry 0, a section entry 1 of the original
// lacks, line 30 of entry 2, and an entry 3 the original lacks.
QList<NarcEntry> translatedEntries()
{
    QStringList long60 = numbered("line", 60);
    long60[29] = "ligne 30";
    return {buildMessageFile(QList<QStringList>{{"Bonjour", "World", "Bye"}, {"kanji 1", "kanji 2", "kanji 3"}}),
            buildMessageFile(QList<QStringList>{{"uno"}, {"extra"}}), buildMessageFile(QList<QStringList>{long60}),
            buildMessageFile(QList<QStringList>{{"only here"}})};
}

// Where the form puts the editor in a window of `size`.
QRect editorPlace(QSize size)
{
    Ui::MainWindow form;
    QMainWindow window;
    form.setupUi(&window);
    fitForm(form, size);
    return form.text->geometry();
}

} // namespace

class ReferenceTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    QString translation, original, other;

    static QAction *action(MainWindowProbe &f, const char *name)
    {
        return MainWindowProbe::part<QAction>(f.window, name);
    }
    static ReferencePane &pane(MainWindowProbe &f) { return *f.window.findChild<ReferencePane *>(); }
    static QSplitter *splitter(MainWindowProbe &f) { return f.window.findChild<QSplitter *>("referenceSplitter"); }
    static QString status(MainWindowProbe &f)
    {
        return MainWindowProbe::part<QLabel>(f.window, "referenceStatus")->text();
    }
    static QString referenceText(MainWindowProbe &f) { return MainWindowProbe::text(pane(f).view()); }
    // The entry list's counts: "1/6 2/2 1/60 1/1".
    static QString counts(MainWindowProbe &f)
    {
        QStringList shown;
        for (const QString &item : MainWindowProbe::items(f.ui.narcEntryIds))
            shown.append(item.section(QStringLiteral(" - "), 2));
        return shown.join(' ');
    }
    void openReference(MainWindowProbe &f, const QString &path)
    {
        f.answers = {path};
        action(f, "actionOpen_Reference")->trigger();
    }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        translation = dir->filePath("fr.narc");
        original = dir->filePath("original.narc");
        other = dir->filePath("other.narc");
        QVERIFY(writeArchive(translation, translatedEntries()));
        QVERIFY(writeArchive(original, originalEntries()));
        QVERIFY(writeArchive(other, {buildMessageFile(QList<QStringList>{{"other"}})}));
    }

    // The pane, its marks and the counts as the reference opens, as text is typed
    // and saved, section by section, and as it closes.
    void paneMarksAndProgress()
    {
        MainWindowProbe f(translation);
        QVERIFY(!splitter(f));
        QVERIFY(!action(f, "actionClose_Reference")->isEnabled());

        openReference(f, original);
        QCOMPARE(f.asked.last(), FileChoice::OpenReference);
        QVERIFY(f.log().endsWith("Opened reference " + original + "\n"));
        QVERIFY(splitter(f));
        QCOMPARE(f.ui.text->parentWidget(), splitter(f));
        QCOMPARE(splitter(f)->widget(0), pane(f).view());
        QVERIFY(pane(f).view()->isReadOnly());
        QVERIFY(action(f, "actionClose_Reference")->isEnabled());
        QCOMPARE(referenceText(f), "Hello\nWorld\nBye");
        QCOMPARE(pane(f).markedLines(), QList<int>{0});
        QCOMPARE(status(f), "translated 5 of 69 lines, 7%");
        QCOMPARE(counts(f), "1/6 2/2 1/60 1/1");
        QCOMPARE(MainWindowProbe::items(f.ui.narcEntryIds).first(),
                 "0 - " + QString::number(f.entries().at(0).size(), 16) + " - 1/6");

        // Marks follow the typing; the counts follow what is saved.
        f.type("Hello\nMonde\nBye");
        QCOMPARE(pane(f).markedLines(), QList<int>{1});
        QCOMPARE(status(f), "translated 5 of 69 lines, 7%");
        f.saveText();
        QCOMPARE(status(f), "translated 5 of 69 lines, 7%");
        QCOMPARE(counts(f), "1/6 2/2 1/60 1/1");
        f.type("Hello\nWorld\nBye");
        f.saveText();
        QCOMPARE(pane(f).markedLines(), QList<int>());
        QCOMPARE(status(f), "translated 4 of 69 lines, 5%");
        QCOMPARE(counts(f), "0/6 2/2 1/60 1/1");

        // A section, or an entry, the reference lacks: the pane says so, and
        // every line is marked.
        f.select(1, 1);
        QCOMPARE(f.editor(), "extra");
        QCOMPARE(referenceText(f), "");
        QCOMPARE(pane(f).view()->placeholderText(), "Entry 1 of the reference has no Kanji.");
        QCOMPARE(pane(f).markedLines(), QList<int>{0});
        f.select(3);
        QCOMPARE(pane(f).view()->placeholderText(), "The reference has no entry 3.");
        QCOMPARE(pane(f).markedLines(), QList<int>{0});
        f.select(1, 0);
        QCOMPARE(referenceText(f), "one");
        QCOMPARE(pane(f).view()->placeholderText(), "");

        // Closed, the form is as it was, without counts.
        action(f, "actionClose_Reference")->trigger();
        QVERIFY(!splitter(f));
        QCOMPARE(f.ui.text->parentWidget(), f.ui.centralWidget);
        QCOMPARE(f.ui.text->geometry(), editorPlace(formSize));
        QCOMPARE(counts(f), "   ");
        QVERIFY(f.log().endsWith("Closed reference " + original + "\n"));
        QVERIFY(!MainWindowProbe::part<QLabel>(f.window, "referenceStatus")->isVisibleTo(&f.window));
        QVERIFY(!action(f, "actionClose_Reference")->isEnabled());
    }

    // An import, and a Replace All, compare again the entries they changed.
    void importsKeepCountsCurrent()
    {
        MainWindowProbe f(translation);
        openReference(f, original);
        f.select(2);
        const QString tree = dir->filePath("tree");
        f.run(2, tree); // Export all to Files
        QStringList lines = numbered("line", 60);
        lines[9] = "ligne 10";
        QVERIFY(writeFileBytes(tree + "/0000/0002.txt", lines.join('\n').toUtf8()));
        QVERIFY(writeFileBytes(tree + "/0000/0000.txt", "Hello\nWorld\nBye"));
        f.run(3, tree); // Import all from files
        QVERIFY(f.unwritten());
        QCOMPARE(counts(f), "0/6 2/2 1/60 1/1");
        QCOMPARE(status(f), "translated 4 of 69 lines, 5%");
        QCOMPARE(pane(f).markedLines(), QList<int>{9});

        // Replace All, through the dialog's own signal.
        emit f.replaceDialog().replaceAllRequested("only", "just", false);
        QCOMPARE(counts(f), "0/6 2/2 1/60 1/1");
        emit f.replaceDialog().replaceAllRequested("line 7", "ligne 7", false);
        QCOMPARE(counts(f), "0/6 2/2 2/60 1/1");
        QCOMPARE(pane(f).markedLines(), (QList<int>{6, 9}));
    }

    // The reference sits in the editor's place, at the window's smallest size
    // and resized, scrolls with the editor line for line, marks the lines that
    // differ wherever the editor scrolled, and is passed over by Tab.
    void scrolledAndPlaced()
    {
        MainWindowProbe f(translation);
        f.window.resize(formMinimumSize());
        QVERIFY(f.activate());
        openReference(f, original);
        QCOMPARE(splitter(f)->geometry(), editorPlace(formMinimumSize()));
        QVERIFY(pane(f).view()->width() > 200 && f.ui.text->width() > 200);
        f.window.resize(formSize);
        QCOMPARE(splitter(f)->geometry(), editorPlace(formSize));

        f.select(2);
        QScrollBar *editorBar = f.ui.text->verticalScrollBar();
        QScrollBar *referenceBar = pane(f).view()->verticalScrollBar();
        editorBar->setValue(20);
        QCOMPARE(referenceBar->value(), 20);
        // The editor scrolls to its cursor without a signal from its scroll bar.
        f.ui.text->setFocus();
        for (int i = 0; i < 60; ++i)
            QTest::keyClick(f.ui.text, Qt::Key_Down);
        for (int i = 0; i < 30; ++i)
            QTest::keyClick(f.ui.text, Qt::Key_Up); // to line 30, scrolled back to it
        QCOMPARE(referenceBar->value(), editorBar->value());
        const QImage drawn = f.ui.text->grab().toImage();
        const auto barAt = [&](int line) {
            const QTextCursor at(f.ui.text->document()->findBlockByNumber(line));
            const QPoint left(1, f.ui.text->cursorRect(at).center().y());
            return drawn.pixelColor(f.ui.text->viewport()->pos() + left) == QColor(230, 150, 0);
        };
        QVERIFY(barAt(29) && !barAt(30) && !barAt(31)); // "ligne 30"
        f.ui.pushButton->setFocus();
        QTest::keyClick(f.ui.pushButton, Qt::Key_Tab);
        QVERIFY(f.ui.text->hasFocus());
        QTest::keyClick(f.ui.text, Qt::Key_Tab);
        QVERIFY(f.ui.report->hasFocus());

        // Scrolled itself past the editor's last line (the editor holds fewer
        // lines now), the reference takes the editor along as far as it goes.
        f.type(numbered("line", 30).join('\n'));
        editorBar->setValue(0);
        referenceBar->setValue(referenceBar->maximum());
        QVERIFY(editorBar->value() > 0);
        QCOMPARE(referenceBar->value(), editorBar->value());
        action(f, "actionClose_Reference")->trigger();
        QCOMPARE(f.ui.text->geometry(), editorPlace(formSize));
    }

    // The reference belongs to the archive it was opened for, for the window's
    // life. A file that is no archive is refused with a line in the log, and
    // the reference open stays.
    void rememberedPerArchive()
    {
        MainWindowProbe f(translation);
        QVERIFY(writeFileBytes(dir->filePath("notes.txt"), "not an archive"));
        openReference(f, dir->filePath("notes.txt"));
        QVERIFY(f.log().endsWith("Failed to open reference " + dir->filePath("notes.txt")
                                 + ": does not start with the tag NARC\n"));
        QVERIFY(!splitter(f));
        openReference(f, original);
        openReference(f, dir->filePath("notes.txt"));
        f.open(other);
        QVERIFY(!splitter(f));
        QCOMPARE(counts(f), "");
        f.open(translation);
        QVERIFY(splitter(f));
        QCOMPARE(referenceText(f), "Hello\nWorld\nBye");
        QCOMPARE(status(f), "translated 5 of 69 lines, 7%");
        action(f, "actionClose_Reference")->trigger();
        f.open(other);
        f.open(translation);
        QVERIFY(!splitter(f));
    }
};

QTEST_MAIN(ReferenceTest)
#include "test_reference.moc"
