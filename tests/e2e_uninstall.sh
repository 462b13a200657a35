#!/usr/bin/env bash
# The whole uninstall as the user sees it: the question, a click on
# "卸 载", the eraser animation, the product gone, the program gone.
set -euo pipefail
bin=${1:?usage: e2e_uninstall.sh BIN_DIR}
source "$(dirname "$0")/../tools/e2e-lib.sh"
e2e_up
demo_install "$bin" "${E2E_MODE:-own}"
before=$(demo_remains | wc -l)
[ "$before" -gt 10 ] || e2e_fail "the sample product was not installed"

e2e_start "$DEMO_INSTALL/qvUninstall.exe"
e2e_settle
read -r x y w h < <(qvwin.sh geometry "$E2E_WID")
[ "$w.$h" = "450.230" ] || e2e_fail "window is ${w}x${h}, not 450x230"
sw=${QV_SCREEN%%x*}; sh=${QV_SCREEN#*x}; sh=${sh%%x*}
[ "$x.$y" = "$(((sw - 450) / 2)).$(((sh - 230) / 2))" ] || e2e_fail "window at $x,$y is not centred"

qvwin.sh shot "$E2E_SHOTS/question.png" "$E2E_WID"
text=$(e2e_dark_pixels "$E2E_SHOTS/question.png" 210x30+35+146)
[ "$text" -gt 150 ] || e2e_fail "the question is not drawn ($text dark pixels)"
# "您确定要卸载?" alone is 7 characters; with the product's name it is wider.
right=$(e2e_dark_pixels "$E2E_SHOTS/question.png" 90x30+155+146)
[ "$right" -gt 20 ] || e2e_fail "the question does not name the product"

e2e_click_uninstall
e2e_film progress
code=0; e2e_wait_exit 60 || code=$?
[ "$code" = 0 ] || e2e_fail "the program ended with exit code $code"
[ "$E2E_FRAMES" -ge 3 ] || e2e_fail "only $E2E_FRAMES frames of progress were seen"

first="$E2E_SHOTS/progress-000.png"
last=$(e2e_last_frame progress) || e2e_fail "no frame shows the window"
# The buttons are gone once the progress shows.
buttons=$(e2e_dark_pixels "$first" 28x18+362+153)
[ "$buttons" -lt 5 ] || e2e_fail "the buttons are still drawn during the progress"
# At 0 % the eraser stands at the left with the whole ink strip beside it;
# at 100 % it stands at the right and the strip is rubbed out.
ex0=$(e2e_eraser_x "$first"); ex1=$(e2e_eraser_x "$last")
[ "$ex0" -ge 60 ] && [ "$ex0" -lt 200 ] || e2e_fail "eraser at x $ex0 at the start"
[ "$ex1" -ge 300 ] || e2e_fail "eraser at x $ex1 at the end"
ink0=$(e2e_dark_pixels "$first" 80x20+260+151)
ink1=$(e2e_dark_pixels "$last" 200x20+80+151)
[ "$ink0" -gt 200 ] || e2e_fail "no ink strip at the start ($ink0)"
[ "$ink1" -lt 40 ] || e2e_fail "ink left at the end ($ink1)"

# The batch ends the program's copies, deletes it and its folder, and itself.
demo_wait_gone
left=$(demo_remains)
[ -z "$left" ] || e2e_fail "left behind:"$'\n'"$left"

reports=$(e2e_reports)
echo "$reports" | head -n 1 | grep -q "^/report.asp open Talo_Uninstall$" ||
  e2e_fail "the first report is not \"open\": $reports"
echo "$reports" | grep -q "^/report.asp uninstall $DEMO_PRODUCT$" ||
  e2e_fail "no \"uninstall\" report naming the product: $reports"
echo "e2e_uninstall: $E2E_FRAMES frames, eraser x $ex0 -> $ex1, exit code 0, nothing left"
