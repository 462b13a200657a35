#!/usr/bin/env bash
# The performance benchmark: builds what ships (tools/build-ship.sh) and the
# peers, runs everything under Wine in one environment and prints one table,
# each figure beside a peer measured in the same run.
#
#   tools/bench.sh          the table (P1-P6)
#   tools/bench.sh plot     also deletion time against file count for the
#                           three deleters, written to docs/img/deletion.svg
#
# P1 deletion of a 20,000-file product: the uninstaller from the click on
#    "卸 载" to the tree gone, against a bare FindFirstFile/DeleteFile/
#    RemoveDirectory loop on a worker thread (its worker's time) and an NSIS
#    uninstaller's RMDir /r (from its start), each on a fresh identical tree;
#    for scale also the bare loop sending one synchronous message per file
#    to its main thread, as the uninstaller's engine tells its dialog.
# P2 process start to the first frame on screen, against an NSIS
#    uninstaller with its standard pages (start to its confirmation page shown
#    and painted) and a minimal layered-window program (the floor).
# P3 compose and present one question frame and one progress frame.
# P4 size of the 32-bit program as it ships (images included), and its imports.
# P5 peak working set during the 20,000-file uninstall, against the NSIS
#    uninstaller with its pages deleting the same tree after a click on its
#    "卸载" (its progress page lists every file), and a minimal layered-window
#    program's once shown (the floor); for scale also the bare loop's, which
#    has no window.
# P6 the engine's own time per file (qvbench_engine: no dialog, no pause,
#    no process start) for 50,000 files against 1,000 files.
# Figures are medians of several runs. Nothing here talks to the network:
# the shipping build reports to a host that resolves nowhere.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:-table}
case "$mode" in table|plot) ;; *) echo "usage: $0 [plot]" >&2; exit 2 ;; esac
source "$root/tools/wine-probe.sh"
qv_install_deps
arch=$("$root/tools/arch.sh")
echo "Building the shipping programs and the benchmark ($arch; size on i686)..." >&2
bin=$("$root/tools/build-ship.sh" "$arch" qvbench)
bin32=$("$root/tools/build-ship.sh" i686 qvUninstall)
"$root/tools/build-qvdat.sh" "$root/build-host" >/dev/null
qvdat="$root/build-host/qvdat"

source "$root/tools/qvenv.sh"
trap qv_env_down EXIT
qv_env_up
w() { "$root/tools/wine" "$@" 2>/dev/null </dev/null | tr -d '\r'; }
WORK_WIN='C:\qvbench'
work=$("$root/tools/wine" winepath -u "$WORK_WIN" 2>/dev/null | tr -d '\r')
mkdir -p "$work"
cp "$bin"/qvbench_*.exe "$work/"

# Samples the resident memory of the Wine process whose command line is $1
# until $2 disappears, keeping a copy of its smaps and its thread count at
# the largest: $3.smaps, $3.threads.
sample_peak() {
  # The process may end between any two reads: nothing here is fatal.
  set +e +o pipefail
  local pattern=$1 marker=$2 out=$3 best=0 pid r
  while [ -e "$marker" ]; do
    pid=$(pgrep -f "$pattern" | head -n 1)
    if [ -n "$pid" ]; then
      r=$(awk '/^Rss:/ {print $2}' "/proc/$pid/smaps_rollup" 2>/dev/null)
      if [ -n "$r" ] && [ "$r" -gt "$best" ] && cp "/proc/$pid/smaps" "$out.tmp" 2>/dev/null; then
        best=$r
        mv "$out.tmp" "$out.smaps"
        ls "/proc/$pid/task" 2>/dev/null | wc -l >"$out.threads"
      fi
    fi
    sleep 0.05
  done
}

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p"; }

# The NSIS peers' uninstallers, written by their installers: silent (P1)
# and with its standard pages (P2, P5).
nsis_target=x86-unicode
[ "$arch" = x86_64 ] && nsis_target=amd64-unicode
for peer in nsis nsispages; do
  defs=(); [ $peer = nsispages ] && defs=(-DPAGES)
  makensis -V1 -DTARGET=$nsis_target "${defs[@]}" -DOUT="$work/$peer-setup.exe" \
    -DDIR="$WORK_WIN\\$peer" "$root/bench/peer.nsi" >/dev/null
  w "$work/$peer-setup.exe" /S
  [ -f "$work/$peer/uninst.exe" ] || { echo "bench: the NSIS uninstaller was not written" >&2; exit 1; }
