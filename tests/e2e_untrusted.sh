#!/usr/bin/env bash
# The data file of a product installed where others may write is not
# obeyed: someone could have rewritten it to name another vendor's folder.
# The uninstaller says so in its skinned notice, changes nothing, removes
# not even itself, and ends with exit code 1. (The folder is made o+w on
# the host, which Wine shows as a write entry for everyone.)
set -euo pipefail
bin=${1:?usage: e2e_untrusted.sh BIN_DIR}
source "$(dirname "$0")/../tools/e2e-lib.sh"
e2e_up
demo_install "$bin" own
victim_win='C:\Program Files\Other Vendor'
victim=$(demo_unix "$victim_win")
mkdir -p "$victim"
echo keep >"$victim/important.dll"
{
  echo "product    = $DEMO_PRODUCT"
  echo "regkey     = $DEMO_REGKEY"
  echo "startmenu  = $DEMO_STARTMENU"
  echo "installdir = $victim_win"
} >"$QV_ENV_DIR/hostile.manifest"
"$DEMO_QVDAT" write "$QV_ENV_DIR/hostile.manifest" "$DEMO_INSTALL/qvUninstall.dat"
chmod o+w "$DEMO_INSTALL"
before=$(demo_remains)

e2e_start "$DEMO_INSTALL/qvUninstall.exe"
e2e_settle
qvwin.sh shot "$E2E_SHOTS/untrusted.png" "$E2E_WID"
read -r _ _ w h < <(qvwin.sh geometry "$E2E_WID")
[ "$w" = 380 ] && [ "$h" = 200 ] || e2e_fail "not the notice: a window of ${w}x$h"
# The text is there: dark pixels in its box.
[ "$(e2e_dark_pixels "$E2E_SHOTS/untrusted.png" 320x50+50+50)" -gt 100 ] ||
  e2e_fail "the notice has no text"
qvwin.sh click "$E2E_WID" 190 182   # 确定
code=0; e2e_wait_exit 30 || code=$?
[ "$code" = 1 ] || e2e_fail "the program ended with exit code $code, not 1"
sleep 1  # a batch, had one been started, would be at work by now
after=$(demo_remains)
[ "$before" = "$after" ] || e2e_fail "the product changed:"$'\n'"$(diff <(echo "$before") <(echo "$after") || true)"
[ "$(cat "$victim/important.dll")" = keep ] || e2e_fail "the other vendor's file is gone"
[ -f "$DEMO_INSTALL/qvUninstall.exe" ] || e2e_fail "the uninstaller removed itself"
[ -z "$(demo_batches)" ] || e2e_fail "a batch was written: $(demo_batches)"
e2e_reports | grep -q "uninstall" && e2e_fail "an uninstall was reported"
echo "e2e_untrusted: the notice, exit code 1, nothing changed"
