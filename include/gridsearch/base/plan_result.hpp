// A planner search's result: the path, cost, expansions and visited map of
// every search, and how it ended.
#pragma once

#include <utility>

#include "result.hpp"

namespace gridsearch {

// How a search ended.
enum class Status { found, no_path, max_cost, max_expansions };

inline const char* status_name(Status s) {
    switch (s) {
        case Status::found: return "found";
        case Status::no_path: return "no_path";
        case Status::max_cost: return "max_cost";
        default: return "max_expansions";
    }
}

template <int Dim>
struct PlanResult : Result<Dim> {
    Status status = Status::no_path;
};

// A search's result with how it ended.
template <int Dim>
PlanResult<Dim> planned(Result<Dim>&& result, Status status) {
    PlanResult<Dim> r;
    static_cast<Result<Dim>&>(r) = std::move(result);
    r.status = status;
    return r;
}

}  // namespace gridsearch
