#!/usr/bin/env bash
# A product file held open by a program that still runs: the uninstall
# names it in a notice, schedules it and its folders for removal at the
# next restart, and removes everything else, itself included.
set -euo pipefail
bin=${1:?usage: e2e_held.sh BIN_DIR}
source "$(dirname "$0")/../tools/e2e-lib.sh"
e2e_up
demo_install "$bin" own

held_win="$DEMO_INSTALL_WIN\\bin\\TaloViewer.exe"
stop="$QV_ENV_DIR/hold-stop"; ready="$QV_ENV_DIR/hold-ready"
stop_win=$("$E2E_ROOT/tools/wine" winepath -w "$stop" 2>/dev/null | tr -d '\r')
ready_win=$("$E2E_ROOT/tools/wine" winepath -w "$ready" 2>/dev/null | tr -d '\r')
"$E2E_ROOT/tools/wine" "$bin/qvhold.exe" "$held_win" "$stop_win" "$ready_win" \
  </dev/null >>"$QV_ENV_DIR/program.log" 2>&1 &
holder=$!
trap 'touch "$stop"; wait $holder 2>/dev/null || true; e2e_down' EXIT
for _ in $(seq 1 $((300 * E2E_SCALE))); do [ -e "$ready" ] && break; sleep 0.1; done
[ -e "$ready" ] || e2e_fail "the holder did not open the file"

e2e_start "$DEMO_INSTALL/qvUninstall.exe"
e2e_settle
e2e_click_uninstall
notice=$(qvwin.sh wait "部分文件未能删除" $((120 * E2E_SCALE))) || e2e_fail "no notice of the held file"
text=0
for _ in $(seq 1 $((50 * E2E_SCALE))); do
  qvwin.sh shot "$E2E_SHOTS/held.png" "$notice"
  text=$(e2e_dark_pixels "$E2E_SHOTS/held.png" 300x120+50+50)
  [ "$text" -gt 300 ] && break
  sleep 0.1
done
[ "$text" -gt 300 ] || e2e_fail "the notice shows no text ($text dark pixels)"

pending=$("$E2E_ROOT/tools/wine" reg query \
  "HKLM\\System\\CurrentControlSet\\Control\\Session Manager" /v PendingFileRenameOperations \
  </dev/null 2>/dev/null | iconv -f GBK -t UTF-8 2>/dev/null | tr -d '\r\000' || true)
echo "$pending" | grep -q "TaloViewer.exe" || e2e_fail "the held file is not scheduled for restart: $pending"
# The file, its folder "bin" and the installation folder: three names.
[ "$(echo "$pending" | grep -o '塔洛看图' | wc -l)" -ge 3 ] ||
  e2e_fail "its folders are not scheduled for restart: $pending"

qvwin.sh key "$notice" Return
code=0; e2e_wait_exit 60 || code=$?
[ "$code" = 0 ] || e2e_fail "the program ended with exit code $code"
# Everything but the held file, its folder and the installation folder goes.
expect=$(printf '%s\n' "in the installation folder: /bin" "in the installation folder: /bin/TaloViewer.exe" \
  "installation folder: $DEMO_INSTALL_WIN")
left=""
for _ in $(seq 1 $((100 * E2E_SCALE))); do
  left=$(demo_remains)
  [ "$left" = "$expect" ] && break
  sleep 0.3
done
[ "$left" = "$expect" ] || e2e_fail "left behind:"$'\n'"$left"
echo "e2e_held: held file named, scheduled for restart with its folders; the rest removed"
