#!/usr/bin/env bash
# The run's own bookkeeping (tools/ctest-set.sh, tools/test-results.py), on a
# made-up ctest project whose "programs" write GoogleTest records: what is
# counted, what fails the run, and that only an emulator's death is tried
# again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
named=$(sed -n '/^## Skips$/,/^## /s/^- `\([a-z0-9-]*\)`.*/\1/p' "$root/docs/testing.md" | head -n 1)
[ -n "$named" ] || fail "docs/testing.md names no capability under \"Skips\""

# A program: writes a record with one case of each kind asked for (a "+"
# in a skip's reason stands for a space), then exits as told. "once:"
# modes fail the first time only.
cat >"$work/prog.sh" <<'EOF'
name=$1 cases=$2 how=$3
if [ "${how#once:}" != "$how" ]; then
  [ -e "$name.tried" ] && how=ok || { touch "$name.tried"; how=${how#once:}; }
fi
{
  echo '<?xml version="1.0"?><testsuites><testsuite name="S">'
  i=0
  for c in $cases; do
    i=$((i + 1))
    case $c in
      pass) echo "<testcase name=\"c$i\" status=\"run\" result=\"completed\" classname=\"S\"/>" ;;
      fail) echo "<testcase name=\"c$i\" status=\"run\" result=\"completed\" classname=\"S\"><failure message=\"x\">f.cpp:1
expected</failure></testcase>" ;;
      skip:*) echo "<testcase name=\"c$i\" status=\"run\" result=\"skipped\" classname=\"S\"><skipped message=\"x\">f.cpp:2

$(echo "${c#skip:}" | tr + ' ')</skipped></testcase>" ;;
    esac
  done
  echo '</testsuite></testsuites>'
} >"../test-results/gtest/$name.xml"
case $how in
  ok) exit 0 ;;
  fail) exit 1 ;;
  segv) kill -SEGV $$ ;;
  qemu) echo "qemu: uncaught target signal 6 (Aborted) - core dumped" >&2; exit 1 ;;
esac
EOF

# Builds a project of tests "NAME CASES HOW" (one a line) in $work/$1, with
# the CMake lines of $extra after them.
project() {
  local dir="$work/$1" name cases how
  mkdir -p "$dir/src" "$dir/build/bin"
  echo 'cmake_minimum_required(VERSION 3.20)
project(fake NONE)
enable_testing()' >"$dir/src/CMakeLists.txt"
  : >"$dir/build/gtest-tests.txt"
  while read -r name cases how; do
    echo "add_test(NAME $name COMMAND sh $work/prog.sh $name \"${cases//,/ }\" $how
WORKING_DIRECTORY $dir/build/bin)" >>"$dir/src/CMakeLists.txt"
    echo "$name" >>"$dir/build/gtest-tests.txt"
  done
  echo "${extra:-}" >>"$dir/src/CMakeLists.txt"
  cmake -S "$dir/src" -B "$dir/build" >/dev/null
}
set_run() { "$root/tools/ctest-set.sh" "$work/$1/build" "$2" --no-tests=error "${@:3}" >"$work/$1.log" 2>&1; }
summary() { python3 "$root/tools/test-results.py" summary "x=$work/$1/build/test-results" >"$work/$1.sum"; }

# Counts, and a skip for a documented capability.
project counts <<EOF
a pass,pass,skip:platform+lacks+$named:+why ok
b pass ok
EOF
set_run counts 1 || fail "a passing set failed"
summary counts || fail "a passing set's summary failed: $(cat "$work/counts.sum")"
grep -qx "Summary: 3 cases passed, 0 failed, 1 skipped (platform lacks: $named) in 2 programs; 0 other tests passed, 0 failed; 0 emulator retries." "$work/counts.sum" ||
  fail "wrong summary: $(cat "$work/counts.sum")"
grep -q "^SKIPPED S.c3 (a): platform lacks $named: why" "$work/counts.sum" || fail "the skip is not named"
python3 "$root/tools/test-results.py" summary --not-run32 "x=$work/counts/build/test-results" |
  grep -q "^Summary: THE SHIPPED 32-BIT PROGRAM WAS NOT RUN; 3 cases passed" ||
  fail "the summary does not say first that the shipped program was not run"

# Skips without a documented capability, a program that ran no case, a
# failed case, and no test at all each fail the run.
for bad in pass,skip:no+links+here pass,skip:platform+lacks+nothing-such:+x none; do
  echo "a $bad ok" | project "bad$RANDOM"
done
for dir in "$work"/bad*/; do
  dir=$(basename "$dir")
  set_run "$dir" 1 || true
  if summary "$dir"; then fail "$dir passed: $(cat "$work/$dir.sum")"; fi
done
echo "a pass,fail fail" | project failed
if set_run failed 3; then fail "a failed case passed"; fi
[ ! -e "$work/failed/build/test-results/ctest-2.xml" ] || fail "a failed expectation was tried again"
if summary failed; then fail "a failed case's summary passed"; fi
grep -q "1 failed" "$work/failed.sum" || fail "the failure is not counted"
echo "a pass ok" | project empty
if set_run empty 1 -R nothing; then fail "a set that ran nothing passed"; fi
if summary empty; then fail "an empty run's summary passed"; fi

# The emulator's deaths, by a host signal or as QEMU says, run again, are
# shown and counted (not the fixture that runs again with them); a death
# every time fails.
extra='add_test(NAME setup COMMAND true)
set_tests_properties(setup PROPERTIES FIXTURES_SETUP f)
set_tests_properties(sig qemu always PROPERTIES FIXTURES_REQUIRED f)' project emulated <<EOF
sig pass once:segv
qemu pass once:qemu
always pass segv
EOF
if set_run emulated 3; then fail "a test that died every time passed"; fi
summary emulated || true
grep -q "EMULATOR DIED in sig, try 1: ended by a host signal (SEGFAULT)" "$work/emulated.log" ||
  fail "a signal's death was not shown"
grep -q "EMULATOR DIED in qemu, try 1: qemu: uncaught target signal 6" "$work/emulated.log" ||
  fail "QEMU's death was not shown"
grep -q "RETRIED sig (x): the emulator died in try 1; try 2 passed" "$work/emulated.sum" ||
  fail "the retry is not in the summary"
[ ! -e "$work/emulated/build/test-results/ctest-4.xml" ] || fail "tried more than three times"
grep -q "^Summary: 3 cases passed, 1 failed.* 1 other tests passed, 0 failed; 4 emulator retries" \
  "$work/emulated.sum" ||
  fail "wrong summary: $(cat "$work/emulated.sum")"
echo "results_check: all seen"
