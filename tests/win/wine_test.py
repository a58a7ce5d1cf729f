#!/usr/bin/env python3
"""The Windows edition's program under Wine, end to end: each case boots a Wine prefix of its own under
an Xvfb of its own, inside a network namespace of its own with only loopback (unshare -n, as root, so
that quorvel.exe's raw socket opens and nothing leaves the namespace), and runs the project's driver
program (quorvel-driver.exe) in the same prefix.

  gui      the driver's table of the window's behaviours, with trayer as the notification area; a
           screenshot of the window
  e2e      the messenger peer's server mode (switchboard on 1864) logged by quorvel.exe, each message
           once, whole, with its header colour; the RTF it saves opens in the Linux edition with the
           same text and colours, and what the Linux edition saves opens in the Windows edition again
  capture  the capture layer on its own (quorvel-capture-probe.exe) hears the peer's server mode, with
           its switchboard on 1864 and on a free port, and gives the same events as the Linux edition's
           quorvel-replay reading tcpdump's recording of the same traffic
  install  the installer runs silently (/S), the program starts from Program Files, the uninstaller
           ends it and removes what was installed, the settings stay

usage: wine_test.py CASE --driver EXE [--program EXE] [--installer EXE] [--peer PEER] [--linux-open TOOL]
                         [--linux-replay TOOL] [--screenshot PNG]
"""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from checks import Failure, check, log  # noqa: E402
from polling import wait_for  # noqa: E402
from xvfb import Display  # noqa: E402

SKIP = 77
IN_NAMESPACE = "QUORVEL_WINE_TEST_NETNS"
GREEN, BLUE, BLACK = "#008000", "#0000ff", "#000000"

# What the peer's server mode says, in order (as tests/e2e/capture/capture_test.py lists it): direction,
# command, nickname, the body as logged (worded; CR LF between its lines).
SERVER = [
    ("friend", "MSG", "Ann 100%", "first after the handout"),
    ("own", "MSG", "", "第一段\r\n \r\n 第二段"),
    ("friend", "MSG", "Ann 100%", "[红心] 好的"),
    ("friend", "MSG", "小明", "Hi from MSNP18"),
    ("own", "MSG", "", "Hi bob [微笑]"),
    ("friend", "MSG", "Ann 100%", "all three of us"),
    ("friend", "SDG", "Ann 100%", "hello group"),
    ("friend", "SDG", "小明", "group reply"),
    ("own", "SDG", "", "mine to the group"),
]
TIME = r"\(\d\d:\d\d:\d\d\):"


def windows_path(path):
    """The Unix root is drive Z: in Wine."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Wine:
    """A prefix of the test's own, its wineserver ended by prefix (never by name) when done."""

    def __init__(self, folder, display):
        self.env = dict(os.environ, WINEPREFIX=os.path.join(folder, "prefix"), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", DISPLAY=display.name)
        started = time.monotonic()
        subprocess.run(["wineboot", "-i"], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True, timeout=180)
        # Chinese text in menus and balloons: Wine's Tahoma has no CJK glyphs, so it is linked to the
        # system's Noto CJK font as Chinese Windows links it to SimSun.
        self.run("reg", "add", r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink", "/v",
                 "Tahoma", "/t", "REG_MULTI_SZ", "/d", "NotoSansCJK-Regular.ttc,Noto Sans CJK SC", "/f")
        log("wine prefix booted in %.1f s" % (time.monotonic() - started))

    def run(self, *args, timeout=120):
        # Into files, not pipes: a program the driver leaves running holds the driver's output handles,
        # and a pipe would not end before it does.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            done = subprocess.run(["wine", *args], env=self.env, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                  timeout=timeout)
            text = []
            for stream in (out, err):
                stream.seek(0)
                text.append(stream.read().decode("utf-8", errors="replace"))
        return subprocess.CompletedProcess(done.args, done.returncode, *text)

    def popen(self, *args):
        return subprocess.Popen(["wine", *args], env=self.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True, encoding="utf-8", errors="replace")

    def path(self, *parts):
        return os.path.join(self.env["WINEPREFIX"], "drive_c", *parts)

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, stderr=subprocess.DEVNULL, timeout=30)


def expected_lines(messages):
    """(regular expression, colour) per log line: the header, then the body's lines in black."""
    lines = []
    for direction, _command, nickname, body in messages:
        who = re.escape(nickname if direction == "friend" else "我")
        lines.append(("^" + who + " 说 " + TIME + "$", GREEN))
        lines.extend(("^" + re.escape(part) + "$", BLACK) for part in body.split("\r\n"))
    return lines


def check_lines(lines, expected, who):
    texts = [line["text"] for line in lines]
    check(len(lines) == len(expected), "%s: %d lines, not %d: %s" % (who, len(lines), len(expected), texts))
    for line, (pattern, colour) in zip(lines, expected):
        check(re.match(pattern, line["text"]) and line["color"] == colour,
              "%s: %r in %s, not /%s/ in %s" % (who, line["text"], line["color"], pattern, colour))


