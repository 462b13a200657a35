#!/usr/bin/env bash
# The uninstaller as a screen reader meets it, from another process: the
# question, the hint under it and both buttons are there with their names,
# roles and states; pressing "取消" through its default action ends the
# program with nothing touched.
set -euo pipefail
bin=${1:?usage: e2e_access.sh BIN_DIR}
source "$(dirname "$0")/../tools/e2e-lib.sh"
e2e_up
demo_install "$bin" own
before=$(demo_remains)

e2e_start "$DEMO_INSTALL/qvUninstall.exe"
e2e_settle
read -r wx wy _ _ < <(qvwin.sh geometry "$E2E_WID")
out="$QV_ENV_DIR/probe.txt"
out_win=$("$E2E_ROOT/tools/wine" winepath -w "$out" 2>/dev/null | tr -d '\r')
"$E2E_ROOT/tools/wine" "$bin/qvprobe.exe" "$E2E_TITLE" "$out_win" 取消 </dev/null ||
  e2e_fail "the probe could not read the window (exit $?)"
# Fields: id, name, role, state (hex), value, place.
line() { awk -F '\t' -v n="$1" '$2 == n' "$out"; }
field() { line "$1" | cut -f "$2"; }
[ "$(field "$E2E_TITLE" 1)" = 0 ] || e2e_fail "the dialog is not named by its title:"$'\n'"$(cat "$out")"
[ "$(field "您确定要卸载$DEMO_PRODUCT?" 3)" = 41 ] || e2e_fail "the question is not read as text:"$'\n'"$(cat "$out")"
[ -n "$(line "卸载将删除本程序的文件、开始菜单项和桌面快捷方式。")" ] || e2e_fail "the hint is not read"
[ "$(field 卸载 3)" = 43 ] && [ "$(field 取消 3)" = 43 ] || e2e_fail "the buttons are not push buttons"
state=$((16#$(field 卸载 4)))
# Focusable, default (Enter), and holding the focus.
[ $((state & 0x100000)) -ne 0 ] && [ $((state & 0x100)) -ne 0 ] && [ $((state & 0x4)) -ne 0 ] ||
  e2e_fail "卸载 is not the focused default button (state $(field 卸载 4))"
# The place is the button's on the screen.
[ "$(field 取消 6)" = "$((wx + 325)),$((wy + 148)),68,29" ] || e2e_fail "取消 is placed at $(field 取消 6)"
grep -q "^pressed" "$out" || e2e_fail "取消 could not be pressed"

code=0; e2e_wait_exit 30 || code=$?
[ "$code" = 0 ] || e2e_fail "the program ended with exit code $code"
[ "$before" = "$(demo_remains)" ] || e2e_fail "pressing 取消 changed the product"
echo "e2e_access: $(($(wc -l <"$out") - 2)) children read from another process; 取消 pressed, nothing touched"
