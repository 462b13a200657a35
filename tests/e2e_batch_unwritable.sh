#!/usr/bin/env bash
# A self-delete batch that can be created but not written (a full disk):
# the uninstaller must not leave half a batch behind, nor start it, nor end
# as if it had. The program runs with a file-size limit of 0 (SIGXFSZ
# ignored), so every write fails as on a full disk.
# Usage: e2e_batch_unwritable.sh BIN_DIR
set -euo pipefail
bin=${1:?usage: $0 BIN_DIR}
root=$(cd "$(dirname "$0")/.." && pwd)
: "${WINEPREFIX:?run inside tools/qvenv.sh}"
c="$WINEPREFIX/drive_c"
d="$c/qvfull.$$"
trap 'rm -rf "$d"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -p "$d"
cp "$bin/test_uninstall_selfdelete.exe" "$d/qvUninstall.exe"
batches() { ls -d "$c"/windows/[Tt]emp/qvUninstall-* "$c"/users/*/Temp/qvUninstall-* 2>/dev/null || true; }
# Other tests in this prefix leave empty batch folders under Wine (see
# docs/testing.md): only a new one would be this run's.
before=$(batches)
code=0
(cd "$d" && trap '' XFSZ && ulimit -f 0 &&
  exec "$root/tools/wine" "$d/qvUninstall.exe" --qv-child=delete_self_unwritable \
  </dev/null >/dev/null 2>&1) || code=$?
[ "$code" = 3 ] || fail "exit code $code: DeleteSelf should have returned (3)"
[ "$(batches)" = "$before" ] || fail "the unwritten batch or its folder was left behind: $(batches)"
[ -f "$d/qvUninstall.exe" ] || fail "the program went although no batch ran"
echo "e2e_batch_unwritable: ok"
