#!/usr/bin/env bash
# Builds the package into .venv and runs the whole test suite.
source "$(dirname "$0")/env.sh"
setup_venv .venv test
exec .venv/bin/python -m pytest -q "$@"
