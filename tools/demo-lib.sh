#!/usr/bin/env bash
# Installs a sample product into the current Wine prefix (inside
# tools/qvenv.sh) and inspects what is left of it. Sourced by tools/run.sh
# and the end-to-end tests.
#
#   demo_install BIN_DIR [own|list]   the product, its uninstaller and data file
#   demo_remains                      prints what is left of the product, one line each
#
# Paths follow the view of the program under test: a 64-bit test build sees
# the 64-bit registry and lives in Program Files, the 32-bit product is
# installed as a 32-bit installer does it, into the 32-bit registry view and
# Program Files (x86).

DEMO_PRODUCT="塔洛看图"
DEMO_REGKEY="TaloViewer"
DEMO_STARTMENU="塔洛看图"
DEMO_INSTALL_SUB='塔洛软件\塔洛看图'
DEMO_EXTRA_WIN='C:\ProgramData\TaloViewer'
DEMO_TOOLS=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

demo_unix() { "$DEMO_TOOLS/wine" winepath -u "$1" 2>/dev/null | tr -d '\r'; }
demo_reg() { "$DEMO_TOOLS/wine" reg "$@" /reg:"$DEMO_VIEW" </dev/null >/dev/null 2>&1; }

# The value of a Windows environment variable, asked of Wine itself.
demo_env() { "$DEMO_TOOLS/wine" cmd /c echo "%$1%" 2>/dev/null | tr -d '\r'; }

demo_install() {
  local bin=${1:?bin dir} mode=${2:-own}
  DEMO_MODE=$mode
  case "$("$DEMO_TOOLS/pe-machine.sh" "$bin/qvUninstall.exe")" in
    x86_64) DEMO_VIEW=64; DEMO_INSTALL_WIN="C:\\Program Files\\$DEMO_INSTALL_SUB" ;;
    *) DEMO_VIEW=32; DEMO_INSTALL_WIN="C:\\Program Files (x86)\\$DEMO_INSTALL_SUB" ;;
  esac
  DEMO_PROGRAMS_WIN="$(demo_env APPDATA)\\Microsoft\\Windows\\Start Menu\\Programs"
  DEMO_DESKTOP_WIN='C:\users\Public\Desktop'
  DEMO_INSTALL=$(demo_unix "$DEMO_INSTALL_WIN")
  DEMO_EXTRA=$(demo_unix "$DEMO_EXTRA_WIN")
  DEMO_MENU=$(demo_unix "$DEMO_PROGRAMS_WIN\\$DEMO_STARTMENU")
  DEMO_LINK=$(demo_unix "$DEMO_DESKTOP_WIN\\$DEMO_PRODUCT.lnk")

  # The product: a few folders of files, as an installer leaves them.
  mkdir -p "$DEMO_INSTALL"/{bin,plugins/codecs,skins/default,docs}
  local i
  for i in $(seq 1 12); do head -c $((2048 * i)) /dev/urandom >"$DEMO_INSTALL/plugins/codecs/codec$i.dll"; done
  for i in $(seq 1 8); do head -c 4096 /dev/urandom >"$DEMO_INSTALL/skins/default/face$i.png"; done
  for i in 1 2 3; do printf '塔洛看图 说明 %d\r\n' "$i" >"$DEMO_INSTALL/docs/readme$i.txt"; done
  head -c 65536 /dev/urandom >"$DEMO_INSTALL/bin/TaloViewer.exe"
  # Entry-list mode also names data the product keeps outside its folder.
  if [ "$mode" = list ]; then
    mkdir -p "$DEMO_EXTRA/cache"
    printf '[view]\r\nzoom=100\r\n' >"$DEMO_EXTRA/viewer.ini"
    for i in 1 2 3 4; do head -c 8192 /dev/urandom >"$DEMO_EXTRA/cache/thumb$i.db"; done
  fi

  mkdir -p "$DEMO_MENU" "$(dirname "$DEMO_LINK")"
  printf 'link' >"$DEMO_MENU/$DEMO_PRODUCT.lnk"
  printf 'link' >"$DEMO_MENU/卸载$DEMO_PRODUCT.lnk"
  printf 'link' >"$DEMO_LINK"

  local key="HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$DEMO_REGKEY"
  demo_reg add "$key" /v DisplayName /t REG_SZ /d "$DEMO_PRODUCT" /f
  demo_reg add "$key" /v UninstallString /t REG_SZ /d "$DEMO_INSTALL_WIN\\qvUninstall.exe" /f
  demo_reg add "$key" /v DisplayVersion /t REG_SZ /d "2.3.1" /f

  cp "$bin/qvUninstall.exe" "$bin/zlib1.dll" "$DEMO_INSTALL/"

  # The data file, made with the product teams' own tool.
  local qvdat="$DEMO_QVDAT"
  {
    echo "product    = $DEMO_PRODUCT"
    echo "regkey     = $DEMO_REGKEY"
    echo "startmenu  = $DEMO_STARTMENU"
    if [ "$mode" = list ]; then
      echo "folder     = $DEMO_INSTALL_WIN\\plugins\\"
      echo "folder     = $DEMO_INSTALL_WIN\\skins\\"
      echo "folder     = $DEMO_INSTALL_WIN\\docs\\"
      echo "folder     = $DEMO_INSTALL_WIN\\bin\\"
      echo "file       = $DEMO_INSTALL_WIN\\zlib1.dll"
      echo "file       = $DEMO_INSTALL_WIN\\qvUninstall.dat"
      echo "folder     = $DEMO_EXTRA_WIN\\"
    else
      echo "installdir = $DEMO_INSTALL_WIN"
    fi
  } >"$QV_ENV_DIR/demo.manifest"
  "$qvdat" write "$QV_ENV_DIR/demo.manifest" "$DEMO_INSTALL/qvUninstall.dat"
}

