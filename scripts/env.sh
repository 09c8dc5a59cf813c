# Sourced by the other scripts: finds CPython 3.12, makes the project's virtual
# environment in .venv and installs the package with the given extras.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

is_py312() { "$1" -c 'import sys; sys.exit(sys.version_info[:2] != (3, 12))' >/dev/null 2>&1; }

find_python() {
    local c
    for c in "${PYTHON:-}" python3.12 python3; do
        [ -n "$c" ] && command -v "$c" >/dev/null 2>&1 && is_py312 "$c" && { command -v "$c"; return 0; }
    done
    local root
    root="$(pyenv root 2>/dev/null || echo "$HOME/.pyenv")"
    for c in "$root"/versions/3.12.*/bin/python3.12 /usr/local/bin/python3.12 /usr/bin/python3.12; do
        [ -x "$c" ] && is_py312 "$c" && { echo "$c"; return 0; }
    done
    echo "error: CPython 3.12 not found (tried \$PYTHON, python3.12, python3 and pyenv's 3.12.*)." >&2
    echo "Install CPython 3.12 or set PYTHON=/path/to/python3.12." >&2
    return 1
}

# setup_venv VENV_DIR EXTRAS [CMAKE_ARGS...]
# The build directory is build/<venv name>, so that builds with other CMake
# options never share a cache.
setup_venv() {
    local venv="$1" extras="$2"
    shift 2
    if [ ! -x "$venv/bin/python" ] || ! is_py312 "$venv/bin/python"; then
        local py
        py="$(find_python)"
        rm -rf "$venv"
        "$py" -m venv "$venv"
        "$venv/bin/python" -m pip install -q --upgrade pip
    fi
    local args=(--config-settings="build-dir=build/$(basename "$venv")")
    for a in "$@"; do args+=(--config-settings="cmake.define.$a"); done
    "$venv/bin/python" -m pip install -q ${args[@]+"${args[@]}"} ".[$extras]"
}
