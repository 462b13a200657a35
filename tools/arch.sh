#!/usr/bin/env bash
# Prints the architecture the test suite runs as: i686 (the product's own)
# where this host runs Wine's 32-bit loader natively, x86_64 otherwise. Under
# emulation 32-bit programs are slower and now and then stop in the emulator,
# so a chosen i686 set runs there, beside the x86_64 suite (tools/test.sh).
# QV_ARCH overrides.
source "$(dirname "${BASH_SOURCE[0]}")/wine-probe.sh"
if [ -n "${QV_ARCH:-}" ]; then echo "$QV_ARCH"; exit 0; fi
if [ "$(qv_wine32_mode)" = native ]; then echo i686; else echo x86_64; fi
