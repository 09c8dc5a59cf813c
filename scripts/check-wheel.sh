#!/usr/bin/env bash
# check-wheel.sh PYTHON WHEEL: fails unless the wheel holds every module,
# package file and stub the package ships. The listing is read whole before
# it is searched: a reader that stops at its first match would close the pipe
# on a listing still being written and fail at random under pipefail.
set -euo pipefail
PYTHON="$1"
WHEEL="$2"
listing="$("$PYTHON" -m zipfile -l "$WHEEL")"
for member in astar.cpython focal.cpython gridsearch/_batch.cpython gridsearch/__init__.py gridsearch/_batch.pyi \
    gridsearch/_planner.cpython gridsearch/_planner.pyi gridsearch/_grid.py gridsearch/_args.py gridsearch/py.typed \
    astar-stubs/__init__.pyi focal-stubs/__init__.pyi; do
    [[ "$listing" == *"$member"* ]] || { echo "error: $member missing from $WHEEL" >&2; exit 1; }
done
echo "$(basename "$WHEEL"): every module, package file and stub is there"
