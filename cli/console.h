#pragma once

#include "report/observer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

// True when standard error, or standard output, is a terminal.
bool stderrIsTerminal();
bool stdoutIsTerminal();

// Writes `bytes` to standard output in one buffered write and flushes. Returns
// false when the bytes could not all be written, with the system's reason in
// `*error` when given.
bool writeStdout(const QByteArray &bytes, QString *error = nullptr);

// Archive text made safe for a terminal: every unit a terminal would act on (the
// C0 controls other than tab and line feed, DEL, the C1 controls) becomes its
// escape "\xhhhh", which reads back to the same unit (codec/escape.h). Tab and
// line feed stay: archive text shows them escaped already, so here they are the
// output's own separators.
QString escapeTerminalControls(const QString &text);

// Everything the tool says on standard error goes through here: report lines in
// the editor's words (passed through escapeTerminalControls, terminal or not)
// and, on a terminal, a progress bar for long bulk work.
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
    void note(const QString &line) override;
    void status(const QString &text) override;
    void begin(int count) override;
    void progress(int index) override;

    // Wipes the bar and stops drawing it until the next begin().
    void finish();

    // How many report lines were printed.
    int reportCount() const { return reports; }

    // Quiet: no progress bar and only the lines that report a problem.
    void setQuiet(bool on);

private:
    void draw();
    void wipe();

    bool showProgress;
    bool quiet = false;
    bool active = false; // between begin() and finish()
    int drawnWidth = 0;  // characters of the bar on screen, 0 when none
    int total = 0;
    int current = 0;
    int reports = 0;
    QString statusText;
    QElapsedTimer sinceBegin;
    qint64 lastDraw = -1;
};

// What a command prints on standard output (show, find, list), as UTF-8. On a
// terminal the text is passed through escapeTerminalControls, so an archive
// cannot send escape sequences to it; pipes and files get the text as it is. The
// first failure to write is reported on the console ("Failed to write to standard
// output: REASON") and every later write is dropped.
class StandardOutput
{
public:
    explicit StandardOutput(ConsoleObserver &console, bool terminal = stdoutIsTerminal());

    // Keeps `text` until flush().
    void hold(const QString &text);
    // Keeps `text`, writing what is kept once it is large; false once a write failed.
    bool print(const QString &text);
    // Writes what is kept; false once a write failed.
    bool flush();
    bool failed() const { return broken; }

private:
    ConsoleObserver &console;
    bool terminal;
    bool broken = false;
    QString kept;
};
