#!/usr/bin/env bash
# Runs the whole test suite on every supported CPython this machine has except
# 3.12 (scripts/test.sh covers it), each in a venv of its own (.venv-py3.X).
source "$(dirname "$0")/env.sh"
versions="$(available_pythons)"
echo "supported CPython versions here: $(echo $versions)"
for v in $versions; do
    [ "$v" = 3.12 ] && continue
    echo "== CPython $v"
    PYTHON_VERSION="$v" bash scripts/test.sh
done
