// Shortest distances in moves from every cell to one goal, grown on demand:
// a breadth-first search from the goal that runs only as far as the cells
// asked about. A solver for many agents asks about the cells near each
// agent's way, so most of a large map is never searched for most goals.
// The table's storage is a zeroed block (pages appear when first written)
// holding distance + 1, 0 for "not reached yet".
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "../memory/zeroed.hpp"
#include "graph.hpp"
#include "reservations.hpp"

namespace gridsearch::mapf {

class Distances {
public:
    Distances(const Graph& graph, int32_t goal)
        : graph_(&graph), block_(static_cast<std::size_t>(graph.cells()) * sizeof(int32_t)),
          d_(block_.as<int32_t>()) {
        if (graph.free(goal)) {
            d_[goal] = 1;
            queue_.push_back(goal);
        }
    }

    // Moves from `cell` to the goal (NEVER: the goal cannot be reached).
    int32_t operator()(int32_t cell) {
        while (d_[cell] == 0 && head_ < queue_.size()) grow();
        return d_[cell] == 0 ? NEVER : d_[cell] - 1;
    }
    // Whether every cell that can reach the goal has its distance.
    bool complete() const { return head_ == queue_.size(); }

private:
    void grow() {
        const int32_t u = queue_[head_++];
        const int32_t next = d_[u] + 1;
        std::array<int32_t, 4> nb;
        const int k = graph_->neighbors(u, nb);
        for (int j = 0; j < k; ++j)
            if (d_[nb[j]] == 0) {
                d_[nb[j]] = next;
                queue_.push_back(nb[j]);
            }
    }

    const Graph* graph_;
    ZeroedBlock block_;
    int32_t* d_;
    std::vector<int32_t> queue_;
    std::size_t head_ = 0;
};

// One Distances per goal, each made when first asked for.
class DistanceTable {
public:
    DistanceTable(const Graph& graph, std::vector<int32_t> goals)
        : graph_(graph), goals_(std::move(goals)), tables_(goals_.size()) {}

    int32_t operator()(std::size_t agent, int32_t cell) { return of(agent)(cell); }
    Distances& of(std::size_t agent) {
        if (!tables_[agent]) tables_[agent] = std::make_unique<Distances>(graph_, goals_[agent]);
        return *tables_[agent];
    }
    std::size_t size() const { return goals_.size(); }

    // Grows every agent's search until it reaches the agent's cell in
    // `from` (all the way when that is out of reach), on `threads` threads;
    // what is grown later is grown on demand as before, and the distances
    // are the same for any number of threads. wait() is asked on this
    // thread every millisecond or so while they work: true stops them, and
    // grow_all returns false. An exception from wait() or a worker comes out
    // once every worker has stopped.
    template <class Wait>
    bool grow_all(const std::vector<int32_t>& from, unsigned threads, Wait&& wait) {
        for (std::size_t a = 0; a < goals_.size(); ++a) of(a);
        std::atomic<std::size_t> next{0};
        std::atomic<bool> stop{false};
        std::atomic<unsigned> running{threads};
        std::exception_ptr error;
        std::mutex guard;
        const auto work = [&] {
            while (!stop.load()) {
                const std::size_t a = next.fetch_add(1);
                if (a >= goals_.size()) break;
                try {
                    (*tables_[a])(from[a]);
                } catch (...) {
                    std::lock_guard<std::mutex> lock(guard);
                    if (!error) error = std::current_exception();
                    stop.store(true);
                }
            }
            running.fetch_sub(1);
        };
        std::vector<std::thread> pool;
        for (unsigned k = 0; k < threads; ++k) pool.emplace_back(work);
        bool stopped = false;
        try {
            while (running.load() > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                if (!stopped && wait()) {
                    stopped = true;
                    stop.store(true);
                }
            }
        } catch (...) {
            stop.store(true);
            for (auto& t : pool) t.join();
            throw;
        }
        for (auto& t : pool) t.join();
        if (error) std::rethrow_exception(error);
        return !stopped;
    }

private:
    Graph graph_;
    std::vector<int32_t> goals_;
    std::vector<std::unique_ptr<Distances>> tables_;
};

}  // namespace gridsearch::mapf
