#include "app/linewidthview.h"

#include "app/editorsettings.h"
#include "app/linewidthdialog.h"
#include "report/lines.h"

#include <QAction>
#include <QEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextBlock>

using namespace core;

namespace {

const QString limitKey = QStringLiteral("lineWidth/limit");
const QString breaksKey = QStringLiteral("lineWidth/breaks");

// Whether `font` gives every half-width character one column and full-width
// characters exactly two, as the width rule counts them.
bool countsColumns(const QFont &font)
{
    const QFontMetricsF metrics(font);
    const qreal column = metrics.horizontalAdvance(QLatin1Char('0'));
    const auto takes = [&](QChar c, int columns) {
        return qAbs(metrics.horizontalAdvance(c) - columns * column) < 0.01;
    };
    return takes(QLatin1Char('i'), 1) && takes(QLatin1Char('M'), 1) && takes(QLatin1Char(' '), 1)
           && takes(QChar(0x3042), 2) && takes(QChar(0x6F22), 2);
}

// Whether `font` draws the backslash as a backslash, the slash mirrored: some
// Japanese fonts draw it as a yen sign, which would hide every escape.
bool drawsBackslash(const QFont &font)
{
    const auto drawn = [&](QChar c) {
        QImage image(48, 48, QImage::Format_Grayscale8);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(image.rect(), Qt::AlignCenter, QString(c));
        return image;
    };
    const QImage backslash = drawn(QLatin1Char('\\'));
    const QImage slash = drawn(QLatin1Char('/')).mirrored(true, false);
    int ink = 0;
    int differing = 0;
    for (int y = 0; y < backslash.height(); ++y) {
        for (int x = 0; x < backslash.width(); ++x) {
            const bool a = qGray(backslash.pixel(x, y)) < 128;
            const bool b = qGray(slash.pixel(x, y)) < 128;
            ink += a || b;
            differing += a != b;
        }
    }
    return ink > 0 && differing * 2 < ink;
}

// A font of `size` points in which the guide stands where the limit is: the
// system's fixed-pitch font, unless it falls back for Japanese to a font of
// another pitch and an installed family counts columns (half-width characters
// one, full-width two) and draws backslashes. Fixed pitch at least, whatever
// the system has: the marks are right in any font.
QFont guideFont(qreal size)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (size > 0)
        font.setPointSizeF(size);
    if (countsColumns(font))
        return font;
    for (const QString &family : QFontDatabase::families(QFontDatabase::Japanese)) {
        QFont candidate(family);
        candidate.setPointSizeF(font.pointSizeF());
        if (countsColumns(candidate) && drawsBackslash(candidate))
            return candidate;
    }
    return font;
}

// Draws the guide over the editor's text; takes no input.
class Guide : public QWidget
{
public:
    Guide(QWidget *viewport, const LineWidthView &view)
        : QWidget(viewport)
        , view(view)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setObjectName(QStringLiteral("lineWidthGuide"));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        const int x = view.guideX();
        if (x < 0)
            return;
        QPainter painter(this);
        painter.setPen(QPen(QColor(200, 60, 60, 160), 1, Qt::DashLine));
        painter.drawLine(x, 0, x, height());
    }

private:
    const LineWidthView &view;
};

} // namespace

LineWidthView::LineWidthView(QPlainTextEdit *editor, QStatusBar *statusBar, QObject *parent)
    : QObject(parent)
    , editor(editor)
    , viewport(editor->viewport())
    , status(new QLabel(statusBar))
    , guide(new Guide(editor->viewport(), *this))
    , lineWidthAction(new QAction(tr("Line Width..."), this))
    , ownFont(editor->font())
{
    lineWidthAction->setObjectName(QStringLiteral("actionLine_Width"));
    status->setObjectName(QStringLiteral("lineWidthStatus"));
    statusBar->addPermanentWidget(status);
    askRule = [this](const WidthRule &rule) -> std::optional<WidthRule> {
        LineWidthDialog dialog(rule, this->editor->window());
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.rule();
    };
    connect(lineWidthAction, &QAction::triggered, this, [this] {
        if (const std::optional<WidthRule> chosen = askRule ? askRule(current) : std::nullopt)
            setRule(*chosen);
    });

    // Marks are set for the rows in view, once the text has settled.
    marksTimer.setSingleShot(true);
    marksTimer.setInterval(0);
    connect(&marksTimer, &QTimer::timeout, this, &LineWidthView::markRows);
    connect(editor, &QPlainTextEdit::textChanged, this, &LineWidthView::scheduleMarks);
    connect(editor, &QPlainTextEdit::updateRequest, this, [this](const QRect &, int dy) {
        if (dy == 0)
            return;
        // Scrolling the viewport moves its children: the guide goes back in place.
        guide->setGeometry(this->editor->viewport()->rect());
        scheduleMarks();
    });
    connect(editor->horizontalScrollBar(), &QScrollBar::valueChanged, guide, qOverload<>(&QWidget::update));
    connect(editor, &QPlainTextEdit::cursorPositionChanged, this, &LineWidthView::updateStatus);
    connect(editor, &QPlainTextEdit::textChanged, this, &LineWidthView::updateStatus);
    viewport->installEventFilter(this);

    QSettings stored = editorSettings();
    current.limit = qMax(0, stored.value(limitKey, 0).toInt());
    current.breaks = parseEscapeList(stored.value(breaksKey).toString()).value;
    apply();
}

