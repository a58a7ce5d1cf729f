#!/usr/bin/env python3
"""Speech under faults, on the real quorvel in a network namespace of this test's own, under Xvfb, with
a private PulseAudio: the sound server killed while a message is spoken and started again -> the next
message is heard; espeak-ng data missing -> the program starts, says so once, and stays silent.

Usage: speech_faults.py QUORVEL_BINARY MSN_PEER_SCRIPT ARTIFACT_DIR
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "blackbox"))
from blackbox_test import (SILENCE_PEAK, SOUND_RMS, Program, Session, enter_private_network,  # noqa: E402
                           heard, send)
from polling import wait_for  # noqa: E402

MISSING_DATA = "找不到 espeak-ng 的语音数据，消息只显示，不朗读。"


def stderr_of(session):
    with open(os.path.join(session.root, "quorvel.stderr"), encoding="utf-8", errors="replace") as f:
        return f.read()


def sound_server_restarted(session, binary, peer, artifacts):
    program = Program(session, binary)
    rms, _ = heard(session, peer, "friend", artifacts, "before-restart")
    assert rms > SOUND_RMS, "not heard before the restart (rms %.4f)" % rms
    send(peer, "friend")
    time.sleep(0.3)  # speaking now
    subprocess.run(["pulseaudio", "--kill"], env=session.env, stderr=subprocess.DEVNULL)
    wait_for("the server to end", lambda: subprocess.run(["pactl", "info"], env=session.env, stdout=subprocess.DEVNULL,
                                                         stderr=subprocess.DEVNULL).returncode != 0, 20)
    time.sleep(1.0)
    session.start_audio()
    rms, peak = heard(session, peer, "friend", artifacts, "after-restart")
    assert program.proc.poll() is None, "the program ended with the sound server"
    assert rms > SOUND_RMS, "the next message is not heard after the restart (rms %.4f)" % rms
    program.terminate()
    return "the next message after the restart is heard (rms %.4f, peak %.3f)" % (rms, peak)


def espeak_data_missing(session, binary, peer, artifacts):
    empty = os.path.join(session.root, "no-espeak-data")
    os.makedirs(empty)
    session.env["ESPEAK_DATA_PATH"] = empty
    program = Program(session, binary)
    rms, peak = heard(session, peer, "friend", artifacts, "no-data-friend")
    send(peer, "own")
    time.sleep(1.0)
    assert program.proc.poll() is None, "the program ended"
    program.terminate()
    told = stderr_of(session).count(MISSING_DATA)
    assert told == 1, "told %d times, not once:\n%s" % (told, stderr_of(session))
    assert peak < SILENCE_PEAK, "sound without espeak-ng data (peak %.4f)" % peak
    return "starts, says so once, silent (peak %.4f), ends normally" % peak


CASES = [("sound server killed and started again", sound_server_restarted),
         ("espeak-ng data missing", espeak_data_missing)]


def main():
    binary, peer, artifacts = sys.argv[1:4]
    enter_private_network()
    os.makedirs(artifacts, exist_ok=True)
    failed = 0
    for name, case in CASES:
        root = tempfile.mkdtemp(prefix="quorvel-speech-faults-")
        session = Session(root)
        try:
            session.start_display()
            session.start_audio()
            print("ok   %s: %s" % (name, case(session, binary, peer, artifacts)), flush=True)
        except AssertionError as error:
            failed += 1
            print("FAIL %s: %s" % (name, error), flush=True)
        finally:
            session.close()
            shutil.rmtree(root, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
