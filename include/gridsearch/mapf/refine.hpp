// Improving a plan by large neighbourhood search (after Li et al., "Anytime
// multi-agent path finding via large neighborhood search", IJCAI 2021): take
// a few agents out, plan them again one by one with SIPP around everyone
// else's reserved paths, and keep the new paths when together they cost
// less. The neighbourhood is either the agents whose paths cross the path of
// a delayed agent, or agents at random.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "plan.hpp"
#include "sipp.hpp"

namespace gridsearch::mapf {

class Refiner {
public:
    Refiner(const Instance& instance, DistanceTable& dist, uint64_t seed)
        : in_(instance), dist_(dist), random_(seed ^ 0x51ed27a3c4b9d1e5ull), table_(instance.graph.cells()) {}

    void set(std::vector<Path> paths) {
        paths_ = std::move(paths);
        table_.clear();
        for (const Path& p : paths_) table_.reserve_path(p, 0);
        cost_ = sum_of_costs(paths_, in_.goals);
    }
    const std::vector<Path>& paths() const { return paths_; }
    int64_t cost() const { return cost_; }

    // One attempt; true when the plan became cheaper.
    bool attempt(const StopCheck& stop = {}) {
        const std::size_t n = in_.agents();
        if (n == 0) return false;
        choose();
        if (chosen_.empty()) return false;
        int64_t before = 0, bound = 0;
        for (int32_t a : chosen_) {
            before += path_cost(paths_[a], in_.goals[a]);
            bound += dist_(static_cast<std::size_t>(a), in_.starts[a]);
            table_.release_path(paths_[a], 0);
        }
        if (bound >= before) {  // already as short as can be
            for (int32_t a : chosen_) table_.reserve_path(paths_[a], 0);
            return false;
        }
        random_.shuffle(chosen_);
        fresh_.assign(chosen_.size(), Path{});
        int64_t spent = 0;
        bool ok = true;
        std::size_t done = 0;
        for (; done < chosen_.size(); ++done) {
            const int32_t a = chosen_[done];
            bound -= dist_(static_cast<std::size_t>(a), in_.starts[a]);
            TimedOptions o;
            // Cheaper in all, or it is not worth finishing.
            o.max_time = static_cast<int32_t>(std::min<int64_t>(before - 1 - spent - bound, NEVER - 1));
            if (o.max_time < 0) {
                ok = false;
                break;
            }
            const PlanResult<2> r = sipp(in_.graph, in_.starts[a], in_.goals[a], table_, o,
                                         dist_.of(static_cast<std::size_t>(a)), stop);
            if (r.status != Status::found) {
                ok = false;
                break;
            }
            Path& p = fresh_[done];
            p.reserve(r.path.size());
            for (const auto& c : r.path) p.push_back(in_.graph.index(c[0], c[1]));
            spent += path_cost(p, in_.goals[a]);
            table_.reserve_path(p, 0);
        }
        for (std::size_t k = 0; k < done; ++k) table_.release_path(fresh_[k], 0);
        if (!ok || spent >= before) {
            for (int32_t a : chosen_) table_.reserve_path(paths_[a], 0);
            return false;
        }
        for (std::size_t k = 0; k < chosen_.size(); ++k) {
            paths_[chosen_[k]] = std::move(fresh_[k]);
            table_.reserve_path(paths_[chosen_[k]], 0);
        }
        cost_ += spent - before;
        return true;
    }

private:
    void choose() {
        const std::size_t n = in_.agents();
        const std::size_t size = std::min<std::size_t>(n, 4 + random_.below(13));
        chosen_.clear();
        if (random_.below(2) == 0) {
            // Around the path of an agent chosen by its delay.
            int64_t total = 0;
            for (std::size_t a = 0; a < n; ++a) total += delay(a);
            if (total > 0) {
                int64_t pick = static_cast<int64_t>(random_.unit() * double(total));
                std::size_t a = 0;
                while (a + 1 < n && pick >= delay(a)) pick -= delay(a++);
                chosen_.push_back(static_cast<int32_t>(a));
                mark_.resize(static_cast<std::size_t>(in_.graph.cells()), 0);
                for (int32_t c : paths_[a]) mark_[static_cast<std::size_t>(c)] = 1;
                std::vector<int32_t> crossing;
                for (std::size_t b = 0; b < n; ++b) {
                    if (b == a) continue;
                    for (int32_t c : paths_[b])
                        if (mark_[static_cast<std::size_t>(c)]) {
                            crossing.push_back(static_cast<int32_t>(b));
                            break;
                        }
                }
                for (int32_t c : paths_[a]) mark_[static_cast<std::size_t>(c)] = 0;  // all zero again
                random_.shuffle(crossing);
                for (std::size_t k = 0; k < crossing.size() && chosen_.size() < size; ++k)
                    chosen_.push_back(crossing[k]);
            }
        }
        // Filled up with agents at random.
        while (chosen_.size() < size) {
            const int32_t a = static_cast<int32_t>(random_.below(static_cast<uint32_t>(n)));
            if (std::find(chosen_.begin(), chosen_.end(), a) == chosen_.end()) chosen_.push_back(a);
        }
    }
    int64_t delay(std::size_t a) {
        return path_cost(paths_[a], in_.goals[a]) - dist_(a, in_.starts[a]);
    }

    const Instance& in_;
    DistanceTable& dist_;
    Random random_;
    ReservationTable table_;
    std::vector<Path> paths_;
    int64_t cost_ = 0;
    std::vector<int32_t> chosen_;
    std::vector<Path> fresh_;
    std::vector<uint8_t> mark_;  // the cells of one path while its crossers are found, else all 0
};

}  // namespace gridsearch::mapf
