// LaCAM* (Okumura, AAAI-23 and IJCAI-23): a search over configurations
// (every agent's cell at one time step) whose successors come from PIBT. A
// configuration is expanded lazily: each time it is visited, one more
// constraint of its low-level tree ("agent i moves to cell v") is taken in
// breadth-first order and PIBT builds a successor that obeys it, so every
// successor is eventually generated and the search is complete: it finds a
// plan when one exists, and says there is none when it runs out. The
// high level goes depth first; once a plan is found it goes on (LaCAM*),
// keeping for each configuration the cheapest known way to it (rewired as
// Dijkstra would when a known configuration is met again) and dropping
// configurations that cannot lead to a cheaper plan. The edge cost is the
// number of agents not resting at their goals.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "pibt.hpp"

namespace gridsearch::mapf {

class Lacam {
    struct Low {
        const Low* parent;
        int32_t who, where, depth;
    };
    struct High {
        Config q;
        std::vector<float> priority;
        std::vector<int32_t> order;
        High* parent;
        std::vector<High*> neighbors;
        int64_t g, h;
        std::deque<const Low*> tree;
        int64_t f() const { return g + h; }
    };
    struct Hash {
        std::size_t operator()(const Config* q) const {
            uint64_t h = 1469598103934665603ull;
            for (int32_t v : *q) h = (h ^ static_cast<uint32_t>(v)) * 1099511628211ull;
            return static_cast<std::size_t>(h ^ (h >> 29));
        }
    };
    struct Same {
        bool operator()(const Config* a, const Config* b) const { return *a == *b; }
    };

public:
    enum class Step { improved, exhausted, stopped };
    // The search stops (as if out of time) before its configurations take
    // more memory than this.
    static constexpr std::size_t MAX_BYTES = std::size_t(4) << 30;

    Lacam(const Instance& instance, DistanceTable& dist, uint64_t seed)
        : in_(instance), dist_(dist), pibt_(instance, dist, seed), random_(seed ^ 0x9e3779b97f4a7c15ull) {
        const std::size_t n = instance.agents();
        High& root = make(instance.starts, nullptr);
        int64_t longest = 0;
        for (std::size_t a = 0; a < n; ++a) longest = std::max<int64_t>(longest, dist_(a, instance.starts[a]));
        for (std::size_t a = 0; a < n; ++a)
            root.priority[a] = float(double(dist_(a, instance.starts[a])) / double(longest + 1));
        sort_order(root);
        root_ = &root;
        open_.push_back(root_);
    }

    // Searches until a cheaper plan is found, the search space is used up
    // (the last plan found is then the cheapest, or there is none), or
    // stop() says so (asked every few configurations).
    template <class Stop>
    Step run(Stop&& stop) {
        const std::size_t n = in_.agents();
        Config next;
        std::vector<std::pair<int32_t, int32_t>> fixed;
        uint32_t turns = 0;
        if (goal_ == nullptr && root_->q == in_.goals) {
            goal_ = root_;
            return Step::improved;
        }
        while (!open_.empty()) {
            if ((++turns & 15) == 0 && (stop() || bytes() > MAX_BYTES)) return Step::stopped;
            High* node = open_.back();
            if (goal_ != nullptr && node->f() >= goal_->g) {
                open_.pop_back();
                continue;
            }
            if (node->tree.empty()) {
                open_.pop_back();
                continue;
            }
            const Low* c = node->tree.front();
            node->tree.pop_front();
            if (c->depth < static_cast<int32_t>(n)) {
                const int32_t i = node->order[static_cast<std::size_t>(c->depth)];
                std::array<int32_t, 5> cells;
                int k = in_.graph.neighbors(node->q[static_cast<std::size_t>(i)], cells.data());
                cells[static_cast<std::size_t>(k++)] = node->q[static_cast<std::size_t>(i)];
                random_.shuffle(cells, k);
                for (int m = 0; m < k; ++m) node->tree.push_back(low(c, i, cells[static_cast<std::size_t>(m)]));
            }
            fixed.clear();
            for (const Low* l = c; l->parent != nullptr; l = l->parent) fixed.push_back({l->who, l->where});
            if (!pibt_(node->q, node->order, fixed, next)) continue;
            const auto known = explored_.find(&next);
            if (known != explored_.end()) {
                High* other = known->second;
                const int64_t before = goal_ != nullptr ? goal_->g : -1;
                link(node, other);
                rewire(node);
                // Now and then the search starts again from the root, so
                // that it does not stay in one corner of the space.
                open_.push_back(random_.unit() < 0.001 ? root_ : other);
                if (goal_ != nullptr && goal_->g < before) return Step::improved;
                continue;
            }
            High& child = make(next, node);
            for (std::size_t a = 0; a < n; ++a) {
                const float p = node->priority[a];
                child.priority[a] = next[a] != in_.goals[a] ? p + 1.0f : p - std::floor(p);
            }
            sort_order(child);
            link(node, &child);
            open_.push_back(&child);
            if (next == in_.goals && (goal_ == nullptr || child.g < goal_->g)) {
                goal_ = &child;
                return Step::improved;
            }
        }
        return Step::exhausted;
    }

