// The window's form, its File menu, opening and writing archives, and the log.

#include "support/filesizelimit.h"
#include "support/messagefixture.h"
#include "support/narcfixture.h"
#include "support/windowfixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMetaMethod>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>


namespace {

// Three entries of 0x1a4, 0x20 and 0 bytes; zero bytes read as message files
// without sections, so nothing shows and nothing is reported.
QList<NarcEntry> sizedEntries()
{
    return {NarcEntry(0x1a4, '\0'), NarcEntry(0x20, '\0'), NarcEntry()};
}

QList<NarcEntry> messageEntries()
{
    return {buildMessageFile(QList<QStringList>{{"first", "second"}}),
            buildMessageFile(QList<QStringList>{{"one"}, {"ichi"}})};
}

QString widgetParentName(const QObject *object)
{
    return object->parent() ? object->parent()->objectName() : QString();
}

} // namespace

class WindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initialState();
    void formWidgets_data();
    void formWidgets();
    void formFrameAndFocusOrder();
    void slotTable();
    void fileMenuEntriesAndWiring();
    void openListsEntriesAndLogs();
    void openEmptyArchiveKeepsShownEntry();
    void openManyEntries();
    void cancelledOpenKeepsArchive();
    void failedLoadKeepsPreviousArchive_data();
    void failedLoadKeepsPreviousArchive();
    void writeBackAndItemsKeepLoadSizes();
    void failedWriteBelowRegularFile();
    void failedWriteCutShortBySizeLimit();
    void languageChangeReappliesFormTexts();
    void appendReportKeepsTypedText();
    void appendReportManyLines();
    void defaultChooserShowsDialogs_data();
    void defaultChooserShowsDialogs();
    void defaultChooserReturnsChosenFile();
};

void WindowTest::initialState()
{
    WindowFixture f;
    QCOMPARE(f.ui.narcEntryIds->count(), 0);
    QCOMPARE(f.ui.typeIds->count(), 0);
    QVERIFY(f.ui.text->document()->isEmpty());
    QVERIFY(f.ui.report->document()->isEmpty());
    QCOMPARE(f.ui.progressBar->value(), 0);
    QCOMPARE(f.ui.progressBar->format(), QStringLiteral("%v/%m:%p%"));
    QCOMPARE(f.ui.label_2->text(), QStringLiteral("Not Active"));
    QCOMPARE(f.window.windowTitle(), QStringLiteral("MainWindow"));
    QCOMPARE(f.window.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(f.window.size(), QSize(698, 582));
    QVERIFY(MainWindowProbe::narcPath(f.window).isEmpty());
    QCOMPARE(MainWindowProbe::narc(f.window).files.size(), 0);
    QVERIFY(f.ui.statusBar->currentMessage().isEmpty());
    QVERIFY(f.asked.isEmpty());
}

void WindowTest::formWidgets_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");

    const QString central = QStringLiteral("centralWidget");
    QTest::newRow("text") << "QPlainTextEdit" << central << QRect(40, 70, 581, 241) << QString();
    QTest::newRow("narcEntryIds") << "QComboBox" << central << QRect(40, 25, 181, 27) << QString();
    QTest::newRow("typeIds") << "QComboBox" << central << QRect(230, 25, 181, 27) << QString();
    QTest::newRow("label") << "QLabel" << central << QRect(40, 5, 121, 17) << "Narc Entry";
    QTest::newRow("label_3") << "QLabel" << central << QRect(240, 5, 121, 17) << "Type";
    QTest::newRow("pushButton") << "QPushButton" << central << QRect(460, 20, 141, 31) << "Save Text";
    QTest::newRow("progressBar") << "QProgressBar" << central << QRect(360, 330, 221, 23) << QString();
    QTest::newRow("label_2") << "QLabel" << central << QRect(60, 330, 191, 21) << "Not Active";
    QTest::newRow("report") << "QPlainTextEdit" << central << QRect(40, 360, 581, 161) << QString();
    QTest::newRow("menuBar") << "QMenuBar" << "MainWindow" << QRect(0, 0, 698, 23) << QString();
}

void WindowTest::formWidgets()
{
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);

    WindowFixture f;
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    auto *widget = f.window.findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    QCOMPARE(widgetParentName(widget), parentName);
    QCOMPARE(widget->geometry(), geometry);
    if (auto *label = qobject_cast<QLabel *>(widget))
        QCOMPARE(label->text(), text);
    if (auto *button = qobject_cast<QPushButton *>(widget))
        QCOMPARE(button->text(), text);
}

