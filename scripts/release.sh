#!/usr/bin/env bash
# Builds the release artefacts (sdist and wheel) into dist/, then installs the
# sdist into a fresh virtual environment and runs the test suite shipped inside
# it, so that a file missing from the sdist fails here.
source "$(dirname "$0")/env.sh"
PY="$(find_python)"

rm -rf .venv-release dist
"$PY" -m venv .venv-release
.venv-release/bin/python -m pip install -q --upgrade pip build
.venv-release/bin/python -m build --outdir dist .
ls -l dist

SDIST="$(ls dist/*.tar.gz)"
WHEEL="$(ls dist/*.whl)"
for member in astar.cpython focal.cpython astar-stubs/__init__.pyi focal-stubs/__init__.pyi; do
    .venv-release/bin/python -m zipfile -l "$WHEEL" | grep -q "$member" || { echo "error: $member missing from $WHEEL" >&2; exit 1; }
done

rm -rf .venv-sdist
"$PY" -m venv .venv-sdist
.venv-sdist/bin/python -m pip install -q --upgrade pip
.venv-sdist/bin/python -m pip install -q "$SDIST[test]"

UNPACKED="$(mktemp -d)"
trap 'rm -rf "$UNPACKED"' EXIT
tar -xzf "$SDIST" -C "$UNPACKED"
cd "$UNPACKED"/*/
exec "$ROOT/.venv-sdist/bin/python" -m pytest -q -p no:cacheprovider tests
