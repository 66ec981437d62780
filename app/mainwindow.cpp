#include "app/mainwindow.h"

#include "app/archivechooser.h"
#include "app/bulkrun.h"
#include "app/dialogplace.h"
#include "app/editorsettings.h"
#include "app/finddialog.h"
#include "app/formlayout.h"
#include "app/linewidthview.h"
#include "app/mainwindow_form.h"
#include "app/referencepane.h"
#include "app/replacedialog.h"
#include "codec/compose.h"
#include "codec/decode.h"
#include "codec/messageheader.h"
#include "document/romarchives.h"
#include "onefile/exportfile.h"
#include "po/poexport.h"
#include "po/poimport.h"
#include "report/lines.h"
#include "report/place.h"
#include "search/replace.h"
#include "tree/exporttree.h"
#include "tree/importtree.h"
#include "tree/layout.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <utility>

using namespace core;

namespace {

// The entry list's item text for entry `index` of `bytes` bytes: index, " - ",
// size in lowercase hex.
QString entryItemText(int index, qsizetype bytes)
{
    return QString::number(index) + QStringLiteral(" - ") + QString::number(quint64(bytes), 16);
}

// The sections "Type" offers for `entry`: those its header counts when the
// header holds, else section 0 alone, so that showing it says why.
QStringList offeredSections(const NarcEntry &entry)
{
    const QStringList names = sectionNamesOf(entry);
    if (names.isEmpty() || !readMessageHeader(entry).ok())
        return {sectionName(0)};
    return names;
}

// Whether any entry of `after` differs from the same entry of `before`.
bool entriesDiffer(const QList<NarcEntry> &before, const QList<NarcEntry> &after)
{
    return before != after; // entries still shared with `before` compare without a byte loop
}

// Report lines straight to the log: for work that reports only a few lines.
class LogObserver : public BulkObserver
{
public:
    explicit LogObserver(std::function<void(const QString &)> append)
        : append(std::move(append))
    {
    }
    void report(const QString &line) override
    {
        last = line;
        append(line);
    }
    // The line reported last: the summary of a replace.
    const QString &lastLine() const { return last; }

private:
    std::function<void(const QString &)> append;
    QString last;
};

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , findDialog(new FindDialog(this))
    , replaceDialog(new ReplaceDialog(this))
    , lineWidth(nullptr)
    , referencePane(nullptr)
    , skipChangedEscapes(nullptr)
{
    chooseFile = [this](FileChoice choice, const QString &startIn) { return chooseWithDialog(this, choice, startIn); };
    ask = [this](Question question, const QString &subject) { return askWithDialog(this, question, subject); };
    chooseArchive = [this](const QString &image, const QStringList &items) {
        return chooseArchiveWithDialog(this, image, items);
    };
    ui->setupUi(this);

    findDialog->setArchive(&narc);
    replaceDialog->setArchive(&narc);
    // F3 and Shift+F3 work in the find dialog too.
    findDialog->addActions({ui->actionFind_Next, ui->actionFind_Previous});
    findDialog->mayJump = [this] { return mayLeaveText(); };
    connect(findDialog, &FindDialog::matchActivated, this, &MainWindow::showMatch);
    // Direct: the dialog counts again as soon as the signal returns.
    connect(replaceDialog, &ReplaceDialog::replaceAllRequested, this, &MainWindow::replaceAll, Qt::DirectConnection);

    setMinimumSize(formMinimumSize());
    setAcceptDrops(true);
    ui->text->viewport()->installEventFilter(this);
    ui->report->viewport()->installEventFilter(this);
    ui->text->installEventFilter(this); // Ctrl+Tab leaves it too
    ui->text->setReadOnly(true);        // until a section is shown, typed text would have no home
    // A tab typed into a message would be stored as an escape nobody meant; Tab
    // goes on to the next widget instead.
    ui->text->setTabChangesFocus(true);
    ui->report->setUndoRedoEnabled(false); // nothing to undo in the log; lines go in faster
    orderTabs();

    // Keys without a menu entry: Save Text, and the entry before or after.
    auto addShortcut = [this](const QString &name, const QList<QKeySequence> &keys, auto run) {
        auto *action = new QAction(this);
        action->setObjectName(name);
        action->setShortcuts(keys);
        addAction(action);
        connect(action, &QAction::triggered, this, run);
    };
    addShortcut(QStringLiteral("actionSave_Text"),
                {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)},
                [this] { ui->pushButton->click(); });
    addShortcut(QStringLiteral("actionPrevious_Entry"), {QKeySequence(Qt::CTRL | Qt::Key_PageUp)},
                [this] { stepEntry(-1); });
    addShortcut(QStringLiteral("actionNext_Entry"), {QKeySequence(Qt::CTRL | Qt::Key_PageDown)},
                [this] { stepEntry(1); });

