#!/usr/bin/env bash
# "取 消" slides the question out to the left and ends the program;
# nothing of the product is touched.
set -euo pipefail
bin=${1:?usage: e2e_cancel.sh BIN_DIR}
source "$(dirname "$0")/../tools/e2e-lib.sh"
e2e_up
demo_install "$bin" own
before=$(demo_remains)

e2e_start "$DEMO_INSTALL/qvUninstall.exe"
e2e_settle
read -r x0 _ _ _ < <(qvwin.sh geometry "$E2E_WID")
e2e_click_cancel
# The slide-out moves the window left before it goes; hidden, it stays in
# its last place for a while (a hide takes about 2 s on Xvfb).
moved=""
for _ in $(seq 1 $((200 * E2E_SCALE))); do
  read -r x _ _ _ < <(qvwin.sh geometry "$E2E_WID" 2>/dev/null || echo "-99999 0 0 0")
  [ "$x" = -99999 ] && break
  [ "$x" -lt "$x0" ] && { moved=1; break; }
  sleep 0.05
done
[ -n "$moved" ] || e2e_fail "the window was not seen sliding out"
code=0; e2e_wait_exit 30 || code=$?
[ "$code" = 0 ] || e2e_fail "the program ended with exit code $code"
# Nothing is waited for: a self-delete batch, had one been started, is
# listed while it runs, and what it removed shows after.
after=$(demo_remains)
[ "$before" = "$after" ] || e2e_fail "cancel changed the product:"$'\n'"$(diff <(echo "$before") <(echo "$after") || true)"
[ -f "$DEMO_INSTALL/qvUninstall.exe" ] || e2e_fail "the uninstaller is gone"
e2e_reports | grep -q "^/report.asp uninstall" && e2e_fail "an uninstall was reported"
echo "e2e_cancel: exit code 0, product untouched"