# Self-delete batches still there. Each batch deletes itself and then its
# private folder; Wine's cmd holds the batch open until it ends, so there
# the folder stays, empty, until the system next starts.
demo_batches() {
  local d
  for d in "$(demo_unix 'C:\windows\Temp')"/qvUninstall-*/* "$(demo_unix 'C:\users')"/*/Temp/qvUninstall-*/* \
           "$(demo_unix 'C:\users')"/*/AppData/Local/Temp/qvUninstall-*/*; do
    [ -e "$d" ] && echo "$d"
  done
  true
}

# Says whether the uninstall key KEY is left, from the listing of the
# Uninstall key: a query that fails for any other reason is no answer.
demo_key_left() {
  local parent=${1%\\*} out
  if ! out=$("$DEMO_TOOLS/wine" reg query "$parent" /reg:"$DEMO_VIEW" </dev/null 2>/dev/null); then
    echo "uninstall key: not known, $parent could not be read"
  elif tr -d '\r' <<<"$out" | grep -qixF "HKEY_LOCAL_MACHINE${1#HKLM}"; then
    echo "uninstall key: $1"
  fi
}

demo_remains() {
  local key="HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$DEMO_REGKEY"
  # In entry-list mode the (empty) installation folder itself may stay:
  # only what the list names is the product's to remove.
  [ -d "$DEMO_INSTALL" ] && find "$DEMO_INSTALL" -mindepth 1 | sed "s|^$DEMO_INSTALL|in the installation folder: |"
  [ -d "$DEMO_INSTALL" ] && [ "$DEMO_MODE" = own ] && echo "installation folder: $DEMO_INSTALL_WIN"
  [ -d "${DEMO_EXTRA:-/nonexistent}" ] && [ "$DEMO_MODE" = list ] && echo "data folder: $DEMO_EXTRA_WIN"
  [ -e "$DEMO_MENU" ] && echo "Start-menu folder: $DEMO_MENU"
  [ -e "$DEMO_LINK" ] && echo "desktop shortcut: $DEMO_LINK"
  demo_key_left "$key"
  demo_batches | sed 's|^|self-delete batch: |'

  true
}

# Waits (up to 30 s, times QV_TIME_SCALE) for the self-delete batch to
# finish the job.
demo_wait_gone() {
  for _ in $(seq 1 $((100 * ${E2E_SCALE:-1}))); do
    [ -z "$(demo_remains)" ] && return 0
    sleep 0.3
  done
}
