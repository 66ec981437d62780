#include "app/mainwindow.h"

#include "app/bulkrun.h"
#include "app/finddialog.h"
#include "app/formlayout.h"
#include "app/mainwindow_form.h"
#include "app/replacedialog.h"
#include "onefile/exportfile.h"
#include "tree/exporttree.h"
#include "tree/importtree.h"
#include "po/poexport.h"
#include "po/poimport.h"
#include "search/replace.h"
#include "report/lines.h"
#include "tree/layout.h"
#include "codec/compose.h"
#include "narc/narcfile.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>

#include <filesystem>
#include <functional>
#include <system_error>
#include <utility>

using namespace core;

namespace {

// The entry list's item texts: index, " - ", size in lowercase hex, as the
// allocation table gives it when the archive is loaded.
QStringList entryItemTexts(const Narc &narc)
{
    QStringList items;
    items.reserve(narc.files.size());
    for (int i = 0; i < narc.files.size(); ++i) {
        const quint32 size = i < narc.fileStarts.size() && i < narc.fileEnds.size()
                                 ? quint32(narc.fileEnds.at(i)) - quint32(narc.fileStarts.at(i))
                                 : quint32(narc.files.at(i).size());
        items.append(QString::number(i) + QStringLiteral(" - ") + QString::number(size, 16));
    }
    return items;
}

// Whether `a` and `b` name the same existing file, through links too.
bool sameFile(const QString &a, const QString &b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    std::error_code error;
    const bool same = std::filesystem::equivalent(QFile::encodeName(a).toStdString(),
                                                  QFile::encodeName(b).toStdString(), error);
    return !error && same;
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
    void report(const QString &line) override { append(line); }

private:
    std::function<void(const QString &)> append;
};

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , findDialog(new FindDialog(this))
    , replaceDialog(new ReplaceDialog(this))
{
    chooseFile = [this](FileChoice choice) { return chooseWithDialog(this, choice); };
    ask = [this](Question question, const QString &subject) { return askWithDialog(this, question, subject); };
    ui->setupUi(this);

    findDialog->setArchive(&narc);
    replaceDialog->setArchive(&narc);
    // F3 and Shift+F3 work in the find dialog too.
    findDialog->addActions({ui->actionFind_Next, ui->actionFind_Previous});
    connect(findDialog, &FindDialog::matchActivated, this, &MainWindow::showMatch);
    // Direct: the dialog counts again as soon as the signal returns.
    connect(replaceDialog, &ReplaceDialog::replaceAllRequested, this, &MainWindow::replaceAll,
            Qt::DirectConnection);

    setMinimumSize(formMinimumSize());
    setAcceptDrops(true);
    ui->text->viewport()->installEventFilter(this);
    ui->report->viewport()->installEventFilter(this);
    ui->text->setReadOnly(true); // until a section is shown, typed text would have no home
    ui->report->setUndoRedoEnabled(false); // nothing to undo in the log; lines go in faster

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
    if (settleUnsavedText() && settleUnwrittenChanges())
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
// of the window; dragged text goes into the editor as before.
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
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::openNarc()
{
    const QString path = chooseFile ? chooseFile(FileChoice::OpenArchive) : QString();
    if (path.isEmpty())
        return;
    openArchive(path);
}

void MainWindow::openArchive(const QString &path)
{
    NarcRead read = loadNarcFile(path);
    if (!read.ok()) {
        // narc and narcPath stay as they were, so a later write cannot put a
        // half-read archive over the file that failed to load.
        appendReport(loadFailedLine(path, read.error));
        return;
    }
    if (!settleUnsavedText() || !settleUnwrittenChanges())
        return;

    narcPath = path;
    narc = std::move(read.narc);
    setUnwritten(false);
    narcChanged();

    // Nothing of the old archive stays on show, even when the new one is empty.
    {
        const QSignalBlocker quietEntries(ui->narcEntryIds);
        const QSignalBlocker quietTypes(ui->typeIds);
        ui->narcEntryIds->clear();
        ui->typeIds->clear();
    }
    typeChanged();

    // The first item alone, so that it becomes current and entry 0 is shown; the
    // rest in one batch, which leaves the current index alone.
    QStringList items = entryItemTexts(narc);
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
    QString error;
    if (!saveNarcFile(narc, narcPath, &error)) {
        appendReport(writeFailedLine(narcPath, error));
        return false;
    }
    appendReport(writtenLine(narcPath));
    setUnwritten(false);
    return true;
}

void MainWindow::typeChanged()
{
    if (!settleUnsavedText()) {
        restoreShownPlace();
        return;
    }
    const int entry = ui->narcEntryIds->currentIndex();
    const int section = ui->typeIds->currentIndex();
    const DecodedSection decoded = decodeKeepingKeys(entry, section, DecodeForm::Text);
    ui->text->setPlainText(decoded.text);
    if (!decoded.ok())
        appendReport(cannotDecodeLine(entry, section, decoded.reason));
    shownEntry = entry;
    shownSection = decoded.present && decoded.ok() ? section : -1;
    // Text typed where no section is shown could never be saved.
    ui->text->setReadOnly(shownSection < 0);
    markTextKept();
}

void MainWindow::loadEntryFromNarc()
{
    if (ui->narcEntryIds->count() == 0)
        return;
    if (!settleUnsavedText()) {
        restoreShownPlace();
        return;
    }

    ui->typeIds->clear();
    ui->typeIds->addItem(QStringLiteral("Hiragana"));

    // The first byte is the low byte of the message file's section count.
    const int entry = ui->narcEntryIds->currentIndex();
    if (entry >= 0 && entry < narc.files.size()) {
        const NarcEntry &bytes = narc.files.at(entry);
        if (!bytes.isEmpty() && bytes.first() == 2)
            ui->typeIds->addItem(QStringLiteral("Kanji"));
    }
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
}

void MainWindow::exportToFiles()
{
    const QString path = chooseFile ? chooseFile(FileChoice::ExportDirectory) : QString();
    if (path.isEmpty())
        return;
    const QString failure = createTreeDirs(path);
    if (!failure.isEmpty()) {
        appendReport(failure);
        return;
    }
    WindowBulkRun run(*ui, [this](const QString &line) { appendReport(line); });
    exportToTree(narc, path, run);
}

void MainWindow::exportToFile()
{
    const QString path = chooseFile ? chooseFile(FileChoice::ExportFile) : QString();
    if (path.isEmpty())
        return;
    if (sameFile(path, narcPath)) {
        appendReport(exportOverArchiveLine(path));
        return;
    }
    WindowBulkRun run(*ui, [this](const QString &line) { appendReport(line); });
    core::exportToFile(narc, path, run);
}

void MainWindow::importFromFiles()
{
    const QString path = chooseFile ? chooseFile(FileChoice::ImportDirectory) : QString();
    if (path.isEmpty() || !settleUnsavedText())
        return;
    runImport([&](BulkObserver &run) { importFromTree(narc, path, run); });
}

// The archive is only read; exporting over it is refused by the export itself.
void MainWindow::exportPoTemplate()
{
    const QString path = chooseFile ? chooseFile(FileChoice::ExportPoTemplate) : QString();
    if (path.isEmpty())
        return;
    WindowBulkRun run(*ui, [this](const QString &line) { appendReport(line); });
    core::exportToPoTemplate(narc, narcPath, path, run);
}

void MainWindow::importPoTranslations()
{
    const QString path = chooseFile ? chooseFile(FileChoice::ImportPo) : QString();
    if (path.isEmpty() || !settleUnsavedText())
        return;
    runImport([&](BulkObserver &run) { core::importFromPo(narc, path, run); });
}

void MainWindow::runImport(const std::function<void(BulkObserver &)> &import)
{
    const QList<NarcEntry> before = narc.files;
    {
        WindowBulkRun run(*ui, [this](const QString &line) { appendReport(line); });
        import(run);
    }
    if (entriesDiffer(before, narc.files)) {
        setUnwritten(true);
        narcChanged();
    }
    // Show the section now chosen under "Type" as the import left it: not text a
    // question discarded, nor text shown before its file was read, either of
    // which a "Save Text" would then write back.
    typeChanged();
}

// The first time, the dialog goes where it hides none of the editor: beside the
// window, or else below the editor, as far as the screen allows. Later it opens
// where the user left it.
void MainWindow::showBeside(QDialog *dialog)
{
    if (!dialog->property("placed").toBool() && screen()) {
        dialog->setProperty("placed", true);
        const QRect room = screen()->availableGeometry();
        const QRect window = frameGeometry();
        const QSize size = dialog->size() + QSize(10, 40); // and a frame, roughly
        const QPoint editorBottom = ui->text->mapToGlobal(QPoint(0, ui->text->height()));
        const QList<QPoint> places = {{window.right() + 1, window.top()},
                                      {window.left() - size.width(), window.top()},
                                      {window.left(), editorBottom.y() + 4}};
        QPoint at = places.last();
        for (const QPoint &place : places) {
            if (room.contains(QRect(place, size))) {
                at = place;
                break;
            }
        }
        at.setX(qBound(room.left(), at.x(), qMax(room.left(), room.right() - size.width())));
        at.setY(qBound(room.top(), at.y(), qMax(room.top(), room.bottom() - size.height())));
        dialog->move(at);
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void MainWindow::showFindDialog()
{
    showBeside(findDialog);
}

void MainWindow::findNext()
{
    if (!findDialog->findNext())
        showFindDialog();
}

void MainWindow::findPrevious()
{
    if (!findDialog->findPrevious())
        showFindDialog();
}

void MainWindow::showReplaceDialog()
{
    showBeside(replaceDialog);
}

void MainWindow::showMatch(int entry, int section, int line, int column, int length)
{
    const bool hadUnsavedText = hasUnsavedText();
    if (!settleUnsavedText() || entry < 0 || entry >= ui->narcEntryIds->count())
        return;
    const bool samePlace = entry == shownEntry && section == shownSection;
    ui->narcEntryIds->setCurrentIndex(entry);
    if (section < 0 || section >= ui->typeIds->count())
        return; // a section the window does not offer: the entry is shown
    ui->typeIds->setCurrentIndex(section);
    if (samePlace && hadUnsavedText)
        typeChanged(); // the text was saved or discarded: show the section as stored

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
}

void MainWindow::replaceAll(const QString &text, const QString &replacement, bool ignoreCase)
{
    if (!settleUnsavedText())
        return;
    LogObserver observer([this](const QString &line) { appendReport(line); });
    const ReplaceSummary summary = core::replaceInArchive(
        narc, {text, ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive}, replacement, observer);
    if (summary.changed) {
        setUnwritten(true);
        narcChanged();
    }
    // The section shown as it is now (and not text the question discarded).
    typeChanged();
}

QStringList MainWindow::decodeSection(int entryIndex, int section)
{
    return decodeKeepingKeys(entryIndex, section).lines;
}

DecodedSection MainWindow::decodeKeepingKeys(int entryIndex, int section, DecodeForm form)
{
    lineKeys.clear();
    lineAttributes.clear();
    if (entryIndex < 0 || entryIndex >= narc.files.size() || section < 0)
        return DecodedSection();

    DecodedSection decoded = decodeMessageSection(narc.files.at(entryIndex), section, form);
    lineKeys = decoded.lineKeys;
    lineAttributes = decoded.lineAttributes;
    return decoded;
}

bool MainWindow::composeEntry(const QString &editedText, int entryIndex, int section)
{
    decodeKeepingKeys(entryIndex, section, DecodeForm::KeysOnly); // the keys, not the text
    if (entryIndex < 0 || entryIndex >= narc.files.size() || section < 0)
        return false;

    ComposeResult result = core::composeEntry(narc.files.at(entryIndex), editedText, section);
    const bool stored = result.changed();
    if (result.changed()) {
        const bool differs = result.entry != narc.files.at(entryIndex);
        narc.files[entryIndex] = std::move(result.entry);
        if (differs) {
            setUnwritten(true);
            narcChanged();
        }
    }
    else if (result.reason.kind != TextRefusal::Kind::NoSuchSection)
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

bool MainWindow::settleUnsavedText()
{
    if (!hasUnsavedText())
        return true;
    const QString subject = placeInWords(shownEntry, shownSection);
    switch (ask ? ask(Question::UnsavedText, subject) : Answer::Cancel) {
    case Answer::Keep: {
        // Stored only where it was shown; a refusal keeps everything as it is.
        const QString edited = editorText();
        if (!composeEntry(edited, shownEntry, shownSection))
            return false;
        markTextKept();
        return true;
    }
    case Answer::Discard:
        markTextKept();
        return true;
    case Answer::Cancel:
        break;
    }
    return false;
}

bool MainWindow::settleUnwrittenChanges()
{
    if (!unwritten)
        return true;
    switch (ask ? ask(Question::UnwrittenChanges, QFileInfo(narcPath).fileName()) : Answer::Cancel) {
    case Answer::Keep:
        return writeArchive();
    case Answer::Discard:
        return true;
    case Answer::Cancel:
        break;
    }
    return false;
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

void MainWindow::updateTitle()
{
    const QString form = QCoreApplication::translate("MainWindow", "MainWindow", nullptr);
    setWindowTitle(narcPath.isEmpty() ? form : QFileInfo(narcPath).fileName() + QStringLiteral("[*] - ") + form);
    setWindowModified(unwritten);
}

void MainWindow::stepEntry(int step)
{
    const int entry = ui->narcEntryIds->currentIndex() + step;
    if (entry >= 0 && entry < ui->narcEntryIds->count())
        ui->narcEntryIds->setCurrentIndex(entry);
}
