#!/usr/bin/env bash
# Drives a Windows program's window under Xvfb (inside tools/qvenv.sh):
#   qvwin.sh start EXE [ARGS...]      start EXE under Wine in the background; prints its pid
#   qvwin.sh wait TITLE [SECONDS]     wait until a window with that title is mapped; prints its id
#   qvwin.sh gone TITLE [SECONDS]     wait until no window with that title is mapped
#   qvwin.sh geometry WID             prints "X Y WIDTH HEIGHT" of the window on the screen
#   qvwin.sh shot FILE [WID]          screenshot of the screen, or cropped to the window
#   qvwin.sh click WID X Y            left click at window coordinates (real XTEST events)
#   qvwin.sh move WID X Y             move the pointer to window coordinates
#   qvwin.sh key WID KEY...           give the window the keyboard focus and type keys
#                                     (xdotool names: Escape, Return, Tab, space, alt+F4)
set -euo pipefail
tools=$(cd "$(dirname "$0")" && pwd)
cmd=${1:?usage: see the comment at the top of qvwin.sh}; shift

find_window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true; }

geometry() {
  local out x y w h
  out=$(xdotool getwindowgeometry --shell "$1")
  x=$(echo "$out" | sed -n 's/^X=//p'); y=$(echo "$out" | sed -n 's/^Y=//p')
  w=$(echo "$out" | sed -n 's/^WIDTH=//p'); h=$(echo "$out" | sed -n 's/^HEIGHT=//p')
  echo "$x $y $w $h"
}

case "$cmd" in
  start)
    exe=${1:?exe}; shift
    "$tools/wine" "$exe" "$@" </dev/null >>"${QV_ENV_DIR:-/tmp}/program.log" 2>&1 &
    echo $!
    ;;
  wait)
    title=${1:?title}; limit=${2:-30}
    for _ in $(seq 1 $((limit * 10))); do
      wid=$(find_window "$title")
      if [ -n "$wid" ]; then echo "$wid"; exit 0; fi
      sleep 0.1
    done
    echo "qvwin: no window titled '$title' after ${limit}s" >&2; exit 1
    ;;
  gone)
    title=${1:?title}; limit=${2:-30}
    for _ in $(seq 1 $((limit * 10))); do
      [ -z "$(find_window "$title")" ] && exit 0
      sleep 0.1
    done
    echo "qvwin: window '$title' still there after ${limit}s" >&2; exit 1
    ;;
  geometry) geometry "${1:?wid}" ;;
  key)
    wid=${1:?wid}; shift
    # Real XTEST key events go to the X focus: no window manager runs to
    # hand it over, so it is set directly.
    timeout 5 xdotool windowfocus --sync "$wid" 2>/dev/null || xdotool windowfocus "$wid" 2>/dev/null || true
    xdotool key --delay 50 "$@"
    ;;
  shot)
    file=${1:?file}; wid=${2:-}
    if [ -n "$wid" ]; then
      read -r x y w h < <(geometry "$wid")
      import -window root -crop "${w}x${h}+${x}+${y}" +repage "$file"
    else
      import -window root "$file"
    fi
    ;;
  click|move)
    wid=${1:?wid}; px=${2:?x}; py=${3:?y}
    read -r x y _ _ < <(geometry "$wid")
    # The X server hands the motion to Wine before the press, in order.
    xdotool mousemove --sync $((x + px)) $((y + py))
    [ "$cmd" = click ] && xdotool click 1
    true
    ;;
  *) echo "qvwin: unknown command $cmd" >&2; exit 2 ;;
esac
