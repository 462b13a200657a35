# How this host runs Wine's 32-bit loader (a 32-bit Linux program; some
# hosts cannot execute those at all). The one place that asks. Sourced.
#
#   qv_wine32_mode    prints native, emulated (QEMU through binfmt_misc) or none
#   qv_wine32_runs    true unless none

# With the QEMU entry registered the loader answers either way, so only the
# entry tells emulation from native support; its flag F makes it win over the
# kernel's own 32-bit support, too.
qv_wine32_mode() {
  if ! [ -x /usr/lib/wine/wine ] || ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo none
  elif grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null; then
    echo emulated
  else
    echo native
  fi
}

qv_wine32_runs() {
  [ "$(qv_wine32_mode)" != none ]
}

# QEMU's user-mode emulator for i386 that can serve Wine's 32-bit loader:
# before version 10 (Debian 12's 7.2) it died or stalled in the set's
# multi-threaded programs and took most of a minute to start each one
# (docs/testing.md). Debian 13's qemu-user, and Debian 12's from its
# backports, install it as /usr/bin/qemu-i386 (static); older packages as
# qemu-i386-static.
QV_QEMU_MIN=10
qv_qemu_major() {
  "$1" --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\)\..*/\1/p' | head -n 1
}
qv_qemu_i386() {
  local q major
  for q in /usr/bin/qemu-i386 /usr/bin/qemu-i386-static; do
    [ -x "$q" ] || continue
    major=$(qv_qemu_major "$q")
    if [ -n "$major" ] && [ "$major" -ge "$QV_QEMU_MIN" ]; then
      echo "$q"
      return 0
    fi
  done
  return 1
}

# The binfmt_misc entry that hands i386 ELF programs to the emulator `$1`.
# Flag F opens the emulator at registration, so it also serves in other
# mount namespaces (and keeps serving the file it opened if the package is
# replaced later: tools/install-deps.sh registers it again then).
qv_qemu_entry() {
  printf '%s%s:F' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:' "$1"
}

# Runs tools/install-deps.sh and goes on when all is there but what runs
# 32-bit programs (its exit code 3): the x86_64 build can still be tested.
qv_install_deps() {
  local rc=0
  "$(dirname "${BASH_SOURCE[0]}")/install-deps.sh" || rc=$?
  [ "$rc" = 0 ] || [ "$rc" = 3 ] || exit "$rc"
}

# Said at the end of a run that could not start the shipped program.
qv_say_not_run32() {
  {
    echo "##########################################################################"
    echo "## THE SHIPPED 32-BIT PROGRAM WAS NOT RUN: this host runs no 32-bit     ##"
    echo "## Windows programs (see tools/install-deps.sh). Only the x86_64 build  ##"
    echo "## of the same sources was run.                                         ##"
    echo "##########################################################################"
  } >&2
}
