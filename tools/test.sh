#!/usr/bin/env bash
# Builds everything and runs all tests under Wine and Xvfb.
#   tools/test.sh [CTEST ARGS...]      e.g. tools/test.sh -R test_window
# Installs what it needs first (see tools/install-deps.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tools/wine-probe.sh"
qv_install_deps

# The product is always built as it ships: 32-bit.
"$root/tools/build.sh" i686 qvUninstall >/dev/null
"$root/tools/check-pe.sh" "$root/build-i686/bin/qvUninstall.exe" "$root/tools/exports-i686.txt"

# The tests run as the host allows (docs/testing.md): all of them as i686
# where Wine's 32-bit loader runs natively; else a 64-bit build of the same
# sources, and where the loader runs emulated also the i686 set (label i686)
# with its time limits scaled.
mode=$(qv_wine32_mode)
arch=$("$root/tools/arch.sh")
echo "Tests run as $arch (Wine's 32-bit loader: $mode)"
"$root/tools/build.sh" "$arch" all >/dev/null
set32=""
if [ "$mode" = emulated ] && [ "$arch" != i686 ]; then
  set32=${QV_TIME_SCALE:-4}
  QV_TIME_SCALE=$set32 "$root/tools/build.sh" i686 all >/dev/null
fi

source "$root/tools/qvenv.sh"
trap qv_env_down EXIT
qv_env_up
# A run in which no test ran fails. Where two sets run, a ctest filter may
# well match tests of one set only: the summary then requires one in all.
notests=error
[ -n "$set32" ] && [ $# -gt 0 ] && notests=ignore
rc=0
sets=("$arch=$root/build-$arch/test-results")
"$root/tools/ctest-set.sh" "$root/build-$arch" 1 -j2 -LE i686 --no-tests=$notests "$@" || rc=$?
if [ -n "$set32" ]; then
  echo "The shipped i686 build, emulated (time limits x$set32):"
  t0=$(date +%s)
  # One at a time: every emulated process keeps a core busy. A test the
  # emulator itself killed (docs/testing.md) runs again, up to three times
  # in all, and is named and counted; any other failure is final.
  QV_TIME_SCALE=$set32 "$root/tools/ctest-set.sh" "$root/build-i686" 3 -L i686 \
    --no-tests=$notests "$@" || rc=$?
  echo "The i686 set took $(( $(date +%s) - t0 )) s."
  sets+=("i686 emulated=$root/build-i686/test-results")
fi
notrun=()
if [ "$mode" = none ]; then
  qv_say_not_run32
  notrun=(--not-run32)
fi
python3 "$root/tools/test-results.py" summary "${notrun[@]}" "${sets[@]}" || rc=1
exit "$rc"
