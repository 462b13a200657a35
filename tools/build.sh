#!/usr/bin/env bash
# tools/build.sh ARCH [TARGET]: configures (once) and builds build-ARCH.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:?usage: build.sh i686|x86_64 [target]}
target=${2:-all}
build="$root/build-$arch"
if [ ! -f "$build/CMakeCache.txt" ]; then
  mkdir -p "$build"
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch-mingw.cmake" \
    ${QV_CMAKE_ARGS:-} >"$build/configure.log" 2>&1 ||
    { cat "$build/configure.log" >&2; exit 1; }
fi
log="$build/build.log"
if ! cmake --build "$build" -j2 --target "$target" >"$log" 2>&1; then
  grep -E "error|Error" "$log" | head -n 40 >&2
  echo "Build failed; full log: $log" >&2
  exit 1
fi
echo "$build/bin"