done

# One uninstall of an N-file product; prints "ms=... peak=...".
# A product folder NAME under the work folder: an N-file tree, the program
# PROGRAM and a data file named PRODUCT whose last line is LAST.
make_product() {
  local name=$1 n=$2 program=$3 product=$4 last=$5 dir="$work/$1"
  rm -rf "$dir"; mkdir -p "$dir"
  /usr/bin/python3 "$root/bench/make_tree.py" "$dir/tree" "$n"
  cp "$bin/$program" "$dir/"
  printf 'product = %s\nregkey = %s\nstartmenu = %s\n%s\n' "$product" "$product" "$product" "$last" |
    "$qvdat" write - "$dir/qvUninstall.dat"
}
run_ours() {
  local n=$1 dir="$work/product"
  make_product product "$n" qvUninstall.exe QvBench "installdir = $WORK_WIN\\product"
  w "$work/qvbench_drive.exe" uninstall "$WORK_WIN\\product\\qvUninstall.exe" "$WORK_WIN\\product\\tree"
  # The self-delete batch removes the rest once the program has ended.
  for _ in $(seq 1 100); do [ -d "$dir" ] || break; sleep 0.2; done
  rm -rf "$dir"
}
run_loop() {
  local n=$1
  rm -rf "$work/loop"; mkdir -p "$work/loop"
  /usr/bin/python3 "$root/bench/make_tree.py" "$work/loop/tree" "$n"
  w "$work/${2:-qvbench_loop}.exe" "$WORK_WIN\\loop\\tree"
}
run_notify() { run_loop "$1" qvbench_notify; }
# The engine alone on an N-file folder listed in its data file.
run_engine() {
  local n=$1 dir="$work/engine"
  make_product engine "$n" qvbench_engine.exe QvBenchEngine "folder = $WORK_WIN\\engine\\tree"
  w "$dir/qvbench_engine.exe"
  [ ! -d "$dir/tree" ] || { echo "bench: the engine left its tree" >&2; exit 1; }
}
run_nsis() {
  local n=$1
  rm -rf "$work/nsis/tree"
  /usr/bin/python3 "$root/bench/make_tree.py" "$work/nsis/tree" "$n"
  w "$work/qvbench_drive.exe" run "$WORK_WIN\\nsis\\uninst.exe" "/S _?=$WORK_WIN\\nsis" "$WORK_WIN\\nsis\\tree"
}
# _?= runs it in place (not from a copy in the temporary folder).
run_nsispages() {
  local n=$1
  rm -rf "$work/nsispages/tree"
  /usr/bin/python3 "$root/bench/make_tree.py" "$work/nsispages/tree" "$n"
  w "$work/qvbench_drive.exe" pages "$WORK_WIN\\nsispages\\uninst.exe" "_?=$WORK_WIN\\nsispages" \
    "$WORK_WIN\\nsispages\\tree"
}

rounds=3
declare -A ms peak
deleters="ours loop nsis nsispages notify"
for who in $deleters; do : >"$QV_ENV_DIR/$who.txt"; done
echo "P1/P5: $rounds rounds of 20,000 files for each deleter..." >&2
for r in $(seq 1 $rounds); do
  for who in $deleters; do
    if [ "$r$who" = 1ours ]; then
      # Where the memory goes: the first round's peak, sampled from outside.
      touch "$QV_ENV_DIR/sampling"
      sample_peak '^C:.qvbench.product.qvUninstall.exe$' "$QV_ENV_DIR/sampling" "$QV_ENV_DIR/mem-ours" &
      sampler=$!
    fi
    "run_$who" 20000 >>"$QV_ENV_DIR/$who.txt"
    [ ! -e "$QV_ENV_DIR/sampling" ] || { rm -f "$QV_ENV_DIR/sampling"; wait "$sampler" || true; }
  done
done
for who in $deleters; do
  ms[$who]=$(field ms <"$QV_ENV_DIR/$who.txt" | median)
  peak[$who]=$(field peak <"$QV_ENV_DIR/$who.txt" | median)
done

echo "P6: the engine alone, 1,000 and 50,000 files..." >&2
: >"$QV_ENV_DIR/engine-1k.txt"; : >"$QV_ENV_DIR/engine-50k.txt"
for r in $(seq 1 $rounds); do
  run_engine 1000 | field ms >>"$QV_ENV_DIR/engine-1k.txt"
  run_engine 50000 | field ms >>"$QV_ENV_DIR/engine-50k.txt"
