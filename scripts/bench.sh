#!/usr/bin/env bash
# Builds the package into .venv-bench with the peer libraries and runs the benchmark.
source "$(dirname "$0")/env.sh"
setup_venv .venv-bench bench
.venv-bench/bin/python benchmarks/run.py "$@"
