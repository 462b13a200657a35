#!/usr/bin/env bash
# The hostile-input and fault suite at full size, with a table of figures.
#   tools/reliability.sh [FUZZ_SECONDS]     (default 300)
# Builds the test programs, runs the reliability programs with
# QV_RELIABILITY=full beside a report server of their own (free ports), the
# folder-link and crash end-to-end scripts, and a longer libFuzzer run.
# Every row must show 0 crashes and 0 files lost outside the product; the
# hostile HTTP rows (R17, test_reliability_net) count a call that outlives
# its deadline by half a minute as a crash: 0 hangs. R18 counts what an
# elevated program loaded from a folder everyone may write: 0; R19 and R20
# what it obeyed or loaded that others could have planted: 0; R21 reads
# data files of hostile sizes and counts.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fuzz_seconds=${1:-300}
source "$root/tools/wine-probe.sh"
qv_install_deps
arch=$("$root/tools/arch.sh")
bin=$("$root/tools/build.sh" "$arch" all)

source "$root/tools/qvenv.sh"
work=$(mktemp -d)
down() {
  /usr/bin/python3 "$root/tools/report-server.py" stop --dir "$work/bin" >/dev/null 2>&1 || true
  qv_env_down
  rm -rf "$work"
}
trap down EXIT
qv_env_up

# The programs run from a folder of their own, where their server writes its
# ports; the fixture's server of the test command is not needed.
mkdir -p "$work/bin"
cp "$bin"/test_reliability_*.exe "$bin"/*.dll "$work/bin/" 2>/dev/null || true
/usr/bin/python3 "$root/tools/report-server.py" start --dir "$work/bin" --hang 600 --lifetime 3600 >/dev/null
figures="$work/figures.txt"
: >"$figures"
status=0
for prog in "$work"/bin/test_reliability_*.exe; do
  echo "running $(basename "$prog")" >&2
  (cd "$work/bin" && QV_RELIABILITY=full QV_FIGURES="Z:${figures//\//\\}" \
     "$root/tools/wine" "$prog" </dev/null >"$work/$(basename "$prog").log" 2>&1) || {
    status=1; echo "$(basename "$prog") failed: see below" >&2; grep -A5 "Failure" "$work/$(basename "$prog").log" | head -40 >&2; }
done

# Folder links to canaries, straight in the product and in dot-folders
# that only the batch reaches.
if out=$(bash "$root/tests/e2e_uninstall_links.sh" "$bin" 2>&1); then
  echo "R2 folder links to canaries|2|0|0|4 canaries intact, engine and batch" >>"$figures"
else
  status=1; echo "$out" >&2
  echo "R2 folder links to canaries|2|0|1|$(echo "$out" | grep FAIL | head -1)" >>"$figures"
fi

# Whose word it takes: a hostile data file in a folder others may write
# (R19), and DLLs planted beside it under system DLLs' names with native
# DLLs first (R20).
if out=$(bash "$root/tests/e2e_untrusted.sh" "$bin" 2>&1); then
  echo "R19 data file others may write, hostile|1|0|0|notice, exit code 1, 0 deleted, no batch" >>"$figures"
else
  status=1; echo "$out" | tail -20 >&2
  echo "R19 data file others may write|1|0|1|FAILED: $(echo "$out" | grep FAIL | head -1)" >>"$figures"
fi
if out=$(bash "$root/tests/e2e_planted_dlls.sh" "$bin" 2>&1); then
  echo "R20 planted DLLs, native first|2|0|0|$(echo "$out" | tail -1 | sed 's/^e2e_planted_dlls: //')" >>"$figures"
else
  status=1; echo "$out" | tail -20 >&2
  echo "R20 planted DLLs, native first|2|1|0|FAILED: $(echo "$out" | grep FAIL | head -1)" >>"$figures"
fi

# Crashes on the interface thread, a worker, by overflow and on three
# threads at once (its own display, prefix and server on free ports).
if [ -f "$root/tests/e2e_crash.sh" ]; then
  if out=$(bash "$root/tests/e2e_crash.sh" "$bin" 2>&1); then
    echo "R7 crashes: ui, worker, overflow, together, read-only|5|0|0|one dump, one report, the notice, the process ended" >>"$figures"
  else
    status=1; echo "$out" | tail -20 >&2
    echo "R7 crashes|5|0|0|FAILED: $(echo "$out" | grep -i fail | head -1)" >>"$figures"
  fi
fi

if out=$("$root/tools/fuzz.sh" "$fuzz_seconds" "$root/build-fuzz" 2>&1); then :; else status=1; fi
runs=$(echo "$out" | sed -n 's/^fuzz datfile: \([0-9]*\) runs, \([0-9]*\) crashes.*/\1/p')
crashes=$(echo "$out" | sed -n 's/^fuzz datfile: \([0-9]*\) runs, \([0-9]*\) crashes.*/\2/p')
echo "F1 libFuzzer, qvdat reader|${runs:-0}|${crashes:-1}|0|${fuzz_seconds} s, ASan+UBSan" >>"$figures"

printf '\n%-42s %10s %8s %11s  %s\n' "row" "runs" "crashes" "files lost" "notes"
sort "$figures" | while IFS='|' read -r row runs crashes lost note; do
  printf '%-42s %10s %8s %11s  %s\n' "$row" "$runs" "$crashes" "$lost" "$note"
  { [ "$crashes" = 0 ] && [ "$lost" = 0 ]; } || echo "  ^ must be 0 crashes and 0 files lost" >&2
done
exit $status
