#!/usr/bin/env bash
# Builds both modules with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs the whole test suite against that build twice: with every zero-filled
# block on the heap (redzones, leak check), then with large blocks mapped from
# the kernel as in a release build. The suite's own
# interpreter exits without a leak check (its exit races library threads); the
# leak check runs in child processes that exercise every search and fail on any
# leak outside the interpreter's and NumPy's own allocations (tests/lsan.supp).
source "$(dirname "$0")/env.sh"
setup_venv .venv-asan test GRIDSEARCH_SANITIZE=ON GRIDSEARCH_HEAP_ONLY=ON
setup_venv .venv-asan-mmap test GRIDSEARCH_SANITIZE=ON GRIDSEARCH_HEAP_ONLY=OFF
ASAN_LIB="$(${CXX:-g++} -print-file-name=libasan.so)"
UBSAN_LIB="$(${CXX:-g++} -print-file-name=libubsan.so)"
export LD_PRELOAD="$ASAN_LIB:$UBSAN_LIB"
export ASAN_OPTIONS="detect_leaks=0:allocator_may_return_null=1:abort_on_error=1:detect_odr_violation=0"
export LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export OPENBLAS_NUM_THREADS=1 OMP_NUM_THREADS=1 MKL_NUM_THREADS=1
export GRIDSEARCH_SANITIZED=1
export GRIDSEARCH_LEAK_ROUNDS="${GRIDSEARCH_LEAK_ROUNDS:-400}"
echo "== sanitizers, heap blocks only"
.venv-asan/bin/python -m pytest -q -p no:cacheprovider "$@"
echo "== sanitizers, large blocks mapped"
exec .venv-asan-mmap/bin/python -m pytest -q -p no:cacheprovider "$@"
