# Sourced by the install tests: installs the build dir $1 into a fresh
# prefix under $work (removed at exit) and sets $prefix and $libdir.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$1" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name libvorn.so.1 -print -quit)")
