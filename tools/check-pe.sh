#!/usr/bin/env bash
# Checks a program the way it ships: it imports only Windows system DLLs
# (it is linked statically), and, given the committed list of the names it
# exports, exports exactly those, so that no part of the framework's
# interface disappears (or appears) unnoticed.
#   tools/check-pe.sh PROGRAM.exe [EXPORTS.txt]
#   tools/check-pe.sh --write PROGRAM.exe EXPORTS.txt   regenerate the list
set -euo pipefail
here=$(dirname "$0")
write=""
[ "${1:-}" = --write ] && { write=1; shift; }
exe=${1:?usage: check-pe.sh [--write] PROGRAM.exe [EXPORTS.txt]}
list=${2:-}
arch=$("$here/pe-machine.sh" "$exe") || { echo "$exe: not a PE program" >&2; exit 1; }
triple=$arch-w64-mingw32
dump=$($triple-objdump -p "$exe")
dlls=$(sed -n 's/^\s*DLL Name: //p' <<<"$dump" | sort -u)
# The name table of the export directory: "[ordinal] name" lines.
exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
          sed -n 's/^\s*\[ *[0-9]*\] //p' | LC_ALL=C sort)
if [ -n "$write" ]; then
  [ -n "$list" ] || { echo "--write needs the list's path" >&2; exit 2; }
  printf '%s\n' "$exports" >"$list"
  echo "wrote $(wc -l <"$list") names to $list"
  exit 0
fi
system='^(ADVAPI32|COMCTL32|COMDLG32|CRYPT32|DBGHELP|GDI32|gdiplus|IMM32|KERNEL32|msvcrt|MSIMG32|ntdll|OLE32|OLEAUT32|PSAPI|SHELL32|SHLWAPI|URLMON|USER32|VERSION|WININET|WINMM|WINTRUST|WS2_32|api-ms-win-[a-z0-9-]+)\.dll$'
bad=$(grep -v -i -E "$system" <<<"$dlls" || true)
count=$(grep -c . <<<"$exports" || true)
echo "$(basename "$exe") ($triple): imports $(echo $dlls | tr ' ' ','); $count exported names"
status=0
if [ -n "$bad" ]; then
  echo "$exe imports non-system DLLs: $bad" >&2
  status=1
fi
if [ -n "$list" ]; then
  gone=$(LC_ALL=C comm -23 <(LC_ALL=C sort "$list") <(printf '%s\n' "$exports"))
  new=$(LC_ALL=C comm -13 <(LC_ALL=C sort "$list") <(printf '%s\n' "$exports"))
  if [ -n "$gone" ]; then
    echo "exports missing from $exe (listed in $list):" >&2
    sed 's/^/  /' <<<"$gone" >&2
    status=1
  fi
  if [ -n "$new" ]; then
    echo "exports of $exe not in $list (add them with: $0 --write $exe $list):" >&2
    sed 's/^/  /' <<<"$new" >&2
    status=1
  fi
fi
exit $status