    addTranslatorsChecks();
    addReferencePane();
}

void MainWindow::orderTabs()
{
    // In reading order: what is shown, saving it, the text, the log.
    setTabOrder(ui->narcEntryIds, ui->typeIds);
    setTabOrder(ui->typeIds, ui->pushButton);
    setTabOrder(ui->pushButton, ui->text);
    setTabOrder(ui->text, ui->report);
}

void MainWindow::addReferencePane()
{
    referencePane = new ReferencePane(ui->text, ui->statusBar, &narc, this);
    referencePane->choosePath = [this] {
        const QString path = chooseFile ? chooseFile(FileChoice::OpenReference, startFolder()) : QString();
        if (path.isEmpty() || !isRomImageFile(path))
            return path;
        // The original inside a ROM image, chosen as Open Narc chooses one.
        ArchiveSource source;
        const QString problem = chooseRomArchive(path, source);
        if (!problem.isEmpty())
            appendReport(referenceLoadFailedLine(path, problem));
        return source.isInImage() ? source.name() : QString();
    };
    referencePane->report = [this](const QString &line) { appendReport(line); };
    connect(referencePane, &ReferencePane::countsChanged, this, &MainWindow::showEntrySizes);
    connect(referencePane, &ReferencePane::placeChanged, this, &MainWindow::orderTabs);
    QMenu *view = ui->menuBar->findChild<QMenu *>(QStringLiteral("menuView"));
    view->addSeparator();
    view->addAction(referencePane->openAction());
    view->addAction(referencePane->closeAction());
}

void MainWindow::addTranslatorsChecks()
{
    // View > Line Width...: the text box's width, shown in the editor.
    lineWidth = new LineWidthView(ui->text, ui->statusBar, this);
    QMenu *view = ui->menuBar->addMenu(tr("&View"));
    view->setObjectName(QStringLiteral("menuView"));
    view->addAction(lineWidth->action());

    // Whether Import Translations from PO skips translations whose control
    // escapes changed, as narctext import-po --strict does; remembered.
    skipChangedEscapes = new QAction(tr("Skip Translations with Changed Escapes"), this);
    skipChangedEscapes->setObjectName(QStringLiteral("actionSkip_Changed_Escapes"));
    skipChangedEscapes->setCheckable(true);
    skipChangedEscapes->setChecked(editorSettings().value(QStringLiteral("poImport/skipChangedEscapes")).toBool());
    connect(skipChangedEscapes, &QAction::toggled, this,
            [](bool on) { editorSettings().setValue(QStringLiteral("poImport/skipChangedEscapes"), on); });
    const QList<QAction *> fileActions = ui->menuFile->actions();
    const qsizetype after = fileActions.indexOf(ui->actionImport_Translations_from_PO);
    ui->menuFile->insertAction(fileActions.value(after + 1), skipChangedEscapes);
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        updateTitle();
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (askBeforeDropping(AtStake::TextAndChanges))
        event->accept();
    else
        event->ignore();
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    fitForm(*ui, size());
}