void WindowTest::formFrameAndFocusOrder()
{
    WindowFixture f;
    QCOMPARE(f.window.centralWidget(), f.ui.centralWidget);
    QVERIFY(!f.ui.centralWidget->layout());

    // No layout moves anything when the window is resized.
    QList<QRect> geometries;
    for (QWidget *child : f.ui.centralWidget->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        geometries.append(child->geometry());
    f.window.resize(1200, 900);
    f.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    QList<QRect> resized;
    for (QWidget *child : f.ui.centralWidget->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        resized.append(child->geometry());
    QCOMPARE(resized, geometries);
    QCOMPARE(geometries.size(), 9);
    QCOMPARE(f.window.menuBar(), f.ui.menuBar);
    QCOMPARE(f.window.statusBar(), f.ui.statusBar);
    QCOMPARE(f.ui.text->lineWrapMode(), QPlainTextEdit::NoWrap);
    QVERIFY(!f.ui.narcEntryIds->isEditable());
    QVERIFY(!f.ui.typeIds->isEditable());

    // The menu bar holds the File menu alone; the tool bar sits on top and is empty.
    QCOMPARE(f.ui.menuFile->parent(), f.ui.menuBar);
    QCOMPARE(f.ui.menuBar->actions(), QList<QAction *>{f.ui.menuFile->menuAction()});
    QCOMPARE(f.ui.menuFile->title(), QStringLiteral("File"));
    QCOMPARE(f.ui.mainToolBar->parent(), &f.window);
    QCOMPARE(f.window.toolBarArea(f.ui.mainToolBar), Qt::TopToolBarArea);
    QVERIFY(f.ui.mainToolBar->actions().isEmpty());
    for (QAction *action : f.ui.menuFile->actions()) {
        QCOMPARE(action->parent(), &f.window);
        QVERIFY(action->shortcut().isEmpty());
        QVERIFY(action->icon().isNull());
    }

    // Tab moves through the editable widgets in creation order.
    const QList<QWidget *> focusable = {f.ui.text, f.ui.narcEntryIds, f.ui.typeIds, f.ui.pushButton, f.ui.report};
    QList<QWidget *> order;
    QWidget *widget = f.ui.text;
    do {
        if (focusable.contains(widget) && !order.contains(widget))
            order.append(widget);
        widget = widget->nextInFocusChain();
    } while (widget != f.ui.text);
    QCOMPARE(order, focusable);
}

void WindowTest::slotTable()
{
    const QMetaObject &meta = MainWindow::staticMetaObject;
    QCOMPARE(meta.superClass(), &QMainWindow::staticMetaObject);
    const QStringList expected = {"openNarc()",    "writeToNarc()",   "typeChanged()",  "loadEntryFromNarc()",
                                  "saveEntry()",   "exportToFiles()", "exportToFile()", "importFromFiles()"};
    QStringList found;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        QCOMPARE(method.methodType(), QMetaMethod::Slot);
        QCOMPARE(method.access(), QMetaMethod::Private);
        found.append(QString::fromLatin1(method.methodSignature()));
    }
    QCOMPARE(found, expected);
}

void WindowTest::fileMenuEntriesAndWiring()
{
    WindowFixture f;
    QStringList texts;
    for (QAction *action : f.ui.menuFile->actions())
        texts.append(action->text());
    QCOMPARE(texts, (QStringList{"Open Narc", "Write To Narc", "Export all to Files", "Import all from files",
                                 "Export all to File"}));
    const QList<QAction *> actions = f.ui.menuFile->actions();
    QCOMPARE(actions.at(0), f.ui.actionOpen_Narc);
    QCOMPARE(actions.at(1), f.ui.actionWrite_To_Narc);
    QCOMPARE(actions.at(2), f.ui.actionExtract_all_to_Text);
    QCOMPARE(actions.at(3), f.ui.actionImport_all_from_files);
    QCOMPARE(actions.at(4), f.ui.actionExport_all_to_File);

    // Each entry starts exactly one slot: the directory export is the third entry,
    // the one-file export the fifth.
    QCOMPARE(MainWindowProbe::slotsStartedBy(f.window, actions.at(0)), QStringList{"openNarc"});
    QCOMPARE(MainWindowProbe::slotsStartedBy(f.window, actions.at(1)), QStringList{"writeToNarc"});
    QCOMPARE(MainWindowProbe::slotsStartedBy(f.window, actions.at(2)), QStringList{"exportToFiles"});
    QCOMPARE(MainWindowProbe::slotsStartedBy(f.window, actions.at(3)), QStringList{"importFromFiles"});
    QCOMPARE(MainWindowProbe::slotsStartedBy(f.window, actions.at(4)), QStringList{"exportToFile"});

    // "Open Narc" asks for an archive; cancelling it changes nothing.
    actions.at(0)->trigger();
    QCOMPARE(f.asked, QList<FileChoice>{FileChoice::OpenArchive});
    QVERIFY(f.log().isEmpty());
    QVERIFY(MainWindowProbe::narcPath(f.window).isEmpty());

    // "Write To Narc" asks nothing and, with nothing open, says so; "Save Text"
    // has nothing to save into and stays silent.
    actions.at(1)->trigger();
    f.saveText();
    QCOMPARE(f.asked.size(), 1);
    QCOMPARE(f.log(), QStringLiteral("No archive is open; nothing written\n"));
}

void WindowTest::openListsEntriesAndLogs()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("sized.narc");
    QVERIFY(writeArchive(path, sizedEntries()));

    WindowFixture f;
    f.open(path);
    QCOMPARE(f.entryItems(), (QStringList{"0 - 1a4", "1 - 20", "2 - 0"}));
    QCOMPARE(f.ui.narcEntryIds->currentIndex(), 0);
    QCOMPARE(f.log(), QStringLiteral("Loaded ") + path + QLatin1Char('\n'));
    QCOMPARE(MainWindowProbe::narcPath(f.window), path);
    QCOMPARE(MainWindowProbe::narc(f.window).files, sizedEntries());
    QCOMPARE(f.typeItems(), QStringList{"Hiragana"});

    // Twelve entries: the last item shows 4096 bytes as "1000".
    QList<NarcEntry> twelve(12, NarcEntry(12, '\0'));
    twelve.append(NarcEntry(4096, '\0'));
    const QString bigger = dir.filePath("thirteen.narc");
    QVERIFY(writeArchive(bigger, twelve));
    f.open(bigger);
    QCOMPARE(f.entryItems().size(), 13);
    QCOMPARE(f.entryItems().first(), QStringLiteral("0 - c"));
    QCOMPARE(f.entryItems().last(), QStringLiteral("12 - 1000"));
    QCOMPARE(f.log(), QStringLiteral("Loaded ") + path + QStringLiteral("\nLoaded ") + bigger + QLatin1Char('\n'));
}

