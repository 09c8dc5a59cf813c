#!/usr/bin/env bash
# Builds the release artefacts into dist/: the sdist, then from the unpacked
# sdist the manylinux2014 wheels for every supported CPython on x86-64 and
# aarch64 (scripts/wheels.sh). Then tests what it ships, with the test suite
# from the sdist, so that a file missing from either fails here:
#   - the sdist, installed by pip with the machine's compiler: the native
#     build, whose digests of many random calls (scripts/digests.py) every
#     wheel must reproduce bit for bit;
#   - the x86-64 wheel of $FULL_SUITE_PYTHON: the whole suite; the other
#     x86-64 wheels: the digests;
#   - the aarch64 wheels of CPython 3.11 and 3.13 (the versions Debian has
#     for arm64) under emulation: the result and validation tests and the
#     digests (scripts/test-aarch64.sh); the other aarch64 wheels:
#     auditwheel's check of their modules.
source "$(dirname "$0")/env.sh"
PY="$(find_python)"
FULL_SUITE_PYTHON="${FULL_SUITE_PYTHON:-3.10}"
ARM_TESTS=(tests/test_results.py tests/test_validation.py)

rm -rf .venv-release dist build/wheels
"$PY" -m venv .venv-release
.venv-release/bin/python -m pip install --upgrade pip build
.venv-release/bin/python -m build --sdist --outdir dist .
SDIST="$(ls dist/*.tar.gz)"
UNPACKED="$(mktemp -d)"
trap 'rm -rf "$UNPACKED"' EXIT
tar -xzf "$SDIST" -C "$UNPACKED"
TREE="$(echo "$UNPACKED"/*/)"

bash scripts/wheels.sh "$TREE" dist
echo "== artefacts"
for wheel in dist/*.whl; do
    .venv-wheels/bin/auditwheel show "$wheel"
    bash scripts/check-wheel.sh .venv-release/bin/python "$wheel"
done
ls -l dist
expected=$((2 * $(available_pythons | wc -l)))
if [ "$(ls dist/*.whl | wc -l)" -ne "$expected" ]; then
    echo "error: $expected wheels expected in dist/" >&2
    exit 1
fi

# fresh_venv VERSION ARTEFACT EXTRAS: .venv-artefact with the artefact installed.
fresh_venv() {
    rm -rf .venv-artefact
    "$(find_python "$1")" -m venv .venv-artefact
    .venv-artefact/bin/python -m pip install --quiet --upgrade pip
    .venv-artefact/bin/python -m pip install --quiet "$2$3"
}
suite() { (cd "$TREE" && "$ROOT/.venv-artefact/bin/python" -m pytest -q -p no:cacheprovider "$@" tests); }
digests() { .venv-artefact/bin/python "$TREE/scripts/digests.py" > "$1"; }

echo "== the sdist (native build, CPython $PYTHON_VERSION): result and validation tests, digests"
fresh_venv "$PYTHON_VERSION" "$SDIST" "[test]"
(cd "$TREE" && "$ROOT/.venv-artefact/bin/python" -m pytest -q -p no:cacheprovider "${ARM_TESTS[@]}")
digests build/digests-native.json
cat build/digests-native.json
echo "== the native build's digests equal the committed golden ones"
diff -u "$TREE/tests/golden_digests.json" build/digests-native.json

for v in $(available_pythons); do
    wheel="$(ls dist/*-cp${v/./}-*x86_64.whl)"
    if [ "$v" = "$FULL_SUITE_PYTHON" ]; then
        echo "== the whole suite against $(basename "$wheel")"
        fresh_venv "$v" "$wheel" "[examples,test]"
        suite
    else
        echo "== digests of $(basename "$wheel")"
        fresh_venv "$v" "$wheel" ""
    fi
    digests "build/digests-cp${v/./}-x86_64.json"
    diff -u build/digests-native.json "build/digests-cp${v/./}-x86_64.json"
done

for tag in cp311 cp313; do
    echo "== the aarch64 wheel for $tag under emulation"
    bash scripts/test-aarch64.sh dist/*-$tag-*aarch64.whl build/digests-native.json "${ARM_TESTS[@]/#/$TREE}"
done
echo "== every wheel's digests equal the native build's"
