# Builds with Zig's clang for a given architecture and glibc version, linking
# Zig's own C++ runtime statically, so the modules need only glibc and run on
# any Linux with that glibc or newer. scripts/wheels.sh sets the variables:
#   GRIDSEARCH_ZIG_TARGET  e.g. aarch64-linux-gnu.2.17
#   GRIDSEARCH_ZIG         the command that runs zig (e.g. "python -m ziglang")
if(NOT DEFINED ENV{GRIDSEARCH_ZIG_TARGET})
  message(FATAL_ERROR "zig-toolchain.cmake: set GRIDSEARCH_ZIG_TARGET (e.g. x86_64-linux-gnu.2.17)")
endif()
string(REGEX MATCH "^[^-]+" _zig_arch "$ENV{GRIDSEARCH_ZIG_TARGET}")
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${_zig_arch})
set(CMAKE_CXX_COMPILER "${CMAKE_CURRENT_LIST_DIR}/zig-c++")
# Zig has no strip of its own; the linker strips instead (-s below).
set(CMAKE_STRIP "" CACHE FILEPATH "" FORCE)
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-s")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-s")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# Each module is one translation unit: link-time optimization adds only time.
set(CMAKE_INTERPROCEDURAL_OPTIMIZATION OFF)
# Zig links its libc++ into every module.
set(GRIDSEARCH_STATIC_CXX_RUNTIME ON CACHE BOOL "" FORCE)
