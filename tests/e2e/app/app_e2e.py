#!/usr/bin/env python3
"""The real quorvel under Xvfb, with and without a tray (trayer): the window's tabs as screenshots,
a second start that ends at once, and SIGTERM writing set.ini.

Usage: app_e2e.py QUORVEL_BINARY ARTIFACT_DIR
"""
import os
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from polling import wait_for  # noqa: E402
from xvfb import Display  # noqa: E402

BINARY, ARTIFACTS = sys.argv[1], sys.argv[2]
os.makedirs(ARTIFACTS, exist_ok=True)


def tool(display, *args):
    env = dict(os.environ, DISPLAY=display.name)
    return subprocess.run(list(args), env=env, capture_output=True, text=True, timeout=60)


def visible_window(display, name):
    result = tool(display, "xdotool", "search", "--onlyvisible", "--name", "^" + name + "$")
    ids = result.stdout.split()
    return ids[0] if ids else None


def geometry(display, window):
    out = tool(display, "xdotool", "getwindowgeometry", "--shell", window).stdout
    values = dict(line.split("=", 1) for line in out.split() if "=" in line)
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def screenshot(display, name):
    path = os.path.join(ARTIFACTS, name + ".png")
    result = tool(display, "/usr/bin/import", "-window", "root", path)
    assert result.returncode == 0, result.stderr
    return path


class Session:
    def __init__(self, display):
        self.display = display
        self.root = tempfile.mkdtemp(prefix="quorvel-e2e-")
        self.home = os.path.join(self.root, "home")
        self.runtime = os.path.join(self.root, "runtime")
        os.makedirs(self.home)
        os.makedirs(self.runtime, mode=0o700)
        self.env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": self.home, "DISPLAY": display.name,
            "XDG_RUNTIME_DIR": self.runtime, "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "QT_QPA_PLATFORM": "xcb", "LANG": "C.UTF-8",
        }
        # A sanitizer build's options (leak suppressions) reach the program too.
        for name in ("ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"):
            if name in os.environ:
                self.env[name] = os.environ[name]
        self.ini = os.path.join(self.home, ".config", "quorvel", "set.ini")
        self.lock = os.path.join(self.runtime, "TFmain-Quorvel.lock")

    def start(self):
        return subprocess.Popen([BINARY], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    def holder(self):
        try:
            with open(self.lock) as f:
                return int(f.readline().strip() or -1)
        except (OSError, ValueError):
            return -1


def close_boxes(display):
    """Capture without the capability reports its failed steps in boxes; answer them."""
    while True:
        window = tool(display, "xdotool", "search", "--onlyvisible", "--name", "^Quorvel$").stdout.split()
        boxes = [w for w in window if geometry(display, w)[3] < 300]
        if not boxes:
            return
        for box in boxes:
            tool(display, "xdotool", "windowactivate", "--sync", box)
            tool(display, "xdotool", "key", "--window", box, "Return")
        time.sleep(0.3)


def second_start_and_sigterm(session, first):
    started = time.monotonic()
    second = session.start()
    assert second.wait(timeout=60) == 0, "second start did not end with 0"
    print("second start ended after %.2f s" % (time.monotonic() - started))
    assert first.poll() is None, "first instance ended"
    first.send_signal(signal.SIGTERM)
    assert first.wait(timeout=60) == 0, "SIGTERM exit status"
    with open(session.ini, encoding="utf-8") as f:
        content = f.read()
    assert content.startswith("[set]") and "showtime=1" in content, content


def run_without_tray():
    display = Display()
    try:
        session = Session(display)
        app = session.start()
        wait_for("lock", lambda: session.holder() == app.pid)
        # No notification area: the window comes up at once.
        window = wait_for("main window", lambda: next(
            (w for w in tool(display, "xdotool", "search", "--onlyvisible", "--name", "^Quorvel$").stdout.split()
             if geometry(display, w)[3] >= 500), None))
        time.sleep(1.0)
        close_boxes(display)
        x, y, width, height = geometry(display, window)
        print("window geometry", x, y, width, height)
        assert width == 308, width
        screenshot(display, "notray-tab-messages")
        # The second tab sits right of the first in the tab bar under the menu bar.
        menu_and_tab = height - 535 + 12
        tool(display, "xdotool", "mousemove", "--window", window, "70", str(menu_and_tab), "click", "1")
        time.sleep(1.0)
        options = screenshot(display, "notray-tab-options")
        difference = subprocess.run(["/usr/bin/compare", "-metric", "AE",
                                     os.path.join(ARTIFACTS, "notray-tab-messages.png"), options, "null:"],
                                    capture_output=True, text=True)
        changed = float(difference.stderr.split()[0] or 0)
        print("pixels changed by the tab switch:", changed)
        assert changed > 1000, "the options tab did not come up"
        second_start_and_sigterm(session, app)
    finally:
        display.close()


def run_with_tray():
    display = Display()
    tray = None
    try:
        tray = subprocess.Popen(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                                 "--height", "24", "--SetDockType", "false"],
                                env=dict(os.environ, DISPLAY=display.name),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("tray selection", lambda: "_NET_SYSTEM_TRAY" in tool(
            display, "xprop", "-root").stdout or tool(display, "xdotool", "search", "--class", "trayer").stdout)
        time.sleep(1.0)
        session = Session(display)
        app = session.start()
        wait_for("lock", lambda: session.holder() == app.pid)
        time.sleep(2.0)
        close_boxes(display)
        # In the tray: no main window on screen.
        mains = [w for w in tool(display, "xdotool", "search", "--onlyvisible", "--name", "^Quorvel$").stdout.split()
                 if geometry(display, w)[3] >= 500]
        assert not mains, "window shown at start although a tray exists"
        screenshot(display, "tray-start")
        # Left click on the icon opens the tray menu; the second item is "选项设置". The icon docks
        # when the program is ready, so click again until the window comes up.
        trayer = wait_for("trayer window", lambda: tool(
            display, "xdotool", "search", "--onlyvisible", "--class", "trayer").stdout.split())
        window = None
        for attempt in range(12):
            tx, ty, tw, th = geometry(display, trayer[0])
            tool(display, "xdotool", "mousemove", str(tx + tw // 2), str(ty + th // 2), "click", "1")
            time.sleep(1.0)
            if attempt == 0:
                screenshot(display, "tray-menu")
            tool(display, "xdotool", "key", "Down", "Down", "Return")
            try:
                window = wait_for("window from the tray menu", lambda: next(
                    (w for w in tool(display, "xdotool", "search", "--onlyvisible", "--name",
                                     "^Quorvel$").stdout.split() if geometry(display, w)[3] >= 500), None),
                    timeout=5)
                break
            except AssertionError:
                tool(display, "xdotool", "key", "Escape")
        assert window, "the tray menu never brought the window"
        time.sleep(1.0)
        screenshot(display, "tray-tab-options")
        second_start_and_sigterm(session, app)
    finally:
        if tray:
            tray.terminate()
            tray.wait(timeout=30)
        display.close()


run_without_tray()
run_with_tray()
print("screenshots in", ARTIFACTS)
