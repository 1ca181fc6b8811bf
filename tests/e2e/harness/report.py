"""Check results and condition waits for the end-to-end harness."""

import time


class Fatal(Exception):
    """The run cannot go on (a program did not start, a tool is missing)."""


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0
        self.failures = []

    def check(self, name, ok, detail=""):
        if ok:
            self.passed += 1
            print(f"PASS {name}", flush=True)
        else:
            self.failed += 1
            self.failures.append(name)
            print(f"FAIL {name}" + (f": {detail}" if detail else ""), flush=True)
        return ok

    def equal(self, name, actual, expected):
        return self.check(name, actual == expected, f"actual {actual!r}, expected {expected!r}")

    def fatal(self, name, detail):
        self.check(name, False, detail)

    def summary(self):
        for name in self.failures:
            print(f"  failed: {name}")
        print(f"{self.passed} passed, {self.failed} failed", flush=True)


def wait_for(condition, limit, interval=0.2):
    """Polls `condition` until it returns something true or `limit` seconds
    have passed; returns its last result. The limit only bounds the wait: a
    slow machine waits longer, it does not fail a check."""
    deadline = time.monotonic() + limit
    while True:
        result = condition()
        if result or time.monotonic() >= deadline:
            return result
        time.sleep(interval)
