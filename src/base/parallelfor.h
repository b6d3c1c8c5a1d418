#pragma once

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstddef>
#include <thread>
#include <vector>

namespace zelbrin {

// How many threads share count pieces of work when requested were asked for (0: one per
// core): at least one, and no more than there are pieces.
inline int workerCount(int requested, std::size_t count) {
    const int wanted = requested > 0 ? requested : int(std::thread::hardware_concurrency());
    return std::clamp(wanted, 1, int(std::clamp<std::size_t>(count, 1, INT_MAX)));
}

// Calls work(item, worker) once for every item of 0..count-1 on `workers` threads and
// returns when all are done. The calling thread is worker 0; the others are started here.
// Items are handed out in increasing order as workers become free, so that pieces of
// uneven size balance; the worker's number (0..workers-1) lets each keep state of its own.
template <class Work>
void parallelFor(std::size_t count, int workers, Work &&work) {
    std::atomic<std::size_t> next{0};
    const auto run = [&](int worker) {
        for (std::size_t item; (item = next++) < count;)
            work(item, worker);
    };
    std::vector<std::thread> pool;
    for (int worker = 1; worker < workers; ++worker)
        pool.emplace_back(run, worker);
    run(0);
    for (std::thread &thread : pool)
        thread.join();
}

}  // namespace zelbrin