void WindowTest::openEmptyArchiveKeepsShownEntry()
{
    QTemporaryDir dir;
    const QString messages = dir.filePath("messages.narc");
    const QString empty = dir.filePath("empty.narc");
    QVERIFY(writeArchive(messages, messageEntries()));
    QVERIFY(writeArchive(empty, {}));

    WindowFixture f;
    f.open(messages);
    f.select(1, 1);
    QCOMPARE(f.editorText(), QStringLiteral("ichi"));

    f.open(empty);
    QCOMPARE(f.ui.narcEntryIds->count(), 0);
    QCOMPARE(f.typeItems(), (QStringList{"Hiragana", "Kanji"}));
    QCOMPARE(f.editorText(), QStringLiteral("ichi"));
    QCOMPARE(MainWindowProbe::narcPath(f.window), empty);
    QVERIFY(f.log().endsWith(QStringLiteral("Loaded ") + empty + QLatin1Char('\n')));

    // Save Text has no entry to save into.
    const QString before = f.log();
    f.saveText();
    QCOMPARE(f.log(), before);
}

void WindowTest::openManyEntries()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("many.narc");
    QList<NarcEntry> entries(50000, buildMessageFile(QList<QStringList>{{"same"}}));
    entries[0] = buildMessageFile(QList<QStringList>{{"zero"}, {"rei"}});
    QVERIFY(writeArchive(path, entries));

    WindowFixture f;
    f.open(path);
    QCOMPARE(f.ui.narcEntryIds->count(), 50000);
    QCOMPARE(f.ui.narcEntryIds->currentIndex(), 0);
    QCOMPARE(f.ui.narcEntryIds->itemText(49999), QStringLiteral("49999 - ") + QString::number(entries[1].size(), 16));
    QCOMPARE(f.typeItems(), (QStringList{"Hiragana", "Kanji"}));
    QCOMPARE(f.editorText(), QStringLiteral("zero"));

    f.select(49999);
    QCOMPARE(f.typeItems(), QStringList{"Hiragana"});
    QCOMPARE(f.editorText(), QStringLiteral("same"));
}

