// Multi-agent path finding on a planner grid: gridsearch::mapf::solve and
// its building blocks (reservation tables, single-agent plans in space and
// time).
#pragma once

#include "mapf/solve.hpp"
#include "mapf/timed_search.hpp"
