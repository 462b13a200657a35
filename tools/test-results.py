#!/usr/bin/env python3
"""What a test run did, from ctest's and GoogleTest's own records.

A set's folder (build-ARCH/test-results, written by tools/ctest-set.sh)
holds, for each try N of the set, ctest-N.xml (ctest --output-junit) and
ctest-N.out (its console), from the second try on retried-N.txt (the tests
run again: their fixtures run with them), and gtest/NAME.xml for every
GoogleTest program ctest ran as NAME; the build's gtest-tests.txt names
those programs.

  test-results.py deaths DIR N
      Prints the tests of try N that the emulator killed (one a line) and,
      on stderr, what each showed; exits 1 when another failure is there.
  test-results.py summary [--not-run32] LABEL=DIR...
      Lists skipped cases and retries and ends with the summary line; exits
      1 when a test failed, no test ran, a program ran no case, a skip is
      not for a capability named in docs/testing.md, or results are missing.
"""
import glob
import os
import re
import sys
import xml.etree.ElementTree as ET

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# A Windows program's own exception ends it with an exit code under Wine;
# only the emulator or Wine's Unix side dies of a host signal. QEMU names a
# child's death on the inherited stderr ("uncaught target signal": the guest
# died of a signal, an abort of Wine's included; "QEMU internal": QEMU
# itself faulted).
HOST_SIGNALS = ("SEGFAULT", "ILLEGAL", "NUMERICAL", "OTHER_FAULT", "Subprocess aborted",
                "Exception")
EMULATOR_TEXTS = ("qemu: uncaught target signal", "QEMU internal SIG")
SKIP_NAME = re.compile(r"^platform lacks ([a-z0-9-]+): ", re.M)


def read_junit(path):
    """ctest's record of one try: {name: (ran, passed, output)}."""
    tests = {}
    if not os.path.exists(path):
        return tests
    for case in ET.parse(path).getroot().iter("testcase"):
        status = case.get("status", "")
        out = case.findtext("system-out") or ""
        tests[case.get("name")] = (status in ("run", "fail"), status == "run", out)
    return tests


def read_statuses(path):
    """ctest's word for each failure of one try ("Failed", "SEGFAULT", ...)."""
    statuses, listing = {}, False
    if os.path.exists(path):
        with open(path, errors="replace") as f:
            for line in f:
                if line.startswith("The following tests FAILED"):
                    listing = True
                    continue
                m = re.match(r"\s*\d+ - (\S+) \((.*)\)\s*$", line) if listing else None
                if m:
                    statuses[m.group(1)] = m.group(2)
    return statuses


def emulator_death(status, output):
    """The line that shows the emulator died, or None."""
    if status.startswith(HOST_SIGNALS):
        return "ended by a host signal (%s)" % status
    for line in output.splitlines():
        if any(t in line for t in EMULATOR_TEXTS):
            return line.strip()
    return None


def deaths(folder, n):
    tests = read_junit(os.path.join(folder, "ctest-%s.xml" % n))
    statuses = read_statuses(os.path.join(folder, "ctest-%s.out" % n))
    other = False
    for name, (ran, passed, out) in sorted(tests.items()):
        if passed:
            continue
        why = emulator_death(statuses.get(name, "Failed"), out) if ran else None
        if not why:
            other = True
            continue
        print(name)
        tail = "\n".join("    " + l for l in out.rstrip().splitlines()[-20:])
        print("EMULATOR DIED in %s, try %s: %s\n%s" % (
            name, n, why, "  its output ended:\n" + tail if tail else "  it wrote nothing"),
            file=sys.stderr)
    return 1 if other else 0


def documented_skips():
    """The capability names docs/testing.md lists under "Skips"."""
    try:
        with open(os.path.join(ROOT, "docs", "testing.md"), encoding="utf-8") as f:
            text = f.read()
    except OSError:
        return set()
    m = re.search(r"^## Skips\n(.*?)(?=^## |\Z)", text, re.S | re.M)
    return set(re.findall(r"^- `([a-z0-9-]+)`", m.group(1), re.M)) if m else set()


