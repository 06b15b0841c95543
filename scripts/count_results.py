#!/usr/bin/python3
"""Counts single test cases over the given build folders.

A GoogleTest program reports each case in its XML file; a ctest entry with
no such file (a script, or a program that died before writing it) counts as
one case. A program whose cases all passed but which ctest saw fail (a crash
at exit, a leak report) counts as one more failure."""
import glob
import os
import sys
import xml.etree.ElementTree as ET

total_pass = total_fail = total_skip = 0
for build in sys.argv[1:]:
    results = os.path.join(build, "test-results")
    junit = os.path.join(results, "ctest.junit")
    entries = {}
    if os.path.exists(junit):
        for case in ET.parse(junit).getroot().iter("testcase"):
            status = case.get("status", "")
            failed = status not in ("run", "passed") or case.find("failure") is not None
            entries[case.get("name")] = failed
    p = f = s = 0
    for name, failed in sorted(entries.items()):
        xml = os.path.join(results, name + ".xml")
        if os.path.exists(xml):
            root = ET.parse(xml).getroot()
            tests = int(root.get("tests", 0))
            bad = int(root.get("failures", 0)) + int(root.get("errors", 0))
            skipped = int(root.get("skipped", 0)) + int(root.get("disabled", 0))
            f += bad
            s += skipped
            p += max(tests - bad - skipped, 0)
            if failed and bad == 0:
                f += 1
        elif failed:
            f += 1
        else:
            p += 1
    print(f"{os.path.basename(build)}: {p} passed, {f} failed, {s} skipped ({len(entries)} programs)")
    total_pass += p
    total_fail += f
    total_skip += s
if total_skip:
    print(f"{total_pass} passed, {total_fail} failed, {total_skip} skipped")
else:
    print(f"{total_pass} passed, {total_fail} failed")
