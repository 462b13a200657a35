#!/usr/bin/env bash
# Steps shared by the demo (tools/run.sh) and the end-to-end tests: run the
# uninstaller of the sample product (tools/demo-lib.sh) in a fresh
# environment, click, take screenshots, and read what the report server saw.
# Sourced; the caller has set -euo pipefail.

E2E_TITLE="塔洛软件-卸载程序"
E2E_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$E2E_ROOT/tools/report-port.sh"
source "$E2E_ROOT/tools/qvenv.sh"
source "$E2E_ROOT/tools/demo-lib.sh"

e2e_fail() { echo "FAIL: $*" >&2; exit 1; }

# Every time limit here is multiplied by QV_TIME_SCALE (default 1): under
# an emulated 32-bit loader everything is slower. Limits only: nothing
# waits longer than its event needs.
E2E_SCALE=${QV_TIME_SCALE:-1}
[[ "$E2E_SCALE" =~ ^[1-9][0-9]*$ ]] || E2E_SCALE=1

# Fresh display, prefix and report server; torn down on exit.
e2e_up() {
  trap e2e_down EXIT
  qv_env_up
  E2E_SERVER_DIR="$QV_ENV_DIR/server"
  python3 "$E2E_ROOT/tools/report-server.py" start --dir "$E2E_SERVER_DIR" \
    --port "$QV_REPORT_PORT" --lifetime $((600 * E2E_SCALE)) >/dev/null
  E2E_SHOTS=${E2E_SHOTS:-$QV_ENV_DIR/shots}
  mkdir -p "$E2E_SHOTS"
  if [ -z "${DEMO_QVDAT:-}" ]; then
    "$E2E_ROOT/tools/build-qvdat.sh" "$QV_ENV_DIR/host" >/dev/null
    DEMO_QVDAT="$QV_ENV_DIR/host/qvdat"
  fi
}

e2e_down() {
  [ -n "${E2E_SERVER_DIR:-}" ] &&
    python3 "$E2E_ROOT/tools/report-server.py" stop --dir "$E2E_SERVER_DIR" >/dev/null 2>&1
  qv_env_down
}

# Starts the uninstaller from its folder, as the user would by double
# clicking it; E2E_PID is the Wine process, whose exit code is the program's.
e2e_start() {
  local exe=$1
  ( cd "$(dirname "$exe")" && exec "$E2E_ROOT/tools/wine" "$exe" ) \
    </dev/null >>"$QV_ENV_DIR/program.log" 2>&1 &
  E2E_PID=$!
  E2E_WID=$(qvwin.sh wait "$E2E_TITLE" $((90 * E2E_SCALE))) || e2e_fail "the window did not appear"
}

# Waits until the window stands still (the slide-in has ended).
e2e_settle() {
  local last="" now i
  for i in $(seq 1 $((60 * E2E_SCALE))); do
    now=$(qvwin.sh geometry "$E2E_WID" 2>/dev/null || true)
    [ -n "$now" ] && [ "$now" = "$last" ] && return 0
    last=$now
    sleep 0.25
  done
  e2e_fail "the window did not stand still within $((15 * E2E_SCALE)) s (last at: ${now:-nowhere})"
}

# Exit code of the program, or 124 after $1 seconds.
e2e_wait_exit() {
  local limit=$((${1:-60} * E2E_SCALE)) i
  for i in $(seq 1 $((limit * 10))); do
    if ! kill -0 "$E2E_PID" 2>/dev/null; then
      wait "$E2E_PID"
      return $?
    fi
    sleep 0.1
  done
  kill "$E2E_PID" 2>/dev/null
  return 124
}

# The report types the server saw, in order, as "type value" lines.
e2e_reports() {
  python3 - "$E2E_SERVER_DIR/report-server.log" <<'PY'
import json, sys, urllib.parse
try:
    lines = open(sys.argv[1], encoding="ascii").read().splitlines()
except OSError:
    lines = []
for line in lines:
    target = json.loads(line).get("target")
    if not target:
        continue
    url = urllib.parse.urlsplit(target)
    query = urllib.parse.parse_qs(url.query)
    print(url.path, query.get("type", [""])[0], query.get("value", [""])[0])
PY
}

