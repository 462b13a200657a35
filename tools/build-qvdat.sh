#!/usr/bin/env bash
# Builds the data-file tool for this machine with the host compiler.
# Usage: tools/build-qvdat.sh OUTDIR   -> OUTDIR/qvdat
set -euo pipefail
out=${1:?usage: $0 OUTDIR}
src=$(cd "$(dirname "$0")/qvdat" && pwd)
mkdir -p "$out"
out=$(cd "$out" && pwd)
build="$out/.qvdat-build"
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 >/dev/null
cp "$build/qvdat" "$out/qvdat"
