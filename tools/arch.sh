#!/usr/bin/env bash
# Prints the architecture the tests run as: i686 (the product's own) when
# this host can run Wine's 32-bit loader, x86_64 otherwise. QV_ARCH overrides.
if [ -n "${QV_ARCH:-}" ]; then echo "$QV_ARCH"; exit 0; fi
if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo i686
else
  echo x86_64
fi
