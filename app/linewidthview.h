#pragma once

#include "check/width.h"

#include <QFont>
#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

class QAction;
class QLabel;
class QPlainTextEdit;
class QStatusBar;
class QWidget;

// The text-box width as the editor shows it (check/width.h), for View > Line
// Width...: while a limit is set, the editor uses a fixed-pitch font and draws a
// guide at the limit, the part of every row past the limit is marked, and the
// status bar says how wide the cursor's row is ("line 3: 41 of 38", "line 2, row
// 2: 12 of 38"). The rule is remembered in the user's settings; there is none at
// first. Nothing is refused: the text is stored as typed.
class LineWidthView : public QObject
{
    Q_OBJECT

public:
    LineWidthView(QPlainTextEdit *editor, QStatusBar *statusBar, QObject *parent = nullptr);

    // "Line Width...": asks for the rule (askRule) and applies it.
    QAction *action() const { return lineWidthAction; }

    const core::WidthRule &rule() const { return current; }
    // Applies `rule` and remembers it for the next start.
    void setRule(const core::WidthRule &rule);

    // Where the guide is drawn, in the editor's viewport; -1 when there is none.
    int guideX() const;

    // Asks for a rule starting from `current`; nothing when cancelled. By default
    // the modal LineWidthDialog; tests answer in its place.
    std::function<std::optional<core::WidthRule>(const core::WidthRule &current)> askRule;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void apply();
    void scheduleMarks();
    void markRows();
    void updateStatus();

    QPlainTextEdit *editor;
    QWidget *viewport; // the editor's
    QLabel *status;
    QWidget *guide;
    QAction *lineWidthAction;
    core::WidthRule current;
    QFont ownFont; // the editor's font while no limit is set
    QTimer marksTimer;
};
