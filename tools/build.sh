#!/usr/bin/env bash
# tools/build.sh ARCH [TARGET]: configures and builds build-ARCH; prints
# the folder of the programs.
#
# These builds report to the local report server of the demo and the tests
# (tools/report-port.sh); a build for shipping is configured
# by hand and keeps the default host (README, "Building by hand").
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tools/report-port.sh"
arch=${1:?usage: build.sh i686|x86_64 [target]}
target=${2:-all}
build="$root/build-$arch"
mkdir -p "$build"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch-mingw.cmake" \
  -DQV_REPORT_HOST=127.0.0.1:$QV_REPORT_PORT ${QV_CMAKE_ARGS:-} >"$build/configure.log" 2>&1 ||
  { cat "$build/configure.log" >&2; exit 1; }
log="$build/build.log"
if ! cmake --build "$build" -j2 --target "$target" >"$log" 2>&1; then
  grep -E "error|Error" "$log" | head -n 40 >&2
  echo "Build failed; full log: $log" >&2
  exit 1
fi
echo "$build/bin"
