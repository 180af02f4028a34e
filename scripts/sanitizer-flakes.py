#!/usr/bin/env python3
"""Lists the failed tests of the last ctest run whose only fault was the leak
checker's own crash at exit ("Tracer caught signal"): the test itself passed,
but the checker's stop-the-world thread died before it looked for leaks.

Prints one test name per line. Exits 1 if any failed test failed for another
reason (those must not be retried), 0 otherwise.
"""
import pathlib
import re
import sys

build = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build/asan")
temp = build / "Testing" / "Temporary"
failed_log = temp / "LastTestsFailed.log"
if not failed_log.exists():
    sys.exit(0)
failed = [line.split(":", 1)[1].strip() for line in failed_log.read_text().splitlines() if ":" in line]
log = (temp / "LastTest.log").read_text(errors="replace")

# One block per test: from its "N/M Testing: name" line to the next.
blocks = {}
for match in re.finditer(r"^\d+/\d+ Testing: ([^\n]+)\n(.*?)(?=^\d+/\d+ Testing: |\Z)", log, re.M | re.S):
    blocks[match.group(1).strip()] = match.group(2)

retry = []
for name in failed:
    out = blocks.get(name, "")
    tracer = "Tracer caught signal" in out and "LeakSanitizer has encountered a fatal error" in out
    passed = "[  PASSED  ]" in out and "[  FAILED  ]" not in out
    if not (tracer and passed) or "ERROR: AddressSanitizer" in out or "runtime error:" in out:
        sys.exit(1)
    retry.append(name)
print("\n".join(retry))
