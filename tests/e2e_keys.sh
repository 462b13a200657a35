#!/usr/bin/env bash
# The uninstaller with the keyboard alone, and closing it while it works:
# Escape cancels; Tab moves a visible focus to "取 消" and Space presses it;
# Enter uninstalls; Alt+F4 pressed over and over from Enter to the end
# never leaves the product half removed.
set -euo pipefail
bin=${1:?usage: e2e_keys.sh BIN_DIR}
source "$(dirname "$0")/../tools/e2e-lib.sh"
e2e_up
demo_install "$bin" own
before=$(demo_remains)

untouched() {
  code=0; e2e_wait_exit 30 || code=$?
  [ "$code" = 0 ] || e2e_fail "$1: the program ended with exit code $code"
  [ "$before" = "$(demo_remains)" ] || e2e_fail "$1: the product was changed"
}

# Escape: the question goes, nothing is touched.
e2e_start "$DEMO_INSTALL/qvUninstall.exe"
e2e_settle
qvwin.sh key "$E2E_WID" Escape
untouched "Escape"

# Tab: the focus mark moves from "卸 载" to "取 消"; Space presses it.
e2e_start "$DEMO_INSTALL/qvUninstall.exe"
e2e_settle
qvwin.sh shot "$E2E_SHOTS/keys-before.png" "$E2E_WID"
qvwin.sh key "$E2E_WID" Tab
marked=""
for _ in $(seq 1 $((40 * E2E_SCALE))); do
  qvwin.sh shot "$E2E_SHOTS/keys-tab.png" "$E2E_WID"
  # The dotted outline runs along the button's top edge, 3 pixels inside.
  dots=$(e2e_dark_pixels "$E2E_SHOTS/keys-tab.png" 62x1+328+151)
  [ "$dots" -gt 20 ] && { marked=1; break; }
  sleep 0.1
done
[ -n "$marked" ] || e2e_fail "Tab drew no focus mark on 取 消"
[ "$(e2e_dark_pixels "$E2E_SHOTS/keys-before.png" 62x1+328+151)" -lt 5 ] ||
  e2e_fail "a focus mark showed before any key was used"
qvwin.sh key "$E2E_WID" space
untouched "Tab, Space"

# Enter uninstalls; Alt+F4 all the way through changes nothing of that.
e2e_start "$DEMO_INSTALL/qvUninstall.exe"
e2e_settle
qvwin.sh key "$E2E_WID" Return
presses=0
while kill -0 "$E2E_PID" 2>/dev/null && [ "$presses" -lt $((600 * E2E_SCALE)) ]; do
  qvwin.sh key "$E2E_WID" alt+F4 >/dev/null 2>&1 || true
  presses=$((presses + 1))
done
code=0; e2e_wait_exit 60 || code=$?
[ "$code" = 0 ] || e2e_fail "Enter: the program ended with exit code $code"
demo_wait_gone
left=$(demo_remains)
[ -z "$left" ] || e2e_fail "after Enter and $presses Alt+F4, left behind:"$'\n'"$left"
echo "e2e_keys: Escape and Tab+Space cancel, Enter uninstalls; $presses Alt+F4 left nothing behind"
