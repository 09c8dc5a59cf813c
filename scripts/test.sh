#!/usr/bin/env bash
# Builds the package into .venv and runs the whole test suite (CPython 3.12,
# or PYTHON_VERSION=3.X for another supported version, in .venv-py3.X).
source "$(dirname "$0")/env.sh"
VENV=.venv
[ "$PYTHON_VERSION" = 3.12 ] || VENV=".venv-py$PYTHON_VERSION"
setup_venv "$VENV" examples,test
exec "$VENV/bin/python" -m pytest -q "$@"