# Screenshots of the window into OUT until its region GEOM (WxH+X+Y) is
# "changed" from, or the "same" as, what REF shows there; fails saying WHAT
# after 10 s (times QV_TIME_SCALE).
e2e_shot_until() {
  local how=$1 ref=$2 geom=$3 out=$4 what=$5 same
  for _ in $(seq 1 $((50 * E2E_SCALE))); do
    qvwin.sh shot "$out" "$E2E_WID"
    same=changed
    cmp -s <(convert "$ref" -crop "$geom" +repage rgb:-) <(convert "$out" -crop "$geom" +repage rgb:-) &&
      same=same
    [ "$same" = "$how" ] && return 0
    sleep 0.2
  done
  e2e_fail "$what"
}

# Dark pixels (luminance < 128) of a region of a PNG.
e2e_dark_pixels() {
  local file=$1 geom=$2
  convert "$file" -crop "$geom" +repage -colorspace Gray -threshold 50% -format '%[fx:w*h*(1-mean)]' info: |
    cut -d. -f1
}

# One pixel's colour as "R G B".
e2e_pixel() {
  convert "$1" -format "%[fx:int(255*p{$2,$3}.r)] %[fx:int(255*p{$2,$3}.g)] %[fx:int(255*p{$2,$3}.b)]" info:
}

# Mean x of the eraser's blue pixels in a screenshot of the window (the
# card's small blue mark, left of x 55, is not counted); -1 when none.
e2e_eraser_x() {
  local crop=${2:-395x230+55+0}
  local left=${crop#*+}; left=${left%%+*}
  convert "$1" -crop "$crop" +repage txt:- 2>/dev/null | python3 -c '
import re, sys
left = int(sys.argv[1])
xs = []
for line in sys.stdin:
    m = re.match(r"(\d+),(\d+): \((\d+),(\d+),(\d+)", line)
    if m:
        x, y, r, g, b = map(int, m.groups())
        if b > 150 and b > r + 70 and b > g + 20:
            xs.append(x + left)
print(sum(xs) // len(xs) if len(xs) > 200 else -1)' "$left"
}

# The last frame of a film that still shows the window's card.
e2e_last_frame() {
  local prefix=$1 n f
  for n in $(seq $((E2E_FRAMES - 1)) -1 0); do
    f="$E2E_SHOTS/$prefix-$(printf %03d $n).png"
    read -r r g b < <(e2e_pixel "$f" 200 205)
    [ $((r + g + b)) -gt 600 ] && { echo "$f"; return 0; }
  done
  return 1
}

# Clicks the question's buttons ("卸 载" at 255,148 and "取 消" at 325,148,
# both 68 x 29) in their middle.
e2e_click_uninstall() { qvwin.sh click "$E2E_WID" 289 162; }
e2e_click_cancel() { qvwin.sh click "$E2E_WID" 359 162; }

# Screenshots of the window as fast as the X server gives them (xwd, about
# 20 ms each; ImageMagick's import is ten times slower and misses the short
# last steps of the animation) until the program ends:
# $E2E_SHOTS/PREFIX-NNN.png; sets E2E_FRAMES.
e2e_film() {
  local prefix=${1:-frame} i=0 n
  local raw="$QV_ENV_DIR/film"
  mkdir -p "$raw"
  while kill -0 "$E2E_PID" 2>/dev/null && [ $i -lt $((600 * E2E_SCALE)) ]; do
    xwd -id "$E2E_WID" -silent >"$raw/$(printf %03d $i).xwd" 2>/dev/null || break
    i=$((i + 1))
    sleep 0.03
  done
  E2E_FRAMES=0
  for n in $(seq 0 $((i - 1))); do
    local f="$raw/$(printf %03d $n).xwd"
    [ -s "$f" ] || continue
    convert "xwd:$f" "$E2E_SHOTS/$prefix-$(printf %03d $E2E_FRAMES).png" 2>/dev/null || continue
    E2E_FRAMES=$((E2E_FRAMES + 1))
  done
  rm -rf "$raw"
}

