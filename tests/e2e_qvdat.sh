#!/usr/bin/env bash
# The data-file tool as product teams use it on a Linux build machine:
# built with the host compiler, it writes the very bytes the Windows build
# writes, shows them back as the same manifest, and refuses what does not
# fit. Usage: e2e_qvdat.sh BIN_DIR
set -euo pipefail
bin=${1:?usage: $0 BIN_DIR}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$root/tools/build-qvdat.sh" "$work/host"
tool="$work/host/qvdat"

cat >"$work/m.txt" <<'M'
# 塔洛播放器
product = 塔洛播放器
regkey = TaloPlayer
startmenu = 塔洛软件
file = C:\ProgramData\塔洛\player.ini
folder = C:\Program Files\塔洛\缓存\
shortcut = C:\Users\Public\Desktop\塔洛帮助.lnk
M
"$tool" write "$work/m.txt" "$work/host.dat" || fail "host write"
[ "$(stat -c %s "$work/host.dat")" -eq $((760 + 4 + 2 * 524 + 4 + 524)) ] || fail "size"
name=$(dd if="$work/host.dat" bs=1 skip=200 count=10 2>/dev/null | iconv -f UTF-16LE -t UTF-8)
[ "$name" = "塔洛播放器" ] || fail "product at offset 200: $name"

winpath() { echo "Z:${1//\//\\}"; }
"$root/tools/wine" "$bin/qvdat.exe" write "$(winpath "$work/m.txt")" "$(winpath "$work/win.dat")" \
  </dev/null >/dev/null 2>&1 || fail "windows write"
cmp "$work/host.dat" "$work/win.dat" || fail "host and Windows builds differ"

"$tool" show "$work/host.dat" >"$work/shown.txt" || fail "show"
cat >"$work/expected.txt" <<'M'
# qvUninstall.dat
regkey = TaloPlayer
product = 塔洛播放器
startmenu = 塔洛软件
installdir =
file = C:\ProgramData\塔洛\player.ini
folder = C:\Program Files\塔洛\缓存\
shortcut = C:\Users\Public\Desktop\塔洛帮助.lnk
M
diff "$work/expected.txt" "$work/shown.txt" || fail "show output"
"$tool" write - "$work/again.dat" <"$work/shown.txt" || fail "write from stdin"
cmp "$work/host.dat" "$work/again.dat" || fail "round trip"

printf 'product = %050d\n' 0 >"$work/long.txt"
if "$tool" write "$work/long.txt" "$work/long.dat" 2>"$work/err.txt"; then fail "accepted a long name"; fi
grep -q "product: 50 UTF-16 units is too long; the field holds at most 49" "$work/err.txt" ||
  fail "message: $(cat "$work/err.txt")"
[ ! -e "$work/long.dat" ] || fail "wrote a file despite the error"

# What the uninstaller would refuse, the tool refuses by the same rules.
for line in 'shortcut = C:\Users\Public\Documents\thesis.docx' 'startmenu = 塔洛软件\..' \
            'regkey = Other\TaloPlayer' 'file = C:\Windows::$INDEX_ALLOCATION' \
            'folder = C:\Talo.\'; do
  printf 'product = p\n%s\n' "$line" >"$work/bad.txt"
  if "$tool" write "$work/bad.txt" "$work/bad.dat" 2>/dev/null; then fail "accepted: $line"; fi
done

head -c 1000 "$work/host.dat" >"$work/cut.dat"
if "$tool" show "$work/cut.dat" >/dev/null 2>"$work/err.txt"; then fail "cut file passed"; fi
grep -q "cut short" "$work/err.txt" || fail "cut message: $(cat "$work/err.txt")"
set +e
"$tool" >/dev/null 2>&1
[ $? -eq 2 ] || fail "usage exit code"
echo "e2e_qvdat: ok"
