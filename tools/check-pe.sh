#!/usr/bin/env bash
# Checks a program the way it ships: it imports only Windows system DLLs
# (it is linked statically), and of those at start only the system's known
# DLLs, which Windows always takes from the system folder: any other DLL
# imported at start (and what it loads by name) would be looked for in the
# program's folder first, where an elevated uninstaller must not find a
# planted copy. Others (GDI+, WinINet) come through delay imports. And, given the committed list of the names it
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
system='^(ADVAPI32|COMDLG32|GDI32|IMM32|KERNEL32|msvcrt|ntdll|OLE32|OLEAUT32|PSAPI|SETUPAPI|SHELL32|SHLWAPI|USER32|WS2_32)\.dll$'
bad=$(grep -v -i -E "$system" <<<"$dlls" || true)
count=$(grep -c . <<<"$exports" || true)
echo "$(basename "$exe") ($triple): imports $(echo $dlls | tr ' ' ','); $count exported names"
status=0
if [ -n "$bad" ]; then
  echo "$exe imports at start DLLs that are not known DLLs of Windows 7 to 11: $bad" >&2
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