void WindowTest::cancelledOpenKeepsArchive()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("messages.narc");
    QVERIFY(writeArchive(path, messageEntries()));

    WindowFixture f;
    f.open(path);
    const QString log = f.log();
    f.cancelOpen();
    QCOMPARE(f.ui.narcEntryIds->count(), 0);
    QCOMPARE(f.typeItems(), QStringList{"Hiragana"});
    QCOMPARE(f.editorText(), QStringLiteral("first\nsecond"));
    QCOMPARE(f.log(), log);
    QCOMPARE(MainWindowProbe::narcPath(f.window), path);

    // Save Text has nothing to save into; Write To Narc still writes the archive.
    f.ui.text->setPlainText("changed\nlines");
    f.saveText();
    QCOMPARE(f.log(), log);
    QCOMPARE(MainWindowProbe::narc(f.window).files, messageEntries());

    QVERIFY(QFile::remove(path));
    f.write();
    QCOMPARE(f.log(), log + QStringLiteral("Finished writing ") + path + QLatin1Char('\n'));
    QCOMPARE(readFileBytes(path), buildNarcBytes({entryBytes(messageEntries()[0]), entryBytes(messageEntries()[1])}));

    // Choosing a section now decodes with no entry: the editor empties.
    f.ui.typeIds->addItem("Kanji");
    f.ui.typeIds->setCurrentIndex(1);
    QVERIFY(f.ui.text->document()->isEmpty());
}

void WindowTest::failedLoadKeepsPreviousArchive_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no such file
    const QByteArray good = buildNarcBytes({QByteArray(40, 'z')});
    QTest::newRow("not an archive") << QByteArray("just some text\n");
    QTest::newRow("truncated") << good.left(good.size() - 12);
    QTest::newRow("empty file") << QByteArray("");
    QTest::newRow("missing file") << QByteArray();
}

void WindowTest::failedLoadKeepsPreviousArchive()
{
    QFETCH(QByteArray, content);

    QTemporaryDir dir;
    const QString good = dir.filePath("good.narc");
    const QString bad = dir.filePath("bad.narc");
    QVERIFY(writeArchive(good, messageEntries()));
    if (!content.isNull())
        QVERIFY(writeFileBytes(bad, content));

    WindowFixture f;
    f.open(good);
    const QString log = f.log();
    f.open(bad);

    QVERIFY(f.log().startsWith(log + QStringLiteral("Failed to load ") + bad + QStringLiteral(": ")));
    QVERIFY(f.log().endsWith(QLatin1Char('\n')));
    QCOMPARE(f.log().count(QLatin1Char('\n')), 2);
    QVERIFY(f.log().size() > log.size() + QStringLiteral("Failed to load : \n").size() + bad.size());
    QCOMPARE(f.ui.narcEntryIds->count(), 0);
    QCOMPARE(MainWindowProbe::narcPath(f.window), good);
    QCOMPARE(MainWindowProbe::narc(f.window).files, messageEntries());

    // Write To Narc still writes the archive that did load, and leaves the bad file alone.
    QVERIFY(writeFileBytes(good, "overwritten"));
    f.write();
    QVERIFY(f.log().endsWith(QStringLiteral("Finished writing ") + good + QLatin1Char('\n')));
    QCOMPARE(readFileBytes(good), buildNarcBytes({entryBytes(messageEntries()[0]), entryBytes(messageEntries()[1])}));
    QCOMPARE(QFile::exists(bad), !content.isNull());
    if (!content.isNull())
        QCOMPARE(readFileBytes(bad), content);
}

void WindowTest::writeBackAndItemsKeepLoadSizes()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("messages.narc");
    const QByteArray original =
        buildNarcBytes({entryBytes(messageEntries()[0]), entryBytes(messageEntries()[1])});
    QVERIFY(writeFileBytes(path, original));

    WindowFixture f;
    f.open(path);
    const QStringList items = f.entryItems();
    f.write();
    QCOMPARE(readFileBytes(path), original);
    QCOMPARE(f.log(), QStringLiteral("Loaded %1\nFinished writing %1\n").arg(path));

    // A longer first entry: the file grows, the list keeps the sizes from loading.
    f.ui.text->setPlainText("a much longer first line\nsecond");
    f.saveText();
    f.write();
    QVERIFY(readFileBytes(path).size() > original.size());
    QCOMPARE(f.entryItems(), items);

    f.open(path);
    QCOMPARE(f.editorText(), QStringLiteral("a much longer first line\nsecond"));
    QVERIFY(f.entryItems().first() != items.first());
}

