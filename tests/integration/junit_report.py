#!/usr/bin/env python3
"""korvane-run --grade with --junit and --tap over the grade_class golden case: the JUnit file
parses as XML with one testsuite per program and one testcase per check line, and the TAP
stream's plan matches its test lines."""
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

runner, case = os.path.abspath(sys.argv[1]), sys.argv[2]
programs = ["alice.awl", "bob.awl", "carol.awl"]
with tempfile.TemporaryDirectory() as tmp:
    junit = os.path.join(tmp, "class.xml")
    run = subprocess.run([runner, "--grade", "script", *programs, "--timebase", "100", "--ms", "10000",
                          "--junit", junit, "--tap", "--jobs", "3"], cwd=case, capture_output=True, text=True)
    assert run.returncode == 1, run
    root = ET.parse(junit).getroot()

assert root.tag == "testsuites" and root.get("tests") == "13" and root.get("failures") == "3" \
    and root.get("errors") == "1", root.attrib
suites = root.findall("testsuite")
assert [s.get("name") for s in suites] == programs
# Alice passes every check line, Bob (a three-second star time) fails the three that time it,
# Carol does not load.
want = {"alice.awl": (6, []), "bob.awl": (6, [4, 5, 8]), "carol.awl": (1, [])}
for s in suites:
    count, failing = want[s.get("name")]
    cases = s.findall("testcase")
    assert len(cases) == count == int(s.get("tests")), s.get("name")
    failed = [int(re.match(r"line (\d+):", c.get("name")).group(1)) for c in cases if c.find("failure") is not None]
    assert failed == failing, (s.get("name"), failed)
    assert s.find("properties/property[@name='findings']").get("value") == ("1" if s.get("name") == "bob.awl" else "0")
bob = suites[1].findall("testcase")
assert bob[1].get("name") == "line 4: expect Q0.1 falls 5400..5600"
assert bob[1].find("failure").get("message") == "Q0.1 falls in 5400..5600 ms: fell at 3450 ms (watched from 500 ms)"
assert bob[4].get("name") == "line 8: 1000..5400 always Q0.0 & Q0.1 & !Q0.2"
error = suites[2].find("testcase/error").get("message")
assert error.startswith("'carol.awl' holds no program"), error

lines = run.stdout.splitlines()
assert lines[0] == "TAP version 13" and lines[1] == "1..13", lines[:2]
tests = [l for l in lines if re.match(r"(not )?ok \d+ - ", l)]
assert len(tests) == 13 and sum(l.startswith("not ok") for l in tests) == 4, tests
assert tests[12] == "not ok 13 - carol.awl load", tests[12]
# With --tap the table goes to standard error.
assert "3 programs: 1 passed every check, 1 failed, 1 did not load" in run.stderr, run.stderr
print("junit and tap reports: 1 passed, 0 failed")
