#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when
# they are missing, and lets this host run Wine's 32-bit loader: natively
# where the kernel can, else under QEMU's user-mode emulator registered
# through binfmt_misc. Needs root (or sudo) only when something is missing.
#
# A package index that fails to download (a mirror half-way through a sync)
# does not stop it: the update is retried, then the packages are installed
# from the lists that did load. A package that still cannot be installed is
# named with the reason, and the script exits non-zero.
set -euo pipefail

pkgs=(cmake make g++ mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
      wine wine64 xvfb xauth xdotool x11-utils x11-apps imagemagick libz-mingw-w64
      fonts-wqy-microhei fonts-wqy-zenhei python3 python3-fonttools locales googletest
      openssl osslsigncode clang libclang-rt-14-dev nsis)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
have_locale() { locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; }
# The kernel runs 32-bit programs itself: any i386 program answers.
native32() { [ -x /usr/lib/wine/wine ] && ! [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] &&
             /usr/lib/wine/wine --version >/dev/null 2>&1; }

missing=()
for p in "${pkgs[@]}"; do installed "$p" || missing+=("$p"); done
# Wine's 32-bit loader: the shipped program runs on it.
installed wine32:i386 || missing+=("wine32:i386")

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then sudo="sudo"; else sudo="no-root"; fi
fi
as_root() {
  if [ "$sudo" = no-root ]; then
    echo "Needs root: $*" >&2
    echo "Run this script as root (or with sudo) and try again." >&2
    exit 1
  fi
  $sudo "$@"
}

apt_update() {
  # "apt-get update" exits non-zero when any index failed, even though the
  # others were stored; a mirror sync usually ends within a minute.
  local try
  apt_updated=1
  for try in 1 2 3; do
    if as_root apt-get update -q >/tmp/qv-apt-update.log 2>&1; then return 0; fi
    echo "Package index update failed (try $try of 3):" >&2
    grep -E '^(E|W):' /tmp/qv-apt-update.log | head -n 5 >&2 || true
    [ "$try" -lt 3 ] && sleep $((try * 10))
  done
  echo "Going on with the package lists that did load." >&2
}

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt_update
  # wine32's libraries run maintainer scripts that fail on kernels without
  # 32-bit support; the packages are still unpacked, which is all we need.
  if ! as_root apt-get install -y -q "${missing[@]}" >/tmp/qv-apt.log 2>&1; then
    failed=()
    for p in "${missing[@]}"; do installed "$p" || failed+=("$p"); done
    if [ ${#failed[@]} -gt 0 ]; then
      # One package apt cannot place fails the whole request: try them one
      # by one, so that each failure has its own reason.
      for p in "${failed[@]}"; do
        as_root apt-get install -y -q "$p" >"/tmp/qv-apt-$p.log" 2>&1 || true
        if ! installed "$p"; then
          reason=$(grep -E '^E:' "/tmp/qv-apt-$p.log" | grep -v -i "exec format" | head -n 1)
          echo "Could not install $p: ${reason:-see /tmp/qv-apt-$p.log}" >&2
          bad=1
        fi
      done
      [ -z "${bad:-}" ] || exit 1
    fi
  fi
fi

# Wine shows the program's Chinese text only under a Chinese locale.
if ! have_locale; then
  as_root localedef -i zh_CN -f UTF-8 zh_CN.UTF-8 || { echo "Could not make the zh_CN.UTF-8 locale" >&2; exit 1; }
fi

# The shipped program is 32-bit. Where the kernel refuses 32-bit Linux
# programs, QEMU's user-mode emulator runs Wine's 32-bit loader.
if ! native32 && ! [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
  if ! installed qemu-user-static; then
    [ "${apt_updated:-}" ] || { export DEBIAN_FRONTEND=noninteractive; apt_update; }
    as_root apt-get install -y -q qemu-user-static >/tmp/qv-apt-qemu.log 2>&1 || true
    installed qemu-user-static || {
      echo "Could not install qemu-user-static: $(grep -E '^E:' /tmp/qv-apt-qemu.log | head -n 1)" >&2
      exit 1; }
  fi
  if ! [ -e /proc/sys/fs/binfmt_misc/register ]; then
    as_root mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || true
  fi
  # Debian's package may have registered it itself (through systemd).
  if ! [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    entry=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F'
    if ! { [ -w /proc/sys/fs/binfmt_misc/register ] &&
           echo "$entry" > /proc/sys/fs/binfmt_misc/register; } 2>/dev/null; then
      echo "NOTE: this host cannot run 32-bit programs, and registering QEMU for them" >&2
      echo "      with binfmt_misc was refused: the shipped 32-bit program will not run." >&2
    fi
  fi
fi
exit 0
