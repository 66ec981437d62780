#pragma once

#include "report/observer.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>

class QComboBox;
class QLabel;
class QProgressBar;

// A bulk run as the window shows it: report lines go to the log, the status to
// the label beside the progress bar, progress to the bar, and during an import the
// section to "Type". While the run goes the window keeps painting (so a dialog
// that just closed does not stay drawn over it), but every click, key, wheel turn,
// drop or close request made meanwhile is dropped, never replayed after the run.
// The log, the bar and "Type" change, and the window paints, at most every 100 ms
// and once more when the run ends (when this object goes away).
class WindowBulkRun : public QObject, public core::BulkObserver
{
public:
    // The widgets a run shows itself in: the status label, the progress bar and
    // the section box ("Type").
    struct Widgets
    {
        QLabel *status;
        QProgressBar *progress;
        QComboBox *sections;
    };

    WindowBulkRun(const Widgets &widgets, std::function<void(const QString &)> appendReport);
    ~WindowBulkRun() override;

    void report(const QString &line) override;
    void status(const QString &text) override;
    void begin(int count) override;
    void progress(int index) override;
    void sectionChanged(int section) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Puts the latest status, progress and section on screen.
    void show();
    // Shows the latest state and lets the window paint; input is dropped.
    void refresh();

    Widgets widgets;
    std::function<void(const QString &)> appendReport;
    QElapsedTimer sinceRefresh;
    QString pendingReport; // report lines not yet in the log, each ended by "\n"
    int value = -1;        // the bar's value to show; -1 while nothing was processed
    int section = -1;      // the section to show under "Type"; -1 while none was given
};
