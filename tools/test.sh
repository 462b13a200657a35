#!/usr/bin/env bash
# Builds everything and runs all tests under Wine and Xvfb.
#   tools/test.sh [CTEST ARGS...]      e.g. tools/test.sh -R test_window
# Installs what it needs first (see tools/install-deps.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/install-deps.sh"

# The product is always built as it ships: 32-bit.
"$root/tools/build.sh" i686 qvUninstall >/dev/null
"$root/tools/check-pe.sh" "$root/build-i686/bin/qvUninstall.exe" "$root/tools/exports-i686.txt"

# The tests run as the host allows (docs/testing.md): i686 where Wine's
# 32-bit loader runs, else a 64-bit build of the same sources.
arch=$("$root/tools/arch.sh")
echo "Tests run as $arch"
"$root/tools/build.sh" "$arch" all >/dev/null

source "$root/tools/qvenv.sh"
trap qv_env_down EXIT
qv_env_up
ctest --test-dir "$root/build-$arch" --output-on-failure -j2 "$@"
