#pragma once

// Paired runs for the benchmarks: the work and its baseline (the same I/O
// without our work) timed back to back, several times, so a noisy shared machine
// shows as spread instead of as a wrong ratio. Each row prints the median of
// each side, the median of the per-pair ratios and their range.

#include <QByteArray>
#include <QElapsedTimer>
#include <QVector>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace bench {

inline double seconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e9;
}

inline double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    if (n == 0)
        return 0;
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

struct Paired
{
    QVector<double> work;
    QVector<double> baseline;

    QVector<double> ratios() const
    {
        QVector<double> r;
        for (qsizetype i = 0; i < work.size(); ++i)
            r.append(baseline.at(i) > 0 ? work.at(i) / baseline.at(i) : 0);
        return r;
    }
};

// `rounds` pairs of (work, baseline). `prepareWork` and `prepareBaseline` run
// untimed before each run of their side (to remove what the previous run made,
// for instance). The order within a pair alternates so neither side always runs
// on a warmer cache.
inline Paired pairedRuns(int rounds, const std::function<void()> &work, const std::function<void()> &baseline,
                         const std::function<void()> &prepareWork = {},
                         const std::function<void()> &prepareBaseline = {})
{
    Paired paired;
    for (int i = 0; i < rounds; ++i) {
        double w = 0;
        double b = 0;
        for (int side = 0; side < 2; ++side) {
            if ((side == 0) == (i % 2 == 0)) {
                if (prepareWork)
                    prepareWork();
                w = seconds(work);
            } else {
                if (prepareBaseline)
                    prepareBaseline();
                b = seconds(baseline);
            }
        }
        paired.work.append(w);
        paired.baseline.append(b);
    }
    return paired;
}

// Writes `bytes` as a QSaveFile commit does: a new file beside `path`, written,
// flushed to disk with fdatasync, then renamed over `path`.
inline bool writeSyncRename(const QByteArray &path, const QByteArray &bytes)
{
    const QByteArray temporary = path + ".plain-tmp";
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0) {
            ::close(fd);
            return false;
        }
        done += n;
    }
    const bool synced = ::fdatasync(fd) == 0;
    return ::close(fd) == 0 && synced && ::rename(temporary.constData(), path.constData()) == 0;
}

// "  what   1.234 s | baseline-what 0.567 s | x2.18 (x2.01-x2.40 over 5 pairs)"
inline void printPaired(const char *what, const Paired &paired, const char *baselineWhat)
{
    const QVector<double> ratios = paired.ratios();
    std::printf("  %-34s %8.3f s | %-36s %8.3f s | x%.2f (x%.2f-x%.2f over %lld pairs)\n", what, median(paired.work),
                baselineWhat, median(paired.baseline), median(ratios), *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()), qlonglong(ratios.size()));
    std::fflush(stdout);
}

} // namespace bench
