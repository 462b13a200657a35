#!/usr/bin/env bash
# DLLs planted beside the uninstaller under the names of system DLLs that
# the program, or the system DLLs it uses, load by name are never loaded,
# even with Windows' search order (native DLLs first): the program imports
# at start only the system's known DLLs, limits the search to the system
# folder first thing, and takes GDI+ and WinINet from the system folder by
# full path. Tried twice: a whole uninstall from a folder others may not
# write, and the refusal in a folder they may (o+w). Wine's +loaddll trace
# must show nothing loaded from the program's folder but the program, and
# no planted DLL may leave its mark.
set -euo pipefail
bin=${1:?usage: e2e_planted_dlls.sh BIN_DIR}
[ -f "$bin/qvplanted.dll" ] || { echo "FAIL: $bin/qvplanted.dll not built" >&2; exit 1; }
export QV_WINEDEBUG=+loaddll
source "$(dirname "$0")/../tools/e2e-lib.sh"
e2e_up
# Not version.dll nor zlib1.dll: Wine's own user32 imports both, so Wine
# loads them from the program's folder before any of the program's code
# runs (Windows' user32 imports neither; zlib1.dll is the trust rule's).
names="mpr dnsapi iphlpapi windowscodecs wininet gdiplus uxtheme dwmapi winmm dbghelp
       crypt32 secur32 sspicli winhttp userenv netapi32 propsys oleacc msimg32 comctl32 urlmon
       iertutil cryptbase profapi wtsapi32 winnsi nsi ws2_32 mswsock"
export WINEDLLOVERRIDES=$(echo $names | tr ' ' ',')"=n,b"
marks=$(demo_unix 'C:\qvplanted')
mkdir -p "$marks"
loaded=0
runs=0

# From the trace: DLLs loaded from the program's folder, but the program
# and zlib1.dll (above).
# (The trace spells the product's Chinese folder names as escapes: any
# module under Program Files is the product's.)
from_folder() {
  grep -a 'trace:loaddll' "$QV_ENV_DIR/program.log" | grep -a 'Loaded L"C:\\\\Program Files' |
    grep -av -e 'qvUninstall.exe"' -e 'zlib1.dll"' || true
}

plant() {
  local n
  for n in $names; do cp "$bin/qvplanted.dll" "$DEMO_INSTALL/$n.dll"; done
}

# 1. A whole uninstall.
demo_install "$bin" own
plant
: >"$QV_ENV_DIR/program.log"
e2e_start "$DEMO_INSTALL/qvUninstall.exe"
e2e_settle
e2e_click_uninstall
code=0; e2e_wait_exit 120 || code=$?
[ "$code" = 0 ] || e2e_fail "the uninstall ended with exit code $code"
runs=$((runs + 1))
bad=$(from_folder)
[ -z "$bad" ] || { loaded=$((loaded + $(grep -c . <<<"$bad"))); echo "$bad" >&2; }
grep -aq 'Loaded L"C:\\\\windows\\\\sys[a-z0-9]*\\\\gdiplus.dll"' "$QV_ENV_DIR/program.log" ||
  e2e_fail "GDI+ was not loaded from the system folder"

# 2. The refusal, in a folder everyone may write.
demo_wait_gone 60 || true
rm -rf "$DEMO_INSTALL"
demo_install "$bin" own
plant
chmod o+w "$DEMO_INSTALL"
: >"$QV_ENV_DIR/program.log"
e2e_start "$DEMO_INSTALL/qvUninstall.exe"
e2e_settle
qvwin.sh click "$E2E_WID" 190 182   # 确定 of the notice
code=0; e2e_wait_exit 30 || code=$?
[ "$code" = 1 ] || e2e_fail "the refusal ended with exit code $code, not 1"
runs=$((runs + 1))
bad=$(from_folder)
[ -z "$bad" ] || { loaded=$((loaded + $(grep -c . <<<"$bad"))); echo "$bad" >&2; }

for m in "$marks"/*.loaded; do
  [ -e "$m" ] && { loaded=$((loaded + 1)); echo "planted and run: $(basename "$m" .loaded)" >&2; }
done
[ "$loaded" = 0 ] || e2e_fail "$loaded planted DLL(s) loaded"
echo "e2e_planted_dlls: $runs runs, $(echo $names | wc -w) names planted, 0 loaded"