def case_gui(args, wine, display):
    trayer = subprocess.Popen(["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width",
                               "120", "--height", "24"], env=dict(os.environ, DISPLAY=display.name),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        time.sleep(0.5)
        started = time.monotonic()
        result = wine.run(args.driver, "gui", windows_path(args.program), timeout=480)
        log(result.stdout.strip())
        log("the table took %.1f s" % (time.monotonic() - started))
        check(result.returncode == 0 and "FAIL" not in result.stdout, "rows failed: " + result.stderr[-2000:])
        if args.screenshot:
            result = wine.run(args.driver, "screenshot", windows_path(args.program), timeout=60)
            check(result.returncode == 0, "screenshot: " + result.stdout + result.stderr[-500:])
            shot = subprocess.run(["/usr/bin/import", "-window", "root", "-crop", "420x600+302+84",
                                   args.screenshot], env=dict(os.environ, DISPLAY=display.name))
            check(shot.returncode == 0, "import failed")
            wine.run(args.driver, "quit", windows_path(args.program), timeout=60)
    finally:
        trayer.terminate()
        trayer.wait(timeout=10)


def read_json_lines(process, until, timeout, count=1):
    """Reads the driver's JSON lines until `count` of them have the key `until`."""
    deadline = time.monotonic() + timeout
    got = []
    while time.monotonic() < deadline:
        line = process.stdout.readline()
        if not line:
            break
        line = line.strip()
        log("driver: " + line[:300])
        if line.startswith("{"):
            item = json.loads(line)
            got.append(item)
            if until in item and sum(until in seen for seen in got) >= count:
                return got
    raise Failure("the driver said no %s: %s" % (until, process.stderr.read()[-2000:] if process.poll() else ""))


def case_e2e(args, wine, display, folder):
    rtf = os.path.join(folder, "windows-log.rtf")
    expected = expected_lines(SERVER)
    driver = wine.popen(args.driver, "e2e", windows_path(args.program), windows_path(rtf), str(len(expected)))
    try:
        read_json_lines(driver, "ready", 60)
        peer = subprocess.run([args.peer, "server", "--switchboard-port", "1864"], capture_output=True, text=True,
                              timeout=120)
        check(peer.returncode == 0, "peer failed: " + peer.stderr)
        log("peer: " + peer.stdout.strip())
        result = read_json_lines(driver, "saved", 120)
        lines = [item for item in result if "text" in item]
        check_lines(lines, expected, "quorvel.exe's log")
        driver.wait(timeout=60)
        check(driver.returncode == 0, "driver ended with %d" % driver.returncode)
    finally:
        if driver.poll() is None:
            driver.kill()
    check(open(rtf, "rb").read().startswith(b"{\\rtf"), "the saved log is no RTF")

    # The Linux edition's window opens it (offscreen), shows the same lines, and saves it again.
    again = os.path.join(folder, "linux-log.rtf")
    linux = subprocess.run([args.linux_open, rtf, again], capture_output=True, text=True, timeout=120,
                           env=dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=folder,
                                    XDG_RUNTIME_DIR=folder))
    check(linux.returncode == 0, "the Linux edition failed: " + linux.stderr[-2000:])
    linux_lines = [json.loads(line) for line in linux.stdout.splitlines() if line.startswith("{")]
    check_lines(linux_lines, expected, "the Linux edition")
    for windows_line, linux_line in zip(lines, linux_lines):
        check(windows_line == linux_line, "%r in Windows, %r on Linux" % (windows_line, linux_line))

    # And what the Linux edition saved opens in the Windows edition.
    opened = wine.run(args.driver, "open", windows_path(args.program), windows_path(again), timeout=120)
    reopened = [json.loads(line) for line in opened.stdout.splitlines() if line.startswith("{") and "text" in line]
    check(opened.returncode == 0 and reopened == lines, "reopened in Windows: %s %s" % (reopened, opened.stderr))


EVENT_FIELDS = ("direction", "command", "nickname", "worded", "stripped")


