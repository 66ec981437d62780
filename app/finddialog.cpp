#include "app/finddialog.h"

#include "report/lines.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>
#include <tuple>
#include <utility>

using namespace core;

namespace {

// Says nothing: the dialog counts what it cannot decode instead of logging it
// on every search.
struct SilentObserver : BulkObserver
{
    void report(const QString &) override {}
};

// The part of a long line around its match, so the match shows in the list, and
// where the match starts in it.
struct Excerpt
{
    QString text;
    int matchStart;
};

Excerpt excerpt(const QString &line, int column)
{
    constexpr int before = 30;
    constexpr int shown = 200;
    const int start = column > before + 10 ? column - before : 0;
    Excerpt cut{line.mid(start, shown), column - start};
    if (start > 0) {
        cut.text.prepend(QChar(0x2026));
        ++cut.matchStart;
    }
    if (start + shown < line.size())
        cut.text.append(QChar(0x2026));
    return cut;
}

// Draws a row as usual, then its match again on the highlight colour.
class MatchDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        const QPoint span = index.data(FindDialog::MatchSpanRole).toPoint();
        const QString text = index.data(Qt::DisplayRole).toString();
        if (span.y() <= 0 || span.x() + span.y() > text.size())
            return;
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QWidget *widget = option.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        const QFontMetrics metrics(item.font);
        const int left = textRect.left() + margin + metrics.horizontalAdvance(text.left(span.x()));
        const QString match = text.mid(span.x(), span.y());
        const QRect box(left, textRect.top(), metrics.horizontalAdvance(match), textRect.height());
        const QRect shown = box.intersected(textRect);
        if (shown.isEmpty())
            return;
        painter->save();
        painter->setClipRect(shown);
        const bool selected = option.state.testFlag(QStyle::State_Selected);
        // On a selected row the highlight colour is taken: the match is drawn
        // inverted there.
        painter->fillRect(box, selected ? item.palette.color(QPalette::HighlightedText)
                                        : item.palette.color(QPalette::Highlight));
        painter->setPen(selected ? item.palette.color(QPalette::Highlight)
                                 : item.palette.color(QPalette::HighlightedText));
        painter->setFont(item.font);
        painter->drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, match);
        painter->restore();
    }
};

auto matchOrder(const SearchMatch &match)
{
    return std::make_tuple(match.entry, match.section, match.line, match.column);
}

} // namespace

// The matches as list rows: "12  Kanji  line 4:  text ...".
class MatchListModel : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    void setMatches(QList<SearchMatch> newMatches, QList<QString> newLines)
    {
        beginResetModel();
        matches = std::move(newMatches);
        lines = std::move(newLines);
        endResetModel();
    }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(matches.size());
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= matches.size())
            return {};
        const SearchMatch &match = matches.at(index.row());
        const QString &line = lines.at(index.row());
        if (role == Qt::DisplayRole || role == FindDialog::MatchSpanRole) {
            const QString place = QStringLiteral("%1  %2  line %3, column %4:  ")
                                      .arg(match.entry)
                                      .arg(sectionName(match.section))
                                      .arg(match.line + 1)
                                      .arg(match.column + 1);
            const Excerpt cut = excerpt(line, match.column);
            if (role == Qt::DisplayRole)
                return place + cut.text;
            const int length = qMax(0, qMin(match.length, int(cut.text.size()) - cut.matchStart));
            return QPoint(int(place.size()) + cut.matchStart, length);
        }
        if (role == Qt::ToolTipRole)
            return line.left(1000);
        return {};
    }

    QList<SearchMatch> matches;
    QList<QString> lines;
};

