#!/usr/bin/env python3
"""End-to-end tests of the live capture: the capture driver opens the real libpcap capture, the
messenger peer tool talks MSNP over real TCP on 127.0.0.1 (1863, and the switchboards its server mode
hands out), and the decoded events the driver prints are checked. Each test runs in a network namespace of its own (unshare -n, as root) with only
the loopback interface, so nothing leaves it; without root the test is skipped.

usage: capture_test.py CASE --driver DRIVER --peer PEER --grant GRANT_SCRIPT
"""

import argparse
import json
import os
import queue
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from checks import Failure, check, log  # noqa: E402

SKIP = 77
IN_NAMESPACE = "QUORVEL_CAPTURE_TEST_NETNS"
CAP_NET_RAW_BIT = 1 << 13

# What the peer's scripted conversation yields, in order: (direction, command, nickname, worded,
# stripped). Typing notifications, login lines and OUT yield nothing; the message that shares its
# segment with a typing notification keeps its own body.
CONVERSATION = [
    ("friend", "MSG", "Alice", "Hello [微笑]", "Hello "),
    ("own", "MSG", "", "你好，Alice [热烈的笑脸]", "你好，Alice "),
    ("friend", "MSG", "小明", "今天很忙，晚点聊 [悲伤]", "今天很忙，晚点聊 "),
    ("friend", "MSG", "Alice Smith", "line one\r\n line two", "line one\r\n line two"),
    ("friend", "UBM", "yahoo@yahoo.example", "Hi from Yahoo [红玫瑰]", "Hi from Yahoo "),
    ("own", "UUM", "", "Hi back [眨眼]", "Hi back "),
    ("friend", "MSG", "Alice", "Are you there?", "Are you there?"),
    ("own", "MSG", "", "Still here [大笑]", "Still here "),
]


# What the peer's server mode yields each time it runs, in order: an MSNP7 chat on the switchboard handed
# out by XFR (its first message right after the client connected), an MSNP18 chat to which RNG invited,
# with a third user joining, and group messages on the notification connection (typing gives nothing).
SERVER = [
    ("friend", "MSG", "Ann 100%", "first after the handout", "first after the handout"),
    ("own", "MSG", "", "第一段\r\n \r\n 第二段", "第一段\r\n \r\n 第二段"),
    ("friend", "MSG", "Ann 100%", "[红心] 好的", " 好的"),
    ("friend", "MSG", "小明", "Hi from MSNP18", "Hi from MSNP18"),
    ("own", "MSG", "", "Hi bob [微笑]", "Hi bob "),
    ("friend", "MSG", "Ann 100%", "all three of us", "all three of us"),
    ("friend", "SDG", "Ann 100%", "hello group", "hello group"),
    ("friend", "SDG", "小明", "group reply", "group reply"),
    ("own", "SDG", "", "mine to the group", "mine to the group"),
]


