// Conflict-based search (Sharon et al., AIJ 2015) and its bounded form with
// focal search at both levels (ECBS; Barer et al., SoCS 2014). The high
// level searches a tree of constraint sets: a node plans every agent under
// its constraints, finds the earliest conflict of two agents, and splits it
// in two children, each forbidding it to one of the two (a vertex, also at
// a parked agent's goal, or a move). The low level is focal search in space
// and time (space_time_focal.hpp), which returns with each path a lower
// bound on the agent's least cost under its constraints; a node's bound is
// their sum (never below its parent's), and among the nodes whose cost is
// within w x the least open bound the high level takes the one with the
// fewest conflicting pairs. A node without conflicts is a plan that costs at
// most w x that bound, itself at most the optimum: w x the optimum. With
// w = 1 the low level is A* (its ties broken by conflicts) and the high level
// takes the cheapest node: the optimum.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <set>
#include <tuple>
#include <vector>

#include "instance.hpp"
#include "space_time_focal.hpp"

namespace gridsearch::mapf {

class Cbs {
    struct Constraint {
        int32_t agent, cell, other, t;  // other = -1: the cell at t; else the move cell -> other leaving at t
    };
    struct Node {
        const Node* parent = nullptr;
        Constraint constraint{-1, -1, -1, 0};
        std::vector<std::shared_ptr<const Path>> paths;
        std::vector<int64_t> low;  // each agent's lower bound
        int64_t cost = 0, bound = 0, conflicts = 0;
        Conflict first;
        int64_t id = 0;
    };

public:
    enum class Step { solved, exhausted, stopped };

    Cbs(const Instance& instance, DistanceTable& dist, double w)
        : in_(instance), dist_(dist), w_(w), finder_(instance.graph.cells()) {}

    // Searches until a plan is found, the tree runs out (no plan exists
    // under the model), or stop() says so (asked before each node).
    template <class Stop>
    Step run(Stop&& stop, const StopCheck& interrupted) {
        const std::size_t n = in_.agents();
        auto root = std::make_unique<Node>();
        root->paths.resize(n);
        root->low.resize(n);
        {
            ConflictTable others(in_.graph.cells());
            for (std::size_t a = 0; a < n; ++a) {
                if (stop()) return Step::stopped;
                ReservationTable none(in_.graph.cells());
                FocalPlan p = space_time_focal(in_.graph, in_.starts[a], in_.goals[a], none, others, w_,
                                               dist_.of(a), ws_, interrupted);
                if (p.status != Status::found) return Step::exhausted;
                root->paths[a] = std::make_shared<const Path>(std::move(p.path));
                root->low[a] = p.bound;
                others.add(*root->paths[a], static_cast<int32_t>(a));
            }
        }
        score(*root);
        file(std::move(root));
        while (!by_bound_.empty()) {
            if (stop()) return Step::stopped;
            Node* best = pick();
            if (best->conflicts == 0) {
                solution_ = best;
                bound_ = picked_bound_;
                return Step::solved;
            }
            const Conflict& c = best->first;
            for (int side = 0; side < 2; ++side) {
                Constraint k;
                if (!c.edge) {
                    k = {side == 0 ? c.a : c.b, c.cell, -1, c.t};
                } else if (side == 0) {
                    k = {c.a, c.cell, c.other, c.t};
                } else {
                    k = {c.b, c.other, c.cell, c.t};
                }
                std::unique_ptr<Node> child = replan(*best, k, interrupted);
                if (child) file(std::move(child));
            }
        }
        return Step::exhausted;
    }

