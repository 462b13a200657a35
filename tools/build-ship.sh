#!/usr/bin/env bash
# tools/build-ship.sh ARCH [TARGET]: the build that ships (README, "Building
# by hand": Release, stripped, debug information in qvUninstall.exe.debug)
# in build-ship-ARCH, without the tests; prints the folder of the programs.
# The benchmark measures these programs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:?usage: build-ship.sh i686|x86_64 [target]}
target=${2:-qvUninstall}
build="$root/build-ship-$arch"
mkdir -p "$build"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch-mingw.cmake" \
  -DQV_BUILD_TESTS=OFF >"$build/configure.log" 2>&1 ||
  { cat "$build/configure.log" >&2; exit 1; }
if ! cmake --build "$build" -j2 --target "$target" >"$build/build.log" 2>&1; then
  grep -E "error|Error" "$build/build.log" | head -n 40 >&2
  echo "Build failed; full log: $build/build.log" >&2
  exit 1
fi
echo "$build/bin"
