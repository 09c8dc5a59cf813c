// The C++ tests' checks: a failed CHECK is counted and reported, the run goes on.
#pragma once

#include <cstdio>
#include <exception>
#include <string>

inline int failures = 0;

#define CHECK(cond)                                                                         \
    do {                                                                                    \
        if (!(cond)) {                                                                      \
            std::fprintf(stderr, "%s:%d: CHECK failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                                     \
        }                                                                                   \
    } while (0)

// The message of what f throws, "" when it throws nothing.
template <class F>
std::string error_of(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

// The exit status of a test program: 0 when every check passed.
inline int report(const char* what) {
    if (failures != 0) {
        std::fprintf(stderr, "%d check(s) failed\n", failures);
        return 1;
    }
    std::printf("all %s checks passed\n", what);
    return 0;
}
