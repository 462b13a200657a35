#!/usr/bin/env bash
# Without its data file the uninstaller asks about no product, runs its
# animation to the end and removes only itself.
set -euo pipefail
bin=${1:?usage: e2e_nodata.sh BIN_DIR}
source "$(dirname "$0")/../tools/e2e-lib.sh"
e2e_up
demo_install "$bin" own
rm "$DEMO_INSTALL/qvUninstall.dat"

e2e_start "$DEMO_INSTALL/qvUninstall.exe"
e2e_settle
qvwin.sh shot "$E2E_SHOTS/question.png" "$E2E_WID"
right=$(e2e_dark_pixels "$E2E_SHOTS/question.png" 90x30+155+146)
[ "$right" -lt 20 ] || e2e_fail "the question names a product it cannot know"
e2e_click_uninstall
code=0; e2e_wait_exit 60 || code=$?
[ "$code" = 0 ] || e2e_fail "the program ended with exit code $code"
for _ in $(seq 1 100); do
  [ ! -e "$DEMO_INSTALL/qvUninstall.exe" ] && [ -z "$(demo_batches)" ] && break
  sleep 0.3
done
[ ! -e "$DEMO_INSTALL/qvUninstall.exe" ] || e2e_fail "the uninstaller did not remove itself"
[ -z "$(demo_batches)" ] || e2e_fail "the batch was left behind: $(demo_batches)"
# Nothing else: without the data file it knows of no product.
[ -f "$DEMO_INSTALL/bin/TaloViewer.exe" ] || e2e_fail "the product's files were deleted"
[ -e "$DEMO_MENU" ] && [ -e "$DEMO_LINK" ] || e2e_fail "the shortcuts were deleted"
demo_reg query "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$DEMO_REGKEY" ||
  e2e_fail "the uninstall key was deleted"
echo "e2e_nodata: removed only itself, exit code 0"
