#!/usr/bin/env bash
# The main job: builds the uninstaller and runs it under Wine on Xvfb,
# saving screenshots to out/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/install-deps.sh"
arch=$("$root/tools/arch.sh")
bin=$("$root/tools/build.sh" "$arch" qvUninstall)
out="$root/out"
mkdir -p "$out"

source "$root/tools/qvenv.sh"
trap qv_env_down EXIT
qv_env_up
title="塔洛软件-卸载程序"
qvwin.sh start "$bin/qvUninstall.exe" >/dev/null
wid=$(qvwin.sh wait "$title" 60)
sleep 1.5  # let the slide-in finish
read -r x y w h < <(qvwin.sh geometry "$wid")
qvwin.sh shot "$out/screen.png"
qvwin.sh shot "$out/window.png" "$wid"
echo "Window \"$title\": ${w}x${h} at ($x,$y) on a ${QV_SCREEN%x*} screen"
echo "Screenshots: $out/screen.png, $out/window.png"
xdotool windowclose "$wid" 2>/dev/null || true
