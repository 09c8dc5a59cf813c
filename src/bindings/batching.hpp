// What the calls that run without the interpreter lock share: query arrays
// checked against a grid's shape, the thread count, and running native code
// with the lock released while Ctrl-C still stops it.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <gridsearch/engine/batch.hpp>
#include <gridsearch/base/grid.hpp>
#include <gridsearch/base/stop.hpp>

#if defined(__GLIBCXX__)
#include <cxxabi.h>
#include <pthread.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <string>
#include <thread>
#include <vector>

namespace gridsearch::binding {

namespace py = pybind11;

struct Query {
    Cell start, goal;
};

inline std::string shape_text(const py::array& a) {
    return py::str(py::tuple(a.attr("shape"))).cast<std::string>();
}

// The rows of a C-contiguous array of T (int64 or uint64) as queries, each
// checked against the grid's extents; an error names the row as given.
template <int Dim, class T>
std::vector<Query> rows_as_queries(const py::array& a, const int64_t* shape) {
    constexpr int width = 2 * Dim;
    constexpr int flags = py::array::c_style | py::array::forcecast | py::detail::npy_api::NPY_ARRAY_ALIGNED_;
    // The constructor, unlike ensure(), keeps NumPy's error (a MemoryError
    // when the contiguous copy cannot be made).
    const py::array_t<T, flags> q(a);
    const T* v = q.data();
    const py::ssize_t n = q.shape(0);
    std::vector<Query> out(static_cast<std::size_t>(n));
    for (py::ssize_t i = 0; i < n; ++i) {
        const T* row = v + i * width;
        for (int d = 0; d < width; ++d)
            if (row[d] < 0 || static_cast<uint64_t>(row[d]) >= static_cast<uint64_t>(shape[d % Dim])) {
                std::string text = "queries row " + std::to_string(i) + " (";
                for (int k = 0; k < width; ++k) text += (k ? ", " : "") + std::to_string(row[k]);
                text += ") lies outside the grid of shape (";
                for (int k = 0; k < Dim; ++k) text += (k ? ", " : "") + std::to_string(shape[k]);
                throw py::value_error(text + ")");
            }
        auto c = [&](int k) { return static_cast<int32_t>(row[k]); };
        out[static_cast<std::size_t>(i)] = Dim == 2 ? Query{{c(0), c(1), 0}, {c(2), c(3), 0}}
                                                    : Query{{c(0), c(1), c(2)}, {c(3), c(4), c(5)}};
    }
    return out;
}

// An integer array of shape (N, 2 * Dim) whose every row lies inside the grid.
// An empty array of that shape is an empty batch whatever its dtype; masked
// arrays are refused, since their mask would be ignored.
template <int Dim>
std::vector<Query> load_queries(const py::object& queries, const int64_t* shape) {
    constexpr int width = 2 * Dim;
    const char* layout = Dim == 2 ? "(N, 4): start x, start y, goal x, goal y" : "(N, 6): start x, y, z, goal x, y, z";
    const py::module_ np = py::module_::import("numpy");
    if (py::isinstance(queries, np.attr("ma").attr("MaskedArray")))
        throw py::value_error("queries must not be a masked array: give the rows to run as a plain array");
    const py::array a = np.attr("asarray")(queries);
    const std::string what = "queries must be an integer array of shape " + std::string(layout) + ", got ";
    const char kind = a.dtype().kind();
    const std::string dtype = "dtype " + py::str(a.dtype()).cast<std::string>();
    const bool numbers = kind == 'b' || kind == 'i' || kind == 'u' || kind == 'f' || kind == 'c';
    if (!numbers) throw py::value_error(what + dtype);
    if (a.ndim() != 2 || a.shape(1) != width)
        throw py::value_error(what + (a.size() == 0 ? "an empty array of shape " : "shape ") + shape_text(a));
    if (a.shape(0) == 0) return {};
    if (kind == 'u') return rows_as_queries<Dim, uint64_t>(a, shape);
    if (kind == 'i') return rows_as_queries<Dim, int64_t>(a, shape);
    throw py::value_error(what + dtype);
}

// At most this many threads: more only cost memory and start-up time.
constexpr long long MAX_THREADS = 1024;

// None (the CPUs this process may use) or an integer in [1, MAX_THREADS].
inline unsigned thread_count(const py::object& threads) {
    if (threads.is_none()) return usable_cpus();
    if (py::isinstance<py::bool_>(threads) || !PyIndex_Check(threads.ptr()))
        throw py::type_error("threads must be an integer or None, got " +
                             py::str(py::type::of(threads).attr("__name__")).cast<std::string>());
    const py::int_ n(threads);
    if (n < py::int_(1) || n > py::int_(MAX_THREADS))
        throw py::value_error("threads must be at least 1 and at most " + std::to_string(MAX_THREADS) + ", got " +
                              py::str(n).cast<std::string>());
    return n.cast<unsigned>();
}

#if PY_VERSION_HEX >= 0x030D0000
inline bool finalizing() { return Py_IsFinalizing() != 0; }
#else
inline bool finalizing() { return _Py_IsFinalizing() != 0; }
#endif

// Interpreter exit. Up to CPython 3.13, a thread that waits for the
// interpreter lock when the interpreter finalizes is ended on the spot
// (pthread_exit), unwinding through the native frames it is in. With the C++
// runtime linked into the module (the manylinux wheels) that unwinder cannot
// read this module's frames and the process crashes. So no thread may be
// inside without_lock, the lock released, when finalization begins: an
// atexit callback (atexit runs before finalization) raises `exiting`, which
// stops every running search at its next stop check, and waits, the lock
// released, until every such thread has taken the lock back. From then on a
// search keeps the lock and stops at once with "Search interrupted!". A
// forked child has only the thread that forked, which holds the lock. The
// guard is never destroyed: threads may still read it during static
// destruction.
struct ExitGuard {
    std::atomic<bool> exiting{false};
    std::atomic<int> unlocked{0};  // threads inside without_lock without the lock
};
inline ExitGuard& exit_guard() {
    static ExitGuard* guard = [] {
        pthread_atfork(nullptr, nullptr, [] { exit_guard().unlocked.store(0); });
        return new ExitGuard;
    }();
    return *guard;
}

// Registers the atexit callback; every module that calls without_lock calls
// this once when it is imported.
inline void watch_interpreter_exit() {
    py::module_::import("atexit").attr("register")(py::cpp_function([] {
        ExitGuard& guard = exit_guard();
        guard.exiting.store(true);
        while (guard.unlocked.load() > 0) {
            py::gil_scoped_release let_them_take_it;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }));
}

// Runs work(interrupted) with the interpreter lock released; interrupted()
// takes the lock to ask for pending signals (Ctrl-C), and answers true without
// it once the interpreter exits. Once exit has begun, the work runs with the
// lock held and interrupted() answers true at once (see ExitGuard). The lock
// is released and taken back by hand, not by a guard, so that no destructor
// waits for it. An Interrupted from the work becomes the Python error the
// signal handler set.
template <class Work>
void without_lock(Work&& work) {
    ExitGuard& guard = exit_guard();
    guard.unlocked.fetch_add(1);
    if (guard.exiting.load() || finalizing()) {
        guard.unlocked.fetch_sub(1);
        const StopCheck stop_now = [] { return true; };
        work(stop_now);
        return;
    }
    PyThreadState* state = nullptr;
    const StopCheck interrupted = [&state, &guard] {
        if (guard.exiting.load() || finalizing()) return true;
        PyEval_RestoreThread(state);
        const bool signalled = PyErr_CheckSignals() != 0;
        state = PyEval_SaveThread();
        return signalled;
    };
    std::exception_ptr failed;
    state = PyEval_SaveThread();
    try {
        work(interrupted);
#if defined(__GLIBCXX__)
    } catch (abi::__forced_unwind&) {
        throw;
#endif
    } catch (...) {
        failed = std::current_exception();
    }
    PyEval_RestoreThread(state);
    guard.unlocked.fetch_sub(1);
    if (failed) {
        try {
            std::rethrow_exception(failed);
        } catch (const Interrupted&) {
            if (!PyErr_Occurred()) throw;  // stopped for interpreter exit
            throw py::error_already_set();
        }
    }
}

}  // namespace gridsearch::binding
