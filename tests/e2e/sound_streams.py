"""Listening to a test's PulseAudio daemon stream by stream: every sink input that appears is
recorded on its own (parec --monitor-stream), so a test can tell which program spoke when, and the
sink's monitor can be recorded as a whole. Frames of 20 ms carry the time.monotonic() at which they
were played, give or take the recording latency of about 10 ms."""
import array
import math
import re
import subprocess
import sys
import threading
import time

RATE = 16000
FRAME = RATE // 50
LOUD_RMS = 300.0  # espeak-ng's pauses are digital silence; its speech is far above this


class Recorder:
    def __init__(self, env, source_args, keep_samples=False):
        self.frames = []  # (time, rms)
        self.chunks = [] if keep_samples else None  # (arrival time, samples)
        self.proc = subprocess.Popen(
            ["parec", *source_args, "--raw", "--format=s16le", "--rate=%d" % RATE, "--channels=1",
             "--latency-msec=10"], env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        with self.proc.stdout:
            self._read_frames()

    def _read_frames(self):
        pending = b""
        carry = b""  # half a sample left at a chunk's end
        size = FRAME * 2
        while True:
            chunk = self.proc.stdout.read1(8192)
            if not chunk:
                return
            now = time.monotonic()
            if self.chunks is not None:
                data = carry + chunk
                even = len(data) // 2 * 2
                samples = array.array("h", data[:even])
                carry = data[even:]
                if sys.byteorder != "little":
                    samples.byteswap()
                self.chunks.append((now, samples))
            pending += chunk
            whole = len(pending) // size
            samples_held = len(pending) // 2
            for k in range(whole):
                frame = array.array("h", pending[k * size:(k + 1) * size])
                if sys.byteorder != "little":
                    frame.byteswap()
                rms = math.sqrt(sum(x * x for x in frame) / FRAME)
                self.frames.append((now - (samples_held - (k + 1) * FRAME) / RATE, rms))
            pending = pending[whole * size:]

    def loud_times(self, start=0.0, end=None):
        return [t for t, rms in list(self.frames) if rms > LOUD_RMS and t >= start and (end is None or t <= end)]

    def first_sound_after(self, start, threshold=1000):
        """Time of the first sample above threshold played after start (needs keep_samples); None
        when there is none yet. A chunk's last sample was played about when the chunk arrived."""
        for arrival, samples in list(self.chunks):
            n = len(samples)
            if arrival < start:
                continue
            for i, x in enumerate(samples):
                t = arrival - (n - 1 - i) / RATE
                if t >= start and abs(x) > threshold:
                    return t
        return None

    def close(self):
        if self.proc.poll() is None:
            self.proc.terminate()
        self.proc.wait(timeout=10)
        self.reader.join(timeout=10)


class Streams:
    """Each sink input whose client is not ignored gets a Recorder as it appears."""

    def __init__(self, env, ignore=("pacat",)):
        self.env = env
        self.ignore = ignore
        self.lock = threading.Lock()
        self.streams = []  # (index, application name, Recorder)
        self.watch = subprocess.Popen(["pactl", "subscribe"], env=env, stdout=subprocess.PIPE,
                                      stderr=subprocess.DEVNULL, text=True)
        self.follower = threading.Thread(target=self._follow, daemon=True)
        self.follower.start()
        for index in self._names():
            self._add(index)

    def _names(self):
        out = subprocess.run(["pactl", "list", "sink-inputs"], env=self.env, capture_output=True, text=True).stdout
        names, index = {}, None
        for line in out.splitlines():
            m = re.match(r"Sink Input #(\d+)", line)
            if m:
                index = int(m.group(1))
            m = re.match(r'\s*application\.name = "(.*)"', line)
            if m and index is not None:
                names[index] = m.group(1)
        return names

    def _add(self, index):
        name = self._names().get(index)
        with self.lock:
            if name is None or name.startswith(self.ignore) or any(i == index for i, _, _ in self.streams):
                return
            self.streams.append((index, name, Recorder(self.env, ["--monitor-stream=%d" % index])))

    def _follow(self):
        with self.watch.stdout:
            for line in self.watch.stdout:
                m = re.match(r"Event 'new' on sink-input #(\d+)", line)
                if m:
                    self._add(int(m.group(1)))

    def loud_times(self, prefix, start=0.0, end=None):
        """Times of the loud frames of every stream of the clients whose name starts with prefix."""
        with self.lock:
            recorders = [r for _, name, r in self.streams if name.startswith(prefix)]
        return sorted(t for r in recorders for t in r.loud_times(start, end))

    def loud_seconds(self, prefix, start=0.0, end=None):
        return len(self.loud_times(prefix, start, end)) / 50.0

    def close(self):
        self.watch.terminate()
        self.watch.wait(timeout=10)
        self.follower.join(timeout=10)
        with self.lock:
            for _, _, r in self.streams:
                r.close()
