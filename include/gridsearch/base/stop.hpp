// Stopping a long search from outside: a check the search asks every few
// thousand steps; when it answers true the search throws Interrupted and
// releases everything it holds.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>

namespace gridsearch {

using StopCheck = std::function<bool()>;

struct Interrupted : std::runtime_error {
    Interrupted() : std::runtime_error("Search interrupted!") {}
};

class StopPoll {
public:
    // Steps (expansions, entries drained into FOCAL) between two checks.
    static constexpr uint32_t INTERVAL = 4096;

    explicit StopPoll(const StopCheck& check) : check_(check ? &check : nullptr) {}

    // One more step.
    void tick() {
        if (--left_ == 0) {
            left_ = INTERVAL;
            poll();
        }
    }
    // The n-th step of a loop that counts its steps itself.
    void at(uint32_t n) {
        if ((n & (INTERVAL - 1)) == 0) poll();
    }

private:
    void poll() const {
        if (check_ != nullptr && (*check_)()) throw Interrupted();
    }

    const StopCheck* check_;
    uint32_t left_ = INTERVAL;
};

}  // namespace gridsearch
