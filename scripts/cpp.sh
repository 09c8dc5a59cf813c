#!/usr/bin/env bash
# The C++ side: builds and runs the C++ tests (plain and sanitized), installs the headers and the CMake
# package into build/cpp-prefix, builds examples/cpp against that install and
# checks that it prints what the Python modules return (needs .venv, made by
# scripts/test.sh).
source "$(dirname "$0")/env.sh"
setup_venv .venv examples,test
CMAKE="$(command -v cmake || true)"
if [ -z "$CMAKE" ] || ! "$CMAKE" --version >/dev/null 2>&1; then
    .venv/bin/python -m pip install cmake
    CMAKE=.venv/bin/cmake
fi
PREFIX="$ROOT/build/cpp-prefix"
rm -rf build/cpp build/cpp-asan build/cpp-example "$PREFIX"
"$CMAKE" -S . -B build/cpp -DGRIDSEARCH_BUILD_TESTS=ON
"$CMAKE" --build build/cpp -j 2
build/cpp/test_core
build/cpp/test_hardening
build/cpp/test_jumps
build/cpp/test_mapf
# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
"$CMAKE" -S . -B build/cpp-asan -DGRIDSEARCH_BUILD_TESTS=ON -DGRIDSEARCH_SANITIZE=ON
"$CMAKE" --build build/cpp-asan -j 2
ASAN_OPTIONS=detect_leaks=1 build/cpp-asan/test_core
ASAN_OPTIONS=detect_leaks=1 build/cpp-asan/test_hardening
ASAN_OPTIONS=detect_leaks=1 build/cpp-asan/test_jumps
ASAN_OPTIONS=detect_leaks=1 build/cpp-asan/test_mapf
"$CMAKE" --install build/cpp --prefix "$PREFIX"
"$CMAKE" -S examples/cpp -B build/cpp-example -DCMAKE_PREFIX_PATH="$PREFIX"
"$CMAKE" --build build/cpp-example
.venv/bin/python examples/cpp/compare.py build/cpp-example/route data/maps/den520d.map \
    --agents build/cpp-example/agents
