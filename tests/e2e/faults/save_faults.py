#!/usr/bin/env python3
"""The settings file under faults, on the real quorvel under Xvfb, in mount and network namespaces of
this test's own: a full file system and a read-only set.ini keep the old file whole and the user is
told in a box on "退出"; SIGKILL at random points of a save leaves the old file or the new one, whole.

Usage: save_faults.py QUORVEL_BINARY
"""
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from polling import wait_for  # noqa: E402
from xvfb import Display  # noqa: E402

MARK = "QUORVEL_FAULTS_IN_NS"
BINARY = sys.argv[1]
# Hexadecimal values are written back in decimal, so the new file differs from the old one.
OLD = "[set]\r\nRate=0x3\r\nVolume1=$50\r\n; kept by hand\r\n"


def enter_namespaces():
    if os.environ.get(MARK) == "1":
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        return
    if os.geteuid() != 0:
        print("skipped: needs root for the mount namespace")
        sys.exit(0)
    os.execvpe("unshare", ["unshare", "-m", "-n", "--propagation", "private", sys.executable, *sys.argv],
               dict(os.environ, **{MARK: "1"}))


class Run:
    """One start of the program with a home of its own; the window shows at once (no tray)."""

    def __init__(self, display, home):
        self.display, self.home = display, home
        self.env = {"PATH": os.environ["PATH"], "HOME": home, "DISPLAY": display.name, "LANG": "C.UTF-8",
                    "XDG_CONFIG_HOME": os.path.join(home, ".config"), "XDG_RUNTIME_DIR": os.path.join(home, "run"),
                    "QT_QPA_PLATFORM": "xcb"}
        os.makedirs(self.env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
        self.err = open(os.path.join(home, "stderr"), "w+b")
        self.proc = subprocess.Popen([BINARY], env=self.env, stdout=subprocess.DEVNULL, stderr=self.err)
        self.window = wait_for("main window", lambda: self.proc.poll() is not None or next(
            (w for w in self.windows() if self.height(w) >= 500), None), timeout=60)
        assert self.proc.poll() is None, "ended at start with %s:\n%s\n%s" % (
            self.proc.returncode, self.stderr(), x_state(display))

    def tool(self, *args):
        try:
            return subprocess.run(list(args), env=self.env, capture_output=True, text=True, timeout=30).stdout
        except subprocess.TimeoutExpired:
            return ""

    def windows(self):
        return self.tool("xdotool", "search", "--onlyvisible", "--name", "^Quorvel$").split()

    def height(self, window):
        out = self.tool("xdotool", "getwindowgeometry", "--shell", window)
        return int(dict(line.split("=", 1) for line in out.split() if "=" in line).get("HEIGHT", 0))

    def quit_from_menu(self):
        """主菜单, then its last entry 退出; again while a loaded machine lets the click go astray.
        Returns what followed: the boxes shown, or [] when the program ended."""
        for _ in range(5):
            self.tool("xdotool", "mousemove", "--window", self.window, "25", "10", "click", "1")
            time.sleep(1.0)
            self.tool("xdotool", "key", "Up", "Return")
            try:
                return wait_for("退出 to take effect", lambda: self.boxes() or self.proc.poll() is not None,
                                timeout=10) is not True and self.boxes()
            except AssertionError:
                self.tool("xdotool", "key", "Escape")
        raise AssertionError("the menu never answered")

    def windows_of_any_name(self):
        return self.tool("xdotool", "search", "--onlyvisible", "--name", ".").split()

    def boxes(self):
        return [w for w in self.windows() if self.height(w) < 300]

    def stderr(self):
        self.err.seek(0)
        return self.err.read().decode("utf-8", "replace")


def x_state(display):
    """What a failure to connect needs to be understood: our server, its socket and lock, the others."""
    number = display.name.lstrip(":")
    socket = "/tmp/.X11-unix/X" + number
    lines = ["Xvfb %s: %s" % (display.name, "running" if display.process.poll() is None else "ended")]
    for path in (socket, "/tmp/.X%s-lock" % number):
        lines.append("%s: %s" % (path, os.path.exists(path)))
    ps = subprocess.run(["ps", "-eo", "pid,ppid,etimes,args"], capture_output=True, text=True).stdout
    lines += [line for line in ps.splitlines() if any(k in line for k in ("Xvfb", "pulse", "quorvel", "trayer"))]
    return "\n".join(lines)


def settings_folder(home):
    return os.path.join(home, ".config", os.path.basename(BINARY))


def make_home(root, name):
    home = os.path.join(root, name)
    os.makedirs(settings_folder(home))
    return home


def fill_with_tmpfs(folder):
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=16k", "tmpfs", folder], check=True)
    with open(os.path.join(folder, "set.ini"), "w", newline="") as f:
        f.write(OLD)
    try:
        with open(os.path.join(folder, "filler"), "wb") as f:
            while True:
                f.write(b"\0" * 1024)
                f.flush()
    except OSError:
        pass


def read_only(folder):
    path = os.path.join(folder, "set.ini")
    with open(path, "w", newline="") as f:
        f.write(OLD)
    os.chmod(path, 0o444)


CASES = [("full file system (16 KiB tmpfs)", fill_with_tmpfs), ("read-only set.ini", read_only)]


def check_refused_save(display, root, name, prepare):
    home = make_home(root, name.split()[0])
    folder = settings_folder(home)
    prepare(folder)
    before = sorted(os.listdir(folder))
    run = Run(display, home)
    time.sleep(1.0)
    box = run.quit_from_menu()
    assert run.proc.poll() is None and box, "the program ended without telling:\n" + run.stderr()
    told = "Unable to write to " + os.path.join(folder, "set.ini")
    assert told in run.stderr(), run.stderr()
    run.tool("xdotool", "windowactivate", "--sync", box[0])
    run.tool("xdotool", "key", "--window", box[0], "Return")
    assert run.proc.wait(30) == 0, "exit status after the box"
    with open(os.path.join(folder, "set.ini"), newline="") as f:
        assert f.read() == OLD, "set.ini changed"
    assert sorted(os.listdir(folder)) == before, "files left behind: %s" % os.listdir(folder)
    print("ok   %s: old set.ini whole, the user told" % name)


def snapshot(path):
    folder = os.path.dirname(path)
    st = os.stat(path)
    return sorted(os.listdir(folder)), st.st_size, st.st_mtime_ns


def kill_during_saves(what, rounds, path, old, keep, start_save, finish_first, early):
    """Rounds of: the old file in place, a save started by start_save(), SIGKILL at a random point; the
    file must be the old one or the new one, whole. The first round lets the save end (finish_first)
    and keeps the new file. start_save() returns (run, snapshot before the save) once the save is asked
    for. A step the desktop let go astray (a lost keystroke, a window that did not come up) repeats the
    round, a few times at most: it says nothing about the file."""
    folder = os.path.dirname(path)
    new = None
    outcomes = {"old": 0, "new": 0}
    repeats = 0
    round_ = 0
    while round_ <= rounds:
        with open(path, "w", newline="") as f:
            f.write(old)
        run = None
        try:
            run, before = start_save()
            started = time.monotonic()
            if new is None:
                finish_first(run, before)
                save_seconds = time.monotonic() - started
                with open(path, encoding="utf-8", newline="") as f:
                    new = f.read()
                assert new != old, "the save did not happen"
                round_ += 1
                continue
            if round_ % 2:  # at the first sign of the save on disk
                wait_for("the save to begin", lambda: snapshot(path) != before or run.proc.poll() is not None)
                time.sleep(random.uniform(0, early))
            else:  # anywhere in the time a save takes
                time.sleep(random.uniform(0, save_seconds))
        except AssertionError as error:
            repeats += 1
            if run is not None:
                run.proc.kill()
                run.proc.wait(30)
            if repeats > 3 or new is None:
                raise
            print("     %s, round %d: %s; the round again" % (what, round_, error))
            continue
        run.proc.kill()
        run.proc.wait(30)
        with open(path, encoding="utf-8", newline="") as f:
            text = f.read()
        for name in os.listdir(folder):
            if name not in keep:  # what the killed save left behind
                os.unlink(os.path.join(folder, name))
        assert text in (old, new), "round %d: the file is neither the old nor the new one (%d of %d bytes)" % (
            round_, len(text), len(new))
        outcomes["old" if text == old else "new"] += 1
        round_ += 1
    print("ok   SIGKILL during %s, %d rounds: old file %d times, new file %d times, never a mix"
          % (what, rounds, outcomes["old"], outcomes["new"]))


def check_kill_during_save(display, root, rounds=20):
    home = make_home(root, "kill")
    path = os.path.join(settings_folder(home), "set.ini")

    def start_save():
        run = Run(display, home)
        time.sleep(0.5)
        before = snapshot(path)
        run.proc.send_signal(signal.SIGTERM)
        return run, before

    def finish_first(run, _before):
        assert run.proc.wait(30) == 0
        with open(path, newline="") as f:
            assert "Rate=3\r\n" in f.read(), "the save did not happen"

    # Big enough that writing it takes a while.
    old = OLD + "".join("; line %06d of comments the user keeps in the file\r\n" % i for i in range(200000))
    kill_during_saves("a settings save", rounds, path, old, ("set.ini",), start_save, finish_first, 0.005)


def file_dialog(run, downs):
    """Opens the entry of 主菜单 reached with `downs` presses of Down; returns the file dialog's window."""
    before = set(run.windows_of_any_name())
    for _ in range(5):
        run.tool("xdotool", "mousemove", "--window", run.window, "25", "10", "click", "1")
        time.sleep(1.0)
        run.tool("xdotool", "key", *(["Down"] * downs), "Return")
        try:
            return wait_for("a file dialog", lambda: [
                w for w in run.windows_of_any_name() if w not in before and run.height(w) >= 300], timeout=10)[0]
        except AssertionError:
            run.tool("xdotool", "key", "Escape")
    raise AssertionError("no file dialog came up")


def choose(run, dialog, path):
    """Types path into the file dialog and accepts it; again while keystrokes went astray on a loaded
    machine and the dialog is still up."""
    for _ in range(3):
        run.tool("xdotool", "windowfocus", "--sync", dialog)
        run.tool("xdotool", "key", "--window", dialog, "ctrl+a")
        run.tool("xdotool", "type", "--delay", "1", path)
        run.tool("xdotool", "key", "Return")
        try:
            return wait_for("the file dialog to close", lambda: dialog not in run.windows_of_any_name(), timeout=10)
        except AssertionError:
            pass
    raise AssertionError("the file dialog did not take " + path)


def check_kill_during_log_save(display, root, rounds=10):
    home = make_home(root, "log")
    folder = os.path.join(home, "logs")
    os.makedirs(folder)
    big = os.path.join(folder, "big.txt")
    with open(big, "w", encoding="utf-8", newline="") as f:
        f.write("".join("Ann 说 (09:05:07):\r\n今天的周会改到下午三点，地点不变。 #%d\r\n" % i for i in range(30000)))
    target = os.path.join(folder, "saved.txt")

    def start_save():
        run = Run(display, home)
        choose(run, file_dialog(run, 1), big)  # 打开消息
        dialog = file_dialog(run, 3)  # 保存消息, once the log is loaded
        before = snapshot(target)
        choose(run, dialog, target)
        return run, before

    def finish_first(run, before):
        wait_for("the save", lambda: snapshot(target)[0] == before[0] and snapshot(target)[1:] != before[1:])
        run.proc.terminate()
        run.proc.wait(30)
        with open(target, encoding="utf-8", newline="") as f:
            assert "#29999" in f.read(), "the save did not happen"

    kill_during_saves("a log save", rounds, target, "the old log\r\n", ("big.txt", "saved.txt"), start_save,
                      finish_first, 0.02)


def main():
    enter_namespaces()
    root = tempfile.mkdtemp(prefix="quorvel-faults-")
    checks = [(name, lambda d, n=name, p=prepare: check_refused_save(d, root, n, p)) for name, prepare in CASES]
    checks.append(("SIGKILL during a settings save", lambda d: check_kill_during_save(d, root)))
    checks.append(("SIGKILL during a log save", lambda d: check_kill_during_log_save(d, root)))
    failed = 0
    try:
        for name, check in checks:
            if len(sys.argv) > 2 and not any(part in name for part in sys.argv[2:]):  # cases by a part of their name
                continue
            # An X server per case: one that a case's killed clients left in a bad way cannot fail the next.
            display = Display()
            try:
                check(display)
            except AssertionError as error:
                failed += 1
                alive = "running" if display.process.poll() is None else "ended %s" % display.process.returncode
                print("FAIL %s: %s (Xvfb %s: %s)" % (name, error, display.name, alive))
            finally:
                display.close()
    finally:
        for folder in os.listdir(root):
            subprocess.run(["umount", settings_folder(os.path.join(root, folder))], stderr=subprocess.DEVNULL)
        shutil.rmtree(root, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