done
engine_1k=$(median <"$QV_ENV_DIR/engine-1k.txt")
engine_50k=$(median <"$QV_ENV_DIR/engine-50k.txt")

echo "P2: start to first frame..." >&2
mkdir -p "$work/start"
cp "$bin/qvUninstall.exe" "$work/start/"  # no data file: nothing to act on
cp "$bin/qvbench_layered.exe" "$work/start/"
: >"$QV_ENV_DIR/start-ours.txt"; : >"$QV_ENV_DIR/start-peer.txt"
for r in 0 1 2 3 4 5; do
  a=$(w "$work/qvbench_drive.exe" start "$WORK_WIN\\start\\qvUninstall.exe")
  if [ "$r" -eq 1 ]; then
    touch "$QV_ENV_DIR/sampling"
    sample_peak '^C:.qvbench.start.qvbench_layered.exe$' "$QV_ENV_DIR/sampling" "$QV_ENV_DIR/mem-peer" &
    sampler=$!
  fi
  b=$(w "$work/qvbench_drive.exe" start "$WORK_WIN\\start\\qvbench_layered.exe")
  [ ! -e "$QV_ENV_DIR/sampling" ] || { rm -f "$QV_ENV_DIR/sampling"; wait "$sampler" || true; }
  [ "$r" -eq 0 ] && continue  # the first start of each warms the caches
  echo "$a" | field ms >>"$QV_ENV_DIR/start-ours.txt"
  echo "$b" | field ms >>"$QV_ENV_DIR/start-peer.txt"
  echo "$b" | field peak >>"$QV_ENV_DIR/shown-peer.txt"
done
start_ours=$(median <"$QV_ENV_DIR/start-ours.txt")
start_nsis=$(field first <"$QV_ENV_DIR/nsispages.txt" | median)
start_peer=$(median <"$QV_ENV_DIR/start-peer.txt")
shown_peer=$(median <"$QV_ENV_DIR/shown-peer.txt")

echo "P3: frames..." >&2
frames=$(w "$work/qvbench_frames.exe")
question=$(echo "$frames" | field question)
progress=$(echo "$frames" | field progress)

size=$(stat -c %s "$bin32/qvUninstall.exe")
imports=$(x86_64-w64-mingw32-objdump -p "$bin32/qvUninstall.exe" | sed -n 's/^\s*DLL Name: //p' | sort -u | tr '\n' ' ')
imports_ok=yes
"$root/tools/check-pe.sh" "$bin32/qvUninstall.exe" >/dev/null 2>&1 || imports_ok=no

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
met() { awk -v v="$1" -v t="$2" 'BEGIN {print (v <= t) ? "met" : "MISSED"}'; }
mib() { awk -v p="$1" 'BEGIN {printf "%.1f", p / 1048576}'; }
r_loop=$(ratio "${ms[ours]}" "${ms[loop]}")
r_nsis=$(ratio "${ms[ours]}" "${ms[nsis]}")
r_pages=$(ratio "${ms[ours]}" "${ms[nsispages]}")
r_notify=$(ratio "${ms[ours]}" "${ms[notify]}")
r_shown=$(ratio "${peak[ours]}" "$shown_peer")
r_peak_nsis=$(ratio "${peak[ours]}" "${peak[nsispages]}")
r_start=$(ratio "$start_ours" "$start_peer")
r_start_nsis=$(ratio "$start_ours" "$start_nsis")
r_peak=$(ratio "${peak[ours]}" "${peak[loop]}")
per_1k=$(awk -v t="$engine_1k" 'BEGIN {printf "%.1f", t * 1000 / 1000}')
per_50k=$(awk -v t="$engine_50k" 'BEGIN {printf "%.1f", t * 1000 / 50000}')
r_flat=$(ratio "$per_50k" "$per_1k")
kib=$(awk -v s="$size" 'BEGIN {printf "%.0f", s / 1024}')
printf '\nqvUninstall benchmark, under Wine (%s), %s build for P1-P3, P5 and P6; medians of %s\n\n' \
  "$("$root/tools/wine" --version 2>/dev/null)" "$arch" "$rounds"
