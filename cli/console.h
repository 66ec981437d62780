#pragma once

#include "report/observer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

// True when standard error is a terminal.
bool stderrIsTerminal();

// Writes `bytes` to standard output in one buffered write and flushes. Returns
// false when the bytes could not all be written, with the system's reason in
// `*error` when given.
bool writeStdout(const QByteArray &bytes, QString *error = nullptr);

// Everything the tool says on standard error goes through here: report lines in
// the editor's words and, on a terminal, a progress bar for long bulk work.
//
// The bar appears only once the work has run for a moment, is redrawn in place
// (carriage return) at most a few times a second, and is wiped before any report
// line is printed and when the work ends, so the lines left on the terminal are
// exactly the report lines.
class ConsoleObserver : public core::BulkObserver
{
public:
    explicit ConsoleObserver(bool showProgress = stderrIsTerminal());
    ~ConsoleObserver() override;

    ConsoleObserver(const ConsoleObserver &) = delete;
    ConsoleObserver &operator=(const ConsoleObserver &) = delete;

    void report(const QString &line) override;
    void status(const QString &text) override;
    void begin(int count) override;
    void progress(int index) override;

    // Wipes the bar and stops drawing it until the next begin().
    void finish();

    // How many report lines were printed.
    int reportCount() const { return reports; }

private:
    void draw();
    void wipe();

    bool showProgress;
    bool active = false;  // between begin() and finish()
    int drawnWidth = 0;   // characters of the bar on screen, 0 when none
    int total = 0;
    int current = 0;
    int reports = 0;
    QString statusText;
    QElapsedTimer sinceBegin;
    qint64 lastDraw = -1;
};
