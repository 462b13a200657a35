#!/usr/bin/env bash
# The environment every Windows test and the demo run in:
#   - Xvfb on a free display with a fixed screen size,
#   - a private Wine prefix (win64, booted once per run from a cached
#     template) with a persistent wineserver for the run,
#   - a Chinese locale (ANSI code page 936, as our users run it),
#   - fonts under which GDI+ draws Chinese as real glyphs.
# Everything is torn down at the end, also on failure.
#
#   tools/qvenv.sh CMD [ARGS...]     run CMD inside the environment
#   source tools/qvenv.sh; qv_env_up; ...; qv_env_down
set -u
QV_TOOLS=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
QV_SCREEN=${QV_SCREEN:-1280x1024x24}
QV_CACHE=${QV_CACHE:-/var/tmp/qvuninstall-cache}

qv_wine64() { /usr/lib/wine/wine64 "$@"; }

# Xvfb picks a free display itself and writes its number once it accepts
# connections.
qv_start_display() {
  local file="$QV_ENV_DIR/display" n=""
  Xvfb -displayfd 3 -screen 0 "$QV_SCREEN" -nolisten tcp -ac \
    3>"$file" </dev/null >"$QV_ENV_DIR/xvfb.log" 2>&1 &
  QV_XVFB_PID=$!
  for _ in $(seq 1 100); do
    n=$(tr -dc 0-9 <"$file" 2>/dev/null)
    [ -n "$n" ] && { export DISPLAY=":$n"; return 0; }
    kill -0 "$QV_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  kill "$QV_XVFB_PID" 2>/dev/null
  QV_XVFB_PID=""
  echo "qvenv: Xvfb did not start (see $QV_ENV_DIR/xvfb.log)" >&2
  return 1
}

# A UTF-16 .reg file: a REGEDIT4 file would store the Chinese names as "??".
qv_write_font_reg() {
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
    '"宋体"="WenQuanYi Zen Hei"' '"新宋体"="WenQuanYi Zen Hei"' \
    '"SimSun"="WenQuanYi Zen Hei"' '"NSimSun"="WenQuanYi Zen Hei"' \
    '"黑体"="WenQuanYi Zen Hei"' '"SimHei"="WenQuanYi Zen Hei"' '' |
    iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$1"
}

# "微软雅黑" is found by its file msyh.ttf: a copy of WenQuanYi Micro Hei
# renamed to Microsoft YaHei (English) and 微软雅黑 (Chinese).
qv_make_yahei() {
  # fontTools is Debian's (python3-fonttools); a python3 placed earlier on
  # the PATH (pyenv, a virtual environment) may not see Debian's modules.
  local py=python3
  "$py" -c 'import fontTools' 2>/dev/null || py=/usr/bin/python3
  "$py" - "$1" <<'PY'
import sys
from fontTools.ttLib import TTCollection
font = TTCollection('/usr/share/fonts/truetype/wqy/wqy-microhei.ttc').fonts[0]
name = font['name']
for rec in list(name.names):
    if rec.nameID in (1, 4, 16):
        name.removeNames(nameID=rec.nameID)
for nid, text in ((1, 'Microsoft YaHei'), (4, 'Microsoft YaHei'), (16, 'Microsoft YaHei')):
    name.setName(text, nid, 3, 1, 0x409)
    name.setName(text, nid, 1, 0, 0)
for nid in (1, 4, 16):
    name.setName('微软雅黑', nid, 3, 1, 0x804)
font.save(sys.argv[1])
PY
}

