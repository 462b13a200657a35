#!/usr/bin/env bash
# Fuzzes the data-file reader natively with libFuzzer (Debian's clang),
# built with the address and undefined-behaviour sanitizers.
#   tools/fuzz.sh SECONDS [OUTDIR]
# First replays every input in tests/fuzz/regressions (each a crash found
# once), then mutates a corpus seeded with real data files for SECONDS.
# Prints "fuzz datfile: N runs, M crashes"; exits non-zero on a crash.
# A new crash is saved in OUTDIR/crashes: add it to tests/fuzz/regressions.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:?usage: fuzz.sh SECONDS [OUTDIR]}
out=${2:-$root/build-fuzz}
mkdir -p "$out/corpus" "$out/crashes" "$out/seeds"
cxx=${QV_FUZZ_CXX:-clang++}
bin="$out/datfile-fuzz"
src=("$root/tests/fuzz/DatFileFuzz.cpp" "$root/tools/qvdat/DatFile.cpp")
if [ ! -x "$bin" ] || [ -n "$(find "${src[@]}" "$root/tools/qvdat/DatFile.h" \
      "$root/app/UninstallFormat.h" -newer "$bin" 2>/dev/null)" ]; then
  "$cxx" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$root" -I"$root/tools/qvdat" "${src[@]}" -o "$bin"
fi

# Seeds: real files written by qvdat itself, in both modes.
"$root/tools/build-qvdat.sh" "$out/host" >/dev/null
qvdat="$out/host/qvdat"
printf 'regkey = Talo\nproduct = 塔洛看图\nstartmenu = 塔洛软件\nfolder = C:\\Talo\\\nfile = C:\\Talo\\a.txt\nshortcut = C:\\Users\\Public\\Desktop\\Talo.lnk\n' >"$out/list.txt"
printf 'product = Talo\ninstalldir = C:\\Program Files\\Talo\nshortcut = C:\\x.lnk\n' >"$out/own.txt"
"$qvdat" write "$out/list.txt" "$out/seeds/list.dat" >/dev/null
"$qvdat" write "$out/own.txt" "$out/seeds/own.dat" >/dev/null

ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export ASAN_OPTIONS
replayed=0
for f in "$root"/tests/fuzz/regressions/*; do
  [ -f "$f" ] || continue
  "$bin" "$f" >/dev/null 2>&1 || { echo "fuzz datfile: regression $(basename "$f") crashes" >&2; exit 1; }
  replayed=$((replayed + 1))
done

log="$out/fuzz.log"
before=$(find "$out/crashes" -type f | wc -l)
status=0
"$bin" -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 \
  -artifact_prefix="$out/crashes/" "$out/corpus" "$out/seeds" >"$log" 2>&1 || status=$?
runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
crashes=$(( $(find "$out/crashes" -type f | wc -l) - before ))
[ "$status" -eq 0 ] || [ "$crashes" -gt 0 ] || crashes=1
echo "fuzz datfile: ${runs:-0} runs, $crashes crashes, $replayed regressions replayed"
if [ "$crashes" -gt 0 ]; then tail -n 30 "$log" >&2; exit 1; fi