    bool found() const { return goal_ != nullptr; }
    // The best plan's configurations from the start, each a time step.
    std::vector<Config> plan() const {
        std::vector<Config> out;
        for (const High* h = goal_; h != nullptr; h = h->parent) out.push_back(h->q);
        std::reverse(out.begin(), out.end());
        return out;
    }
    std::size_t configurations() const { return highs_.size(); }
    // About what the configurations and constraints hold.
    std::size_t bytes() const {
        return highs_.size() * (sizeof(High) + in_.agents() * (sizeof(int32_t) * 2 + sizeof(float))) +
               lows_.size() * sizeof(Low);
    }

private:
    High& make(const Config& q, High* parent) {
        highs_.emplace_back();
        High& h = highs_.back();
        h.q = q;
        h.priority.assign(q.size(), 0.0f);
        h.parent = parent;
        h.g = parent == nullptr ? 0 : parent->g + loss(parent->q, q);
        h.h = 0;
        for (std::size_t a = 0; a < q.size(); ++a) h.h += dist_(a, q[a]);
        h.tree.push_back(low(nullptr, -1, -1));
        explored_.emplace(&h.q, &h);
        return h;
    }
    const Low* low(const Low* parent, int32_t who, int32_t where) {
        lows_.push_back({parent, who, where, parent == nullptr ? 0 : parent->depth + 1});
        return &lows_.back();
    }
    void sort_order(High& h) {
        h.order.resize(h.q.size());
        for (std::size_t a = 0; a < h.q.size(); ++a) h.order[a] = static_cast<int32_t>(a);
        std::stable_sort(h.order.begin(), h.order.end(),
                         [&](int32_t a, int32_t b) { return h.priority[a] > h.priority[b]; });
    }
    int64_t loss(const Config& a, const Config& b) const {
        int64_t n = 0;
        for (std::size_t i = 0; i < a.size(); ++i) n += !(a[i] == in_.goals[i] && b[i] == in_.goals[i]);
        return n;
    }
    static void link(High* a, High* b) {
        if (std::find(a->neighbors.begin(), a->neighbors.end(), b) == a->neighbors.end()) a->neighbors.push_back(b);
        if (std::find(b->neighbors.begin(), b->neighbors.end(), a) == b->neighbors.end()) b->neighbors.push_back(a);
    }
    // Lowers costs through `from` wherever it makes them cheaper.
    void rewire(High* from) {
        std::deque<High*> todo{from};
        while (!todo.empty()) {
            High* a = todo.front();
            todo.pop_front();
            for (High* b : a->neighbors) {
                const int64_t g = a->g + loss(a->q, b->q);
                if (g >= b->g) continue;
                b->g = g;
                b->parent = a;
                todo.push_back(b);
                if (goal_ != nullptr && b->f() < goal_->g) open_.push_back(b);
            }
        }
    }

    const Instance& in_;
    DistanceTable& dist_;
    Pibt pibt_;
    Random random_;
    std::deque<High> highs_;
    std::deque<Low> lows_;
    std::unordered_map<const Config*, High*, Hash, Same> explored_;
    std::vector<High*> open_;
    High* root_ = nullptr;
    High* goal_ = nullptr;
};

}  // namespace gridsearch::mapf
