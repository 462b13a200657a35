#!/usr/bin/env bash
# tests/layers.sh SOURCE_DIR PUBLIC_HEADER...: the house has floors, and no
# file includes one from a floor above its own:
#   base/ (services)   includes base/ only
#   ui/   (toolkit)    includes ui/, base/
#   app/  (application) includes app/, ui/, base/
# A product (sample/) sees only the installed headers, and an installed
# header includes only installed headers, so the package stands alone.
# Prints every include that breaks a rule; exits 1 if there is one.
set -uo pipefail
src=${1:?usage: layers.sh SOURCE_DIR PUBLIC_HEADER...}
shift
[[ -d $src/base && -d $src/ui && -d $src/app ]] || { echo "no source tree at $src"; exit 1; }
declare -A public=()
for h in "$@"; do public[$h]=1; done
bad=0

# Every quoted include with a folder part: "FILE:LINE:FOLDER/NAME".
includes() {
  grep -rHnoE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[^"/]+/[^"]+"' "$@" 2>/dev/null |
    sed -E 's/:[[:space:]]*#[[:space:]]*include[[:space:]]+"/:/; s/"$//'
}

check_floor() {  # FLOOR ALLOWED-FOLDER...
  local floor=$1; shift
  local allowed=" $* " where target
  while IFS= read -r line; do
    where=${line%:*}; target=${line##*:}
    if [[ $allowed != *" ${target%%/*} "* ]]; then
      echo "$where: $floor/ includes $target, a floor above it"
      bad=1
    fi
  done < <(includes "$src/$floor" --include='*.h' --include='*.cpp')
}

check_floor base base
check_floor ui ui base
check_floor app app ui base

if (($# > 0)); then
  check_public() {  # FILE...: each include must be an installed header
    local where target
    while IFS= read -r line; do
      where=${line%:*}; target=${line##*:}
      if [[ -z ${public[$target]:-} ]]; then
        echo "$where: includes $target, which the package does not install"
        bad=1
      fi
    done < <(includes "$@")
  }
  for h in "$@"; do check_public "$src/$h"; done
  check_public "$src/sample"
fi
exit $bad
