#!/usr/bin/env python3
"""System voices from outside: the real quorvel in a network namespace of this test's own, under Xvfb
with a tray (trayer), with a private PulseAudio null sink and a private speech-dispatcher daemon (its
espeak-ng module) that plays on the same sink. set.ini puts the friends' profile on the daemon's
English voice and the own profile on the built-in English voice. Every sound stream is recorded on
its own, so the checks see which engine spoke: both are heard at once; a new message of one channel
cuts off only that channel; "停止朗读" silences both; with the daemon killed mid-chat a friend's
message is spoken by the built-in default and the status bar says so once; with the daemon back the
friends' messages are the daemon's again. A second run without any daemon speaks, says so once and
leaves the saved choice as it was.

Usage: system_voices_e2e.py QUORVEL_BINARY MSN_PEER_SCRIPT ARTIFACT_DIR
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, ".."))
sys.path.insert(0, os.path.join(HERE, "..", "blackbox"))
from blackbox_test import Session, enter_private_network, read_ini  # noqa: E402
from polling import wait_for  # noqa: E402
from sound_streams import Streams  # noqa: E402
from speechd import SpeechDispatcher  # noqa: E402

SYSTEM = "speech-dispatcher"  # the daemon's stream
BUILTIN = "QtPulseAudio"      # quorvel's own streams
VOICE = "espeak-ng/English (America)"
LONG = ("This long message keeps talking for quite a while, so that there is plenty of time to cut it off "
        "before it ends, and it goes on and on with more and more words for the test to hear.")
SHORT = "Short reply."
MISSING = "找不到系统语音 " + VOICE
BACK = "系统语音 " + VOICE + " 已恢复"


class Run:
    def __init__(self, session, binary, peer, streams):
        self.session, self.peer, self.streams = session, peer, streams
        self.stderr_path = os.path.join(session.root, "quorvel.stderr")
        self.proc = subprocess.Popen([binary], env=session.env, stdout=subprocess.DEVNULL,
                                     stderr=open(self.stderr_path, "ab"))
        time.sleep(2.0)
        assert self.proc.poll() is None, "quorvel ended at start"

    def send(self, direction, text, count=1):
        result = subprocess.run([sys.executable, self.peer, "burst", "--count", str(count), "--direction",
                                 direction, "--text", text], capture_output=True, text=True, timeout=60)
        assert result.returncode == 0, "msn-peer failed: " + result.stderr

    def stderr(self):
        with open(self.stderr_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def loud(self, who, start, end=None):
        return self.streams.loud_seconds(who, start, end)

    def wait_quiet(self):
        def quiet():
            now = time.monotonic()
            return self.loud(SYSTEM, now - 1.0) == 0 and self.loud(BUILTIN, now - 1.0) == 0
        wait_for("silence", quiet, 60)

    def terminate(self):
        self.proc.send_signal(signal.SIGTERM)
        assert self.proc.wait(30) == 0, "quorvel did not end normally after SIGTERM"


def stop_speaking_from_tray(session, artifacts):
    """Left click on the tray icon opens its menu; "停止朗读" is the third item (after a separator)."""
    env = dict(session.env)
    trayer = subprocess.run(["xdotool", "search", "--onlyvisible", "--class", "trayer"], env=env,
                            capture_output=True, text=True).stdout.split()
    assert trayer, "no tray"
    geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", trayer[0]], env=env,
                              capture_output=True, text=True).stdout
    values = dict(line.split("=", 1) for line in geometry.split() if "=" in line)
    x = int(values["X"]) + int(values["WIDTH"]) // 2
    y = int(values["Y"]) + int(values["HEIGHT"]) // 2
    subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"], env=env)
    time.sleep(0.7)
    subprocess.run(["/usr/bin/import", "-window", "root", os.path.join(artifacts, "tray-menu.png")], env=env)
    subprocess.run(["xdotool", "key", "Down", "Down", "Down", "Return"], env=env)


def main():
    binary, peer, artifacts = sys.argv[1:4]
    enter_private_network()
    os.makedirs(artifacts, exist_ok=True)
    root = tempfile.mkdtemp(prefix="quorvel-system-voices-")
    session = Session(root)
    failures, checks = [], []

    def check(condition, message):
        print(("ok   " if condition else "FAIL ") + message, flush=True)
        checks.append(message)
        if not condition:
            failures.append(message)

    streams = speechd = None
    try:
        session.start_display()
        session.start_audio()
        session.procs.append(subprocess.Popen(
            ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24",
             "--SetDockType", "false"], env=session.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        speechd = SpeechDispatcher(root, session.env)
        speechd.start()
        session.env["SPEECHD_ADDRESS"] = speechd.address
        streams = Streams(session.env)
        settings = os.path.join(session.home, ".config", os.path.basename(binary))
        os.makedirs(settings)
        ini = os.path.join(settings, "set.ini")
        with open(ini, "w", encoding="utf-8") as f:
            f.write("[set]\nEngine=1\nSystemVoice1=%s\ncbmyname=0\ncbfriendsname=0\n" % VOICE)

        run = Run(session, binary, peer, streams)

        # The daemon's voice list takes a few seconds; until then the built-in default speaks.
        def system_speaks():
            start = time.monotonic()
            run.send("friend", SHORT)
            time.sleep(2.5)
            return run.loud(SYSTEM, start) > 0.3
        wait_for("the friends' messages in the system voice", system_speaks, 90)
        run.wait_quiet()

        start = time.monotonic()
        run.send("both", LONG, count=2)
        time.sleep(3.0)
        system, builtin = run.loud(SYSTEM, start), run.loud(BUILTIN, start)
        check(system > 1.2 and builtin > 1.2,
              "a friend's message (system voice) and an own one (built-in) are heard at once "
              "(%.1f s / %.1f s loud in 3 s)" % (system, builtin))

        # While both speak, a short message of one channel: that channel's long one ends with it,
        # the other channel's goes on.
        for cut_off, other, cut_name, other_name in ((BUILTIN, SYSTEM, "own", "friend's"),
                                                     (SYSTEM, BUILTIN, "friend", "own")):
            run.wait_quiet()
            run.send("both", LONG, count=2)
            time.sleep(2.0)
            cut = time.monotonic()
            run.send(cut_name, SHORT)
            time.sleep(3.0)
            going_on, after = run.loud(other, cut + 0.5, cut + 3.0), run.loud(cut_off, cut + 2.0, cut + 3.0)
            check(going_on > 1.2 and after == 0,
                  "a new %s message cuts off only its own channel: the %s %.1f s loud after it, the cut one "
                  "%.1f s after the short message" % (cut_name, other_name, going_on, after))
        run.wait_quiet()

        start = time.monotonic()
        run.send("both", LONG, count=2)
        time.sleep(2.0)
        before = (run.loud(SYSTEM, start), run.loud(BUILTIN, start))
        stop_speaking_from_tray(session, artifacts)
        stopped = time.monotonic()
        time.sleep(2.5)
        after = (run.loud(SYSTEM, stopped + 0.5), run.loud(BUILTIN, stopped + 0.5))
        check(min(before) > 0.5 and after == (0, 0),
              "\"停止朗读\" silences both (loud before: %.1f s / %.1f s, after: %.1f s / %.1f s)" % (before + after))

        start = time.monotonic()
        run.send("friend", LONG)
        time.sleep(1.5)
        speaking = run.loud(SYSTEM, start)
        speechd.kill()
        time.sleep(0.5)
        start = time.monotonic()
        run.send("friend", SHORT)
        time.sleep(2.5)
        run.send("friend", SHORT)
        time.sleep(2.5)
        told = run.stderr().count(MISSING)  # the daemon was there all along before
        check(speaking > 0.3 and run.loud(BUILTIN, start) > 0.6 and run.loud(SYSTEM, start) == 0 and told == 1,
              "with the daemon killed mid-message (%.1f s heard) the friends' messages are the built-in "
              "default's (%.1f s loud), told %d time(s)" % (speaking, run.loud(BUILTIN, start), told))

        back_before = run.stderr().count(BACK)
        speechd.start()
        wait_for("the status bar's word that the voice is back", lambda: run.stderr().count(BACK) > back_before, 30)
        start = time.monotonic()
        run.send("friend", SHORT)
        time.sleep(2.5)
        check(run.loud(SYSTEM, start) > 0.3 and run.loud(BUILTIN, start) == 0,
              "with the daemon back the next friend's message is the system voice's (%.1f s loud)"
              % run.loud(SYSTEM, start))
        run.terminate()
        values = read_ini(ini)
        engine1 = values.get("engine1", "")
        check(values.get("systemvoice1") == VOICE and engine1.isdigit() and int(engine1) > 1 and
              values.get("engine") == "1" and "systemvoice" not in values,
              "set.ini keeps the system voice with its index (Engine1=%s, SystemVoice1=%s, Engine=%s)"
              % (engine1, values.get("systemvoice1"), values.get("engine")))

        # A run without any daemon: the built-in default speaks and the choice stays as it was.
        speechd.kill()
        told_before = run.stderr().count(MISSING)
        run = Run(session, binary, peer, streams)
        time.sleep(2.0)
        start = time.monotonic()
        run.send("friend", SHORT)
        time.sleep(2.5)
        heard = run.loud(BUILTIN, start)
        told = run.stderr().count(MISSING) - told_before
        run.terminate()
        values = read_ini(ini)
        check(heard > 0.3 and told == 1 and values.get("engine1") == engine1 and values.get("systemvoice1") == VOICE,
              "without a daemon the built-in default speaks (%.1f s), told %d time(s), and set.ini keeps "
              "Engine1=%s, SystemVoice1=%s" % (heard, told, values.get("engine1"), values.get("systemvoice1")))
    finally:
        if streams:
            streams.close()
        if speechd:
            speechd.stop()
        session.close()
        path = os.path.join(root, "quorvel.stderr")
        if os.path.exists(path):
            shutil.copy(path, os.path.join(artifacts, "system-voices.stderr"))
        shutil.rmtree(root, ignore_errors=True)

    print("%d passed, %d failed" % (len(checks) - len(failures), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
