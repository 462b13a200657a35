#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when
# they are missing, and lets this host run Wine's 32-bit loader: natively
# where the kernel can, else under QEMU's user-mode emulator registered
# through binfmt_misc. Needs root (or sudo) only when something is missing.
#
# A package index that fails to download (a mirror half-way through a sync)
# does not stop it: the update is retried, then the packages are installed
# from the lists that did load (fetching the i386 twins that a half-loaded
# index lacks, below). A package that still cannot be installed is named
# with the reason, and the script exits non-zero: 3 when all is there but
# what runs 32-bit programs (the x86_64 tests can still run), 1 otherwise.
set -euo pipefail

pkgs=(cmake make g++ mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
      wine wine64 xvfb xauth xdotool x11-utils x11-apps imagemagick libz-mingw-w64
      fonts-wqy-microhei fonts-wqy-zenhei python3 python3-fonttools locales googletest
      openssl osslsigncode clang libclang-rt-14-dev nsis)

source "$(dirname "${BASH_SOURCE[0]}")/wine-probe.sh"

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
have_locale() { locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; }
native32() { [ "$(qv_wine32_mode)" = native ]; }

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

# Multi-Arch "same" libraries must have one version on amd64 and i386.
# When a suite's i386 list failed to load (a mirror half-way through a
# sync) while its amd64 list did, the amd64 libraries installed or upgraded
# from that suite have no i386 twin in the lists, and apt gives up on any
# i386 package that needs them ("pkgProblemResolver::Resolve generated
# breaks"). The twin lies in the same pool as the amd64 file, under the same
# name with _i386: fetch the ones the wanted i386 packages need (printed,
# one path a line), so that apt can be handed them beside the packages.
twin_dir=/var/cache/qvuninstall/i386-twins
i386_twins() {
  local closure p cand uri file
  closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts \
              --no-breaks --no-replaces --no-enhances "$@" 2>/dev/null |
            grep -v '^[ <]' | sed 's/:i386$//' | sort -u)
  as_root mkdir -p "$twin_dir"
  dpkg-query -W -f='${Package} ${Architecture} ${Multi-Arch}\n' |
    awk '$2 == "amd64" && $3 == "same" { print $1 }' | sort -u |
    comm -12 - <(echo "$closure") |
  while read -r p; do
    cand=$(apt-cache policy "$p:amd64" | awk '/Candidate:/ { print $2 }')
    [ -n "$cand" ] && [ "$cand" != "(none)" ] || continue
    apt-cache madison "$p:i386" 2>/dev/null | awk -F'|' '{ gsub(/ /, "", $2); print $2 }' |
      grep -qxF "$cand" && continue
    uri=$(apt-get download --print-uris "$p:amd64=$cand" 2>/dev/null | head -n 1 | cut -d' ' -f1 | tr -d "'")
    case "$uri" in *_amd64.deb) uri="${uri%_amd64.deb}_i386.deb" ;; *) continue ;; esac
    file="$twin_dir/${p}_i386.deb"
    if ! [ "$(dpkg-deb -f "$file" Version 2>/dev/null)" = "$cand" ]; then
      as_root rm -f "$file"
      as_root /usr/lib/apt/apt-helper download-file "$uri" "$file" >/dev/null 2>&1 ||
        { echo "Could not fetch $uri" >&2; as_root rm -f "$file"; continue; }
    fi
    # Only what was asked for: the package, version and architecture.
    if [ "$(dpkg-deb -f "$file" Package Version Architecture 2>/dev/null | tr '\n' ' ')" \
         != "Package: $p Version: $cand Architecture: i386 " ]; then
      echo "Fetched $uri is not $p $cand for i386; not used" >&2
      as_root rm -f "$file"
      continue
    fi
    echo "$file"
  done
}

