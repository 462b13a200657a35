#!/usr/bin/env bash
# A crash in a program on the framework (qvcrash.exe, which installs the
# crash handler as the uninstaller does): on the user-interface thread, on a
# worker, by stack overflow, on three threads at once, in a folder without
# write rights, and by an exception raised rather than a fault. Each must
# give one crash report, one valid minidump beside the program (none in the
# read-only folder), one notice whose OK button counts down on screen, and
# the end of the process without a click.
#   E2E_SHOTS=DIR keeps the screenshots there.
set -euo pipefail
bin=${1:?usage: e2e_crash.sh BIN_DIR}
source "$(dirname "$0")/../tools/e2e-lib.sh"
CRASH_TITLE="塔洛软件-崩溃测试"
[ -f "$bin/qvcrash.exe" ] || e2e_fail "$bin/qvcrash.exe is missing"

# A server of our own on free ports: the demo's fixed port may be taken by
# another run on this machine.
crash_down() {
  [ -n "${CRASH_RO:-}" ] && { chattr -i "$CRASH_RO" 2>/dev/null || true; chmod 755 "$CRASH_RO" 2>/dev/null || true; }
  [ -n "${E2E_SERVER_DIR:-}" ] &&
    python3 "$E2E_ROOT/tools/report-server.py" stop --dir "$E2E_SERVER_DIR" >/dev/null 2>&1
  qv_env_down
}
trap crash_down EXIT
qv_env_up
E2E_SERVER_DIR="$QV_ENV_DIR/server"
python3 "$E2E_ROOT/tools/report-server.py" start --dir "$E2E_SERVER_DIR" --lifetime $((900 * E2E_SCALE)) >/dev/null
PORT=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["ports"]["normal"])' \
  "$E2E_SERVER_DIR/report-server.json")
E2E_SHOTS=${E2E_SHOTS:-$QV_ENV_DIR/shots}
mkdir -p "$E2E_SHOTS"

winpath() { echo "Z:${1//\//\\}"; }

# The OK button as the notice draws it for each caption.
REFS="$QV_ENV_DIR/refs"
mkdir -p "$REFS"
"$E2E_ROOT/tools/wine" "$bin/qvcrash.exe" refs "$(winpath "$REFS")" </dev/null >>"$QV_ENV_DIR/program.log" 2>&1 ||
  e2e_fail "qvcrash could not draw the reference buttons"

# Ids of the visible windows titled like the program with the notice's size.
notices() {
  local wid
  for wid in $(xdotool search --onlyvisible --name "^$CRASH_TITLE\$" 2>/dev/null || true); do
    read -r _ _ w h < <(qvwin.sh geometry "$wid" 2>/dev/null || echo "0 0 0 0")
    if [ "$w" = 300 ] && [ "$h" = 200 ]; then echo "$wid"; fi
  done
}

