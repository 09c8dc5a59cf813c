// How a planner grid moves and charges its steps: the connectivity, the
// corner rule, the step cost model and unit steps.
#pragma once

#include <stdexcept>
#include <string>

namespace gridsearch {

enum class CostModel { enter, mean };

inline CostModel cost_model_named(const std::string& name) {
    if (name == "enter") return CostModel::enter;
    if (name == "mean") return CostModel::mean;
    throw std::invalid_argument("cost_model must be 'enter' or 'mean', got '" + name + "'");
}

struct GridOptions {
    int connectivity = 0;  // 0: 8 in 2D, 26 in 3D
    bool corner_cutting = true;
    CostModel cost_model = CostModel::enter;
    bool use_uniform_step_cost = false;
    // Compute every cell's jumps once, for jump point search by look-up
    // (2D grids whose walkable cells all cost the same).
    bool precompute_jumps = false;
};

}  // namespace gridsearch
