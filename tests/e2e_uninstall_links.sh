#!/usr/bin/env bash
# Folder links inside a product must never lead the uninstaller outside it.
# Wine shows a Linux symbolic link to a folder inside the prefix as a
# reparse point, so the links are made here with ln -s; the uninstaller
# runs as a copy of a test program placed in the product folder.
# Usage: e2e_uninstall_links.sh BIN_DIR
set -euo pipefail
bin=${1:?usage: $0 BIN_DIR}
root=$(cd "$(dirname "$0")/.." && pwd)
: "${WINEPREFIX:?run inside tools/qvenv.sh}"
base="qvlinks.$$"
c="$WINEPREFIX/drive_c/$base"
work=$(mktemp -d)
trap 'rm -rf "$c" "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
"$root/tools/build-qvdat.sh" "$work/host" >/dev/null
tool="$work/host/qvdat"

mkdir -p "$c"/{canary1,canary2,canary3,canary4}
for n in 1 2 3 4; do echo keep >"$c/canary$n/keep.txt"; done

# Own-folder mode, then the batch: one link straight inside
# the product, one inside a dot-folder (the engine walks those too).
p="$c/product"
mkdir -p "$p/sub" "$p/.cache"
echo a >"$p/a.txt"
echo b >"$p/sub/b.txt"
ln -s ../../canary1 "$p/.cache/inner"
ln -s ../canary2 "$p/link"
cp "$bin/test_uninstall_selfdelete.exe" "$p/qvUninstall.exe"
printf 'product = links\ninstalldir = C:\\%s\\product\n' "$base" >"$work/own.txt"
"$tool" write "$work/own.txt" "$p/qvUninstall.dat"
code=0
(cd "$p" && "$root/tools/wine" "$p/qvUninstall.exe" --qv-child=delete_self \
  </dev/null >/dev/null 2>&1) || code=$?
[ "$code" = 0 ] || fail "the uninstaller ended with exit code $code"
for _ in $(seq 1 $((150 * ${QV_TIME_SCALE:-1}))); do [ -e "$p/qvUninstall.exe" ] || break; sleep 0.2; done
[ ! -e "$p/qvUninstall.exe" ] || fail "the batch did not remove the program"
[ ! -e "$p/a.txt" ] && [ ! -e "$p/sub" ] || { ls -laR "$p" >&2; fail "product files remain"; }
[ -f "$c/canary1/keep.txt" ] || fail "rd followed the link inside the dot-folder"
[ -f "$c/canary2/keep.txt" ] || fail "the engine followed the link in the product"

# Entry-list mode: a folder record holding a link, and a record that is a link.
app="$c/app"
mkdir -p "$app" "$c/prod2"
echo x >"$c/prod2/x.txt"
ln -s ../canary3 "$c/prod2/link"
ln -s canary4 "$c/linkdir"
cp "$bin/test_uninstall_engine.exe" "$app/engine.exe"
printf 'folder = C:\\%s\\prod2\\\nfolder = C:\\%s\\linkdir\\\n' "$base" "$base" >"$work/list.txt"
"$tool" write "$work/list.txt" "$app/qvUninstall.dat"
"$root/tools/wine" "$app/engine.exe" --qv-child=engine_sync </dev/null >/dev/null 2>&1 ||
  fail "engine run"
[ ! -e "$c/prod2/x.txt" ] || fail "listed folder not emptied"
[ -f "$c/canary3/keep.txt" ] || fail "the engine followed a link below a listed folder"
[ -f "$c/canary4/keep.txt" ] || fail "the engine followed a listed link"
echo "links left as links could not be removed here: $(find "$c" -type l | wc -l)"
echo "e2e_uninstall_links: ok"
