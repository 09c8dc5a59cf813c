#!/usr/bin/env bash
# Builds the package into .venv and runs the demo (prints a table, writes out/demo.png).
# The venv has what every example needs.
source "$(dirname "$0")/env.sh"
setup_venv .venv examples,test
.venv/bin/python examples/demo.py "$@"
