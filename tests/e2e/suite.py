"""Runs every end-to-end test module (test_*.py beside this file) in one
private X server and accessibility bus, and prints one line per test and a
closing count. Exits non-zero when any test failed or none ran.

    suite.py                 every test
    suite.py NAME...         only tests whose id contains one of the NAMEs
"""

import os
import signal
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402


class Result(unittest.TextTestResult):
    def startTest(self, test):
        self._started = time.monotonic()
        super().startTest(test)

    def _line(self, test, verdict):
        elapsed = time.monotonic() - self._started
        self.stream.writeln(f"{verdict:<5} {test.id()} ({elapsed:.1f} s)")
        self.stream.flush()

    def addSuccess(self, test):
        unittest.TestResult.addSuccess(self, test)
        self._line(test, "ok")

    def addFailure(self, test, err):
        unittest.TestResult.addFailure(self, test, err)
        self._line(test, "FAIL")

    def addError(self, test, err):
        unittest.TestResult.addError(self, test, err)
        self._line(test, "ERROR")

    def addSkip(self, test, reason):
        unittest.TestResult.addSkip(self, test, reason)
        self._line(test, "skip")
        self.stream.writeln(f"      {reason}")

    def addSubTest(self, test, subtest, err):
        unittest.TestResult.addSubTest(self, test, subtest, err)
        if err is not None:
            self.stream.writeln(f"      failed: {subtest.id()}")


def select(suite, names):
    for item in suite:
        if isinstance(item, unittest.TestSuite):
            yield from select(item, names)
        elif not names or any(name in item.id() for name in names):
            yield item


def main(argv):
    def stop(signum, frame):
        raise KeyboardInterrupt(f"signal {signum}")
    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGHUP, stop)

    here = os.path.dirname(os.path.abspath(__file__))
    if not os.access(harness.BINARY, os.X_OK):
        print(f"run.sh: the program {harness.BINARY} is missing; build it first", file=sys.stderr)
        print("0 passed, 1 failed")
        return 1
    loaded = unittest.defaultTestLoader.discover(here, pattern="test_*.py", top_level_dir=here)
    tests = unittest.TestSuite(select(loaded, argv))
    if harness.WAIT_SCALE != 1:
        print(f"every wait's ceiling is stretched {harness.WAIT_SCALE:g} times (TESSARY_WAIT_SCALE)")
    started = time.monotonic()
    runner = unittest.TextTestRunner(stream=sys.stdout, verbosity=0, resultclass=Result)
    result = None
    try:
        harness.session()
        result = runner.run(tests)
    except KeyboardInterrupt as interrupt:
        print(f"interrupted: {interrupt}", file=sys.stderr)
    finally:
        harness.end_session()
    elapsed = time.monotonic() - started
    if result is None:
        print(f"0 passed, 1 failed (interrupted after {elapsed:.0f} s)")
        return 1
    # A failing sub-test fails its test; a skipped sub-test does not skip it.
    failed = len({getattr(t, "test_case", t).id() for t, _ in result.failures + result.errors})
    skipped = len({t.id() for t, _ in result.skipped if not hasattr(t, "test_case")})
    passed = result.testsRun - failed - skipped
    print(f"{passed} passed, {failed} failed, {skipped} skipped in {elapsed:.0f} s")
    return 0 if failed == 0 and result.testsRun > 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
