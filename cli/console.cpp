#include "cli/console.h"

#include "io/regularfile.h"
#include "report/lines.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

using namespace core;

namespace {

// The bar waits this long before it first appears, so quick work prints
// nothing, and is redrawn at most this often after that.
constexpr qint64 firstDrawMs = 250;
constexpr qint64 redrawMs = 100;
constexpr int barCells = 30;
// Standard output is written in pieces of about this many characters.
constexpr qsizetype outputChunk = 1 << 20;

void writeStderr(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace

bool stderrIsTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}

bool stdoutIsTerminal()
{
    return isatty(STDOUT_FILENO) == 1;
}

bool writeStdout(const QByteArray &bytes, QString *error)
{
    const size_t length = size_t(bytes.size());
    errno = 0;
    const bool written = length == 0 || std::fwrite(bytes.constData(), 1, length, stdout) == length;
    if (std::fflush(stdout) == 0 && written)
        return true;
    if (error)
        *error = systemError(errno != 0 ? errno : EIO);
    return false;
}

QString escapeTerminalControls(const QString &text)
{
    const auto acts = [](char16_t c) { return (c < 0x20 && c != u'\t' && c != u'\n') || (c >= 0x7F && c <= 0x9F); };
    qsizetype first = 0;
    while (first < text.size() && !acts(text.at(first).unicode()))
        ++first;
    if (first == text.size())
        return text;
    QString safe = text.left(first);
    for (qsizetype i = first; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (acts(c))
            safe += QStringLiteral("\\x%1").arg(int(c), 4, 16, QLatin1Char('0'));
        else
            safe += QChar(c);
    }
    return safe;
}

ConsoleObserver::ConsoleObserver(bool showProgress)
    : showProgress(showProgress)
{
}

ConsoleObserver::~ConsoleObserver()
{
    finish();
}

void ConsoleObserver::report(const QString &line)
{
    wipe();
    // A report line is words for a person, never data: units a terminal would
    // act on (from a file name, say) are shown as their escapes wherever it goes.
    writeStderr((escapeTerminalControls(line) + QLatin1Char('\n')).toUtf8());
    ++reports;
}

void ConsoleObserver::note(const QString &line)
{
    if (!quiet)
        report(line);
}

void ConsoleObserver::setQuiet(bool on)
{
    quiet = on;
    if (on) {
        finish();
        showProgress = false;
    }
}

void ConsoleObserver::status(const QString &text)
{
    statusText = text;
}

void ConsoleObserver::begin(int count)
{
    wipe();
    active = showProgress;
    total = count;
    current = 0;
    lastDraw = -1;
    sinceBegin.start();
}

void ConsoleObserver::progress(int index)
{
    current = index + 1;
    if (!active)
        return;
    const qint64 now = sinceBegin.elapsed();
    if (now < firstDrawMs || (lastDraw >= 0 && now - lastDraw < redrawMs))
        return;
    lastDraw = now;
    draw();
}

void ConsoleObserver::finish()
{
    wipe();
    active = false;
}

void ConsoleObserver::draw()
{
    const int done = total > 0 ? int(qint64(qMin(current, total)) * barCells / total) : barCells;
    const QString bar = statusText.trimmed() + QStringLiteral(" [") + QString(done, QLatin1Char('#'))
                        + QString(barCells - done, QLatin1Char('-')) + QStringLiteral("] ")
                        + QString::number(qMin(current, total)) + QLatin1Char('/') + QString::number(total);
    // Pad over a longer bar drawn before.
    const int width = int(bar.size());
    const QString padded = bar + QString(qMax(0, drawnWidth - width), QLatin1Char(' '));
    writeStderr((QLatin1Char('\r') + padded).toUtf8());
    drawnWidth = qMax(drawnWidth, width);
}

void ConsoleObserver::wipe()
{
    if (drawnWidth == 0)
        return;
    writeStderr((QLatin1Char('\r') + QString(drawnWidth, QLatin1Char(' ')) + QLatin1Char('\r')).toUtf8());
    drawnWidth = 0;
}

StandardOutput::StandardOutput(ConsoleObserver &console, bool terminal)
    : console(console)
    , terminal(terminal)
{
}

void StandardOutput::hold(const QString &text)
{
    if (!broken)
        kept += terminal ? escapeTerminalControls(text) : text;
}

bool StandardOutput::print(const QString &text)
{
    hold(text);
    return kept.size() < outputChunk ? !broken : flush();
}

bool StandardOutput::flush()
{
    if (broken)
        return false;
    QString error;
    const bool written = writeStdout(kept.toUtf8(), &error);
    kept.clear();
    if (!written) {
        broken = true;
        console.report(stdoutFailedLine(error));
    }
    return written;
}
