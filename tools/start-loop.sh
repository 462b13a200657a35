#!/usr/bin/env bash
# Starts a skinned program again and again under Wine and Xvfb, as a user
# would, and counts the starts whose window did not appear within a limit:
#   tools/start-loop.sh EXE TITLE COUNT [LIMIT_S]
# A start that shows its window is ended at once, or, with QV_LOOP_CLOSE="X Y",
# closed by a click there as a user would, the next start not waiting for
# it to end (each start's window is told apart by its process); with
# QV_LOOP_FRESH=1 each start gets a fresh display and Wine prefix, as a
# first start after boot. QV_LOAD_JOBS (default 2) busy loops run beside it at the
# lowest priority. For every start that failed, OUT/start-N/ keeps what the
# program printed, the X windows and Wine's processes; OUT is QV_LOOP_OUT
# (default /tmp/start-loop).
set -euo pipefail
exe=$(realpath "${1:?usage: start-loop.sh EXE TITLE COUNT [LIMIT_S]}")
title=${2:?title}; count=${3:?count}; limit=${4:-8}
root=$(cd "$(dirname "$0")/.." && pwd)
out=${QV_LOOP_OUT:-/tmp/start-loop}
rm -rf "$out"; mkdir -p "$out"
source "$root/tools/qvenv.sh"

load=()
stop() {
  for pid in "${load[@]}"; do kill "$pid" 2>/dev/null || true; done
  qv_env_down
}
trap stop EXIT
qv_env_up
for _ in $(seq 1 "${QV_LOAD_JOBS:-2}"); do
  nice -n 19 bash -c 'while :; do :; done' &
  load+=($!)
done

# The program's own folder, as a double click starts it.
# This start's window: Wine marks each with the Unix process id.
find_window() { xdotool search --all --onlyvisible --pid "$pid" --name "^$title\$" 2>/dev/null | head -n 1 || true; }
any_window() { xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n 1 || true; }
noshow=0; late=0; closing=()
for n in $(seq 1 "$count"); do
  [ -z "${QV_LOOP_FRESH:-}" ] || { qv_env_down; qv_env_up; }
  # The last start's window is gone before the next begins.
  [ -n "${QV_LOOP_CLOSE:-}" ] ||
    for _ in $(seq 1 200); do [ -z "$(any_window)" ] && break; sleep 0.05; done
  log="$out/program-$n.log"
  ( cd "$(dirname "$exe")" && exec "$root/tools/wine" "$exe" ) </dev/null >"$log" 2>&1 &
  pid=$!
  t0=$(date +%s%N); wid=""
  while [ -z "$wid" ] && [ $(( ($(date +%s%N) - t0) / 1000000 )) -lt $((limit * 1000)) ]; do
    kill -0 "$pid" 2>/dev/null || break
    wid=$(find_window); [ -n "$wid" ] || sleep 0.05
  done
  if [ -z "$wid" ]; then
    noshow=$((noshow + 1))
    keep="$out/start-$n"; mkdir -p "$keep"
    alive=no; kill -0 "$pid" 2>/dev/null && alive=yes
    { echo "no window after ${limit}s; process alive: $alive"
      xwininfo -root -tree 2>&1 | grep -v '^$' | head -n 40
      ps -eo pid,ppid,stat,etime,args | grep -i '[w]ine' ; } >"$keep/state.txt"
    # Late, or never: wait as long again.
    for _ in $(seq 1 $((limit * 20))); do
      wid=$(find_window); [ -n "$wid" ] && break
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
    [ -n "$wid" ] && late=$((late + 1)) && echo "window came late" >>"$keep/state.txt"
  fi
  [ -n "$wid" ] && shown_ms=$(( ($(date +%s%N) - t0) / 1000000 ))
  code=0
  if [ -n "${QV_LOOP_CLOSE:-}" ] && [ -n "$wid" ]; then
    sleep 1  # the slide-in is over
    xdotool mousemove 0 0  # a move to where the pointer is already never ends
    "$root/tools/qvwin.sh" click "$wid" $QV_LOOP_CLOSE || true
    closing+=("$pid")
  else
    # Ended from outside: closing costs Xvfb seconds per start (docs/testing.md).
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || code=$?
  fi
  [ -d "$out/start-$n" ] && { echo "exit code $code" >>"$out/start-$n/state.txt"; cp "$log" "$out/start-$n/"; }
  rm -f "$log"
  echo "start $n: $([ -n "$wid" ] && echo "window at $shown_ms ms" || echo "no window, exit $code")"
done
# Closed starts end by themselves; one still running after a minute hangs.
hung=0
for pid in "${closing[@]}"; do
  for _ in $(seq 1 600); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && { hung=$((hung + 1)); kill -9 "$pid" 2>/dev/null || true; }
done
[ -n "${QV_LOOP_CLOSE:-}" ] && echo "closed starts still running a minute later: $hung"
echo "starts: $count; no window within ${limit}s: $noshow (of those, shown later: $late)"
