#!/usr/bin/env python3
"""Reads the JUnit file `ctest --output-junit` wrote and prints one line for the test command:
PASSED FAILED SKIPPED, then, one a line, why each skipped test was skipped (the line of its
output that starts "skipped on", as the tests that skip on purpose say it).

Usage: ctest-results.py JUNIT_FILE
Exit 0 when the file reads; 2 when it is missing or not ctest's JUnit (ctest then ran nothing).
"""
import sys
import xml.etree.ElementTree as ET


def main():
    try:
        suite = ET.parse(sys.argv[1]).getroot()
    except (OSError, ET.ParseError) as error:
        print(f"no test results in {sys.argv[1]}: {error}", file=sys.stderr)
        return 2
    if suite.tag != "testsuite":
        print(f"{sys.argv[1]} is not a JUnit test suite", file=sys.stderr)
        return 2
    passed = failed = skipped = 0
    reasons = set()
    for case in suite.iter("testcase"):
        status = case.get("status")
        if case.find("skipped") is not None or status == "notrun":
            skipped += 1
            output = case.findtext("system-out") or ""
            reasons.update(line.strip() for line in output.splitlines()
                           if line.startswith("skipped on"))
        elif case.find("failure") is not None or status == "fail":
            failed += 1
        else:
            passed += 1
    print(passed, failed, skipped)
    for reason in sorted(reasons):
        print(reason)
    return 0


if __name__ == "__main__":
    sys.exit(main())