void WindowTest::failedWriteBelowRegularFile()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("sub"));
    const QString path = dir.filePath("sub/messages.narc");
    QVERIFY(writeArchive(path, messageEntries()));

    WindowFixture f;
    f.open(path);
    const QString log = f.log();

    // The directory becomes a regular file: no file can exist below it now.
    QVERIFY(QFile::remove(path));
    QVERIFY(QDir(dir.path()).rmdir("sub"));
    const QByteArray blocker = "a regular file";
    QVERIFY(writeFileBytes(dir.filePath("sub"), blocker));

    f.write();
    QVERIFY(f.log().startsWith(log + QStringLiteral("Failed to write ") + path + QStringLiteral(": ")));
    QVERIFY(f.log().endsWith(QLatin1Char('\n')));
    QCOMPARE(readFileBytes(dir.filePath("sub")), blocker);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"sub"});
}

void WindowTest::failedWriteCutShortBySizeLimit()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("big.narc");
    QList<NarcEntry> entries = messageEntries();
    entries.append(NarcEntry(64 * 1024, 'q'));
    QVERIFY(writeArchive(path, entries));
    const QByteArray original = readFileBytes(path);

    WindowFixture f;
    f.open(path);
    const QString log = f.log();

    // Files may not grow past 4 KiB while the window writes.
    {
        const FileSizeLimit limit(4096);
        f.write();
    }

    QVERIFY(f.log().startsWith(log + QStringLiteral("Failed to write ") + path + QStringLiteral(": ")));
    QCOMPARE(readFileBytes(path), original);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"big.narc"});

    // With the limit gone the same archive writes fine.
    f.write();
    QVERIFY(f.log().endsWith(QStringLiteral("Finished writing ") + path + QLatin1Char('\n')));
    QCOMPARE(readFileBytes(path), original);
}

void WindowTest::languageChangeReappliesFormTexts()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("messages.narc");
    QVERIFY(writeArchive(path, messageEntries()));

    WindowFixture f;
    f.open(path);
    f.select(1, 1);
    f.ui.report->appendPlainText("typed by the user");

    f.window.setWindowTitle("other");
    for (QAction *action : f.ui.menuFile->actions())
        action->setText("other");
    f.ui.label->setText("other");
    f.ui.label_3->setText("other");
    f.ui.pushButton->setText("other");
    f.ui.progressBar->setFormat("%p");
    f.ui.label_2->setText("Finished Exporting!");
    f.ui.menuFile->setTitle("other");
    f.ui.progressBar->setRange(0, 9);
    f.ui.progressBar->setValue(4);

    const QString log = f.log();
    const QStringList entries = f.entryItems();
    QEvent change(QEvent::LanguageChange);
    QCoreApplication::sendEvent(&f.window, &change);

    QCOMPARE(f.window.windowTitle(), QStringLiteral("MainWindow"));
    QStringList texts;
    for (QAction *action : f.ui.menuFile->actions())
        texts.append(action->text());
    QCOMPARE(texts, (QStringList{"Open Narc", "Write To Narc", "Export all to Files", "Import all from files",
                                 "Export all to File"}));
    QCOMPARE(f.ui.label->text(), QStringLiteral("Narc Entry"));
    QCOMPARE(f.ui.label_3->text(), QStringLiteral("Type"));
    QCOMPARE(f.ui.pushButton->text(), QStringLiteral("Save Text"));
    QCOMPARE(f.ui.progressBar->format(), QStringLiteral("%v/%m:%p%"));
    QCOMPARE(f.ui.label_2->text(), QStringLiteral("Not Active"));
    QCOMPARE(f.ui.menuFile->title(), QStringLiteral("File"));

    // What the slots and the user put there stays.
    QCOMPARE(f.ui.progressBar->value(), 4);
    QCOMPARE(f.ui.progressBar->maximum(), 9);
    QCOMPARE(f.log(), log);
    QCOMPARE(f.entryItems(), entries);
    QCOMPARE(f.ui.narcEntryIds->currentIndex(), 1);
    QCOMPARE(f.ui.typeIds->currentIndex(), 1);
    QCOMPARE(f.editorText(), QStringLiteral("ichi"));
}