FindDialog::FindDialog(QWidget *parent)
    : QDialog(parent)
    , findText(new QLineEdit(this))
    , ignoreCase(new QCheckBox(QStringLiteral("Ignore case"), this))
    , findButton(new QPushButton(QStringLiteral("Find"), this))
    , matchList(new QListView(this))
    , model(new MatchListModel(this))
    , status(new QLabel(this))
    , previousButton(new QPushButton(QStringLiteral("Find Previous"), this))
    , nextButton(new QPushButton(QStringLiteral("Find Next"), this))
{
    setWindowTitle(QStringLiteral("Find in Archive"));
    setModal(false);
    findText->setObjectName(QStringLiteral("findText"));
    findText->setPlaceholderText(QStringLiteral("Text as the editor shows it"));
    ignoreCase->setObjectName(QStringLiteral("ignoreCase"));
    findButton->setObjectName(QStringLiteral("findButton"));
    matchList->setObjectName(QStringLiteral("matchList"));
    status->setObjectName(QStringLiteral("status"));
    previousButton->setObjectName(QStringLiteral("previousButton"));
    nextButton->setObjectName(QStringLiteral("nextButton"));
    auto *closeButton = new QPushButton(QStringLiteral("Close"), this);
    closeButton->setObjectName(QStringLiteral("closeButton"));

    // Enter belongs to the field (search) and the list (activate); no button
    // takes it over.
    for (QPushButton *button : {findButton, previousButton, nextButton, closeButton}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    matchList->setModel(model);
    matchList->setItemDelegate(new MatchDelegate(matchList));
    matchList->setUniformItemSizes(true);
    matchList->setSelectionMode(QAbstractItemView::SingleSelection);
    matchList->setEditTriggers(QAbstractItemView::NoEditTriggers);

    auto *fieldRow = new QHBoxLayout;
    fieldRow->addWidget(new QLabel(QStringLiteral("Find:"), this));
    fieldRow->addWidget(findText, 1);
    fieldRow->addWidget(findButton);
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addWidget(previousButton);
    buttonRow->addWidget(nextButton);
    buttonRow->addStretch(1);
    buttonRow->addWidget(closeButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fieldRow);
    layout->addWidget(ignoreCase);
    layout->addWidget(matchList, 1);
    layout->addWidget(status);
    layout->addLayout(buttonRow);
    resize(480, 320); // small enough to stay clear of the editor's line and the log

    connect(findText, &QLineEdit::returnPressed, this, &FindDialog::search);
    connect(findButton, &QPushButton::clicked, this, &FindDialog::search);
    connect(matchList, &QListView::activated, this, [this](const QModelIndex &index) { activate(index.row()); });
    // A click picks where Find Next and Find Previous go on from.
    connect(matchList, &QListView::clicked, this, [this](const QModelIndex &index) {
        current = index.row();
        anchor = model->matches.value(current);
    });
    connect(previousButton, &QPushButton::clicked, this, &FindDialog::findPrevious);
    connect(nextButton, &QPushButton::clicked, this, &FindDialog::findNext);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
}

FindDialog::~FindDialog() = default;

void FindDialog::setArchive(const Narc *archive)
{
    narc = archive;
    archiveChanged();
}

const QList<SearchMatch> &FindDialog::matches() const
{
    return model->matches;
}

int FindDialog::currentRow() const
{
    return current;
}

SearchQuery FindDialog::fieldQuery() const
{
    return {findText->text(), ignoreCase->isChecked() ? Qt::CaseInsensitive : Qt::CaseSensitive};
}

void FindDialog::search()
{
    searchFor(fieldQuery());
}

void FindDialog::searchFor(const SearchQuery &query)
{
    searched = query;
    stale = false;
    current = -1;
    total = 0;
    unreadable = 0;
    insideEscapes = 0;
    FoundMatches found;
    if (narc && !searched.text.isEmpty()) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        SilentObserver silent;
        found = findInArchive(*narc, searched, silent, listLimit);
        QApplication::restoreOverrideCursor();
    }
    total = found.summary.matches;
    unreadable = found.summary.sectionsUnreadable;
    insideEscapes = found.summary.insideEscapes;
    model->setMatches(std::move(found.matches), std::move(found.lineTexts));
    showStatus();
}

void FindDialog::archiveChanged()
{
    stale = true;
    current = -1;
    total = 0;
    unreadable = 0;
    insideEscapes = 0;
    model->setMatches({}, {});
    showStatus();
}

bool FindDialog::findNext()
{
    return step(1);
}

bool FindDialog::findPrevious()
{
    return step(-1);
}

bool FindDialog::step(int direction)
{
    const SearchQuery wanted = fieldQuery();
    if (stale || wanted.text != searched.text || wanted.sensitivity != searched.sensitivity)
        search();
    const int rows = int(model->matches.size());
    if (rows == 0)
        return false;

    int row;
    if (current >= 0) {
        row = (current + direction + rows) % rows;
    } else if (anchor.entry >= 0) {
        // After a new search, go on from the match shown last: the first match
        // after it (before it), wrapping around.
        const auto &list = model->matches;
        const auto after = std::upper_bound(list.begin(), list.end(), anchor,
                                            [](const SearchMatch &a, const SearchMatch &b) {
                                                return matchOrder(a) < matchOrder(b);
                                            });
        if (direction > 0) {
            row = after == list.end() ? 0 : int(after - list.begin());
        } else {
            const auto notBefore = std::lower_bound(list.begin(), list.end(), anchor,
                                                    [](const SearchMatch &a, const SearchMatch &b) {
                                                        return matchOrder(a) < matchOrder(b);
                                                    });
            row = notBefore == list.begin() ? rows - 1 : int(notBefore - list.begin()) - 1;
        }
    } else {
        row = direction > 0 ? 0 : rows - 1;
    }
    activate(row);
    return true;
}

bool FindDialog::activate(int row)
{
    if (row < 0 || row >= model->matches.size())
        return false;
    const SearchMatch target = model->matches.at(row);
    if (mayJump && !mayJump())
        return false;
    if (stale) {
        // The answer changed the archive: the same text, looked for again.
        searchFor(searched);
        const auto &list = model->matches;
        const auto at = std::lower_bound(list.begin(), list.end(), target,
                                         [](const SearchMatch &a, const SearchMatch &b) {
                                             return matchOrder(a) < matchOrder(b);
                                         });
        if (list.isEmpty())
            return false;
        row = at == list.end() ? 0 : int(at - list.begin());
    }
    if (row >= model->matches.size())
        return false;
    current = row;
    const SearchMatch match = model->matches.at(row);
    anchor = match;
    const QModelIndex index = model->index(row);
    matchList->setCurrentIndex(index);
    matchList->scrollTo(index);
    emit matchActivated(match.entry, match.section, match.line, match.column, match.length);
    return true;
}

void FindDialog::showStatus()
{
    QString text;
    if (stale) {
        if (!searched.text.isEmpty())
            text = QStringLiteral("The archive has changed: Find searches it again");
    } else if (!searched.text.isEmpty()) {
        text = findStatusText(total, model->matches.size(), unreadable, insideEscapes);
    }
    status->setText(text);
}
