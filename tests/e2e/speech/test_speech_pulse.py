#!/usr/bin/env python3
"""Sound tests of the speech layer against a real PulseAudio daemon with a null sink.

Each run starts its own daemon in a private runtime folder (own socket, own sink name), keeps one
low-latency stream open so the null sink does not stall new streams, and records the sink's monitor
as raw 16 kHz mono samples, which are measured here in 20 ms frames. Waits poll with generous limits.
The system voices' case adds a speech-dispatcher daemon of its own on the same sink.
"""

import array
import math
import os
import queue
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from sound_streams import Streams  # noqa: E402
from speechd import SpeechDispatcher  # noqa: E402

DRIVER = None
RATE = 16000
FRAME = RATE // 50          # 20 ms
ACTIVE_RMS = 100.0          # espeak-ng's pauses are digital silence; speech is far above this
LONG_EN = ("This is a long message from the user that keeps talking for quite a while, "
           "so that there is plenty of time to cut it off before it ends, "
           "and it goes on and on with more and more words for the test.")
SHORT_EN = "Short reply."
LONG_ZH = "今天天气很好，我们一起去公园散步吧，然后再去吃饭，晚上回家看电视，明天早上还要上班呢。"


def wait_until(predicate, limit, step=0.05):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


class PulseDaemon:
    def __init__(self, root, name):
        self.dir = os.path.join(root, name)
        os.makedirs(self.dir, mode=0o700)
        os.chmod(self.dir, 0o700)
        self.socket = os.path.join(self.dir, "pa.sock")
        self.sink = "quorvel_test_%d_%s" % (os.getpid(), name)
        self.env = dict(os.environ, XDG_RUNTIME_DIR=self.dir, HOME=self.dir,
                        PULSE_SERVER="unix:" + self.socket, PULSE_STATE_PATH=self.dir)
        self.keeper = None

    def start(self):
        subprocess.run(
            ["pulseaudio", "-D", "--exit-idle-time=-1", "-n", "--use-pid-file=yes", "--realtime=no",
             "--high-priority=no", "--disallow-exit=no",
             "--load=module-null-sink sink_name=%s rate=48000" % self.sink,
             "--load=module-native-protocol-unix socket=%s auth-anonymous=1" % self.socket],
            env=self.env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        ok = wait_until(lambda: subprocess.run(["pactl", "info"], env=self.env, stdout=subprocess.DEVNULL,
                                               stderr=subprocess.DEVNULL).returncode == 0, 30)
        if not ok:
            raise RuntimeError("pulseaudio did not answer")
        # One stream open all the time: otherwise the null sink holds a new stream back ~1.5 s.
        self.keeper = subprocess.Popen(["pacat", "--latency-msec=20", "--raw", "-d", self.sink, "/dev/zero"],
                                       env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(2.0)

    def stop(self):
        if self.keeper:
            self.keeper.terminate()
            self.keeper.wait(timeout=30)
        subprocess.run(["pulseaudio", "--kill"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30)


class Recorder:
    def __init__(self, daemon, path):
        self.path = path
        self.out = open(path, "wb")
        self.proc = subprocess.Popen(
            ["pacat", "--record", "--raw", "--latency-msec=20", "-d", daemon.sink + ".monitor",
             "--format=s16le", "--rate=%d" % RATE, "--channels=1"],
            env=daemon.env, stdout=self.out, stderr=subprocess.DEVNULL)
        wait_until(lambda: os.path.getsize(path) > 0, 30)

    def samples(self):
        with open(self.path, "rb") as f:
            data = f.read()
        a = array.array("h")
        a.frombytes(data[:len(data) // 2 * 2])
        if sys.byteorder != "little":
            a.byteswap()
        return a

    def frames(self):
        s = self.samples()
        out = []
        for i in range(0, len(s) - FRAME + 1, FRAME):
            chunk = s[i:i + FRAME]
            out.append(math.sqrt(sum(x * x for x in chunk) / FRAME))
        return out

    def wait_for_sound(self, limit=30):
        return wait_until(lambda: any(r > ACTIVE_RMS for r in self.frames()), limit, 0.1)

    def wait_for_quiet(self, quiet=1.5, limit=60):
        """After sound was heard: until the last `quiet` seconds are silent."""
        need = int(quiet * 50)

        def done():
            f = self.frames()
            return any(r > ACTIVE_RMS for r in f) and len(f) > need and all(r <= ACTIVE_RMS for r in f[-need:])
        return wait_until(done, limit, 0.2)

    def stop(self):
        self.proc.send_signal(signal.SIGINT)
        try:
            self.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
        self.out.close()
        return Measure(self.frames())


class Measure:
    def __init__(self, frames):
        active = [i for i, r in enumerate(frames) if r > ACTIVE_RMS]
        self.heard = bool(active)
        self.first = active[0] / 50 if active else None
        self.last = (active[-1] + 1) / 50 if active else None
        self.span = (self.last - self.first) if active else 0.0
        self.energy = sum(r * r for r in frames) * FRAME / RATE

    def __repr__(self):
        return "Measure(heard=%s, span=%.2fs, energy=%.3g)" % (self.heard, self.span, self.energy)


class Driver:
    def __init__(self, env, stderr=subprocess.DEVNULL):
        self.proc = subprocess.Popen([DRIVER], env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=stderr, text=True, bufsize=1)
        self.firsts = []
        self.changes = []  # "voices-changed N" lines, in order
        self.lines = queue.Queue()
        threading.Thread(target=self._pump, daemon=True).start()
        assert self.read_until("ready") is not None, "driver did not start"

    def _pump(self):
        for line in self.proc.stdout:
            self.lines.put(line.rstrip("\n"))
        self.lines.put(None)

    def read_until(self, word, limit=60):
        end = time.monotonic() + limit
        while True:
            try:
                line = self.lines.get(timeout=max(0.01, end - time.monotonic()))
            except queue.Empty:
                return None
            if line is None:
                return None
            if line.startswith("first "):
                self.firsts.append(line)
            if line.startswith("voices-changed "):
                self.changes.append(int(line.split()[1]))
            if line.split(" ")[0] == word:
                return line

    def send(self, command, answer="ok"):
        self.proc.stdin.write(command + "\n")
        self.proc.stdin.flush()
        return self.read_until(answer)

    def speak(self, channel, text, voice=1, rate=0, volume=100):
        assert self.send("speak %s %d %d %d %s" % (channel, voice, rate, volume, text)) == "ok"

    def alive(self):
        return self.send("ping", "pong") == "pong"

    def quit(self):
        try:
            self.proc.stdin.write("quit\n")
            self.proc.stdin.flush()
        except BrokenPipeError:
            pass
        rc = self.proc.wait(timeout=60)
        self.proc.stdin.close()
        return rc


class SpeechPulseTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="quorvel-speech-e2e-")
        cls.daemon = PulseDaemon(cls.root, "main")
        cls.daemon.start()
        cls.driver = Driver(cls.daemon.env)
        cls.counter = 0
        cls.reference = {}

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.daemon.stop()
        shutil.rmtree(cls.root, ignore_errors=True)

    def record(self):
        type(self).counter += 1
        return Recorder(self.daemon, os.path.join(self.root, "rec%d.raw" % self.counter))

    def alone(self, channel, text, voice, volume=100):
        """Measures one message played to its end (cached per case)."""
        key = (channel, text, voice, volume)
        if key not in self.reference:
            rec = self.record()
            self.driver.speak(channel, text, voice, 0, volume)
            self.assertTrue(rec.wait_for_sound(), "no sound for %r" % (key,))
            self.assertTrue(rec.wait_for_quiet(), "sound did not end")
            self.reference[key] = rec.stop()
        return self.reference[key]

    def test_2_second_message_cuts_off_the_first(self):
        long_alone = self.alone("own", LONG_EN, 1)
        self.assertGreater(long_alone.span, 5.0, long_alone)
        short_alone = self.alone("own", SHORT_EN, 1)
        rec = self.record()
        self.driver.speak("own", LONG_EN, 1)
        self.assertTrue(rec.wait_for_sound())
        time.sleep(0.5)
        self.driver.speak("own", SHORT_EN, 1)
        self.assertTrue(rec.wait_for_quiet())
        m = rec.stop()
        # Only a little of the first plus the whole second: far shorter than the first alone.
        self.assertLess(m.span, long_alone.span - 3.0, (m, long_alone))
        self.assertGreater(m.span, short_alone.span * 0.8, (m, short_alone))

    def test_3_both_channels_play_at_once(self):
        own = self.alone("own", LONG_EN, 1, 50)
        friend = self.alone("friend", LONG_ZH, 0, 50)
        rec = self.record()
        self.driver.speak("own", LONG_EN, 1, 0, 50)
        self.driver.speak("friend", LONG_ZH, 0, 0, 50)
        self.assertTrue(rec.wait_for_sound())
        self.assertTrue(rec.wait_for_quiet())
        m = rec.stop()
        # Mixed, the energies add up; one alone would give at most the larger of the two.
        self.assertGreater(m.energy, 1.4 * max(own.energy, friend.energy), (m, own, friend))
        self.assertGreater(m.span, 0.8 * max(own.span, friend.span), (m, own, friend))

    def test_4_cutting_one_channel_leaves_the_other(self):
        friend = self.alone("friend", LONG_ZH, 0, 50)
        self.assertGreater(friend.span, 3.0, friend)  # Chinese is spoken, not skipped
        rec = self.record()
        self.driver.speak("friend", LONG_ZH, 0, 0, 50)
        self.driver.speak("own", LONG_EN, 1, 0, 50)
        self.assertTrue(rec.wait_for_sound())
        time.sleep(0.5)
        self.driver.send("stop own")
        self.assertTrue(rec.wait_for_quiet())
        m = rec.stop()
        self.assertGreater(m.span, 0.8 * friend.span, (m, friend))

    def test_5_stop_all_silences_both(self):
        own = self.alone("own", LONG_EN, 1, 50)
        rec = self.record()
        self.driver.speak("own", LONG_EN, 1, 0, 50)
        self.driver.speak("friend", LONG_ZH, 0, 0, 50)
        self.assertTrue(rec.wait_for_sound())
        time.sleep(0.5)
        self.driver.send("stopall")
        self.assertTrue(rec.wait_for_quiet())
        m = rec.stop()
        self.assertLess(m.span, own.span - 3.0, (m, own))
        self.assertTrue(self.driver.alive())
        # The next message after stopping is spoken normally.
        again = self.record()
        self.driver.speak("own", SHORT_EN, 1)
        self.assertTrue(again.wait_for_sound())
        self.assertTrue(again.wait_for_quiet())
        again.stop()

    def test_6_volume_zero_is_silent(self):
        self.driver.firsts.clear()
        rec = self.record()
        self.driver.speak("own", SHORT_EN, 1, 0, 0)
        # Silence reaches the sink like any message; give it time to play out.
        self.assertTrue(wait_until(lambda: self.driver.alive() and len(self.driver.firsts) > 0, 30))
        time.sleep(2.0)
        m = rec.stop()
        self.assertFalse(m.heard, m)
        self.assertTrue(self.driver.alive())

    def test_7_latency_figures(self):
        self.driver.firsts.clear()
        for text, voice in ((LONG_ZH[:20], 0), (" ".join(["word"] * 100), 1)):
            rec = self.record()
            self.driver.speak("own", text, voice)
            self.assertTrue(rec.wait_for_sound())
            self.driver.send("stop own")
            self.assertTrue(rec.wait_for_quiet(0.5))
            rec.stop()
        self.assertTrue(self.driver.alive())
        print("speak() to first samples written to the sink (ms): zh20 / en100 words:",
              self.driver.firsts, file=sys.stderr)
        self.assertEqual(len(self.driver.firsts), 2)


class NoServerTest(unittest.TestCase):
    def test_no_server_then_server_appears(self):
        root = tempfile.mkdtemp(prefix="quorvel-speech-e2e-late-")
        daemon = PulseDaemon(root, "late")
        try:
            driver = Driver(daemon.env)  # the socket does not exist yet
            for i in range(3):
                driver.speak("own", SHORT_EN, 1)
                driver.speak("friend", LONG_ZH, 0)
            self.assertTrue(driver.alive(), "event loop goes on without a server")
            daemon.start()
            rec = Recorder(daemon, os.path.join(daemon.dir, "rec.raw"))
            driver.speak("own", SHORT_EN, 1)
            self.assertTrue(rec.wait_for_sound(), "the next message after the server came up is heard")
            self.assertTrue(rec.wait_for_quiet())
            m = rec.stop()
            self.assertTrue(m.heard)
            self.assertEqual(driver.quit(), 0)
        finally:
            daemon.stop()
            shutil.rmtree(root, ignore_errors=True)


class HungSystemServerTest(unittest.TestCase):
    """A speech-dispatcher that stops answering (SIGSTOP) while a friend's message is on its voice: the
    layer keeps answering at once, the next message falls back to the built-in default, the system
    voices leave the list, and they come back with the server."""

    def test_stopped_server_then_continued(self):
        root = tempfile.mkdtemp(prefix="quorvel-speech-e2e-hung-")
        daemon = PulseDaemon(root, "hung")
        speechd = streams = driver = None
        try:
            daemon.start()
            speechd = SpeechDispatcher(root, daemon.env)
            speechd.start()
            env = dict(daemon.env, SPEECHD_ADDRESS=speechd.address)
            streams = Streams(env)
            driver = Driver(env)
            self.assertIsNotNone(driver.read_until("voices-changed"), "no system voices")
            driver.proc.stdin.write("voices\n")
            driver.proc.stdin.flush()
            system, built_in = None, 0
            while True:
                line = driver.lines.get(timeout=30)
                if line == "ok":
                    break
                built_in += "\t-\t" in line
                if "\tespeak-ng/English (America)\t" in line:
                    system = int(line.split()[1])
            self.assertIsNotNone(system)

            start = time.monotonic()
            driver.speak("friend", LONG_EN, system)
            self.assertTrue(wait_until(lambda: streams.loud_seconds("speech-dispatcher", start) > 0.3, 30))
            speechd.signal(signal.SIGSTOP)
            stopped = time.monotonic()
            driver.speak("friend", SHORT_EN, system)
            slowest = 0.0

            def answered_at_once():
                asked = time.monotonic()
                self.assertTrue(driver.alive())
                nonlocal slowest
                slowest = max(slowest, time.monotonic() - asked)
                return True

            heard = wait_until(lambda: answered_at_once() and streams.loud_seconds("QtPulseAudio", stopped) >= 0.3,
                               15, 0.1)
            self.assertTrue(heard, "no fallback to the built-in default")
            print("stopped server: built-in default heard %.1f s after the message" %
                  (streams.loud_times("QtPulseAudio", stopped)[0] - stopped), file=sys.stderr)
            self.assertTrue(wait_until(lambda: answered_at_once() and built_in in driver.changes, 15, 0.1),
                            "the system voices leave the list: %s" % driver.changes)
            self.assertLess(slowest, 0.5, "the layer waited for the server")

            speechd.signal(signal.SIGCONT)
            self.assertTrue(wait_until(lambda: driver.alive() and driver.changes[-1] > built_in, 30),
                            "the system voices come back: %s" % driver.changes)
            again = time.monotonic()
            driver.speak("friend", SHORT_EN, system)
            self.assertTrue(wait_until(lambda: streams.loud_seconds("speech-dispatcher", again) > 0.3, 30))
            self.assertEqual(driver.quit(), 0)
            driver = None
        finally:
            if driver:
                driver.quit()
            if streams:
                streams.close()
            if speechd:
                speechd.stop()
            daemon.stop()
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    DRIVER = sys.argv.pop(1)
    unittest.main(verbosity=2)
