#include "cli/console.h"

#include "io/regularfile.h"

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
    writeStderr((line + QLatin1Char('\n')).toUtf8());
    ++reports;
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
