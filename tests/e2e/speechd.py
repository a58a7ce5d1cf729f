"""A speech-dispatcher daemon of a test's own: its configuration (the espeak-ng module only, audio to
the PulseAudio server of the environment given), socket, pid file and logs in a private folder.
Clients reach it through SPEECHD_ADDRESS; the daemon and its module run in a process group of their
own, so that kill() takes both, as a crash would."""
import os
import shutil
import signal
import socket
import subprocess
import time

CONFIG = """AudioOutputMethod "pulse"
AddModule "espeak-ng" "sd_espeak-ng" "espeak-ng.conf"
DefaultModule espeak-ng
"""


class SpeechDispatcher:
    def __init__(self, root, env):
        self.dir = os.path.join(root, "speechd")
        self.conf = os.path.join(self.dir, "conf")
        os.makedirs(os.path.join(self.conf, "modules"), exist_ok=True)
        with open(os.path.join(self.conf, "speechd.conf"), "w") as f:
            f.write(CONFIG)
        shutil.copy("/etc/speech-dispatcher/modules/espeak-ng.conf", os.path.join(self.conf, "modules"))
        self.socket = os.path.join(self.dir, "speechd.sock")
        self.address = "unix_socket:" + self.socket
        self.env = dict(env)
        self.proc = None

    def start(self, timeout=30):
        self.proc = subprocess.Popen(
            ["speech-dispatcher", "--run-single", "--timeout", "0", "--config-dir", self.conf,
             "--communication-method", "unix_socket", "--socket-path", self.socket,
             "--pid-file", os.path.join(self.dir, "speechd.pid"), "--log-dir", self.dir, "--log-level", "1"],
            env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.answers():
                return
            if self.proc.poll() is not None:
                break
            time.sleep(0.1)
        raise AssertionError("speech-dispatcher did not answer")

    def answers(self):
        """Whether the daemon answers an SSIP command."""
        try:
            with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
                s.settimeout(2)
                s.connect(self.socket)
                s.sendall(b"SET SELF CLIENT_NAME test:test:probe\r\n")
                reply = s.recv(64)
                s.sendall(b"QUIT\r\n")
                return reply[:1].isdigit()
        except OSError:
            return False

    def signal(self, number):
        os.killpg(self.proc.pid, number)

    def kill(self):
        """Ends the daemon and its module at once, as a crash would."""
        if self.proc and self.proc.poll() is None:
            self.signal(signal.SIGKILL)
            self.proc.wait(timeout=30)
        if os.path.exists(self.socket):
            os.unlink(self.socket)

    def stop(self):
        if self.proc and self.proc.poll() is None:
            try:
                self.signal(signal.SIGCONT)
                self.signal(signal.SIGTERM)
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass
        self.kill()
