#!/usr/bin/env python3
"""Friends' own settings from outside: the real quorvel binary in a network namespace of this test's
own, under Xvfb, with a PulseAudio null sink recorded. contacts.ini mutes Ann and gives Bob a voice of
his own, much faster than the friend voice; the messenger peer sends the same sentence from each.
Ann is silent on the sink, Bob is heard, and heard for a shorter time than after his own voice is
switched off. SIGTERM leaves contacts.ini with both friends' history and Ann's mute.

Usage: contacts_test.py QUORVEL_BINARY MSN_PEER_SCRIPT ARTIFACT_DIR
"""
import array
import os
import shutil
import subprocess
import sys
import tempfile
import time
import wave

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "blackbox"))
from blackbox_test import Program, Recording, Session, enter_private_network  # noqa: E402

SOUND_RMS = 0.005
SILENCE_PEAK = 0.001


def audible_seconds(path):
    """Time from the first to the last clearly audible sample."""
    with wave.open(path, "rb") as f:
        rate, channels = f.getframerate(), f.getnchannels()
        samples = array.array("h", f.readframes(f.getnframes()))
    threshold = int(0.02 * 32768)
    loud = [i for i, v in enumerate(samples) if abs(v) > threshold]
    return (loud[-1] - loud[0]) / channels / rate if loud else 0.0


def heard(session, peer, sender, artifacts, name, seconds=8.0):
    path = os.path.join(artifacts, name + ".wav")
    recording = Recording(session, path)
    result = subprocess.run([sys.executable, peer, "contacts", "--from", sender], capture_output=True,
                            text=True, timeout=60)
    if result.returncode != 0:
        raise AssertionError(f"msn-peer failed: {result.stderr}")
    time.sleep(seconds)
    rms, peak = recording.stop()
    return rms, peak, audible_seconds(path)


def sections(path):
    result, current = {}, None
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if line.startswith("[") and line.endswith("]"):
                current = result.setdefault(line[1:-1], {})
            elif current is not None and "=" in line:
                key, _, value = line.partition("=")
                current[key] = value
    return result


def main():
    binary, peer, artifacts = sys.argv[1:4]
    enter_private_network()
    os.makedirs(artifacts, exist_ok=True)
    root = tempfile.mkdtemp(prefix="quorvel-contacts-")
    session = Session(root)
    failures = []

    def check(condition, message):
        print(("ok   " if condition else "FAIL ") + message, flush=True)
        if not condition:
            failures.append(message)

    try:
        session.start_display()
        session.start_audio()
        folder = os.path.join(session.home, ".config", os.path.basename(binary))
        os.makedirs(folder)
        with open(os.path.join(folder, "set.ini"), "w", encoding="utf-8") as f:
            f.write("[set]\nRate1=-5\n")
        contacts = os.path.join(folder, "contacts.ini")
        with open(contacts, "w", encoding="utf-8") as f:
            f.write("; kept\n[ann@example.com]\nMute=1\n[bob@example.com]\nOwnVoice=1\nEngine=0\nRate=10\n"
                    "Volume=100\nColour=blue\n")

        program = Program(session, binary)
        rms, peak, _ = heard(session, peer, "ann", artifacts, "muted-ann")
        check(peak < SILENCE_PEAK, f"the muted friend is not spoken (peak {peak:.4f})")
        rms, peak, own_voice = heard(session, peer, "bob", artifacts, "bob-own-voice")
        check(rms > SOUND_RMS, f"the other friend is spoken with his own voice (rms {rms:.4f}, {own_voice:.2f} s)")
        program.terminate()

        stored = sections(contacts)
        ann, bob = stored.get("ann@example.com", {}), stored.get("bob@example.com", {})
        check(ann.get("Mute") == "1" and ann.get("Messages") == "1" and ann.get("Nickname") == "Ann",
              f"the muted friend's message is counted and the mute kept ({ann})")
        check(bob.get("Messages") == "1" and bob.get("Colour") == "blue" and len(bob.get("LastSeen", "")) == 19,
              f"the other friend's history is stored, unknown keys kept ({bob})")
        check(open(contacts, encoding="utf-8").read().startswith("; kept\n"), "comments are kept")

        # Bob back on the friend voice (rate -5 against his own +10): the same sentence lasts longer.
        text = open(contacts, encoding="utf-8").read().replace("OwnVoice=1", "OwnVoice=0")
        with open(contacts, "w", encoding="utf-8") as f:
            f.write(text)
        program = Program(session, binary)
        rms, peak, friend_voice = heard(session, peer, "bob", artifacts, "bob-friend-voice")
        check(rms > SOUND_RMS, f"with the friend voice he is still spoken (rms {rms:.4f}, {friend_voice:.2f} s)")
        check(friend_voice > 2 * own_voice > 0,
              f"his own voice is audibly faster ({own_voice:.2f} s against {friend_voice:.2f} s)")
        program.terminate()
        check(sections(contacts).get("bob@example.com", {}).get("Messages") == "2", "the count goes on")
    finally:
        session.close()
        path = os.path.join(root, "quorvel.stderr")
        if os.path.exists(path):
            shutil.copy(path, os.path.join(artifacts, "quorvel.stderr"))
        shutil.rmtree(root, ignore_errors=True)

    print(f"{'FAILED' if failures else 'passed'}: {len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
