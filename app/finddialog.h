#pragma once

#include "narc/narc.h"
#include "search/search.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class MatchListModel;

// "Find in Archive": a search field, "Ignore case" and the list of every match
// over every entry and section of the archive, in archive order, matched as
// core::searchArchive() matches (the escaped text as the editor shows it).
//
// Not modal. It searches when asked (Enter in the field, "Find", or a Find Next
// or Find Previous with a new text), never per keystroke: a search of a large
// archive takes a noticeable moment. Activating a match (double click or Enter
// in the list, Find Next, Find Previous) emits matchActivated(); the window shows
// that entry and section and selects the match.
//
// The archive is only read, and only while a search runs. The window owns it and
// calls archiveChanged() whenever it changes, so that the list is not trusted
// past a change.
class FindDialog : public QDialog
{
    Q_OBJECT

public:
    explicit FindDialog(QWidget *parent = nullptr);
    ~FindDialog() override;

    // The archive to search; it must outlive the dialog or be unset (nullptr:
    // nothing to search).
    void setArchive(const core::Narc *narc);

    // The matches listed (at most listLimit of them), in archive order, and the
    // row of the current one (-1: none yet).
    const QList<core::SearchMatch> &matches() const;
    int currentRow() const;

    // A common letter can occur millions of times; the list keeps this many.
    static constexpr qsizetype listLimit = 100000;

    // Asked before every jump to a match; false cancels the jump, and the
    // current match stays as it was. The window asks about unsaved text here;
    // when the answer changed the archive (Save Text), the match is looked up
    // again in the archive as it now is: the first at or after its place.
    std::function<bool()> mayJump;

    // The role of a row's match in its text: a QPoint (start, length) in units.
    static constexpr int MatchSpanRole = Qt::UserRole + 1;

public slots:
    // Searches for the field's text now and lists the matches; none is current.
    void search();
    // The list no longer describes the archive: it is emptied, and the next
    // Find Next or Find Previous searches again.
    void archiveChanged();
    // Makes the match after (before) the current one current, wrapping around at
    // the end (start) of the list, and activates it. Searches first when the
    // field's text or "Ignore case" changed since the last search, or the
    // archive did. Returns false, activating nothing, when nothing matches.
    bool findNext();
    bool findPrevious();

signals:
    // `line` counts from 0; `column` and `length` count UTF-16 units of the
    // line's escaped text, as the editor's text cursor does.
    void matchActivated(int entry, int section, int line, int column, int length);

private:
    core::SearchQuery fieldQuery() const;
    // Lists the matches of `query`; none is current.
    void searchFor(const core::SearchQuery &query);
    bool step(int direction);
    // Jumps to the match of row `row`; false when the jump was cancelled or the
    // match is gone.
    bool activate(int row);
    void showStatus();

    const core::Narc *narc = nullptr;
    core::SearchQuery searched; // what the list shows; empty text: nothing searched
    bool stale = true;          // the list may not describe the archive
    int current = -1;           // the row Find Next and Find Previous go on from
    core::SearchMatch anchor;   // the match activated last, kept across searches
    qint64 total = 0;
    int unreadable = 0;
    qint64 insideEscapes = 0;

    QLineEdit *findText;
    QCheckBox *ignoreCase;
    QPushButton *findButton;
    QListView *matchList;
    MatchListModel *model;
    QLabel *status;
    QPushButton *previousButton;
    QPushButton *nextButton;
};
