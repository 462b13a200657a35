#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when
# they are missing. Needs root (or sudo) only when something is missing.
set -euo pipefail

pkgs=(cmake make g++ mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
      wine wine64 xvfb xauth xdotool x11-utils x11-apps imagemagick libz-mingw-w64
      fonts-wqy-microhei fonts-wqy-zenhei python3 python3-fonttools locales googletest
      openssl osslsigncode clang libclang-rt-14-dev nsis)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# Wine's 32-bit loader: only useful where the kernel runs 32-bit binaries,
# but harmless elsewhere, so we always ask for it.
dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed" || missing+=("wine32:i386")

have_locale() { locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; }

if [ ${#missing[@]} -eq 0 ] && have_locale; then exit 0; fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then sudo="sudo"; else
    echo "Missing packages: ${missing[*]}" >&2
    echo "Run this script as root (or install them with apt-get) and try again." >&2
    exit 1
  fi
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q >/dev/null
  # wine32's libraries run maintainer scripts that fail on kernels without
  # 32-bit support; the packages are still unpacked, which is all we need.
  $sudo apt-get install -y -q "${missing[@]}" >/tmp/qv-apt.log 2>&1 || {
    grep -v -i "exec format error" /tmp/qv-apt.log | tail -n 20 >&2
    for p in "${pkgs[@]}"; do
      dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || {
        echo "Could not install $p (see /tmp/qv-apt.log)" >&2; exit 1; }
    done
  }
fi

# Wine shows the program's Chinese text only under a Chinese locale.
if ! have_locale; then
  $sudo localedef -i zh_CN -f UTF-8 zh_CN.UTF-8 || { echo "Could not make the zh_CN.UTF-8 locale" >&2; exit 1; }
fi
