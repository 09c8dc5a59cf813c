# Sourced by the other scripts: finds a CPython (3.10 to 3.13; 3.12 unless
# PYTHON_VERSION or PYTHON says otherwise), makes a virtual environment and
# installs the package with the given extras, rebuilding only when a source
# changed.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

SUPPORTED_PYTHONS="3.10 3.11 3.12 3.13"
PYTHON_VERSION="${PYTHON_VERSION:-3.12}"
case " $SUPPORTED_PYTHONS " in
*" $PYTHON_VERSION "*) ;;
*)
    echo "error: PYTHON_VERSION=$PYTHON_VERSION is not supported; supported: $SUPPORTED_PYTHONS" >&2
    exit 2
    ;;
esac

is_version() { "$1" -c "import sys; sys.exit(sys.version_info[:2] != tuple(map(int, '$2'.split('.'))))" >/dev/null 2>&1; }

# find_python [VERSION]: a python3.X that runs, else pyenv's, else /usr.
find_python() {
    local want="${1:-$PYTHON_VERSION}" c root
    for c in "${PYTHON:-}" "python$want" python3; do
        [ -n "$c" ] && command -v "$c" >/dev/null 2>&1 && is_version "$c" "$want" && { command -v "$c"; return 0; }
    done
    root="$(pyenv root 2>/dev/null || echo "$HOME/.pyenv")"
    for c in "$root"/versions/"$want".*/bin/python"$want" /usr/local/bin/python"$want" /usr/bin/python"$want"; do
        [ -x "$c" ] && is_version "$c" "$want" && { echo "$c"; return 0; }
    done
    echo "error: CPython $want not found (tried \$PYTHON, python$want, python3 and pyenv's $want.*)." >&2
    echo "Install CPython $want or set PYTHON=/path/to/python$want." >&2
    return 1
}

# The supported versions this machine has.
available_pythons() {
    local v
    for v in $SUPPORTED_PYTHONS; do find_python "$v" >/dev/null 2>&1 && echo "$v"; done
    return 0
}

# setup_venv VENV_DIR EXTRAS [CMAKE_DEFINE=VALUE...]
# The venv's Python is $PYTHON_VERSION's; the build directory is
# build/<venv name>, so that builds with other options never share a cache.
# Nothing is rebuilt when no source, option or extra changed since the last
# install into that venv.
setup_venv() {
    local venv="$1" extras="$2"
    shift 2
    if [ ! -x "$venv/bin/python" ] || ! is_version "$venv/bin/python" "$PYTHON_VERSION"; then
        local py
        py="$(find_python)"
        rm -rf "$venv"
        echo "== making $venv with $py"
        "$py" -m venv "$venv"
        "$venv/bin/python" -m pip install --upgrade pip
    fi
    local args=(--config-settings="build-dir=build/$(basename "$venv")")
    for a in "$@"; do args+=(--config-settings="cmake.define.$a"); done
    local stamp="$venv/.gridsearch-installed" want="extras=$extras options=$*"
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] &&
        [ -z "$(find src include cmake CMakeLists.txt pyproject.toml -newer "$stamp" -print -quit)" ]; then
        echo "== $venv is up to date"
        return 0
    fi
    echo "== installing the package into $venv"
    "$venv/bin/python" -m pip install "${args[@]}" ".[$extras]"
    echo "$want" > "$stamp"
}
