// The native reservation table (gridsearch._planner.Reservations) and how a
// search borrows it: searches run without the interpreter lock, so a table
// in use is read under a shared lock, and a change while any search holds it
// is refused rather than waited for (the waiting thread would hold the
// interpreter lock that the search's stop check takes).
#pragma once

#include <pybind11/pybind11.h>

#include <gridsearch/mapf/reservations.hpp>

#include <shared_mutex>

namespace gridsearch::binding {

struct NativeReservations {
    NativeReservations(int32_t rows, int32_t cols) : table(rows * cols), rows(rows), cols(cols) {}

    // fn(table) for a change, refused while a search reads the table.
    template <class Fn>
    void change(Fn&& fn) {
        std::unique_lock<std::shared_mutex> lock(mutex, std::try_to_lock);
        if (!lock.owns_lock())
            throw std::runtime_error("the reservation table is in use by a search in another thread");
        fn(table);
    }

    mapf::ReservationTable table;
    int32_t rows, cols;
    std::shared_mutex mutex;
};

}  // namespace gridsearch::binding
