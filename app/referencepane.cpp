#include "app/referencepane.h"

#include "codec/decode.h"
#include "document/archivesource.h"
#include "report/lines.h"

#include <QAction>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTextBlock>

using namespace core;

namespace {

// How the map of references names an archive: the file it is, whatever the
// path it was opened by.
QString archiveKeyOf(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

// Paints the marks over the editor's lines that differ from the reference: a bar
// at the left edge and a light tint across the line. Over the text, taking no
// input, so the editor's own marks (selections, line width) stay as they are. It
// covers the viewport from the editor itself: a child of the viewport would be
// moved away whenever the viewport scrolls its contents.
class LineMarks : public QWidget
{
public:
    LineMarks(QPlainTextEdit *editor, const ReferencePane &pane)
        : QWidget(editor)
        , editor(editor)
        , pane(pane)
    {
        setObjectName(QStringLiteral("referenceMarks"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        cover();
    }

    // Over the viewport, wherever it is.
    void cover()
    {
        setGeometry(editor->viewport()->geometry());
        raise();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        if (!pane.isOpen())
            return;
        QPainter painter(this);
        const QColor tint(255, 196, 0, 40);
        const QColor bar(230, 150, 0);
        const int last = editor->cursorForPosition(QPoint(0, height())).blockNumber();
        for (QTextBlock block = editor->cursorForPosition(QPoint(0, 0)).block();
             block.isValid() && block.blockNumber() <= last; block = block.next()) {
            if (!pane.lineDiffers(block.blockNumber(), block.text()))
                continue;
            const QRect line = editor->cursorRect(QTextCursor(block));
            painter.fillRect(QRect(0, line.top(), width(), line.height()), tint);
            painter.fillRect(QRect(0, line.top(), 3, line.height()), bar);
        }
    }

private:
    QPlainTextEdit *editor;
    const ReferencePane &pane;
};

} // namespace

ReferencePane::ReferencePane(QPlainTextEdit *editor, QStatusBar *statusBar, const Narc *archive, QObject *parent)
    : QObject(parent)
    , editor(editor)
    , editorViewport(editor->viewport())
    , archive(archive)
    , status(new QLabel(statusBar))
    , marks(new LineMarks(editor, *this))
    , openReferenceAction(new QAction(tr("Open Reference..."), this))
    , closeReferenceAction(new QAction(tr("Close Reference"), this))
{
    openReferenceAction->setObjectName(QStringLiteral("actionOpen_Reference"));
    closeReferenceAction->setObjectName(QStringLiteral("actionClose_Reference"));
    openReferenceAction->setEnabled(false); // until an archive is open
    closeReferenceAction->setEnabled(false);
    connect(openReferenceAction, &QAction::triggered, this, &ReferencePane::chooseAndOpen);
    connect(closeReferenceAction, &QAction::triggered, this, &ReferencePane::close);

    status->setObjectName(QStringLiteral("referenceStatus"));
    statusBar->addPermanentWidget(status);
    status->hide();

    marks->hide();
    // Typing, scrolling and the cursor: the marks and the reference follow
    // whatever the editor redraws. (The editor scrolls to its cursor without
    // a signal from its scroll bar.)
    connect(editor, &QPlainTextEdit::updateRequest, this, [this] {
        marks->update();
        followEditor();
    });
    connect(editor->verticalScrollBar(), &QScrollBar::valueChanged, this, &ReferencePane::followEditor);
    editorViewport->installEventFilter(this);
    editor->installEventFilter(this);
}

void ReferencePane::chooseAndOpen()
{
    const QString chosen = choosePath ? choosePath() : QString();
    if (!chosen.isEmpty())
        open(chosen);
}

Status ReferencePane::open(const QString &path)
{
    Result<Narc> read = loadArchive(path);
    if (!read) {
        if (report)
            report(referenceLoadFailedLine(path, read.reason));
        return read.status();
    }
    reference = std::move(read.value);
    referencePath = path;
    showPane(true);
    referenceView->setToolTip(path);
    remembered.insert(archiveKey, path);
    compareAll();
    show(shownEntry, shownSection);
    if (report)
        report(referenceLoadedLine(path));
    return Status::success();
}

void ReferencePane::close()
{
    if (!isOpen())
        return;
    if (report)
        report(referenceClosedLine(referencePath));
    remembered.remove(archiveKey);
    referencePath.clear();
    reference = Narc();
    progress.clear();
    showPane(false);
    emit countsChanged(-1);
}

void ReferencePane::archiveOpened(const QString &archivePath)
{
    archiveKey = archiveKeyOf(archivePath);
    openReferenceAction->setEnabled(true);
    shownEntry = -1;
    shownSection = -1;
    const QString kept = remembered.value(archiveKey);
    if (kept.isEmpty()) {
        // Another archive's reference is no reference for this one.
        referencePath.clear();
        reference = Narc();
        progress.clear();
        showPane(false);
        return;
    }
    if (kept == referencePath) {
        // The same archive again: the same reference, read again in case it changed.
        referencePath.clear();
    }
    if (!open(kept)) {
        remembered.remove(archiveKey);
        referencePath.clear();
        progress.clear();
        showPane(false);
    }
}

void ReferencePane::compareAll()
{
    progress.compareAll(*archive, reference);
    showTotal();
    emit countsChanged(-1);
}

void ReferencePane::entryChanged(int entry)
{
    if (!isOpen())
        return;
    progress.compareEntry(entry, *archive, reference);
    showTotal();
    emit countsChanged(entry);
}

void ReferencePane::entriesChanged(const QList<NarcEntry> &before)
{
    if (!isOpen())
        return;
    progress.compareChanged(before, *archive, reference);
    showTotal();
    emit countsChanged(-1);
}

void ReferencePane::showTotal()
{
    status->setText(isOpen() ? translatedStatusText(progress.total().changed, progress.total().lines) : QString());
}

void ReferencePane::showPane(bool shown)
{
    closeReferenceAction->setEnabled(shown);
    status->setVisible(shown);
    marks->setVisible(shown);
    marks->update();
    if (shown == (splitter != nullptr))
        return;
    QWidget *place = shown ? editor->parentWidget() : splitter->parentWidget();
    if (shown) {
        // The splitter takes the editor's place and size; the reference goes
        // first, to be read before the line is written.
        const QRect geometry = editor->geometry();
        splitter = new QSplitter(Qt::Horizontal, place);
        splitter->setObjectName(QStringLiteral("referenceSplitter"));
        splitter->setChildrenCollapsible(false);
        referenceView = new QPlainTextEdit(splitter);
        referenceView->setObjectName(QStringLiteral("referenceView"));
        referenceView->setReadOnly(true);
        referenceView->setLineWrapMode(QPlainTextEdit::NoWrap);
        referenceView->setUndoRedoEnabled(false);
        referenceView->setFocusPolicy(Qt::ClickFocus); // Tab goes from the editor to the log, as before
        // Read-only, and it looks it: the window's own background instead of a field's.
        QPalette palette = referenceView->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
        referenceView->setPalette(palette);
        referenceView->setFont(editor->font());
        // Scrolled itself (the wheel, its scroll bar), it takes the editor along,
        // and then stands where the editor could go: the two stay line for line.
        connect(referenceView->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int top) {
            editor->verticalScrollBar()->setValue(top);
            followEditor();
        });
        splitter->addWidget(referenceView);
        splitter->addWidget(editor);
        splitter->setGeometry(geometry);
        const int half = geometry.width() / 2;
        splitter->setSizes({half, geometry.width() - half});
        splitter->show();
        editor->show();
    } else {
        const QRect geometry = splitter->geometry();
        editor->setParent(place);
        editor->setGeometry(geometry);
        editor->show();
        delete splitter; // and the view with it
        splitter = nullptr;
        referenceView = nullptr;
        shownLines.clear();
        shownPresent = false;
    }
    emit placeChanged();
}

void ReferencePane::show(int entry, int section)
{
    shownEntry = entry;
    shownSection = section;
    shownLines.clear();
    shownPresent = false;
    if (!referenceView)
        return;
    QString missing;
    if (entry < 0 || section < 0) {
        // Nothing shown in the editor: nothing to say.
    } else if (entry >= reference.files.size()) {
        missing = referenceLacksEntryText(entry);
    } else {
        DecodedSection decoded = decodeMessageSection(reference.files.at(entry), section, DecodeForm::Lines);
        if (!decoded.ok())
            missing = referenceCannotDecodeText(entry, section, decoded.reason);
        else if (!decoded.present)
            missing = referenceLacksSectionText(entry, section);
        shownLines = std::move(decoded.lines);
        shownPresent = decoded.ok() && decoded.present;
    }
    referenceView->setPlaceholderText(missing);
    referenceView->setPlainText(shownLines.join(QLatin1Char('\n')));
    followEditor();
    marks->update();
}

bool ReferencePane::lineDiffers(int line, const QString &text) const
{
    if (!isOpen() || shownSection < 0)
        return false;
    return !shownPresent || line >= shownLines.size() || shownLines.at(line) != text;
}

QList<int> ReferencePane::markedLines() const
{
    QList<int> lines;
    for (QTextBlock block = editor->document()->begin(); block.isValid(); block = block.next()) {
        if (lineDiffers(block.blockNumber(), block.text()))
            lines.append(block.blockNumber());
    }
    return lines;
}

void ReferencePane::followEditor()
{
    const int top = editor->verticalScrollBar()->value();
    if (referenceView && referenceView->verticalScrollBar()->value() != top)
        referenceView->verticalScrollBar()->setValue(top);
}

bool ReferencePane::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == editorViewport && (event->type() == QEvent::Resize || event->type() == QEvent::Move))
        static_cast<LineMarks *>(marks)->cover();
    // The reference reads in the editor's font (View > Line Width may change it).
    if (watched == editor && event->type() == QEvent::FontChange && referenceView)
        referenceView->setFont(editor->font());
    return QObject::eventFilter(watched, event);
}
