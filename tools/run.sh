#!/usr/bin/env bash
# The main job: installs a sample product ("塔洛看图") into a private Wine
# prefix, with its uninstaller and a data file made by qvdat, starts a local
# report server and runs the uninstaller.
#
#   tools/run.sh [own|list]
#
# own  (default) the data file names the installation folder;
# list           it lists the product's files and folders one by one.
#
# With a desktop (DISPLAY set) the uninstaller opens there and you answer
# it. Without one it runs on Xvfb, clicks "卸 载" itself and saves
# screenshots of the question, of the progress and of the end in out/.
# Either way it then says what is left of the product (nothing, if all
# went well) and which reports the server received.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:-own}
case "$mode" in own|list) ;; *) echo "usage: $0 [own|list]" >&2; exit 2 ;; esac
source "$root/tools/wine-probe.sh"
qv_install_deps
# The demo shows the program that ships wherever 32-bit programs run at
# all, emulated too (QEMU 10 starts them about as fast as natively).
if [ -z "${QV_ARCH:-}" ] && qv_wine32_runs; then arch=i686; else arch=$("$root/tools/arch.sh"); fi
if [ "$(qv_wine32_mode)" = emulated ] && [ "$arch" = i686 ]; then
  export QV_TIME_SCALE=${QV_TIME_SCALE:-4}
fi
bin=$("$root/tools/build.sh" "$arch" qvUninstall)
"$root/tools/build-qvdat.sh" "$root/build-host" >/dev/null
DEMO_QVDAT="$root/build-host/qvdat"
out="$root/out"
mkdir -p "$out"
rm -f "$out"/*.png

interactive=""
if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ] && xdpyinfo >/dev/null 2>&1; then
  interactive=1
  export QV_KEEP_DISPLAY=1
fi

source "$root/tools/e2e-lib.sh"
E2E_SHOTS="$out"
e2e_up
demo_install "$bin" "$mode"
echo "Installed the sample product \"$DEMO_PRODUCT\" ($arch build, $mode mode):"
echo "  $DEMO_INSTALL_WIN  ($(find "$DEMO_INSTALL" -type f | wc -l) files), Start-menu folder, desktop shortcut, uninstall key"

e2e_start "$DEMO_INSTALL/qvUninstall.exe"
if [ -n "$interactive" ]; then
  echo "The uninstaller is open on your display: answer it."
  code=0; e2e_wait_exit 3600 || code=$?
else
  e2e_settle
  qvwin.sh shot "$out/question.png" "$E2E_WID"
  e2e_click_uninstall
  e2e_film frame
  code=0; e2e_wait_exit 60 || code=$?
  # Three moments of the progress, and the end.
  last=$(e2e_last_frame frame || true)
  n=$E2E_FRAMES
  for pick in 0 $((n / 3)) $((2 * n / 3)); do
    cp "$out/frame-$(printf %03d $pick).png" "$out/progress-$pick.png" 2>/dev/null || true
  done
  [ -n "$last" ] && cp "$last" "$out/end.png"
  rm -f "$out"/frame-*.png
fi
echo "The uninstaller ended with exit code $code."

# The batch file finishes the job after the program has gone.
demo_wait_gone
left=$(demo_remains)
if [ -z "$left" ]; then
  echo "Left of the product: nothing."
else
  echo "Left of the product:"; echo "$left" | sed 's/^/  /'
fi
echo "Reports received by the server (page, type, value):"
e2e_reports | sed 's/^/  /'
[ -z "$interactive" ] && echo "Screenshots: $(ls "$out"/*.png | tr '\n' ' ')"
case "$(qv_wine32_mode)" in
  none) qv_say_not_run32 ;;
  emulated) [ "$arch" = i686 ] && echo "NOTE: 32-bit programs run emulated here (QEMU); this was the shipped i686 build." ||
    echo "NOTE: this was the x86_64 build (QV_ARCH=$arch); without QV_ARCH the shipped i686 one runs, emulated." ;;
esac
true
