#!/usr/bin/env bash
# The same uninstall with a data file that lists the product's files and
# folders one by one instead of naming its installation folder.
E2E_MODE=list exec bash "$(dirname "$0")/e2e_uninstall.sh" "$@"
