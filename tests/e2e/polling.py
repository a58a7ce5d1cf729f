"""Waiting for the program under test, shared by the end-to-end scripts."""
import time


def wait_for(what, check, timeout=60.0):
    """Calls check every 0.1 s until it returns something true, and returns that."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = check()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError("timed out after %g s waiting for %s" % (timeout, what))
