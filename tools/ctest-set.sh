#!/usr/bin/env bash
# Runs one set of tests with ctest and keeps its records in
# BUILD/test-results for tools/test-results.py. With TRIES above 1, a test
# that the emulator killed (tools/test-results.py names the signs) runs
# again, up to TRIES times in all, and says so; any other failure is final.
#   tools/ctest-set.sh BUILD TRIES [CTEST ARGS...]
set -uo pipefail
tools=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: ctest-set.sh BUILD TRIES [CTEST ARGS...]}
tries=${2:?usage: ctest-set.sh BUILD TRIES [CTEST ARGS...]}
shift 2
out="$build/test-results"
rm -rf "$out"
mkdir -p "$out/gtest" || exit 1

# One try: ctest's junit record and its console (which alone names a death
# by a signal), the console shown as it runs.
run_try() {
  local n=$1
  shift
  ctest --test-dir "$build" --output-on-failure --output-junit "$out/ctest-$n.xml" "$@" 2>&1 |
    tee "$out/ctest-$n.out"
}

run_try 1 "$@"
rc=$?
final=0
try=1
while [ "$rc" != 0 ] && [ "$try" -lt "$tries" ]; do
  again=$(python3 "$tools/test-results.py" deaths "$out" "$try") || final=1
  [ -n "$again" ] || break
  try=$((try + 1))
  echo "Running again what the emulator killed (try $try of $tries): $(echo $again)"
  for name in $again; do rm -f "$out/gtest/$name.xml"; done
  echo "$again" >"$out/retried-$try.txt"
  run_try "$try" -R "^($(echo $again | tr ' ' '|'))\$"
  rc=$?
done
[ "$final" = 0 ] || exit 1
exit "$rc"
