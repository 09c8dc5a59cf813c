// Many independent searches on worker threads, each thread with a workspace
// of its own that it keeps from query to query.
#pragma once

#include <algorithm>
#include <atomic>
#include <climits>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "../base/stop.hpp"
#include "../memory/workspace.hpp"

#if defined(__linux__)
#include <sched.h>
#endif
#if defined(__GLIBCXX__)
#include <cxxabi.h>
#endif

namespace gridsearch {

// The CPUs this process may run on.
inline unsigned usable_cpus() {
#if defined(__linux__)
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof(set), &set) == 0) {
        const int n = CPU_COUNT(&set);
        if (n > 0) return static_cast<unsigned>(n);
    }
#endif
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

// Runs job(i, workspace, stop) for every i in [0, n) on `threads` threads
// (at most n and at most the usable CPUs), handing out indices in order as
// threads become free. The
// calling thread waits; every `poll` it asks interrupted(), and a true answer
// stops every search at its next stop check. When all threads have stopped:
// if interrupted() threw, rethrows that; if it answered true, throws
// Interrupted; else, if a job threw, rethrows the first exception. `visited`
// is set on every workspace.
template <class Job, class Interrupted>
void run_batch(std::size_t n, unsigned threads, bool visited, Job&& job, Interrupted&& interrupted,
               std::chrono::milliseconds poll = std::chrono::milliseconds(10)) {
    if (n == 0) return;
    // No more threads than jobs or than CPUs: more would only take turns on
    // the CPUs, and each would need its turn to see a stop, so that a stop
    // asked of a thousand threads on two CPUs took seconds.
    threads = std::max(1u, std::min({threads, usable_cpus(), static_cast<unsigned>(std::min<std::size_t>(n, UINT32_MAX))}));

    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable done;
    unsigned running = 0;
    std::exception_ptr error;

    auto worker = [&] {
        const StopCheck check = [&] { return stop.load(std::memory_order_relaxed); };
        try {
            Workspace ws;
            ws.visited = visited;
            for (std::size_t i; !stop.load(std::memory_order_relaxed) && (i = next.fetch_add(1)) < n;)
                job(i, ws, check);
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex);
            if (!error) error = std::current_exception();
            stop = true;
        }
        std::lock_guard<std::mutex> lock(mutex);
        --running;
        done.notify_one();
    };

    // Every started thread is stopped and joined on every way out of this
    // function, a forced unwind of the calling thread (thread exit at
    // interpreter shutdown) included: the jobs refer to the caller's data.
    struct Pool {
        std::vector<std::thread> threads;
        std::atomic<bool>& stop;
        ~Pool() {
            stop = true;
            for (auto& t : threads)
                if (t.joinable()) t.join();
        }
    } pool{{}, stop};
    pool.threads.reserve(threads);
    for (unsigned t = 0; t < threads; ++t) {
        try {
            {
                std::lock_guard<std::mutex> lock(mutex);
                ++running;
            }
            pool.threads.emplace_back(worker);
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex);
            --running;
            // The system has no more threads to give: run on those that started.
            if (!pool.threads.empty()) break;
            throw;
        }
    }
    bool stopped_by_caller = false;
    std::exception_ptr caller_error;
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (running > 0) {
            if (done.wait_for(lock, poll, [&] { return running == 0; })) break;
            lock.unlock();
            if (!stopped_by_caller && !caller_error) {
                try {
                    stopped_by_caller = interrupted();
#if defined(__GLIBCXX__)
                } catch (abi::__forced_unwind&) {
                    throw;  // the thread is being ended: ~Pool stops and joins the workers
#endif
                } catch (...) {
                    caller_error = std::current_exception();
                }
                if (stopped_by_caller || caller_error) stop = true;
            }
            lock.lock();
        }
    }
    for (auto& t : pool.threads) t.join();
    if (caller_error) std::rethrow_exception(caller_error);
    if (stopped_by_caller) throw gridsearch::Interrupted();
    if (error) std::rethrow_exception(error);
}

}  // namespace gridsearch