class Totals:
    def __init__(self):
        self.passed = self.failed = self.skipped = self.programs = 0
        self.others_passed = self.others_failed = self.retries = 0
        self.tests_run = 0
        self.named = set()
        self.errors = []


def read_set(label, folder, known, totals):
    tries = sorted(int(m.group(1)) for p in glob.glob(os.path.join(folder, "ctest-*.xml"))
                   for m in [re.search(r"ctest-(\d+)\.xml$", p)] if m)
    final = {}
    for n in tries:
        retried = os.path.join(folder, "retried-%d.txt" % n)
        retried = set(open(retried).read().split()) if os.path.exists(retried) else set()
        for name, (ran, passed, out) in read_junit(os.path.join(folder, "ctest-%d.xml" % n)).items():
            if n > 1 and name not in retried:
                continue
            if n > 1 and ran:
                totals.retries += 1
                print("RETRIED %s (%s): the emulator died in try %d; try %d %s" %
                      (name, label, n - 1, n, "passed" if passed else "failed"))
            final[name] = (ran, passed)
    manifest = os.path.join(folder, os.pardir, "gtest-tests.txt")
    programs = set(open(manifest).read().split()) if os.path.exists(manifest) else set()
    for name, (ran, passed) in sorted(final.items()):
        if not ran:
            totals.others_failed += 1
            totals.errors.append("%s (%s) did not run" % (name, label))
            continue
        totals.tests_run += 1
        if name not in programs:
            if passed:
                totals.others_passed += 1
            else:
                totals.others_failed += 1
            continue
        totals.programs += 1
        path = os.path.join(folder, "gtest", name + ".xml")
        if not os.path.exists(path):
            totals.failed += 1
            totals.errors.append("%s (%s) ended without its results (a crash or a time-out)"
                                 % (name, label))
            continue
        cases = [c for c in ET.parse(path).getroot().iter("testcase") if c.get("status") == "run"]
        if not cases:
            totals.errors.append("%s (%s) ran no case: its filter matches nothing" % (name, label))
        for c in cases:
            case = "%s.%s" % (c.get("classname"), c.get("name"))
            if c.find("failure") is not None:
                totals.failed += 1
            elif c.get("result") == "skipped":
                totals.skipped += 1
                why = (c.findtext("skipped") or "").partition("\n")[2].strip()
                m = SKIP_NAME.search(why)
                if m and m.group(1) in known:
                    totals.named.add(m.group(1))
                    print("SKIPPED %s (%s): %s" % (case, name, why))
                else:
                    totals.errors.append("%s (%s) skipped for no capability named in "
                                         "docs/testing.md: %s" % (case, name, why or "(no reason)"))
            else:
                totals.passed += 1
        if not passed and not any(c.find("failure") is not None for c in cases):
            totals.failed += 1
            totals.errors.append("%s (%s) failed after its cases (its exit code)" % (name, label))


def summary(args):
    not_run32 = "--not-run32" in args
    sets = [a.split("=", 1) for a in args if "=" in a]
    known = documented_skips()
    totals = Totals()
    for label, folder in sets:
        read_set(label, folder, known, totals)
    if totals.tests_run == 0:
        totals.errors.append("no test ran")
    for e in totals.errors:
        print("ERROR: " + e)
    line = ("Summary: %d cases passed, %d failed, %d skipped%s in %d programs; "
            "%d other tests passed, %d failed; %d emulator retries%s." % (
                totals.passed, totals.failed, totals.skipped,
                " (platform lacks: %s)" % ", ".join(sorted(totals.named)) if totals.named else "",
                totals.programs, totals.others_passed, totals.others_failed, totals.retries,
                "; %d errors" % len(totals.errors) if totals.errors else ""))
    if not_run32:
        line = "Summary: THE SHIPPED 32-BIT PROGRAM WAS NOT RUN; " + line[len("Summary: "):]
    print(line)
    bad = totals.errors or totals.failed or totals.others_failed
    return 1 if bad else 0


def main(argv):
    if len(argv) == 3 and argv[0] == "deaths":
        return deaths(argv[1], argv[2])
    if argv and argv[0] == "summary":
        return summary(argv[1:])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