# Screenshots of the notice as fast as xwd takes them, until the program
# ends: CRASH_FILM holds them (xwd), every tenth is kept as
# $E2E_SHOTS/PREFIX-NNN.png. CRASH_END is when the program ended,
# CRASH_NOTICES the most notices seen at once meanwhile.
film_notice() {
  local prefix=$1 i=0 n f
  CRASH_FILM="$QV_ENV_DIR/film-$1"
  mkdir -p "$CRASH_FILM"
  CRASH_NOTICES=0
  while kill -0 "$E2E_PID" 2>/dev/null && [ $i -lt $((1500 * E2E_SCALE)) ]; do
    xwd -id "$E2E_WID" -silent >"$CRASH_FILM/$(printf %04d $i).xwd" 2>/dev/null || true
    if [ $((i % 25)) = 5 ]; then
      n=$(notices | wc -l)
      [ "$n" -gt "$CRASH_NOTICES" ] && CRASH_NOTICES=$n
    fi
    i=$((i + 1))
    sleep 0.01
  done
  CRASH_END=$(date +%s.%N)
  for f in "$CRASH_FILM"/*0.xwd; do
    [ -s "$f" ] && convert "xwd:$f" "$E2E_SHOTS/$prefix-$(basename "$f" .xwd).png" 2>/dev/null || true
  done
}

# The captions of the OK button in the film, in order, without repeats:
# "ok" for the plain caption, "ok4" ... "ok0" for the count-down.
captions() {
  local f
  for f in "$CRASH_FILM"/*.xwd; do
    [ -s "$f" ] && convert "xwd:$f" -crop 64x19+118+173 +repage -depth 8 rgb:- 2>/dev/null | base64 -w0
    echo
  done | python3 -c '
import base64, subprocess, sys
refs = {}
for name in ("ok", "ok4", "ok3", "ok2", "ok1", "ok0"):
    raw = subprocess.run(["convert", sys.argv[1] + "/" + name + ".png", "-crop", "64x19+3+3",
                          "+repage", "-depth", "8", "rgb:-"], capture_output=True).stdout
    refs[name] = raw
seen = []
for line in sys.stdin:
    frame = base64.b64decode(line.strip() or "")
    if len(frame) != 64 * 19 * 3:
        continue
    for name, ref in refs.items():
        diff = sum(1 for i in range(0, len(ref), 3) if frame[i:i + 3] != ref[i:i + 3])
        if diff <= 3 and (not seen or seen[-1] != name):
            seen.append(name)
print(" ".join(seen))' "$REFS"
}

# Checks the minidump: "MDMP", an exception stream whose thread is one of
# those the program wrote down and is in the thread list, and the code.
check_dump() {
  python3 - "$@" <<'PY'
import struct, sys
path, tids, code = sys.argv[1], sys.argv[2], int(sys.argv[3], 16)
data = open(path, "rb").read()
if data[:4] != b"MDMP":
    sys.exit("not a minidump")
count, rva = struct.unpack_from("<II", data, 8)
streams = {}
for i in range(count):
    kind, size, at = struct.unpack_from("<III", data, rva + 12 * i)
    streams[kind] = (size, at)
if 6 not in streams or 3 not in streams:
    sys.exit("no exception or thread list stream")
thread, = struct.unpack_from("<I", data, streams[6][1])
got, = struct.unpack_from("<I", data, streams[6][1] + 8)
threads = [struct.unpack_from("<I", data, streams[3][1] + 4 + 48 * i)[0]
           for i in range(struct.unpack_from("<I", data, streams[3][1])[0])]
wanted = [int(t) for t in open(tids).read().split()] if tids != "-" else [thread]
if thread not in wanted:
    sys.exit(f"exception on thread {thread}, not one of the faulting threads {wanted}")
if thread not in threads:
    sys.exit(f"thread {thread} missing from the thread list {threads}")
if got != code:
    sys.exit(f"exception code {got:#x}, expected {code:#x}")
PY
}

# The crash reports that arrived after line $1 of the server's log.
crash_reports() {
  tail -n +"$(($1 + 1))" "$E2E_SERVER_DIR/report-server.log" 2>/dev/null | python3 -c '
import json, sys, urllib.parse
for line in sys.stdin:
    target = json.loads(line).get("target") or ""
    url = urllib.parse.urlsplit(target)
    q = urllib.parse.parse_qs(url.query, keep_blank_values=True)
    print(url.path, q.get("type", ["?"])[0], "value=" + q.get("value", ["?"])[0],
          "uuid=" + q.get("uuid", [""])[0], "sign=" + q.get("sign", [""])[0])'
}

# run_case NAME MODE CODE [readonly]
run_case() {
  local name=$1 mode=$2 code=$3 readonly=${4:-} dir="$QV_ENV_DIR/$1" before t0 exit_code limit=""
  mkdir -p "$dir"
  cp "$bin/qvcrash.exe" "$dir/"
  if [ -n "$readonly" ]; then
    CRASH_RO=$dir
    chmod 555 "$dir"
    # root writes anywhere whatever the mode bits say; an immutable folder
    # it cannot write either.
    if touch "$dir/.probe" 2>/dev/null; then rm -f "$dir/.probe"; chattr +i "$dir" 2>/dev/null || true; fi
    if touch "$dir/.probe" 2>/dev/null; then
      # No immutable folders here (the file system or the sandbox refuses
      # them): a file-size limit of 0 makes every write fail instead.
      rm -f "$dir/.probe"
      limit=1
    fi
  fi
  before=$(wc -l <"$E2E_SERVER_DIR/report-server.log" 2>/dev/null || echo 0)
  ( cd "$dir" && { [ -z "$limit" ] || { trap '' XFSZ && ulimit -f 0; }; } &&
    exec "$E2E_ROOT/tools/wine" "$dir/qvcrash.exe" "$mode" "127.0.0.1:$PORT" ) \
    </dev/null >>"$QV_ENV_DIR/program.log" 2>&1 &
  E2E_PID=$!
  E2E_WID=""
  for _ in $(seq 1 $((600 * E2E_SCALE))); do
    E2E_WID=$(notices | head -n 1)
    [ -n "$E2E_WID" ] && break
    kill -0 "$E2E_PID" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$E2E_WID" ] || e2e_fail "$name: no notice appeared"
  t0=$(date +%s.%N)
  film_notice "$name"
  exit_code=0; e2e_wait_exit 60 || exit_code=$?
  [ "$exit_code" != 124 ] || e2e_fail "$name: the process did not end"
  [ "$CRASH_NOTICES" = 1 ] || e2e_fail "$name: $CRASH_NOTICES notices at once"
  # The exit code is the exception code; the shell keeps its low byte.
  [ "$exit_code" = $((code & 0xFF)) ] || e2e_fail "$name: exit code $exit_code"

  local seen
  seen=$(captions)
  echo "$name: OK button showed: $seen; ended $(printf %.1f "$(echo "$CRASH_END - $t0" | bc)") s after the notice appeared"
  echo " $seen " | grep -q " ok4 ok3 ok2 ok1 " || e2e_fail "$name: the count-down 4 3 2 1 was not on screen ($seen)"

  local dumps
  dumps=$(find "$dir" -maxdepth 1 -name 'qvcrash.exe_*.dmp' | wc -l)
  if [ -n "$readonly" ]; then
    [ "$dumps" = 0 ] || e2e_fail "$name: a dump appeared in the read-only folder"
  else
    [ "$dumps" = 1 ] || e2e_fail "$name: $dumps dumps"
    local dump
    dump=$(find "$dir" -maxdepth 1 -name 'qvcrash.exe_*.dmp')
    [[ "$(basename "$dump")" =~ ^qvcrash\.exe_-?[0-9]+\.dmp$ ]] || e2e_fail "$name: dump named $(basename "$dump")"
    check_dump "$dump" "$dir/qvcrash.exe.tid" "$code" || e2e_fail "$name: bad dump"
  fi

  local reports
  reports=$(crash_reports "$before")
  [ "$(echo "$reports" | grep -c '^/api.ashx ')" = 1 ] || e2e_fail "$name: crash reports: $reports"
  echo "$reports" | grep -Eq '^/api.ashx tl_uninstall_dump value= uuid=[A-Za-z0-9]+ sign=-?[0-9]+$' ||
    e2e_fail "$name: report $reports"
  echo "$reports" | grep -qv '^/api.ashx ' && e2e_fail "$name: other requests: $reports"
  true
}

# E2E_CRASH_CASES picks cases by name (the emulated 32-bit set takes only
# "raise": QEMU hands Wine every fault as an unknown trap, docs/testing.md).
cases=${E2E_CRASH_CASES:-ui worker overflow together readonly raise}
ran=0
want() { [[ " $cases " == *" $1 "* ]] && ran=$((ran + 1)); }
if want ui; then run_case ui ui 0xC0000005; fi
if want worker; then run_case worker worker 0xC0000005; fi
if want overflow; then run_case overflow overflow 0xC00000FD; fi
if want together; then run_case together together 0xC0000005; fi
if want readonly; then run_case readonly ui 0xC0000005 readonly; fi
if want raise; then run_case raise raise 0xE0514D31; fi
[ "$ran" -gt 0 ] || e2e_fail "no case named in E2E_CRASH_CASES=$cases"
echo "e2e_crash: $ran crashes ($cases), each with one report, one dump where it could be written, one notice counting down"