class Driver:
    """The capture driver as a child process; its JSON lines are collected as they come."""

    def __init__(self, command):
        log("driver: " + " ".join(command))
        self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True, encoding="utf-8")
        self.events = []
        self._lines = queue.Queue()
        self._seen = 0
        threading.Thread(target=self._read, daemon=True).start()
        threading.Thread(target=self._drain_stderr, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self._lines.put(line)
        self._lines.put(None)

    def _drain_stderr(self):
        for line in self.process.stderr:
            sys.stderr.write("driver stderr: " + line)

    def _pump(self, timeout):
        try:
            line = self._lines.get(timeout=timeout)
        except queue.Empty:
            return
        if line is None:
            raise Failure(f"the driver ended (exit code {self.process.wait()})")
        self.events.append(json.loads(line))

    def wait_for(self, predicate, timeout, what):
        """Waits until predicate(events) holds; returns its value."""
        deadline = time.monotonic() + timeout
        while True:
            value = predicate(self.events)
            if value:
                return value
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise Failure(f"timed out waiting for {what}; events so far: {self.events[-5:]}")
            self._pump(min(remaining, 0.5))

    def ping(self, timeout=30):
        before = len([e for e in self.events if e["event"] == "pong"])
        self.process.stdin.write("ping\n")
        self.process.stdin.flush()
        pongs = self.wait_for(lambda ev: [e for e in ev if e["event"] == "pong"][before:], timeout, "pong")
        return pongs[0]

    def of_kind(self, kind):
        return [e for e in self.events if e["event"] == kind]

    def chats(self):
        return [(e["direction"], e["command"], e["nickname"], e["worded"], e["stripped"])
                for e in self.of_kind("chat")]

    def quit(self):
        if self.process.poll() is None:
            self.process.stdin.write("quit\n")
            self.process.stdin.flush()
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
                raise Failure("the driver did not end on quit")
        return self.process.returncode


def run_peer(args, *extra):
    command = [sys.executable, args.peer, *extra]
    result = subprocess.run(command, capture_output=True, text=True, timeout=120)
    check(result.returncode == 0, f"peer {' '.join(extra)} failed: {result.stderr}")
    return json.loads(result.stdout.strip().splitlines()[-1])


def ip(*words):
    subprocess.run(["ip", *words], check=True)


def as_nobody(command):
    return ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", *command]


def private_copy(driver, folder):
    """A copy of the driver that user nobody may run and that may carry a file capability."""
    os.chmod(folder, 0o755)
    copy = os.path.join(folder, "quorvel-capture-driver")
    shutil.copy2(driver, copy)
    os.chmod(copy, 0o755)
    return copy


def capability_sets(pid):
    """(permitted, effective) of every thread of the process."""
    sets = []
    for task in os.listdir(f"/proc/{pid}/task"):
        fields = {}
        with open(f"/proc/{pid}/task/{task}/status") as status:
            for line in status:
                key, _, value = line.partition(":")
                fields[key] = value.strip()
        sets.append((int(fields["CapPrm"], 16), int(fields["CapEff"], 16)))
    return sets


def expect_ready(driver, capturing=True):
    ready = driver.wait_for(lambda ev: driver.of_kind("ready"), 60, "ready")[0]
    check(ready["capturing"] == capturing, f"capturing {ready['capturing']}, wanted {capturing}")
    if capturing:
        check(ready["interface"] == "lo", f"captures on {ready['interface']!r}, wanted lo (the only one here)")
        check(not driver.of_kind("failure"), f"set-up reported {driver.of_kind('failure')}")
    return ready


def expect_conversation(driver, already=0):
    """The scripted conversation's events after the first `already` chat events, nothing else."""
    want = already + len(CONVERSATION)
    driver.wait_for(lambda ev: len(driver.chats()) >= want, 60, f"{want} chat events")
    driver.ping()  # anything that came late would be in front of the answer
    got = driver.chats()[already:]
    for index, (seen, expected) in enumerate(zip(got, CONVERSATION)):
        check(seen == expected, f"chat event {index}: {seen}, wanted {expected}")
    check(len(got) == len(CONVERSATION), f"{len(got)} chat events, wanted {len(CONVERSATION)}: {got}")
    check(not driver.of_kind("missingField"), f"unexpected reports: {driver.of_kind('missingField')}")


# --- the cases -------------------------------------------------------------------------------------

def case_burst(args, _folder, cost_us=0):
    count = 2000
    driver = Driver([args.driver, "--cost-us", str(cost_us)])
    try:
        expect_ready(driver)
        started = time.monotonic()
        summary = run_peer(args, "burst", "--count", str(count))
        driver.wait_for(lambda ev: len(driver.chats()) >= count, 300, f"{count} chat events")
        finished = time.monotonic() - started
        pong = driver.ping()
        chats = driver.chats()
        check(len(chats) == count, f"{len(chats)} chat events, wanted {count}")
        for seq, (direction, command, nickname, worded, stripped) in enumerate(chats, start=1):
            want_direction = "friend" if seq % 2 else "own"
            check(worded == f"burst {seq:06d}" and stripped == worded,
                  f"event {seq} is {worded!r}: lost or out of order")
            check(direction == want_direction and command == "MSG", f"event {seq}: {direction} {command}")
            check(nickname == ("Burst" if direction == "friend" else ""), f"event {seq}: nickname {nickname!r}")
        log(f"burst (receiver busy {cost_us} us per datagram): {count} messages sent in {summary['seconds']:.3f} s "
            f"({count / summary['seconds']:.0f} per second); all {count} decoded in order "
            f"{finished:.3f} s after the start; kernel: {pong['kernelReceived']} received, "
            f"{pong['kernelDropped']} dropped from its ring of {pong['ringBytes'] // 1024} KiB; "
            f"queue dropped {pong['queueDropped']}")
        if summary["seconds"] >= 1.0:
            log("note: the peer needed a second or more to send (a loaded machine); the burst was slower")
    finally:
        check(driver.quit() == 0, "driver exit code")


def case_burst_busy_receiver(args, folder):
    # A receiver slower than the sender (as the window is, with its log and voices): the burst waits
    # in the queue behind the ring instead of overflowing it.
    case_burst(args, folder, cost_us=500)


def case_switchboard_handout(args, _folder):
    # The client connects to each switchboard 1 ms after it was handed out, on a port nobody listed,
    # and the first message follows at once, in two segments: the filter must be open for the second.
    runs = 3
    driver = Driver([args.driver])
    try:
        expect_ready(driver)
        to_filter, to_decoder = [], []
        for run in range(1, runs + 1):
            summary = run_peer(args, "server", "--switchboard-port", "0", "--connect-delay", "0.001")
            want = run * len(SERVER)
            driver.wait_for(lambda ev: len(driver.chats()) >= want, 60, f"{want} chat events")
            pong = driver.ping()
            got = driver.chats()[want - len(SERVER):]
            for index, (seen, expected) in enumerate(zip(got, SERVER)):
                check(seen == expected, f"run {run}, event {index}: {seen}, wanted {expected}")
            check(len(got) == len(SERVER), f"run {run}: {len(got)} events: {got}")
            to_filter.append(pong["handoutToFilterMicros"])
            to_decoder.append(pong["handoutToDecoderMicros"])
            log(f"run {run}: switchboard on port {summary['switchboardPorts'][0]}; last handout to filter in force "
                f"{pong['handoutToFilterMicros']} us, to the decoder's set {pong['handoutToDecoderMicros']} us; "
                f"{pong['handouts']} handouts, {pong['filterUpdates']} filter updates so far")
        pong = driver.ping()
        check(len(driver.chats()) == runs * len(SERVER), f"{len(driver.chats())} chat events in all")
        check(not driver.of_kind("missingField"), f"unexpected reports: {driver.of_kind('missingField')}")
        log(f"handout to filter in force: {sorted(to_filter)} us; to the decoder's set: {sorted(to_decoder)} us")
    finally:
        check(driver.quit() == 0, "driver exit code")


def hosts_file(folder, lines):
    """Puts a hosts file of the test's own over /etc/hosts (in the test's own mount namespace)."""
    path = os.path.join(folder, "hosts")
    with open(path, "w") as hosts:
        hosts.write("127.0.0.1 localhost\n" + "".join(line + "\n" for line in lines))
    subprocess.run(["mount", "--bind", path, "/etc/hosts"], check=True)


def chosen_interface(args):
    driver = Driver([args.driver])
    try:
        ready = driver.wait_for(lambda ev: driver.of_kind("ready"), 60, "ready")[0]
        check(not driver.of_kind("failure") and not driver.of_kind("hostLookupError"),
              f"set-up reported {driver.events}")
        return ready["interface"]
    finally:
        check(driver.quit() == 0, "driver exit code")


def case_interface_choice(args, folder):
    # Two interfaces of the test's own besides lo (the two ends of a veth pair, both inside the
    # namespace); the host name resolved through a hosts file of the test's own. The real system layer
    # (getaddrinfo, getifaddrs, /proc/net/route) is what is tested.
    ip("link", "add", "qvchoice0", "type", "veth", "peer", "name", "qvchoice1")
    for name, address in (("qvchoice0", "10.77.1.1/24"), ("qvchoice1", "10.77.2.1/24")):
        ip("addr", "add", address, "dev", name)
        ip("link", "set", name, "up")
    subprocess.run(["hostname", "quorvel-choice"], check=True)

    hosts_file(folder, ["10.77.2.1 quorvel-choice", "10.77.1.1 quorvel-choice"])
    got = chosen_interface(args)
    check(got == "qvchoice1", f"the first address's interface: got {got!r}")

    subprocess.run(["umount", "/etc/hosts"], check=True)
    hosts_file(folder, ["127.0.1.1 quorvel-choice"])
    check(chosen_interface(args) == "lo", "a loopback address without a default route: lo")
    ip("route", "add", "default", "via", "10.77.1.254", "dev", "qvchoice0")
    got = chosen_interface(args)
    check(got == "qvchoice0", f"a loopback address with a default route: got {got!r}")

    subprocess.run(["umount", "/etc/hosts"], check=True)
    hosts_file(folder, ["192.0.2.99 quorvel-choice"])
    got = chosen_interface(args)
    check(got == "qvchoice0", f"an address no interface holds: got {got!r}")


def case_no_permission(args, folder):
    copy = private_copy(args.driver, folder)
    driver = Driver(as_nobody([copy]))
    try:
        expect_ready(driver, capturing=False)
        reports = [e["text"] for e in driver.of_kind("failure")]
        check(len(reports) == 4, f"{len(reports)} reports, wanted 4: {reports}")
        first, _, hint = reports[0].partition("\n")
        check(first == "WSASocket failed with error 1", f"first report {reports[0]!r}")
        check(hint == f"抓包需要 CAP_NET_RAW 权限，请运行：sudo setcap cap_net_raw+ep {copy}",
              f"permission hint {hint!r}")
        check(reports[1:] == ["bind failed with error 9", "WSAIoctl failed with error 9",
                              "WSAAsyncSelect failed with error 9"], f"later reports {reports[1:]}")
        # Traffic changes nothing and the driver keeps running.
        run_peer(args, "script")
        pong = driver.ping()
        check(pong["capturing"] is False and pong["datagrams"] == 0, f"after traffic: {pong}")
        check(driver.process.poll() is None, "the driver ended")
        check(not driver.of_kind("captureFailed") and not driver.of_kind("chat"), "unexpected events")
    finally:
        check(driver.quit() == 0, "driver exit code")


def case_granted_permission(args, folder):
    copy = private_copy(args.driver, folder)
    granted = subprocess.run([args.grant, copy], capture_output=True, text=True)
    if granted.returncode != 0:
        log(f"cannot grant a file capability here: {granted.stderr.strip()}")
        return SKIP
    check(f"setcap -r {copy}" in granted.stdout, f"grant-capture says how to undo: {granted.stdout!r}")
    driver = Driver(as_nobody([copy]))
    try:
        expect_ready(driver)
        for permitted, effective in capability_sets(driver.process.pid):
            check(permitted & CAP_NET_RAW_BIT, "CAP_NET_RAW no longer permitted")
            check(not effective & CAP_NET_RAW_BIT, "CAP_NET_RAW still effective after opening")
        run_peer(args, "script")
        expect_conversation(driver)
        # Re-opening after the interface comes back needs the permitted capability.
        ip("link", "set", "lo", "down")
        driver.wait_for(lambda ev: driver.of_kind("captureFailed"), 60, "captureFailed")
        ip("link", "set", "lo", "up")
        driver.wait_for(lambda ev: driver.ping()["capturing"], 60, "capture re-opened")
        for permitted, effective in capability_sets(driver.process.pid):
            check(permitted & CAP_NET_RAW_BIT and not effective & CAP_NET_RAW_BIT,
                  "capability sets after re-opening")
        run_peer(args, "script")
        expect_conversation(driver, already=len(CONVERSATION))
    finally:
        check(driver.quit() == 0, "driver exit code")


def case_link_down_up(args, _folder):
    # The whole conversation, then the interface going down and coming back.
    driver = Driver([args.driver])
    try:
        expect_ready(driver)
        run_peer(args, "script")
        expect_conversation(driver)

        ip("link", "set", "lo", "down")
        failed = driver.wait_for(lambda ev: driver.of_kind("captureFailed"), 60, "captureFailed")
        check(failed[0]["text"] == "recv failed with error 100", f"report {failed[0]['text']!r}")
        # Several re-open attempts (one each 2 s) pass quietly while the interface is down.
        quiet_until = time.monotonic() + 5
        while time.monotonic() < quiet_until:
            check(driver.ping()["capturing"] is False, "capturing while the interface is down")
            time.sleep(0.5)
        ip("link", "set", "lo", "up")
        driver.wait_for(lambda ev: driver.ping()["capturing"], 60, "capture re-opened")

        run_peer(args, "script")
        expect_conversation(driver, already=len(CONVERSATION))
        check(len(driver.of_kind("captureFailed")) == 1, f"reports: {driver.of_kind('captureFailed')}")
        check(not driver.of_kind("failure"), f"boxes meanwhile: {driver.of_kind('failure')}")
    finally:
        check(driver.quit() == 0, "driver exit code")


def case_host_lookup(args, _folder):
    # Inside the test's own UTS namespace: a host name that no resolver knows.
    subprocess.run(["hostname", "quorvel-no-such-host.invalid"], check=True)
    driver = Driver([args.driver])
    try:
        ready = driver.wait_for(lambda ev: driver.of_kind("ready"), 60, "ready")[0]
        errors = driver.of_kind("hostLookupError")
        if ready["capturing"] and not errors:
            log("the resolver here answers for any host name; nothing to test")
            return SKIP
        check(len(errors) == 1, f"errors {errors}")
        number_line, newline, reason = errors[0]["text"].partition("\n")
        check(number_line in ("Socket Error # 11001", "Socket Error # 11002", "Socket Error # 11003",
                              "Socket Error # 11004"), f"error text {errors[0]['text']!r}")
        check(newline and reason, f"no reason in {errors[0]['text']!r}")
        # The lookup belongs to the bind step: only the first step ran before it.
        check(not driver.of_kind("failure"), f"reports {driver.of_kind('failure')}")
        check(ready["capturing"] is False, "capturing after a failed lookup")
        check(driver.process.poll() is None, "the driver ended")
    finally:
        check(driver.quit() == 0, "driver exit code")


CASES = {
    "burst": (case_burst, []),
    "burst_busy_receiver": (case_burst_busy_receiver, []),
    "interface_choice": (case_interface_choice, ["-u", "-m"]),
    "no_permission": (case_no_permission, []),
    "granted_permission": (case_granted_permission, []),
    "link_down_up": (case_link_down_up, []),
    "host_lookup": (case_host_lookup, ["-u"]),
    "switchboard_handout": (case_switchboard_handout, []),
}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--driver", required=True)
    parser.add_argument("--peer", required=True)
    parser.add_argument("--grant", required=True)
    args = parser.parse_args()
    run, namespaces = CASES[args.case]

    if os.environ.get(IN_NAMESPACE) != "1":
        if os.geteuid() != 0:
            log("needs root for a network namespace of its own (unshare -n); skipped")
            return SKIP
        environment = dict(os.environ, **{IN_NAMESPACE: "1"})
        command = ["unshare", "-n", *namespaces, sys.executable, os.path.abspath(__file__), *sys.argv[1:]]
        return subprocess.run(command, env=environment).returncode

    ip("link", "set", "lo", "up")
    with tempfile.TemporaryDirectory(prefix=f"quorvel-capture-{args.case}-") as folder:
        try:
            result = run(args, folder)
        except Failure as failure:
            log(f"FAILED: {failure}")
            return 1
    if result == SKIP:
        return SKIP
    log(f"{args.case}: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
