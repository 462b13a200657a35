#!/usr/bin/env bash
# Without a usable data file the uninstaller names no product: it says that
# the product is gone (no data file) or that its data is damaged, and that
# only the uninstaller will go; it runs its animation to the end and
# removes only itself: once with no data file,
# once with a monstrous one (1.5 GB, sparse, announcing INT_MAX records),
# which it takes for damaged without reading it.
set -euo pipefail
bin=${1:?usage: e2e_nodata.sh BIN_DIR}
source "$(dirname "$0")/../tools/e2e-lib.sh"
e2e_up

run_case() {
  local what=$1
  demo_install "$bin" own
  if [ "$what" = missing ]; then
    rm "$DEMO_INSTALL/qvUninstall.dat"
  else
    printf '\xff\xff\xff\x7f' | dd of="$DEMO_INSTALL/qvUninstall.dat" bs=1 seek=760 conv=notrunc status=none
    truncate -s 1536M "$DEMO_INSTALL/qvUninstall.dat"
  fi
  local t0 t1
  t0=$(date +%s%N)
  e2e_start "$DEMO_INSTALL/qvUninstall.exe"
  t1=$(date +%s%N)
  e2e_settle
  qvwin.sh shot "$E2E_SHOTS/question-$what.png" "$E2E_WID"
  # Not the nameless "您确定要卸载?", which ends before x 155: the
  # longer sentence that says what is wrong runs on to the buttons.
  right=$(e2e_dark_pixels "$E2E_SHOTS/question-$what.png" 90x30+155+146)
  [ "$right" -gt 20 ] || e2e_fail "$what: the question does not say what is wrong"
  e2e_click_uninstall
  code=0; e2e_wait_exit 60 || code=$?
  [ "$code" = 0 ] || e2e_fail "$what: the program ended with exit code $code"
  for _ in $(seq 1 $((100 * E2E_SCALE))); do
    [ ! -e "$DEMO_INSTALL/qvUninstall.exe" ] && [ -z "$(demo_batches)" ] && break
    sleep 0.3
  done
  [ ! -e "$DEMO_INSTALL/qvUninstall.exe" ] || e2e_fail "$what: the uninstaller did not remove itself"
  [ -z "$(demo_batches)" ] || e2e_fail "$what: the batch was left behind: $(demo_batches)"
  # Nothing else: without the data file it knows of no product.
  [ -f "$DEMO_INSTALL/bin/TaloViewer.exe" ] || e2e_fail "$what: the product's files were deleted"
  [ -e "$DEMO_MENU" ] && [ -e "$DEMO_LINK" ] || e2e_fail "$what: the shortcuts were deleted"
  demo_reg query "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$DEMO_REGKEY" ||
    e2e_fail "$what: the uninstall key was deleted"
  echo "e2e_nodata ($what): removed only itself, exit code 0, window after $(( (t1 - t0) / 1000000 )) ms"
  rm -rf "$DEMO_INSTALL"
}

run_case missing
run_case monstrous
# Two different sentences for the two cases.
for what in missing monstrous; do
  convert "$E2E_SHOTS/question-$what.png" -crop 210x30+35+146 +repage "$QV_ENV_DIR/q-$what.png"
done
differ=$(compare -metric AE "$QV_ENV_DIR/q-missing.png" "$QV_ENV_DIR/q-monstrous.png" null: 2>&1 || true)
[ "${differ%% *}" != 0 ] || e2e_fail "a missing and a damaged data file are told alike"
