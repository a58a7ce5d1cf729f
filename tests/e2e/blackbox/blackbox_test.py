#!/usr/bin/env python3
"""The whole program from outside: the real quorvel binary in a network namespace of this test's own,
under Xvfb, with a private PulseAudio daemon whose null sink is recorded. The messenger peer sends a
friend's and an own message on 127.0.0.1:1863; the recordings show speech after each message, and
silence where the options say nothing is spoken. SIGTERM then leaves set.ini with the profiles.

Usage: blackbox_test.py QUORVEL_BINARY MSN_PEER_SCRIPT ARTIFACT_DIR
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import wave
import array

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from polling import wait_for  # noqa: E402
from xvfb import Display  # noqa: E402

NAMESPACE_MARK = "QUORVEL_BLACKBOX_IN_NETNS"


def enter_private_network():
    """Re-runs this script inside a new network namespace with only loopback, which is brought up."""
    if os.environ.get(NAMESPACE_MARK) == "1":
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        return
    env = dict(os.environ, **{NAMESPACE_MARK: "1"})
    flags = ["-n"] if os.geteuid() == 0 else ["-r", "-n"]
    os.execvpe("unshare", ["unshare", *flags, sys.executable, *sys.argv], env)


class Session:
    """Xvfb, PulseAudio and the environment one run of the program needs, all in a private folder."""

    def __init__(self, root):
        self.root = root
        self.home = os.path.join(root, "home")
        self.runtime = os.path.join(root, "run")
        os.makedirs(self.home)
        os.makedirs(self.runtime, mode=0o700)
        self.procs = []
        self.env = dict(os.environ)
        for name in ("DBUS_SESSION_BUS_ADDRESS", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
            self.env.pop(name, None)
        self.env.update(HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                        XDG_RUNTIME_DIR=self.runtime, XDG_DATA_HOME=os.path.join(self.home, ".local/share"),
                        PULSE_SERVER=f"unix:{self.runtime}/pa.sock", LANG="C.UTF-8")

    def start_display(self):
        self.display = Display()
        self.procs.append(self.display.process)
        self.env["DISPLAY"] = self.display.name

    def start_audio(self):
        subprocess.run(["pulseaudio", "-D", "--exit-idle-time=-1", "-n", "--use-pid-file=yes",
                        "--realtime=no", "--high-priority=no",
                        "--load=module-null-sink sink_name=bb_sink rate=48000",
                        f"--load=module-native-protocol-unix socket={self.runtime}/pa.sock auth-anonymous=1"],
                       env=self.env, check=True, stderr=subprocess.DEVNULL)
        wait_for("PulseAudio", lambda: subprocess.run(["pactl", "info"], env=self.env, stdout=subprocess.DEVNULL,
                                                      stderr=subprocess.DEVNULL).returncode == 0, 20)
        # A null sink stalls a new stream while no other is connected: keep one open all along.
        keeper = subprocess.Popen(["pacat", "--latency-msec=20", "--raw", "/dev/zero"], env=self.env,
                                  stderr=subprocess.DEVNULL)
        self.procs.append(keeper)
        time.sleep(2)

    def close(self):
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(5)
                except subprocess.TimeoutExpired:
                    proc.kill()
        subprocess.run(["pulseaudio", "--kill"], env=self.env, stderr=subprocess.DEVNULL)


class Recording:
    def __init__(self, session, path):
        self.path = path
        self.started = time.monotonic()
        self.proc = subprocess.Popen(["parecord", "--latency-msec=20", "--device=bb_sink.monitor", path],
                                     env=session.env, stderr=subprocess.DEVNULL)
        time.sleep(0.5)

    def stop(self):
        self.proc.send_signal(signal.SIGINT)
        self.proc.wait(10)
        self.stopped = time.monotonic()
        return measure(self.path)

    def onset(self):
        """Monotonic time of the first clearly audible sample, or None. The recording's start is
        placed so that its end meets the moment it was stopped (parecord's start-up delay is unknown)."""
        with wave.open(self.path, "rb") as f:
            rate, channels, width = f.getframerate(), f.getnchannels(), f.getsampwidth()
            frames = f.readframes(f.getnframes())
        if width != 2 or not frames:
            return None
        samples = array.array("h", frames)
        threshold = int(0.02 * 32768)
        for index, value in enumerate(samples):
            if abs(value) > threshold:
                duration = len(samples) / channels / rate
                return self.stopped - duration + index / channels / rate
        return None


def measure(path):
    """RMS and peak amplitude of a WAV file, as sox reports them."""
    out = subprocess.run(["sox", path, "-n", "stat"], capture_output=True, text=True).stderr
    values = {}
    for line in out.splitlines():
        if ":" in line:
            key, _, value = line.partition(":")
            try:
                values[key.strip()] = float(value.strip())
            except ValueError:
                pass
    return values.get("RMS     amplitude", 0.0), values.get("Maximum amplitude", 0.0)


def window_shown(session):
    tree = subprocess.run(["xwininfo", "-root", "-tree"], env=session.env, capture_output=True,
                          text=True).stdout
    return '"Quorvel"' in tree


class Program:
    def __init__(self, session, binary):
        self.session = session
        self.proc = subprocess.Popen([binary], env=session.env, stdout=subprocess.DEVNULL,
                                     stderr=open(os.path.join(session.root, "quorvel.stderr"), "ab"))
        wait_for("the main window", lambda: window_shown(session) or self.proc.poll() is not None, 60)
        if self.proc.poll() is not None:
            raise AssertionError(f"quorvel ended at start with status {self.proc.returncode}")
        # The window appears after the set-up has opened the capture; give libpcap a moment on top.
        time.sleep(1.0)

    def terminate(self):
        self.proc.send_signal(signal.SIGTERM)
        status = self.proc.wait(30)
        if status != 0:
            raise AssertionError(f"quorvel ended with status {status} after SIGTERM")


def send(peer, direction):
    result = subprocess.run([sys.executable, peer, "burst", "--count", "1", "--direction", direction],
                            capture_output=True, text=True, timeout=60)
    if result.returncode != 0:
        raise AssertionError(f"msn-peer failed: {result.stderr}")


def heard(session, peer, direction, artifacts, name, seconds=5.0):
    """Records the sink while the peer sends one message; returns (rms, peak) and prints the time
    from sending to the first audible sample (a figure, not a check)."""
    recording = Recording(session, os.path.join(artifacts, name + ".wav"))
    sent = time.monotonic()
    send(peer, direction)
    time.sleep(seconds)
    rms, peak = recording.stop()
    onset = recording.onset()
    if onset is not None:
        print(f"     {name}: first audible sample about {1000 * (onset - sent):.0f} ms after starting the peer "
              f"(process start, connection, one message)", flush=True)
    return rms, peak


def read_ini(path):
    values = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            key, sep, value = line.strip().partition("=")
            if sep:
                values[key.lower()] = value
    return values


SOUND_RMS = 0.005    # espeak speech on the null sink measures around 0.05
SILENCE_PEAK = 0.001


def main():
    binary, peer, artifacts = sys.argv[1:4]
    enter_private_network()
    os.makedirs(artifacts, exist_ok=True)
    root = tempfile.mkdtemp(prefix="quorvel-blackbox-")
    session = Session(root)
    failures = []
    checks = []

    def check(condition, message):
        print(("ok   " if condition else "FAIL ") + message, flush=True)
        checks.append(message)
        if not condition:
            failures.append(message)

    try:
        session.start_display()
        session.start_audio()
        settings_dir = os.path.join(session.home, ".config", os.path.basename(binary))
        os.makedirs(settings_dir)
        ini = os.path.join(settings_dir, "set.ini")
        with open(ini, "w", encoding="utf-8") as f:
            f.write("[set]\nRate=3\nVolume1=80\n")

        # Run 1: every box ticked; both directions are spoken.
        program = Program(session, binary)
        rms, peak = heard(session, peer, "friend", artifacts, "run1-friend")
        check(rms > SOUND_RMS, f"a friend's message is spoken (rms {rms:.4f}, peak {peak:.3f})")
        rms, peak = heard(session, peer, "own", artifacts, "run1-own")
        check(rms > SOUND_RMS, f"an own message is spoken (rms {rms:.4f}, peak {peak:.3f})")
        program.terminate()

        values = read_ini(ini)
        check(len(values) == 16 and values.get("speaklinks") == "1" and values.get("maxspoken") == "300"
              and values.get("ports") == "1863 1864",
              f"set.ini holds its sixteen keys after SIGTERM ({sorted(values)})")
        check(values.get("rate") == "3" and values.get("volume1") == "80",
              f"the profiles loaded at start are saved back (Rate={values.get('rate')}, "
              f"Volume1={values.get('volume1')})")
        check(values.get("engine") == "0" and values.get("engine1") == "0",
              "the first voice is selected and saved for both directions")

        # Run 2: own messages neither spoken nor announced; friends' still spoken.
        text = open(ini, encoding="utf-8").read()
        text = text.replace("cbme=1", "cbme=0").replace("cbmyname=1", "cbmyname=0")
        with open(ini, "w", encoding="utf-8") as f:
            f.write(text)
        program = Program(session, binary)
        rms, peak = heard(session, peer, "own", artifacts, "run2-own-silent")
        check(peak < SILENCE_PEAK, f"an own message with its boxes off is not spoken (peak {peak:.4f})")
        rms, peak = heard(session, peer, "friend", artifacts, "run2-friend")
        check(rms > SOUND_RMS, f"a friend's message is still spoken (rms {rms:.4f}, peak {peak:.3f})")
        program.terminate()
        values = read_ini(ini)
        check(values.get("cbme") == "0" and values.get("cbmyname") == "0" and values.get("cbfriend") == "1",
              "the reading options survive the second run")
    finally:
        session.close()
        for name in ("quorvel.stderr",):
            path = os.path.join(root, name)
            if os.path.exists(path):
                shutil.copy(path, os.path.join(artifacts, name))
        shutil.rmtree(root, ignore_errors=True)

    print(f"{len(checks) - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
