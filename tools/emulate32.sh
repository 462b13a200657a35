#!/usr/bin/env bash
# Runs a command as on a host that cannot run 32-bit programs itself and has
# QEMU registered for them (our CI's kind), on a host that can: i386
# programs go to QEMU (tools/wine-probe.sh) through a binfmt_misc instance of the
# command's own (Linux 6.7 or later, in a user namespace of its own), so
# nothing else on the machine is affected.
#   tools/emulate32.sh tools/test.sh
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-probe.sh"
[ $# -gt 0 ] || { echo "usage: $0 CMD [ARGS...]" >&2; exit 2; }
qemu=$(qv_qemu_i386) ||
  { echo "emulate32: no QEMU $QV_QEMU_MIN or later for i386 (tools/install-deps.sh installs it on a host that needs it)" >&2; exit 1; }
export QV_QEMU_I386_ENTRY=$(qv_qemu_entry "$qemu")
exec unshare --user --map-root-user --mount --fork bash -c '
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null &&
    printf "%s\n" "$QV_QEMU_I386_ENTRY" >/proc/sys/fs/binfmt_misc/register ||
    { echo "emulate32: no binfmt_misc of our own here (needs Linux 6.7 or later)" >&2; exit 1; }
  exec "$@"' bash "$@"