    std::vector<Path> plan() const {
        std::vector<Path> out;
        for (const auto& p : solution_->paths) out.push_back(*p);
        return out;
    }
    // At most the optimum: the least bound open when the plan was taken.
    int64_t bound() const { return bound_; }
    std::size_t nodes() const { return nodes_.size(); }

private:
    std::unique_ptr<Node> replan(const Node& parent, const Constraint& k, const StopCheck& interrupted) {
        const int32_t a = k.agent;
        ReservationTable table(in_.graph.cells());
        const auto add = [&](const Constraint& c) {
            if (c.agent != a) return;
            if (c.other < 0)
                table.forbid_cell(c.cell, c.t);
            else
                table.forbid_move(c.cell, c.other, c.t);
        };
        add(k);
        for (const Node* p = &parent; p != nullptr; p = p->parent) add(p->constraint);
        ConflictTable others(in_.graph.cells());
        for (std::size_t b = 0; b < in_.agents(); ++b)
            if (static_cast<int32_t>(b) != a) others.add(*parent.paths[b], static_cast<int32_t>(b));
        FocalPlan p = space_time_focal(in_.graph, in_.starts[a], in_.goals[a], table, others, w_,
                                       dist_.of(static_cast<std::size_t>(a)), ws_, interrupted);
        if (p.status != Status::found) return nullptr;
        auto child = std::make_unique<Node>();
        child->parent = &parent;
        child->constraint = k;
        child->paths = parent.paths;
        child->low = parent.low;
        child->paths[a] = std::make_shared<const Path>(std::move(p.path));
        child->low[a] = std::max(parent.low[a], p.bound);
        score(*child);
        return child;
    }

    void score(Node& node) {
        node.cost = 0;
        node.bound = 0;
        for (std::size_t a = 0; a < node.paths.size(); ++a) {
            node.cost += static_cast<int64_t>(node.paths[a]->size()) - 1;
            node.bound += node.low[a];
        }
        node.first = finder_.find(node.paths.size(), [&](std::size_t a) -> const Path& { return *node.paths[a]; },
                                  &node.conflicts);
    }

    // Every open node is in by_bound_, and in focal_ when its cost was within
    // w x the least bound when it was filed or last refreshed, else in
    // waiting_ (by cost).
    void file(std::unique_ptr<Node> node) {
        node->id = static_cast<int64_t>(nodes_.size());
        Node* p = node.get();
        nodes_.push_back(std::move(node));
        by_bound_.insert({p->bound, p->id, p});
        if (double(p->cost) <= w_ * double(std::get<0>(*by_bound_.begin())))
            focal_.insert({p->conflicts, p->cost, p->id, p});
        else
            waiting_.insert({p->cost, p->id, p});
    }
    // The open node to expand; the least bound, its own included, is kept.
    // The least bound may have fallen since a node entered FOCAL (a node is
    // filed before its sibling of a lower bound), so the chosen one is
    // checked against it, and sent back to wait when it no longer fits.
    Node* pick() {
        refresh();
        const double limit = w_ * double(std::get<0>(*by_bound_.begin()));
        while (double(std::get<1>(*focal_.begin())) > limit) {
            Node* late = std::get<3>(*focal_.begin());
            focal_.erase(focal_.begin());
            waiting_.insert({late->cost, late->id, late});
        }
        const auto top = focal_.begin();
        Node* p = std::get<3>(*top);
        focal_.erase(top);
        picked_bound_ = std::get<0>(*by_bound_.begin());
        by_bound_.erase({p->bound, p->id, p});
        return p;
    }
    void refresh() {
        const double limit = w_ * double(std::get<0>(*by_bound_.begin()));
        while (!waiting_.empty() && double(std::get<0>(*waiting_.begin())) <= limit) {
            Node* p = std::get<2>(*waiting_.begin());
            waiting_.erase(waiting_.begin());
            focal_.insert({p->conflicts, p->cost, p->id, p});
        }
    }

    const Instance& in_;
    DistanceTable& dist_;
    double w_;
    ConflictFinder finder_;
    Workspace ws_;
    std::deque<std::unique_ptr<Node>> nodes_;
    std::set<std::tuple<int64_t, int64_t, Node*>> by_bound_;
    std::set<std::tuple<int64_t, int64_t, int64_t, Node*>> focal_;
    std::set<std::tuple<int64_t, int64_t, Node*>> waiting_;
    const Node* solution_ = nullptr;
    int64_t bound_ = 0, picked_bound_ = 0;
};

}  // namespace gridsearch::mapf
