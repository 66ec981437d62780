#include "app/bulkrun.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QSignalBlocker>

#include <utility>

namespace {

// Whether `event` is something the user did that the window would act on.
bool isUserRequest(const QEvent *event)
{
    if (event->isInputEvent())
        return true; // mouse, keys, wheel, touch, tablet, context menu, shortcut overrides
    switch (event->type()) {
    case QEvent::Shortcut:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::Close:
        return true;
    default:
        return false;
    }
}

} // namespace

WindowBulkRun::WindowBulkRun(const Widgets &widgets, std::function<void(const QString &)> appendReport)
    : widgets(widgets)
    , appendReport(std::move(appendReport))
{
    QCoreApplication::instance()->installEventFilter(this);
    sinceRefresh.start();
}

WindowBulkRun::~WindowBulkRun()
{
    // The last state, and whatever input arrived since the last refresh dropped.
    refresh();
    QCoreApplication::instance()->removeEventFilter(this);
}

// Gathered and added to the log in one go at each refresh: one insertion of many
// lines costs the log little more than one of a single line.
void WindowBulkRun::report(const QString &line)
{
    pendingReport += line;
    pendingReport += QLatin1Char('\n');
}

// Twice a run at most ("Exporting: ", then "Finished Exporting!"): shown at the
// next refresh.
void WindowBulkRun::status(const QString &text)
{
    widgets.status->setText(text);
}

// An empty archive gives the range 0..-1, which the bar turns into 0..0. The
// window is painted once right away, so the dialog that started the run is gone.
void WindowBulkRun::begin(int count)
{
    widgets.progress->setRange(0, count - 1);
    refresh();
}

void WindowBulkRun::progress(int index)
{
    value = index;
    if (sinceRefresh.elapsed() >= 100)
        refresh();
}

// Without an item `section` the box is left with no current item. The editor
// is not redrawn: the import shows the section once, as it stands at the end.
void WindowBulkRun::sectionChanged(int newSection)
{
    section = newSection;
}

bool WindowBulkRun::eventFilter(QObject *watched, QEvent *event)
{
    if (isUserRequest(event)) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void WindowBulkRun::show()
{
    if (!pendingReport.isEmpty()) {
        pendingReport.chop(1); // appendReport ends the last line
        appendReport(pendingReport);
        pendingReport.clear();
    }
    if (value >= 0)
        widgets.progress->setValue(value);
    if (section >= 0 && widgets.sections->currentIndex() != section) {
        const QSignalBlocker quiet(widgets.sections);
        widgets.sections->setCurrentIndex(section);
    }
}

void WindowBulkRun::refresh()
{
    show();
    QCoreApplication::processEvents();
    sinceRefresh.restart();
}
