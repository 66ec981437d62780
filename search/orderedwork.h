#pragma once

#include <QtGlobal>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace core {

// Work split into `count` pieces, done on several threads and handed over in
// order on the calling thread: `claim(index, result)` is called for each piece in
// index order, one at a time, as a thread takes it (to read its input from a
// source that is read in order); `work(index, result)` then fills the Result on
// that thread; `deliver(result)` receives them in index order on the calling
// thread (the Result is its own to take from) and returns false to stop (no
// piece is started after that).
// Pieces done but not yet delivered stay within four per thread, so memory stays
// bounded however the delivery lags. Without threads (one core, or none can be
// started) the calling thread does the work itself.
template <typename Result, typename Claim, typename Work, typename Deliver>
void runInOrder(int count, unsigned maxThreads, const Claim &claim, const Work &work, const Deliver &deliver)
{
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const unsigned threads = std::min({cores, maxThreads, unsigned(std::max(0, count))});

    std::vector<std::thread> workers;
    std::vector<Result> results;
    std::vector<char> done;
    std::mutex mutex;
    std::condition_variable changed;
    int nextClaim = 0;
    int nextDelivery = 0;
    bool stop = false;
    const int window = 4 * int(threads);
    const auto run = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return stop || nextClaim >= count || nextClaim < nextDelivery + window; });
            if (stop || nextClaim >= count)
                return;
            const int index = nextClaim++;
            claim(index, results[size_t(index)]);
            lock.unlock();
            work(index, results[size_t(index)]);
            lock.lock();
            done[size_t(index)] = 1;
            changed.notify_all();
        }
    };
    if (threads > 1) {
        results.resize(size_t(count));
        done.assign(size_t(count), 0);
        for (unsigned t = 0; t < threads; ++t) {
            try {
                workers.emplace_back(run);
            } catch (const std::system_error &) {
                break; // fewer threads, or none: the loop below does the work itself
            }
        }
    }

    // However the delivery ends (stopped, or an exception), the workers are
    // stopped and joined before anything they use goes away.
    struct StopAndJoin
    {
        std::mutex &mutex;
        std::condition_variable &changed;
        bool &stop;
        std::vector<std::thread> &workers;
        ~StopAndJoin()
        {
            {
                const std::lock_guard<std::mutex> lock(mutex);
                stop = true;
            }
            changed.notify_all();
            for (std::thread &worker : workers)
                worker.join();
        }
    } const joinAtEnd{mutex, changed, stop, workers};

    if (workers.empty()) {
        for (int index = 0; index < count; ++index) {
            Result result;
            claim(index, result);
            work(index, result);
            if (!deliver(result))
                return;
        }
        return;
    }
    for (int index = 0; index < count; ++index) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return done[size_t(index)] != 0; });
        }
        Result result = std::exchange(results[size_t(index)], Result());
        const bool goOn = deliver(result);
        {
            const std::lock_guard<std::mutex> lock(mutex);
            nextDelivery = index + 1;
            stop = !goOn;
        }
        changed.notify_all();
        if (!goOn)
            return;
    }
}

} // namespace core