void LineWidthView::setRule(const WidthRule &rule)
{
    current = rule;
    current.limit = qMax(0, rule.limit);
    QSettings stored = editorSettings();
    stored.setValue(limitKey, current.limit);
    stored.setValue(breaksKey, escapeListText(current.breaks));
    apply();
}

void LineWidthView::apply()
{
    editor->setFont(current.active() ? guideFont(ownFont.pointSizeF()) : ownFont);
    guide->setGeometry(editor->viewport()->rect());
    guide->setVisible(current.active());
    guide->update();
    markRows();
    updateStatus();
}

int LineWidthView::guideX() const
{
    if (!current.active())
        return -1;
    // Column 0 as the editor lays it out (margins and scrolling included).
    QTextCursor start(editor->document());
    const qreal column = QFontMetricsF(editor->font()).horizontalAdvance(QLatin1Char('0'));
    return editor->cursorRect(start).left() + qRound(current.limit * column);
}

bool LineWidthView::eventFilter(QObject *watched, QEvent *event)
{
    // Only the pointer is compared: the editor may be half destroyed here.
    if (event->type() == QEvent::Resize && watched == viewport) {
        guide->setGeometry(viewport->rect());
        scheduleMarks();
    }
    return QObject::eventFilter(watched, event);
}

void LineWidthView::scheduleMarks()
{
    if (current.active() || !editor->extraSelections().isEmpty())
        marksTimer.start();
}

// Marks the part of each row in view that lies past the limit.
void LineWidthView::markRows()
{
    QList<QTextEdit::ExtraSelection> marks;
    if (current.active()) {
        QTextCharFormat past;
        past.setBackground(QColor(255, 205, 205));
        past.setUnderlineStyle(QTextCharFormat::WaveUnderline);
        past.setUnderlineColor(QColor(200, 40, 40));
        const int first = editor->cursorForPosition(QPoint(0, 0)).blockNumber();
        const int last = editor->cursorForPosition(QPoint(0, editor->viewport()->height())).blockNumber();
        for (QTextBlock block = editor->document()->findBlockByNumber(first);
             block.isValid() && block.blockNumber() <= last; block = block.next()) {
            const QString text = block.text();
            for (const TextRow &row : textRows(text, current.breaks)) {
                const qsizetype from = overflowStart(text, row, current.limit);
                if (from >= row.end)
                    continue;
                QTextEdit::ExtraSelection mark;
                mark.cursor = QTextCursor(block);
                mark.cursor.setPosition(block.position() + int(from));
                mark.cursor.setPosition(block.position() + int(row.end), QTextCursor::KeepAnchor);
                mark.format = past;
                marks.append(mark);
            }
        }
    }
    editor->setExtraSelections(marks);
    guide->update();
}

void LineWidthView::updateStatus()
{
    if (!current.active() || editor->isReadOnly()) {
        status->clear();
        return;
    }
    const QTextCursor cursor = editor->textCursor();
    const QString text = cursor.block().text();
    const TextRows rows = textRows(text, current.breaks);
    // The row the cursor is in; inside a breaking escape, the row before it.
    const int at = cursor.positionInBlock();
    int row = 0;
    while (row + 1 < rows.size() && rows.at(row + 1).start <= at)
        ++row;
    status->setText(lineWidthStatusText(cursor.blockNumber() + 1, row + 1, int(rows.size()), rows.at(row).width,
                                        current.limit));
}