def case_capture(args, wine, folder):
    recording = os.path.join(folder, "loopback.pcap")
    tcpdump = subprocess.Popen(["tcpdump", "-i", "lo", "-U", "-w", recording, "tcp"], stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE, text=True)
    probe = wine.popen(args.driver)
    try:
        ready = read_json_lines(probe, "ready", 60)[-1]
        log("probe: receive-all %s" % ("on" if ready["receiveAll"] else "refused, the raw TCP socket is read"))
        ports = ("1864", "0")
        for port in ports:
            peer = subprocess.run([args.peer, "server", "--switchboard-port", port], capture_output=True, text=True,
                                  timeout=120)
            check(peer.returncode == 0, "peer failed: " + peer.stderr)
            log("peer: " + peer.stdout.strip())
        heard = read_json_lines(probe, "direction", 60, count=len(ports) * len(SERVER))
        probe.stdin.close()
        heard += read_json_lines(probe, "received", 60)
        probe.wait(timeout=30)
        check(probe.returncode == 0, "the probe ended with %d: %s" % (probe.returncode, probe.stderr.read()[-2000:]))

        def read_linux_events():
            linux = subprocess.run([args.linux_replay, "--no-show-time", recording], capture_output=True,
                                   text=True, timeout=120)
            check(linux.returncode == 0, "the Linux edition's replay failed: " + linux.stderr[-2000:])
            return [{k: item[k] for k in EVENT_FIELDS} for item in map(json.loads, linux.stdout.splitlines())
                    if "direction" in item]
        # tcpdump writes what it has read at once, but reads the kernel's ring in blocks.
        try:
            wait_for("tcpdump's recording of the chat", lambda: len(read_linux_events()) >= len(ports) * len(SERVER),
                     timeout=30)
        except AssertionError:
            pass
        linux_events = read_linux_events()
    finally:
        if probe.poll() is None:
            probe.kill()
        tcpdump.terminate()
        tcpdump.wait(timeout=10)
    counts = heard[-1]
    windows = [{k: item[k] for k in EVENT_FIELDS} for item in heard if "direction" in item]
    check(len(linux_events) == len(ports) * len(SERVER), "the Linux edition read %d events" % len(linux_events))
    check(windows == linux_events, "the Windows capture gave %s, the Linux edition %s" % (windows, linux_events))
    log("%d events alike; the probe's socket gave %d datagrams, %d passed its filter, %d switchboards opened ahead"
        % (len(windows), counts["received"], counts["passed"], counts["handouts"]))


def case_install(args, wine, display):
    started = time.monotonic()
    result = wine.run(args.installer, "/S", timeout=120)
    check(result.returncode == 0, "the installer failed: %s" % result.stderr)
    log("installed in %.1f s" % (time.monotonic() - started))
    folder = wine.path("Program Files", "Quorvel")
    installed = sorted(os.listdir(folder))
    check(installed == ["LICENSE.txt", "README.md", "quorvel-replay.exe", "quorvel.exe", "uninstall.exe"],
          "installed: %s" % installed)
    start_menu = wine.path("ProgramData", "Microsoft", "Windows", "Start Menu", "Programs", "Quorvel.lnk")
    check(os.path.exists(start_menu), "no Start menu entry")
    key = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvel"
    check("uninstall.exe" in wine.run("reg", "query", key).stdout, "no uninstall entry")

    # The installed program starts (the driver leaves it running), and the uninstaller ends it.
    result = wine.run(args.driver, "start", r"C:\Program Files\Quorvel\quorvel.exe", timeout=120)
    check(result.returncode == 0, "the installed program did not start: " + result.stdout + result.stderr)
    result = wine.run(r"C:\Program Files\Quorvel\uninstall.exe", "/S", timeout=120)
    check(result.returncode == 0, "the uninstaller failed")
    # It runs from a copy of itself, so the folder goes a moment later.
    wait_for("the installed files to go", lambda: not os.path.exists(folder), timeout=60)
    check(not os.path.exists(start_menu), "the Start menu entry stayed")
    check("uninstall.exe" not in wine.run("reg", "query", key).stdout, "the uninstall entry stayed")
    check(wine.run(args.driver, "running").returncode == 1, "the program still runs")
    settings = wine.path("users", os.environ.get("USER", "root"), "AppData", "Roaming", "quorvel", "set.ini")
    check(os.path.exists(settings), "the settings went (or were never written at the end)")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("case", choices=("gui", "e2e", "capture", "install"))
    parser.add_argument("--driver", required=True)
    parser.add_argument("--program")
    parser.add_argument("--installer")
    parser.add_argument("--peer")
    parser.add_argument("--linux-open")
    parser.add_argument("--linux-replay")
    parser.add_argument("--screenshot")
    args = parser.parse_args()

    if os.environ.get(IN_NAMESPACE) != "1":
        if os.geteuid() != 0:
            log("needs root for a network namespace of its own (unshare -n); skipped")
            return SKIP
        linux_tool = {"e2e": args.linux_open, "capture": args.linux_replay}.get(args.case)
        if args.case in ("e2e", "capture") and not (linux_tool and os.path.exists(linux_tool)):
            log("needs the Linux edition's build (%s); skipped" % linux_tool)
            return SKIP
        environment = dict(os.environ, **{IN_NAMESPACE: "1"})
        command = ["unshare", "-n", sys.executable, os.path.abspath(__file__), *sys.argv[1:]]
        return subprocess.run(command, env=environment).returncode

    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    folder = tempfile.mkdtemp(prefix="quorvel-wine-%s-" % args.case)
    display = Display()
    wine = None
    started = time.monotonic()
    try:
        wine = Wine(folder, display)
        if args.case == "gui":
            case_gui(args, wine, display)
        elif args.case == "e2e":
            case_e2e(args, wine, display, folder)
        elif args.case == "capture":
            case_capture(args, wine, folder)
        else:
            case_install(args, wine, display)
    except Failure as failure:
        log("FAILED: %s" % failure)
        return 1
    finally:
        if wine:
            wine.close()
        display.close()
        shutil.rmtree(folder, ignore_errors=True)
    log("%s: passed in %.1f s" % (args.case, time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
