#include "app/mainwindow.h"

#include "app/mainwindow_form.h"
#include "bulk/exportfile.h"
#include "bulk/exporttree.h"
#include "bulk/importtree.h"
#include "bulk/reportlines.h"
#include "codec/compose.h"
#include "narc/narcfile.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QTextDocument>

#include <functional>
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

// Shows a bulk run in the window while it goes: report lines in the log, the
// status in the label beside the progress bar, and, during an import, each
// section under "Type". No events are processed meanwhile, so no input reaches
// the window during the run; the bar and the label are repainted directly, at
// most every 100 ms.
class WindowBulkObserver : public BulkObserver
{
public:
    WindowBulkObserver(Ui::MainWindow &ui, std::function<void(const QString &)> appendReport)
        : ui(ui)
        , appendReport(std::move(appendReport))
    {
        sinceRepaint.start();
    }

    void report(const QString &line) override { appendReport(line); }

    void status(const QString &text) override
    {
        ui.label_2->setText(text);
        ui.label_2->repaint();
    }

    // An empty archive gives the range 0..-1, which the bar turns into 0..0.
    void begin(int count) override { ui.progressBar->setRange(0, count - 1); }

    void progress(int index) override
    {
        ui.progressBar->setValue(index);
        if (sinceRepaint.elapsed() >= 100) {
            ui.progressBar->repaint();
            ui.label_2->repaint();
            sinceRepaint.restart();
        }
    }

    // Without an item `section` the box is left with no current item. The editor
    // is not redrawn for every section: the import shows the section once, as it
    // stands at the end.
    void sectionChanged(int section) override
    {
        const QSignalBlocker quiet(ui.typeIds);
        ui.typeIds->setCurrentIndex(section);
    }

private:
    Ui::MainWindow &ui;
    std::function<void(const QString &)> appendReport;
    QElapsedTimer sinceRepaint;
};

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    chooseFile = [this](FileChoice choice) { return chooseWithDialog(this, choice); };
    ui->setupUi(this);
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}

void MainWindow::openNarc()
{
    ui->narcEntryIds->clear();

    const QString path = chooseFile ? chooseFile(FileChoice::OpenArchive) : QString();
    if (path.isEmpty())
        return;

    NarcRead read = loadNarcFile(path);
    if (!read.ok()) {
        // narc and narcPath stay as they were, so a later write cannot put a
        // half-read archive over the file that failed to load.
        appendReport(loadFailedLine(path, read.error));
        return;
    }

    narcPath = path;
    narc = std::move(read.narc);
    ui->narcEntryIds->clear();

    // The first item alone, so that it becomes current and entry 0 is shown; the
    // rest in one batch, which leaves the current index alone.
    QStringList items = entryItemTexts(narc);
    if (!items.isEmpty()) {
        ui->narcEntryIds->addItem(items.takeFirst());
        ui->narcEntryIds->addItems(items);
    }

    appendReport(QStringLiteral("Loaded ") + narcPath);
}

void MainWindow::writeToNarc()
{
    if (narcPath.isEmpty()) {
        appendReport(QStringLiteral("No archive is open; nothing written"));
        return;
    }
    QString error;
    if (saveNarcFile(narc, narcPath, &error))
        appendReport(QStringLiteral("Finished writing ") + narcPath);
    else
        appendReport(writeFailedLine(narcPath, error));
}

void MainWindow::typeChanged()
{
    const int entry = ui->narcEntryIds->currentIndex();
    const int section = ui->typeIds->currentIndex();
    const DecodedSection decoded = decodeKeepingKeys(entry, section, DecodeForm::Text);
    ui->text->setPlainText(decoded.text);
    if (!decoded.error.isEmpty()) {
        appendReport(cannotDecodeLine(entry, section, decoded.error));
    }
}

void MainWindow::loadEntryFromNarc()
{
    if (ui->narcEntryIds->count() == 0)
        return;

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

    // The raw text keeps every character as shown (toPlainText would turn no-break
    // spaces into spaces); only the document's own block separators become "\n".
    QString edited = ui->text->document()->toRawText();
    edited.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    composeEntry(edited, entry, section);
}

void MainWindow::exportToFiles()
{
    const QString path = chooseFile ? chooseFile(FileChoice::ExportDirectory) : QString();
    if (path.isEmpty())
        return;
    WindowBulkObserver observer(*ui, [this](const QString &line) { appendReport(line); });
    exportToTree(narc, path, observer);
}

void MainWindow::exportToFile()
{
    const QString path = chooseFile ? chooseFile(FileChoice::ExportFile) : QString();
    if (path.isEmpty())
        return;
    WindowBulkObserver observer(*ui, [this](const QString &line) { appendReport(line); });
    core::exportToFile(narc, path, observer);
}

void MainWindow::importFromFiles()
{
    const QString path = chooseFile ? chooseFile(FileChoice::ImportDirectory) : QString();
    if (path.isEmpty())
        return;
    WindowBulkObserver observer(*ui, [this](const QString &line) { appendReport(line); });
    const BulkSummary summary = importFromTree(narc, path, observer);
    // Show the section now chosen under "Type" as the import left it (showing it
    // before its file was read would leave replaced text in the editor, which a
    // "Save Text" would then write back).
    if (summary.treeOk)
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

void MainWindow::composeEntry(const QString &editedText, int entryIndex, int section)
{
    decodeKeepingKeys(entryIndex, section, DecodeForm::KeysOnly); // the keys, not the text
    if (entryIndex < 0 || entryIndex >= narc.files.size() || section < 0)
        return;

    ComposeResult result = core::composeEntry(narc.files.at(entryIndex), editedText, entryIndex, section);
    if (result.changed())
        narc.files[entryIndex] = std::move(result.entry);
    if (!result.report.isEmpty())
        appendReport(result.report);
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
