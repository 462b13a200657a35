#!/usr/bin/env bash
# Checks that a program imports only Windows system DLLs (it is linked
# statically) and exports the framework. Prints what it found.
set -euo pipefail
exe=${1:?usage: check-pe.sh PROGRAM.exe}
arch=$("$(dirname "$0")/pe-machine.sh" "$exe") || { echo "$exe: not a PE program" >&2; exit 1; }
triple=$arch-w64-mingw32
dlls=$($triple-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | sort -u)
system='^(ADVAPI32|COMCTL32|COMDLG32|CRYPT32|DBGHELP|GDI32|gdiplus|IMM32|KERNEL32|msvcrt|MSIMG32|ntdll|OLE32|OLEAUT32|PSAPI|SHELL32|SHLWAPI|URLMON|USER32|VERSION|WININET|WINMM|WINTRUST|WS2_32|api-ms-win-[a-z0-9-]+)\.dll$'
bad=$(echo "$dlls" | grep -v -i -E "$system" || true)
exports=$($triple-objdump -p "$exe" | grep -c -E '^\s*\[ *[0-9]+\] [A-Za-z_?]' || true)
echo "$(basename "$exe") ($triple): imports $(echo $dlls | tr ' ' ','); $exports exported names"
if [ "$exports" -gt 0 ] && [ ! -f "$(dirname "$exe")/lib$(basename "$exe" .exe).a" ]; then
  echo "$exe exports names but has no import library beside it" >&2
  exit 1
fi
if [ -n "$bad" ]; then
  echo "$exe imports non-system DLLs: $bad" >&2
  exit 1
fi
