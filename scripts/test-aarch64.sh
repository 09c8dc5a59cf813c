#!/usr/bin/env bash
# Runs an aarch64 wheel of CPython 3.11 under user-mode emulation: Debian's
# arm64 CPython 3.11, unpacked into build/arm64-root (not installed, so the
# machine's own python3 stays), run by qemu-aarch64-static with NumPy, SciPy
# and pytest for aarch64 from PyPI. Runs the given tests, then the digests of
# many random calls, which must equal DIGESTS (made by a native build).
#
# Usage: scripts/test-aarch64.sh WHEEL DIGESTS.json TEST_FILE...
# Needs root for apt (qemu-user-static, the arm64 package lists).
source "$(dirname "$0")/env.sh"
WHEEL="$(realpath "$1")"
DIGESTS="$(realpath "$2")"
shift 2
TESTS=("$@")
ARM="$ROOT/build/arm64-root"
SITE="$ROOT/build/arm64-site"

case "$(basename "$WHEEL")" in
*-cp311-cp311-*aarch64*.whl) ;;
*) echo "error: $WHEEL is not a CPython 3.11 aarch64 wheel" >&2; exit 2 ;;
esac

if ! command -v qemu-aarch64-static >/dev/null; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq qemu-user-static >/dev/null
fi
if [ ! -x "$ARM/usr/bin/python3.11" ]; then
    if ! dpkg --print-foreign-architectures | grep -qx arm64; then
        dpkg --add-architecture arm64
    fi
    apt-get update -qq
    rm -rf "$ARM" "$ROOT/build/arm64-debs"
    mkdir -p "$ARM" "$ROOT/build/arm64-debs"
    # CPython 3.11 and every library it loads, by apt's dependency lists.
    pkgs="$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
        --no-replaces --no-enhances --no-pre-depends \
        python3.11-minimal:arm64 libpython3.11-stdlib:arm64 libstdc++6:arm64 |
        grep -o '^[a-z0-9][^ <>]*:arm64' | sort -u)"
    (cd "$ROOT/build/arm64-debs" && apt-get download $pkgs)
    for deb in "$ROOT"/build/arm64-debs/*.deb; do dpkg -x "$deb" "$ARM"; done
fi

rm -rf "$SITE"
"$(find_python 3.11)" -m pip install --quiet --target "$SITE" --platform manylinux2014_aarch64 \
    --implementation cp --python-version 3.11 --abi cp311 --only-binary=:all: \
    "$WHEEL" pytest scipy

arm() {
    QEMU_LD_PREFIX="$ARM" PYTHONPATH="$SITE" PYTHONNOUSERSITE=1 \
        qemu-aarch64-static "$ARM/usr/bin/python3.11" "$@"
}
arm -c "import platform, astar; print('running on', platform.machine(), 'from', astar.__file__)"
if [ "${#TESTS[@]}" -gt 0 ]; then
    (cd "$ROOT" && arm -m pytest -q -p no:cacheprovider "${TESTS[@]}")
fi
arm "$ROOT/scripts/digests.py" > "$ROOT/build/digests-aarch64.json"
echo "== digests of the aarch64 wheel (- native build, + aarch64 wheel; nothing between them when equal)"
diff -u "$DIGESTS" "$ROOT/build/digests-aarch64.json"
cat "$ROOT/build/digests-aarch64.json"
