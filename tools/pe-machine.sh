#!/usr/bin/env bash
# Prints the architecture of a Windows program: i686, x86_64, or nothing
# when the file is not a PE image of either.
f=${1:?usage: pe-machine.sh FILE}
off=$(od -An -tu4 -j60 -N4 "$f" 2>/dev/null | tr -d ' ')
[ -n "$off" ] || exit 1
case "$(od -An -tx2 -j$((off + 4)) -N2 "$f" 2>/dev/null | tr -d ' ')" in
  014c) echo i686 ;;
  8664) echo x86_64 ;;
  *) exit 1 ;;
esac
