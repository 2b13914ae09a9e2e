#!/usr/bin/env bash
# Builds the three trees: build/win32 (shipped Setup.exe), build/win64 (the
# same sources and every Windows test program) and build/native (text
# processing with sanitizers, its tests and the fuzz targets).
# Usage: build.sh [win32|win64|native ...]   (default: all three)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${SETUP_BUILD_ROOT:-$root/build}"
jobs="$(nproc)"
configure() { # tree, extra cmake arguments
  local dir="$out/$1"; shift
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  fi
}
trees=("$@")
[ ${#trees[@]} -gt 0 ] || trees=(win32 win64 native)
for tree in "${trees[@]}"; do
  case "$tree" in
    win32) configure win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" ;;
    win64) configure win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" ;;
    native) configure native -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ ;;
    *) echo "unknown tree: $tree (win32, win64, native)" >&2; exit 2 ;;
  esac
  echo "== building $tree"
  cmake --build "$out/$tree" -j "$jobs"
done
# One CTest run over all three trees, with one summary.
cat > "$out/CTestTestfile.cmake" <<CTEST
subdirs("native" "win32" "win64")
CTEST
