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
rc=0
ctest --test-dir "$root/build-$arch" --output-on-failure -j2 -LE i686 "$@" || rc=$?
if [ -n "$set32" ]; then
  echo "The shipped i686 build, emulated (time limits x$set32):"
  t0=$(date +%s)
  # One at a time: every emulated process keeps a core busy. Now and then
  # an emulated process stops for good in a lock of Wine's own Unix code
  # (docs/testing.md), at random places: a case that fails is run again, up
  # to three times; a fault of the program fails every time.
  QV_TIME_SCALE=$set32 ctest --test-dir "$root/build-i686" --output-on-failure -L i686 \
    --repeat until-pass:3 "$@" || rc=$?
  echo "The i686 set took $(( $(date +%s) - t0 )) s."
elif [ "$mode" = none ]; then
  qv_say_not_run32
fi
exit "$rc"