# Boots a prefix once per Wine version and keeps it as a template; each run
# copies it, which takes a fraction of a second instead of a boot. Only a
# boot during which Wine's 32-bit loader runs (natively or emulated) sets up
# the 32-bit half (syswow64), without which every 32-bit program fails with
# "could not load kernel32.dll": such a template has a name of its own.
qv_template() {
  local ver tpl wow=""
  ver=$(qv_wine64 --version 2>/dev/null | tr -c 'A-Za-z0-9.\n-' '_')
  source "$QV_TOOLS/wine-probe.sh"
  qv_wine32_runs && wow=-wow64
  tpl="$QV_CACHE/prefix-$ver$wow"
  mkdir -p "$QV_CACHE"
  (
    flock 9
    if [ ! -f "$tpl/.qv-ready" ]; then
      rm -rf "$tpl"
      mkdir -p "$tpl"
      local srv
      WINEPREFIX="$tpl" wineserver -p </dev/null >/dev/null 2>&1 &
      WINEPREFIX="$tpl" qv_wine64 wineboot -i </dev/null >"$QV_CACHE/wineboot.log" 2>&1
      [ -f "$QV_CACHE/msyh.ttf" ] || qv_make_yahei "$QV_CACHE/msyh.ttf"
      cp "$QV_CACHE/msyh.ttf" "$tpl/drive_c/windows/Fonts/msyh.ttf"
      qv_write_font_reg "$QV_CACHE/fonts.reg"
      WINEPREFIX="$tpl" qv_wine64 regedit /S "$(WINEPREFIX="$tpl" qv_wine64 winepath -w "$QV_CACHE/fonts.reg" 2>/dev/null)" </dev/null >/dev/null 2>&1
      # Copied only once its server has saved the registry and ended.
      WINEPREFIX="$tpl" wineserver -k </dev/null >/dev/null 2>&1
      WINEPREFIX="$tpl" wineserver -w </dev/null >/dev/null 2>&1
      if [ -n "$wow" ] && ! [ -f "$tpl/drive_c/windows/syswow64/kernel32.dll" ]; then
        echo "qvenv: the prefix was booted without its 32-bit half (see $QV_CACHE/wineboot.log)" >&2
        exit 1
      fi
      touch "$tpl/.qv-ready"
    fi
  ) 9>"$QV_CACHE/.lock" || return 1
  QV_TEMPLATE=$tpl
}

qv_env_up() {
  QV_ENV_DIR=$(mktemp -d /tmp/qvenv.XXXXXX)
  export QV_ENV_DIR
  # QV_WINEDEBUG sets Wine's debug channels for a look inside (e.g. +seh).
  export WINEARCH=win64 WINEDEBUG=${QV_WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
  # Only QEMU reads it. QEMU 7.2 does not honour MAP_FIXED_NOREPLACE and puts
  # a 32-bit program's first mappings just below 2 GB, where Wine (Debian's
  # has no preloader to reserve it first) must map the shared user data at
  # 0x7ffe0000: "failed to map the shared user data: c0000018", and no
  # 32-bit program, wineboot's own included, starts. A 3 GB guest space
  # moves them out of the way.
  export QEMU_RESERVED_VA=${QEMU_RESERVED_VA:-0xc0000000}
  # Wine takes a proxy from these; the tests talk to 127.0.0.1 only.
  unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY ftp_proxy all_proxy no_proxy
  export XDG_RUNTIME_DIR="$QV_ENV_DIR/xdg"
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  # QV_KEEP_DISPLAY=1 keeps the caller's display (the demo on a desktop).
  if [ -n "${QV_KEEP_DISPLAY:-}" ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    QV_XVFB_PID=""
  else
    qv_start_display || return 1
  fi
  qv_template || return 1
  export WINEPREFIX="$QV_ENV_DIR/prefix"
  cp -a "$QV_TEMPLATE" "$WINEPREFIX"
  # One persistent server for the whole run; its streams go nowhere, or a
  # caller reading our output through a pipe would wait for it forever.
  wineserver -p </dev/null >/dev/null 2>&1 &
  qv_wine64 wineboot </dev/null >"$QV_ENV_DIR/wineboot.log" 2>&1
  export PATH="$QV_TOOLS:$PATH"
}

qv_env_down() {
  [ -n "${QV_ENV_DIR:-}" ] || return 0
  [ -n "${WINEPREFIX:-}" ] && wineserver -k </dev/null >/dev/null 2>&1
  [ -n "${QV_XVFB_PID:-}" ] && kill "$QV_XVFB_PID" 2>/dev/null && wait "$QV_XVFB_PID" 2>/dev/null
  # The server may still be closing files in the prefix.
  for _ in 1 2 3 4 5; do rm -rf "$QV_ENV_DIR" 2>/dev/null && break; sleep 0.5; done
  QV_ENV_DIR=""
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  [ $# -gt 0 ] || { echo "usage: $0 CMD [ARGS...]" >&2; exit 2; }
  trap qv_env_down EXIT
  trap 'exit 130' INT TERM
  qv_env_up || exit 1
  "$@"
  exit $?
fi
