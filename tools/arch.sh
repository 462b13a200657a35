#!/usr/bin/env bash
# Prints the architecture the tests run as: i686 (the product's own) when
# this host can run Wine's 32-bit loader, x86_64 otherwise. QV_ARCH overrides.
source "$(dirname "${BASH_SOURCE[0]}")/wine-probe.sh"
if [ -n "${QV_ARCH:-}" ]; then echo "$QV_ARCH"; exit 0; fi
if qv_wine32_runs; then echo i686; else echo x86_64; fi
