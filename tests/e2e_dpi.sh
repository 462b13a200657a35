#!/usr/bin/env bash
# The uninstaller on screens of 120, 144 and 192 DPI: a window that much
# larger (675 x 345 at 150 %), centred, drawn at that size, answering the
# mouse where its buttons are drawn; at 150 % the whole uninstall runs.
set -euo pipefail
bin=${1:?usage: e2e_dpi.sh BIN_DIR}
source "$(dirname "$0")/../tools/e2e-lib.sh"
e2e_up
sw=${QV_SCREEN%%x*}; sh=${QV_SCREEN#*x}; sh=${sh%%x*}
scale() { echo $(( ($1 * $2 + 48) / 96 )); }  # as MulDiv rounds

for dpi in 120 192 144; do
  demo_install "$bin" own
  before=$(demo_remains)
  "$E2E_ROOT/tools/wine" reg add "HKCU\\Control Panel\\Desktop" /v LogPixels /t REG_DWORD \
    /d "$dpi" /f </dev/null >/dev/null 2>&1 || e2e_fail "could not set $dpi DPI"
  e2e_start "$DEMO_INSTALL/qvUninstall.exe"
  e2e_settle
  w=$(scale 450 $dpi); h=$(scale 230 $dpi)
  read -r x y gw gh < <(qvwin.sh geometry "$E2E_WID")
  [ "$gw.$gh" = "$w.$h" ] || e2e_fail "at $dpi DPI the window is ${gw}x$gh, not ${w}x$h"
  [ "$x.$y" = "$(((sw - w) / 2)).$(((sh - h) / 2))" ] || e2e_fail "at $dpi DPI the window is not centred"
  qvwin.sh shot "$E2E_SHOTS/question-$dpi.png" "$E2E_WID"
  # The question, drawn at the larger size, fills its larger box.
  text=$(e2e_dark_pixels "$E2E_SHOTS/question-$dpi.png" "$(scale 210 $dpi)x$(scale 30 $dpi)+$(scale 35 $dpi)+$(scale 146 $dpi)")
  [ "$text" -gt $((150 * dpi * dpi / 9216)) ] || e2e_fail "at $dpi DPI the question has $text dark pixels"
  if [ "$dpi" != 144 ]; then
    qvwin.sh click "$E2E_WID" "$(scale 359 $dpi)" "$(scale 162 $dpi)"  # 取 消, where it is drawn
    code=0; e2e_wait_exit 30 || code=$?
    [ "$code" = 0 ] || e2e_fail "at $dpi DPI 取 消 ended with exit code $code"
    [ "$before" = "$(demo_remains)" ] || e2e_fail "at $dpi DPI 取 消 changed the product"
    continue
  fi
  qvwin.sh click "$E2E_WID" "$(scale 289 $dpi)" "$(scale 162 $dpi)"  # 卸 载
  e2e_film progress
  code=0; e2e_wait_exit 60 || code=$?
  [ "$code" = 0 ] || e2e_fail "at $dpi DPI the uninstall ended with exit code $code"
  [ "$E2E_FRAMES" -ge 3 ] || e2e_fail "at $dpi DPI only $E2E_FRAMES frames of progress were seen"
  last=$(e2e_last_frame progress) || e2e_fail "no frame shows the window"
  ex=$(e2e_eraser_x "$last" "$(scale 395 $dpi)x$h+$(scale 55 $dpi)+0")
  [ "$ex" -ge "$(scale 300 $dpi)" ] || e2e_fail "at $dpi DPI the eraser ends at x $ex"
  cp "$E2E_SHOTS/progress-$(printf %03d $((E2E_FRAMES / 2))).png" "$E2E_SHOTS/progress-$dpi.png"
  demo_wait_gone
  left=$(demo_remains)
  [ -z "$left" ] || e2e_fail "at $dpi DPI, left behind:"$'\n'"$left"
done
echo "e2e_dpi: 120, 144 and 192 DPI sized, centred and hit where drawn; uninstalled at 144"