void WindowTest::appendReportKeepsTypedText()
{
    WindowFixture f;
    f.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    f.ui.report->setFocus();
    QTest::keyClicks(f.ui.report, "typed");
    QCOMPARE(f.log(), QStringLiteral("typed"));

    MainWindowProbe::appendReport(f.window, "first");
    MainWindowProbe::appendReport(f.window, QString());
    MainWindowProbe::appendReport(f.window, QString::fromUtf8("second \xc2\xa0 \\x0001"));
    QCOMPARE(f.ui.report->document()->toRawText(),
             QString::fromUtf8("typedfirst\xe2\x80\xa9\xe2\x80\xa9second \xc2\xa0 \\x0001\xe2\x80\xa9"));
    QCOMPARE(f.ui.report->document()->blockCount(), 4);
}

void WindowTest::appendReportManyLines()
{
    WindowFixture f;
    f.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    QString expected;
    for (int i = 0; i < 20000; ++i) {
        const QString line = QStringLiteral("Wrote /some/where/0000/%1.txt").arg(i, 4, 10, QLatin1Char('0'));
        MainWindowProbe::appendReport(f.window, line);
        expected += line + QLatin1Char('\n');
    }
    QCOMPARE(f.log(), expected);
    // The view follows the end of the log.
    QScrollBar *bar = f.ui.report->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
}

void WindowTest::defaultChooserShowsDialogs_data()
{
    QTest::addColumn<int>("choice");
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<QStringList>("filters");
    QTest::addColumn<bool>("dirsOnly");

    QTest::newRow("open archive") << int(FileChoice::OpenArchive) << int(QFileDialog::ExistingFile)
                                  << QStringList{"narc (*.narc)", "All (*)"} << false;
    QTest::newRow("export file") << int(FileChoice::ExportFile) << int(QFileDialog::AnyFile)
                                 << QStringList() << false;
    QTest::newRow("export directory") << int(FileChoice::ExportDirectory) << int(QFileDialog::Directory)
                                      << QStringList() << true;
    QTest::newRow("import directory") << int(FileChoice::ImportDirectory) << int(QFileDialog::Directory)
                                      << QStringList() << true;
}

// Runs `inspect` on the modal file dialog as soon as it shows.
static void whenDialogShows(const std::function<void(QFileDialog *)> &inspect)
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, inspect] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            inspect(dialog);
        }
    });
    timer->start(10);
}

void WindowTest::defaultChooserShowsDialogs()
{
    QFETCH(int, choice);
    QFETCH(int, fileMode);
    QFETCH(QStringList, filters);
    QFETCH(bool, dirsOnly);

    MainWindow window;
    bool seen = false;
    whenDialogShows([&](QFileDialog *dialog) {
        seen = true;
        const auto close = qScopeGuard([dialog] { dialog->reject(); });
        QCOMPARE(dialog->parentWidget(), &window);
        QVERIFY(dialog->isModal());
        QCOMPARE(int(dialog->fileMode()), fileMode);
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptOpen);
        if (!filters.isEmpty()) {
            QCOMPARE(dialog->nameFilters(), filters);
            QCOMPARE(dialog->selectedNameFilter(), filters.first());
        }
        QCOMPARE(dialog->testOption(QFileDialog::ShowDirsOnly), dirsOnly);
    });
    QCOMPARE(window.chooseFile(FileChoice(choice)), QString());
    QVERIFY(seen);
}

void WindowTest::defaultChooserReturnsChosenFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("chosen.narc");
    QVERIFY(writeArchive(path, messageEntries()));

    MainWindow window;
    whenDialogShows([&](QFileDialog *dialog) {
        const auto close = qScopeGuard([dialog] {
            if (dialog->isVisible())
                dialog->reject();
        });
        // Type the name, as a user would.
        auto *nameEdit = dialog->findChild<QLineEdit *>("fileNameEdit");
        QVERIFY(nameEdit);
        nameEdit->setText(path);
        static_cast<QDialog *>(dialog)->accept();
    });
    QCOMPARE(window.chooseFile(FileChoice::OpenArchive), path);
}

QTEST_MAIN(WindowTest)
#include "test_window.moc"