QString MainWindow::droppedArchive(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return QString();
    for (const QUrl &url : data->urls())
        if (url.isLocalFile())
            return url.toLocalFile();
    return QString();
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedArchive(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

// Opened once the drop is over, so the questions do not keep the dragging
// program waiting.
void MainWindow::dropEvent(QDropEvent *event)
{
    const QString path = droppedArchive(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    QTimer::singleShot(0, this, [this, path] { openArchive(path); });
}

// A file dragged over the editor or the log opens like one dropped on the rest
// of the window; dragged text goes into the editor as before. Ctrl+Tab (and
// Ctrl+Shift+Tab) in the editor moves the focus as Tab does.
bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        if (droppedArchive(drop->mimeData()).isEmpty())
            break;
        if (event->type() == QEvent::Drop)
            dropEvent(drop);
        else
            drop->acceptProposedAction();
        return true;
    }
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (watched == ui->text && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)
            && key->modifiers().testFlag(Qt::ControlModifier)) {
            focusNextPrevChild(key->key() == Qt::Key_Tab && !key->modifiers().testFlag(Qt::ShiftModifier));
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::openNarc()
{
    const QString path = chooseFile ? chooseFile(FileChoice::OpenArchive, startFolder()) : QString();
    if (path.isEmpty())
        return;
    openArchive(path);
}

QString MainWindow::chooseRomArchive(const QString &image, ArchiveSource &source)
{
    const Result<QList<RomArchive>> listed = listRomArchives(image);
    if (!listed)
        return listed.reason;
    const QList<RomArchive> archives = archivesToChoose(listed.value);
    if (archives.isEmpty())
        return romHoldsNoArchiveReason();
    QStringList items;
    for (const RomArchive &archive : archives)
        items.append(romArchiveChoiceText(archive.name(), archive.entries, archive.messages));
    const int chosen = chooseArchive ? chooseArchive(QFileInfo(image).fileName(), items) : -1;
    if (chosen >= 0 && chosen < archives.size())
        source = ArchiveSource::inImage(image, archives.at(chosen).id, archives.at(chosen).path);
    return {};
}

void MainWindow::openArchive(const QString &path)
{
    // A ROM image: one of its archives is chosen first, before any question.
    Result<ArchiveSource> source = ArchiveSource::named(path);
    if (source && !source.value.isInImage() && isRomImageFile(path)) {
        const QString problem = chooseRomArchive(path, source.value);
        if (!problem.isEmpty())
            appendReport(loadFailedLine(path, problem));
        if (!source.value.isInImage())
            return;
    }
    // Ask first, then read: an answer "Write To Narc" may just have written the
    // very file being opened.
    if (!askBeforeDropping(AtStake::TextAndChanges))
        return;
    Result<ArchiveDocument> read = source ? ArchiveDocument::open(source.value)
                                          : Result<ArchiveDocument>::failure(source.reason);
    if (!read.ok()) {
        // narc and narcPath stay as they were, so a later write cannot put a
        // half-read archive over the file that failed to load; the editor keeps
        // its text and the archive its changes, whatever was answered.
        appendReport(loadFailedLine(source ? source.value.name() : path, read.reason));
        return;
    }

    narcPath = read.value.path();
    document = std::move(read.value);
    narc = document.narc();
    setUnwritten(false);
    narcChanged();

    // Nothing of the old archive stays on show, even when the new one is empty.
    {
        const QSignalBlocker quietEntries(ui->narcEntryIds);
        const QSignalBlocker quietTypes(ui->typeIds);
        ui->narcEntryIds->clear();
        ui->typeIds->clear();
    }
    referencePane->archiveOpened(narcPath);
    showChosenSection();

    // The first item alone, so that it becomes current and entry 0 is shown; the
    // rest in one batch, which leaves the current index alone.
    QStringList items;
    items.reserve(narc.files.size());
    for (int i = 0; i < narc.files.size(); ++i)
        items.append(entryItem(i));
    if (!items.isEmpty()) {
        ui->narcEntryIds->addItem(items.takeFirst());
        ui->narcEntryIds->addItems(items);
    }

    appendReport(loadedLine(narcPath));
}

void MainWindow::writeToNarc()
{
    writeArchive();
}

bool MainWindow::writeArchive()
{
    if (narcPath.isEmpty()) {
        appendReport(noArchiveOpenLine());
        return false;
    }
    SaveOptions options;
    options.writeUnchanged = true;
    // Another program's work is replaced only when the user says so; the save
    // refuses it otherwise (also when the file changes after the question).
    if (!document.checkUnchanged()) {
        if (!ask || ask(Question::ChangedOnDisk, document.source().displayName()) != Answer::Discard)
            return false;
        options.overwriteChanged = true;
    }
    LogObserver log([this](const QString &line) { appendReport(line); });
    const Status saved = document.save(narc, log, options);
    if (!saved) {
        appendReport(writeFailedLine(narcPath, saved.reason));
        return false;
    }
    appendReport(writtenLine(narcPath));
    setUnwritten(false);
    return true;
}

void MainWindow::typeChanged()
{
    if (!askBeforeDropping(AtStake::Text)) {
        restoreShownPlace();
        return;
    }
    showChosenSection();
}

void MainWindow::showChosenSection()
{
    const int entry = ui->narcEntryIds->currentIndex();
    const int section = ui->typeIds->currentIndex();
    QString reason;
    const QStringList lines = decodeSection(entry, section, &reason);
    ui->text->setPlainText(lines.join(QLatin1Char('\n')));
    if (!reason.isEmpty())
        appendReport(cannotDecodeLine(entry, section, reason));
    shownEntry = entry;
    const bool present = entry >= 0 && entry < narc.files.size() && section >= 0
                         && section < declaredSectionCount(narc.files.at(entry));
    shownSection = present && reason.isEmpty() ? section : -1;
    // Text typed where no section is shown could never be saved.
    ui->text->setReadOnly(shownSection < 0);
    markTextKept();
    referencePane->show(shownEntry, shownSection);
}

void MainWindow::loadEntryFromNarc()
{
    if (ui->narcEntryIds->count() == 0)
        return;
    if (!askBeforeDropping(AtStake::Text)) {
        restoreShownPlace();
        return;
    }
    offerSections(0);
    showChosenSection();
}

void MainWindow::offerSections(int section)
{
    const int entry = ui->narcEntryIds->currentIndex();
    const QSignalBlocker quiet(ui->typeIds);
    ui->typeIds->clear();
    if (entry < 0 || entry >= narc.files.size())
        return;
    ui->typeIds->addItems(offeredSections(narc.files.at(entry)));
    ui->typeIds->setCurrentIndex(section >= 0 && section < ui->typeIds->count() ? section : 0);
}

void MainWindow::saveEntry()
{
    const int section = ui->typeIds->currentIndex();
    const int entry = ui->narcEntryIds->currentIndex();
    if (section < 0 || entry < 0)
        return;
    const QString edited = editorText();
    if (composeEntry(edited, entry, section) && entry == shownEntry && section == shownSection)
        markTextKept();
    ui->text->setFocus(); // typing goes on where it was
}

QString MainWindow::startFolder() const
{
    return narcPath.isEmpty() ? QString() : QFileInfo(document.source().filePath()).absolutePath();
}

void MainWindow::exportToFiles()
{
    const QString path = chooseFile ? chooseFile(FileChoice::ExportDirectory, startFolder()) : QString();
    if (path.isEmpty())
        return;
    // Files edited since an earlier export are replaced only when the user says
    // so. A tree the export refuses (linked section folders) is reported by it.
    EditedFiles edited = EditedFiles::Refuse;
    const Result<EditedTreeFiles> found = findEditedTreeFiles(narc, path);
    if (found && found.value.count > 0) {
        const QString subject = editedTreeSubject(found.value.count, path);
        if (!ask || ask(Question::EditedTree, subject) != Answer::Discard)
            return;
        edited = EditedFiles::Replace;
    }
    WindowBulkRun run(bulkRunWidgets(), [this](const QString &line) { appendReport(line); });
    exportToTree(narc, path, document.identity(), edited, run);
}

void MainWindow::exportToFile()
{
    const QString path = chooseFile ? chooseFile(FileChoice::ExportFile, startFolder()) : QString();
    if (path.isEmpty())
        return;
    // The archive being edited is refused by the export itself.
    WindowBulkRun run(bulkRunWidgets(), [this](const QString &line) { appendReport(line); });
    core::exportToFile(narc, path, document.identity(), run);
}

void MainWindow::importFromFiles()
{
    const QString path = chooseFile ? chooseFile(FileChoice::ImportDirectory, startFolder()) : QString();
    if (path.isEmpty() || !askBeforeDropping(AtStake::Text))
        return;
    runImport([&](BulkObserver &run) { importFromTree(narc, path, run); });
}

// The archive is only read; exporting over it is refused by the export itself.
void MainWindow::exportPoTemplate()
{
    const QString path = chooseFile ? chooseFile(FileChoice::ExportPoTemplate, startFolder()) : QString();
    if (path.isEmpty())
        return;
    WindowBulkRun run(bulkRunWidgets(), [this](const QString &line) { appendReport(line); });
    core::exportToPoTemplate(narc, narcPath, path, document.identity(), run);
}

void MainWindow::importPoTranslations()
{
    const QString path = chooseFile ? chooseFile(FileChoice::ImportPo, startFolder()) : QString();
    if (path.isEmpty() || !askBeforeDropping(AtStake::Text))
        return;
    PoImportOptions options;
    options.strict = skipChangedEscapes->isChecked();
    options.breaks = lineWidth->rule().breaks; // the escapes the game breaks lines at move freely
    runImport([&](BulkObserver &run) { core::importFromPo(narc, path, run, options); });
}

WindowBulkRun::Widgets MainWindow::bulkRunWidgets() const
{
    return {ui->label_2, ui->progressBar, ui->typeIds};
}

void MainWindow::runImport(const std::function<void(BulkObserver &)> &import)
{
    const int entry = ui->narcEntryIds->currentIndex();
    const int section = ui->typeIds->currentIndex();
    const QList<NarcEntry> before = narc.files;
    {
        WindowBulkRun run(bulkRunWidgets(), [this](const QString &line) { appendReport(line); });
        import(run);
    }
    if (entriesDiffer(before, narc.files)) {
        setUnwritten(true);
        narcChanged();
        referencePane->entriesChanged(before);
        showEntrySizes();
    }
    // The run showed each section it worked on under "Type". Back to the entry
    // and section shown before, as the import left them: not text a question
    // discarded, nor text shown before its file was read, either of which a
    // "Save Text" would then write back.
    {
        const QSignalBlocker quiet(ui->narcEntryIds);
        ui->narcEntryIds->setCurrentIndex(entry);
    }
    offerSections(section);
    showChosenSection();
}

// The first time, the dialog goes beside the window when the screen has room,
// else where it covers neither the editor's current line nor the log. Later it
// opens where the user left it, unless it would cover one of them there.
void MainWindow::showBeside(QDialog *dialog)
{
    if (!dialog->property("placed").toBool()) {
        dialog->setProperty("placed", true);
        dialog->move(clearPlace(dialog));
    } else {
        keepClear(dialog);
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void MainWindow::keepClear(QDialog *dialog)
{
    if (!dialog->isVisible())
        return; // placed when it is shown
    const QList<QRect> avoid = keptClear();
    const QRect frame(dialog->pos(), dialogFrameSize(dialog));
    for (const QRect &rect : avoid) {
        if (frame.intersects(rect)) {
            dialog->move(clearPlace(dialog));
            return;
        }
    }
}

// The editor's current line (its whole width), then the log, on the screen.
QList<QRect> MainWindow::keptClear() const
{
    const QWidget *view = ui->text->viewport();
    const QRect cursor = ui->text->cursorRect();
    const QRect line(view->mapToGlobal(QPoint(0, cursor.top())), QSize(view->width(), cursor.height()));
    const QRect log(ui->report->mapToGlobal(QPoint(0, 0)), ui->report->size());
    return {line, log};
}

// The dialog's size with the frame the window manager gives it (as it gives
// this window one, before the dialog was ever shown).
QSize MainWindow::dialogFrameSize(const QDialog *dialog) const
{
    if (dialog->testAttribute(Qt::WA_WState_Created) && dialog->frameGeometry() != dialog->geometry())
        return dialog->frameGeometry().size();
    return dialog->size() + frameGeometry().size() - geometry().size();
}

QPoint MainWindow::clearPlace(const QDialog *dialog) const
{
    const QRect room = screen() ? screen()->availableGeometry() : QRect(QPoint(0, 0), frameGeometry().size());
    return placeDialog(dialogFrameSize(dialog), room, frameGeometry(), keptClear());
}

void MainWindow::showFindDialog()
{
    showBeside(findDialog);
}

void MainWindow::goToNextMatch()
{
    if (!findDialog->findNext())
        showFindDialog();
}

void MainWindow::goToPreviousMatch()
{
    if (!findDialog->findPrevious())
        showFindDialog();
}

void MainWindow::showReplaceDialog()
{
    showBeside(replaceDialog);
}

bool MainWindow::mayLeaveText()
{
    const bool hadUnsavedText = hasUnsavedText();
    if (!askBeforeDropping(AtStake::Text))
        return false;
    if (hadUnsavedText)
        showChosenSection(); // as stored: saved, or without what was discarded
    return true;
}

void MainWindow::showMatch(int entry, int section, int line, int column, int length)
{
    if (!askBeforeDropping(AtStake::Text) || entry < 0 || entry >= ui->narcEntryIds->count())
        return;
    ui->narcEntryIds->setCurrentIndex(entry);
    if (section < 0 || section >= ui->typeIds->count())
        return; // a section the window does not offer: the entry is shown
    ui->typeIds->setCurrentIndex(section);

    const QTextBlock block = ui->text->document()->findBlockByNumber(line);
    if (!block.isValid())
        return;
    const int end = block.length() - 1; // without the block's separator
    const int start = block.position() + qBound(0, column, end);
    QTextCursor cursor(ui->text->document());
    cursor.setPosition(start);
    cursor.setPosition(qMin(start + qMax(0, length), block.position() + end), QTextCursor::KeepAnchor);
    ui->text->setTextCursor(cursor);
    ui->text->ensureCursorVisible();
    keepClear(findDialog);
}

void MainWindow::replaceAll(const QString &text, const QString &replacement, bool ignoreCase)
{
    if (!askBeforeDropping(AtStake::Text))
        return;
    LogObserver observer([this](const QString &line) { appendReport(line); });
    const QList<NarcEntry> before = narc.files;
    const ReplaceSummary summary = core::replaceInArchive(narc,
                                                          {text, ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive},
                                                          replacement, observer);
    if (summary.changed) {
        setUnwritten(true);
        narcChanged();
        referencePane->entriesChanged(before);
        showEntrySizes();
    }
    // The section shown as it is now (and not text the question discarded).
    showChosenSection();
    replaceDialog->setReplaceSummary(observer.lastLine());
}

QStringList MainWindow::decodeSection(int entryIndex, int section, QString *reason)
{
    lineKeys.clear();
    lineAttributes.clear();
    if (reason)
        reason->clear();
    if (entryIndex < 0 || entryIndex >= narc.files.size() || section < 0)
        return {};

    DecodedSection decoded = decodeMessageSection(narc.files.at(entryIndex), section, DecodeForm::Lines);
    lineKeys = std::move(decoded.lineKeys);
    lineAttributes = std::move(decoded.lineAttributes);
    if (reason)
        *reason = decoded.reason;
    return decoded.lines;
}

// The composer reads the keys and attributes of the section as stored itself:
// one decode per save.
bool MainWindow::composeEntry(const QString &editedText, int entryIndex, int section)
{
    if (entryIndex < 0 || entryIndex >= narc.files.size() || section < 0)
        return false;

    ComposeResult result = core::composeEntry(narc.files.at(entryIndex), editedText, section);
    const bool stored = result.changed();
    if (stored) {
        const bool differs = result.entry != narc.files.at(entryIndex);
        narc.files[entryIndex] = std::move(result.entry);
        if (differs) {
            setUnwritten(true);
            narcChanged();
            referencePane->entryChanged(entryIndex);
            showEntrySizes(entryIndex);
        }
    } else if (result.reason.kind != TextRefusal::Kind::NoSuchSection)
        appendReport(composeRefusedLine(entryIndex, section, result.reason));
    return stored;
}

void MainWindow::appendReport(const QString &message)
{
    // Insert at the end instead of setting the whole text again, so the cost does
    // not grow with the log. A view that showed the end keeps showing it.
    QScrollBar *scrollBar = ui->report->verticalScrollBar();
    const bool followEnd = scrollBar->value() == scrollBar->maximum();

    QTextCursor cursor(ui->report->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(message + QLatin1Char('\n'));

    if (followEnd)
        scrollBar->setValue(scrollBar->maximum());
}

QString MainWindow::editorText() const
{
    // The raw text keeps every character as shown (toPlainText would turn no-break
    // spaces into spaces); only the document's own block separators become "\n".
    QString text = ui->text->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

// The document counts as unmodified again once its edits are undone, so typing
// and undoing back is no change; typing and deleting it again is caught by the
// comparison.
bool MainWindow::hasUnsavedText() const
{
    return ui->text->document()->isModified() && editorText() != shownText;
}

void MainWindow::markTextKept()
{
    shownText = editorText();
    ui->text->document()->setModified(false);
}

bool MainWindow::askBeforeDropping(AtStake atStake)
{
    if (askAboutText() == Answer::Cancel)
        return false;
    // A Cancel from here on leaves text that was to be discarded in the editor,
    // unsaved: hasUnsavedText() still says so, and the next action asks again.
    return atStake == AtStake::Text || askAboutChanges() != Answer::Cancel;
}

Answer MainWindow::askAboutText()
{
    if (!hasUnsavedText())
        return Answer::Keep;
    const QString subject = placeInWords(shownEntry, shownSection);
    const Answer answer = ask ? ask(Question::UnsavedText, subject) : Answer::Cancel;
    if (answer != Answer::Keep)
        return answer;
    // Stored only where it was shown; a refusal keeps everything as it is.
    const QString edited = editorText();
    if (!composeEntry(edited, shownEntry, shownSection))
        return Answer::Cancel;
    markTextKept();
    return Answer::Keep;
}

Answer MainWindow::askAboutChanges()
{
    if (!unwritten)
        return Answer::Keep;
    const Answer answer = ask ? ask(Question::UnwrittenChanges, document.source().displayName()) : Answer::Cancel;
    if (answer == Answer::Keep && !writeArchive())
        return Answer::Cancel;
    return answer;
}

void MainWindow::restoreShownPlace()
{
    const QSignalBlocker quietEntries(ui->narcEntryIds);
    const QSignalBlocker quietTypes(ui->typeIds);
    ui->narcEntryIds->setCurrentIndex(shownEntry);
    ui->typeIds->setCurrentIndex(shownSection);
}

void MainWindow::setUnwritten(bool changed)
{
    unwritten = changed;
    updateTitle();
}

void MainWindow::narcChanged()
{
    findDialog->archiveChanged();
    replaceDialog->archiveChanged();
}

void MainWindow::showEntrySizes(int entry)
{
    const int first = entry < 0 ? 0 : entry;
    const int last = entry < 0 ? int(narc.files.size()) - 1 : entry;
    for (int i = first; i <= last && i < ui->narcEntryIds->count() && i < narc.files.size(); ++i) {
        const QString item = entryItem(i);
        if (ui->narcEntryIds->itemText(i) != item)
            ui->narcEntryIds->setItemText(i, item);
    }
}

// The file path is the window's own (the title names its file); the title keeps
// the form's name after it.
void MainWindow::updateTitle()
{
    const QString form = QCoreApplication::translate("MainWindow", "MainWindow", nullptr);
    // An archive inside a ROM image shows both: "GAME.nds: data/msg.narc".
    setWindowFilePath(document.source().filePath());
    setWindowTitle(narcPath.isEmpty() ? form : document.source().displayName() + QStringLiteral("[*] - ") + form);
    setWindowModified(unwritten);
}

QString MainWindow::entryItem(int entry) const
{
    QString item = entryItemText(entry, narc.files.at(entry).size());
    if (referencePane->isOpen()) {
        const ReferenceProgress::Count count = referencePane->count(entry);
        item += QStringLiteral(" - ") + entryProgressText(count.changed, count.lines);
    }
    return item;
}

void MainWindow::stepEntry(int step)
{
    const int entry = ui->narcEntryIds->currentIndex() + step;
    if (entry >= 0 && entry < ui->narcEntryIds->count())
        ui->narcEntryIds->setCurrentIndex(entry);
}