printf '| | measure | qvUninstall | peer | ratio | target | |\n|---|---|---|---|---|---|---|\n'
row() {  # ROW MEASURE OURS PEER RATIO TARGET-TEXT [TARGET]
  printf '| %s | %s | %s | %s | %s | %s | %s |\n' "$1" "$2" "$3" "$4" "${5:+$5×}" "$6" \
    "$([ -n "${7:-}" ] && met "$5" "$7")"
}
ms0() { printf '%.0f ms' "$1"; }
row P1 "20,000 files deleted, bare loop" "$(ms0 "${ms[ours]}")" "$(ms0 "${ms[loop]}")" "$r_loop" "≤ 1.2×" 1.2
row P1 "20,000 files deleted, NSIS RMDir /r, silent" "$(ms0 "${ms[ours]}")" "$(ms0 "${ms[nsis]}")" "$r_nsis" "≤ 0.5×" 0.5
row P1 "20,000 files deleted, NSIS with its pages, from the click" "$(ms0 "${ms[ours]}")" "$(ms0 "${ms[nsispages]}")" "$r_pages" "(for scale)"
row P1 "20,000 files deleted, bare loop sending one synchronous message per file" "$(ms0 "${ms[ours]}")" "$(ms0 "${ms[notify]}")" "$r_notify" "(for scale)"
row P2 "start to first frame, NSIS uninstaller's confirmation page" "$(ms0 "$start_ours")" "$(ms0 "$start_nsis")" "$r_start_nsis" "≤ 1.0×" 1.0
row P2 "start to first frame, minimal layered window" "$(ms0 "$start_ours")" "$(ms0 "$start_peer")" "$r_start" "≤ 1.3×" 1.3
printf '| P3 | question frame, compose + present (%s) | %.2f ms | | | ≤ 2 ms | %s |\n' \
  "$arch" "$question" "$(met "$question" 2)"
printf '| P3 | progress frame, compose + present (%s) | %.2f ms | | | ≤ 2 ms | %s |\n' \
  "$arch" "$progress" "$(met "$progress" 2)"
printf '| P4 | i686 program as shipped, images included | %s KiB | | | ≤ 512 KiB | %s |\n' \
  "$kib" "$(met "$kib" 512)"
printf '| P4 | imports: %s| | | | | system DLLs only | %s |\n' "$imports" \
  "$([ "$imports_ok" = yes ] && echo met || echo MISSED)"
row P5 "peak working set, 20,000 files, NSIS with its pages" "$(mib "${peak[ours]}") MiB" "$(mib "${peak[nsispages]}") MiB" "$r_peak_nsis" "≤ 0.6×" 0.6
row P5 "peak working set, 20,000 files, minimal layered window shown" "$(mib "${peak[ours]}") MiB" "$(mib "$shown_peer") MiB" "$r_shown" "≤ 1.5×" 1.5
row P5 "peak working set, 20,000 files, bare loop (no window)" "$(mib "${peak[ours]}") MiB" "$(mib "${peak[loop]}") MiB" "$r_peak" "(for scale)"
row P6 "engine time per file, 50,000 files, against 1,000 files" "$per_50k µs" "$per_1k µs" "$r_flat" "≤ 1.1×" 1.1
if [ -f "$QV_ENV_DIR/mem-ours.smaps" ] && [ -f "$QV_ENV_DIR/mem-peer.smaps" ]; then
  printf '\nP5: where the uninstaller'"'"'s resident memory goes beyond the peer'"'"'s (one round, at each peak)\n\n'
  /usr/bin/python3 "$root/bench/smaps.py" "$QV_ENV_DIR/mem-ours.smaps" "$QV_ENV_DIR/mem-peer.smaps" \
    "$(cat "$QV_ENV_DIR/mem-ours.threads")" "$(cat "$QV_ENV_DIR/mem-peer.threads")"
fi

if [ "$mode" = plot ]; then
  echo "Plot: 1,000 to 50,000 files..." >&2
  : >"$QV_ENV_DIR/plot.txt"
  for n in 1000 2000 5000 10000 20000 35000 50000; do
    echo "$n ours $(run_ours "$n" | field ms)" >>"$QV_ENV_DIR/plot.txt"
    echo "$n loop $(run_loop "$n" | field ms)" >>"$QV_ENV_DIR/plot.txt"
    echo "$n nsis $(run_nsis "$n" | field ms)" >>"$QV_ENV_DIR/plot.txt"
    echo "$n notify $(run_notify "$n" | field ms)" >>"$QV_ENV_DIR/plot.txt"
  done
  /usr/bin/python3 "$root/bench/plot.py" "$QV_ENV_DIR/plot.txt" "$root/docs/img/deletion.svg"
  echo "Wrote docs/img/deletion.svg" >&2
fi
