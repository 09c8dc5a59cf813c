#!/usr/bin/env bash
# Runs an aarch64 wheel under user-mode emulation: Debian's arm64 CPython of
# the wheel's version (3.11 from Debian 12, 3.13 from Debian 13), unpacked
# into build/arm64-<release> rather than installed (the machine's own python3
# stays), run by qemu-aarch64-static with NumPy, SciPy and pytest for aarch64
# from PyPI. Runs the given tests, then the digests of many random calls,
# which must equal DIGESTS (made by a native build).
#
# Usage: scripts/test-aarch64.sh WHEEL DIGESTS.json [TEST_FILE...]
# apt reads Debian's arm64 package lists into build/ with a configuration of
# its own; only a missing qemu-user-static is installed (as root).
source "$(dirname "$0")/env.sh"
WHEEL="$(realpath "$1")"
DIGESTS="$(realpath "$2")"
shift 2
TESTS=("$@")

case "$(basename "$WHEEL")" in
*-cp311-cp311-*aarch64*.whl) V=3.11 RELEASE=bookworm ;;
*-cp313-cp313-*aarch64*.whl) V=3.13 RELEASE=trixie ;;
*) echo "error: $WHEEL is not an aarch64 wheel for CPython 3.11 or 3.13 (the ones Debian has)" >&2; exit 2 ;;
esac
ARM="$ROOT/build/arm64-$RELEASE"
SITE="$ROOT/build/arm64-site-$V"

if ! command -v qemu-aarch64-static >/dev/null; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq qemu-user-static >/dev/null
fi
if [ ! -x "$ARM/usr/bin/python$V" ]; then
    APT="$ROOT/build/apt-$RELEASE"
    rm -rf "$ARM" "$APT"
    mkdir -p "$ARM" "$APT/lists/partial" "$APT/cache/archives/partial" "$APT/debs"
    echo "deb [arch=arm64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian $RELEASE main" \
        > "$APT/sources.list"
    touch "$APT/status"
    opts=(-o "Dir::Etc::SourceList=$APT/sources.list" -o Dir::Etc::SourceParts=/nonexistent
        -o "Dir::State::Lists=$APT/lists" -o "Dir::State::status=$APT/status" -o "Dir::Cache=$APT/cache"
        -o APT::Architecture=arm64 -o APT::Architectures=arm64)
    apt-get "${opts[@]}" update -qq
    # CPython and every library it loads, by apt's dependency lists.
    pkgs="$(apt-cache "${opts[@]}" depends --recurse --no-recommends --no-suggests --no-conflicts \
        --no-breaks --no-replaces --no-enhances --no-pre-depends \
        "python$V-minimal" "libpython$V-stdlib" libstdc++6 | grep -v '^ \|<' | sort -u)"
    (cd "$APT/debs" && apt-get "${opts[@]}" download $pkgs)
    for deb in "$APT"/debs/*.deb; do dpkg -x "$deb" "$ARM"; done
    # Debian 13's packages put everything under /usr; /lib (the dynamic
    # loader's path) is a link that no package ships.
    [ -e "$ARM/lib" ] || ln -s usr/lib "$ARM/lib"
fi

rm -rf "$SITE"
"$(find_python "$V")" -m pip install --quiet --target "$SITE" --platform manylinux2014_aarch64 \
    --platform "manylinux_2_28_aarch64" --implementation cp --python-version "$V" --abi "cp${V/./}" --only-binary=:all: \
    "$WHEEL" pytest scipy

arm() {
    QEMU_LD_PREFIX="$ARM" PYTHONPATH="$SITE" PYTHONNOUSERSITE=1 \
        qemu-aarch64-static "$ARM/usr/bin/python$V" "$@"
}
arm -c "import platform, astar; print('running on', platform.machine(), 'from', astar.__file__)"
if [ "${#TESTS[@]}" -gt 0 ]; then
    (cd "$ROOT" && arm -m pytest -q -p no:cacheprovider "${TESTS[@]}")
fi
arm "$ROOT/scripts/digests.py" > "$ROOT/build/digests-cp${V/./}-aarch64.json"
echo "== digests of the aarch64 wheel (- native build, + aarch64 wheel; nothing between them when equal)"
diff -u "$DIGESTS" "$ROOT/build/digests-cp${V/./}-aarch64.json"
cat "$ROOT/build/digests-cp${V/./}-aarch64.json"