# Installs one package, naming the reason when it cannot; i386 packages get
# a second try with the twins of their amd64 libraries.
install_one() {
  local p=$1 log="/tmp/qv-apt-${1//:/-}.log" twins reason
  as_root apt-get install -y -q "$p" >"$log" 2>&1 || true
  if ! installed "$p" && [[ "$p" == *:i386 ]]; then
    mapfile -t twins < <(i386_twins "$p")
    if [ ${#twins[@]} -gt 0 ]; then
      echo "Fetching the i386 twins apt lacks for $p: $(basename -a "${twins[@]}" | sed 's/_i386.deb//' | tr '\n' ' ')"
      as_root apt-get install -y -q "$p" "${twins[@]}" >"$log" 2>&1 || true
    fi
  fi
  installed "$p" && return 0
  reason=$(grep -E '^E:' "$log" | grep -v -i "exec format" | head -n 1)
  echo "Could not install $p: ${reason:-see $log}" >&2
  return 1
}

# The 32-bit parts (Wine's 32-bit loader and the emulator that may run it)
# serve only the shipped program's own tests: without them the build and the
# x86_64 suite still work, so their absence has its own exit code (3),
# which tools/test.sh and tools/run.sh report loudly and go on.
only32=1
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
    # One package apt cannot place fails the whole request: go on one by
    # one, so that each failure has its own reason.
    for p in "${missing[@]}"; do
      installed "$p" && continue
      if ! install_one "$p"; then
        bad=1
        [[ "$p" == *:i386 ]] || only32=""
      fi
    done
  fi
fi
[ -z "${bad:-}" ] || [ -n "$only32" ] || exit 1

# Wine shows the program's Chinese text only under a Chinese locale.
if ! have_locale; then
  as_root localedef -i zh_CN -f UTF-8 zh_CN.UTF-8 || { echo "Could not make the zh_CN.UTF-8 locale" >&2; exit 1; }
fi

# The shipped program is 32-bit. Where the kernel refuses 32-bit Linux
# programs, QEMU's user-mode emulator runs Wine's 32-bit loader.
no32() {
  echo "NOTE: $*" >&2
  echo "      The shipped 32-bit program cannot be run here; only the x86_64 tests will." >&2
  exit 3
}
[ -x /usr/lib/wine/wine ] || no32 "Wine's 32-bit loader (wine32:i386) is not installed."
# The newest QEMU the package lists offer, from Debian 12's backports when
# its own is too old. qemu-user alone: its recommended binfmt package would
# register every architecture for the whole machine.
install_qemu() {
  local codename major list=/etc/apt/sources.list.d/qv-backports.sources
  [ "${apt_updated:-}" ] || { export DEBIAN_FRONTEND=noninteractive; apt_update; }
  major=$(apt-cache policy qemu-user 2>/dev/null | sed -n 's/^ *Candidate: \([0-9]*:\)\{0,1\}\([0-9]*\)\..*/\2/p')
  if [ -n "$major" ] && [ "$major" -ge "$QV_QEMU_MIN" ]; then
    as_root apt-get install -y -q --no-install-recommends qemu-user >/tmp/qv-apt-qemu.log 2>&1 || true
    qv_qemu_i386 >/dev/null && return 0
  fi
  codename=$(. /etc/os-release 2>/dev/null && [ "${ID:-}" = debian ] && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || { echo "No QEMU $QV_QEMU_MIN or later in this host's package lists." >&2; return 1; }
  if ! [ -e "$list" ]; then
    printf '%s\n' "Types: deb" "URIs: http://deb.debian.org/debian" "Suites: $codename-backports" \
      "Components: main" "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" |
      as_root tee "$list" >/dev/null
    apt_update
  fi
  echo "Installing QEMU $QV_QEMU_MIN or later from $codename-backports"
  as_root apt-get install -y -q --no-install-recommends -t "$codename-backports" qemu-user \
    >/tmp/qv-apt-qemu.log 2>&1 || true
  qv_qemu_i386 >/dev/null && return 0
  echo "Could not install qemu-user from $codename-backports: $(grep -E '^E:' /tmp/qv-apt-qemu.log | head -n 1)" >&2
  return 1
}

if ! native32; then
  entry=/proc/sys/fs/binfmt_misc/qemu-i386
  fresh=""
  qemu=$(qv_qemu_i386) || { install_qemu && fresh=1 && qemu=$(qv_qemu_i386); } ||
    no32 "QEMU's user-mode emulator $QV_QEMU_MIN or later is missing."
  if ! [ -e /proc/sys/fs/binfmt_misc/register ]; then
    as_root mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || true
  fi
  # An entry made for another emulator (an older QEMU's path, or the file
  # that the package just replaced: flag F keeps it open) is made again.
  if [ -e "$entry" ] && { [ -n "$fresh" ] || [ "$(sed -n 's/^interpreter //p' "$entry")" != "$qemu" ]; }; then
    as_root sh -c 'echo -1 >"$1"' sh "$entry" 2>/dev/null || true
  fi
  if ! [ -e "$entry" ]; then
    # binfmt_misc reads the \x escapes itself.
    as_root sh -c 'printf "%s\n" "$1" >/proc/sys/fs/binfmt_misc/register' sh "$(qv_qemu_entry "$qemu")" 2>/dev/null ||
      no32 "registering QEMU for 32-bit programs with binfmt_misc was refused (a container without the privilege?)."
  fi
  # i386 maintainer scripts that could not run before the emulator was there.
  as_root dpkg --configure -a >/dev/null 2>&1 || true
fi
[ -z "${bad:-}" ] || exit 3
exit 0
