"""The tone through the real ALSA library into a WAV file: its length, pitch,
level and ramps, and the requests the tone service refuses."""

import os
import re
import resource
import signal
import subprocess
import time
import unittest

from audio import peak, pitch, read_wav, rms, wav_capture
from harness import EMULATOR, TONERIX, VERSION, on_terminal, require, run

HALF_SCALE = 16384


def setUpModule():
    require(TONERIX, "tonerix")


class CapturedTone(unittest.TestCase):
    def test_tones_have_exact_length_pitch_level_and_ramps(self):
        # (arguments, frequency, milliseconds)
        cases = [(["440", "250"], 440, 250), ([], 1000, 1000), (["$1B8", "250"], 440, 250),
                 (["37", "200"], 37, 200), (["8000", "120"], 8000, 120)]
        for arguments, frequency, ms in cases:
            with self.subTest(arguments=arguments), wav_capture() as (env, wav):
                began = time.monotonic()
                result = run([TONERIX] + arguments, env=env)
                elapsed = time.monotonic() - began
                self.assertEqual((result.returncode, result.stdout, result.stderr), (0, b"", b""))
                self.assertGreaterEqual(elapsed, ms / 1000, "the call never returns early")
                rate, channels, width, samples = read_wav(wav)
                self.assertEqual((channels, width), (1, 2))
                self.assertEqual(len(samples), round(rate * ms / 1000))
                self.assertAlmostEqual(pitch(samples, rate), frequency, delta=frequency * 0.002)
                ramp = rate * 5 // 1000
                # About half of full scale: a sine's RMS is its peak over sqrt 2.
                self.assertLessEqual(peak(samples), HALF_SCALE)
                self.assertAlmostEqual(rms(samples[ramp:-ramp]), HALF_SCALE / 2 ** 0.5,
                                       delta=HALF_SCALE * 0.02)
                # Quiet at both ends, full level once the 5 ms ramps are over.
                self.assertLess(peak(samples[: ramp // 4]), HALF_SCALE * 0.2)
                self.assertLess(peak(samples[-(ramp // 4):]), HALF_SCALE * 0.2)
                period = int(rate / frequency) + 1
                self.assertGreater(rms(samples[ramp: ramp + 4 * period]), HALF_SCALE * 0.65)

    def test_refused_requests_write_no_audio_and_do_not_wait(self):
        for arguments in (["-440", "250"], ["36", "100"], ["32768", "100"], ["440", "0"],
                          ["-440", "5000"], ["36", "5000"], ["32768", "5000"],
                          ["$FFFFFFFF", "5000"]):
            with self.subTest(arguments=arguments), wav_capture() as (env, wav):
                began = time.monotonic()
                result = run([TONERIX] + arguments, env=env)
                elapsed = time.monotonic() - began
                self.assertEqual((result.returncode, result.stdout, result.stderr), (0, b"", b""))
                self.assertFalse(os.path.exists(wav) and read_wav(wav)[3], "no audio")
                self.assertLess(elapsed, 2.0, "a refused tone does not wait it out")


class Pacing(unittest.TestCase):
    def test_an_unpaced_device_is_fed_no_faster_than_the_tone_plays(self):
        # The file device takes any amount at once; half a second into a
        # 3 s tone it must hold about half a second of sound, not three.
        with wav_capture() as (env, wav):
            process = subprocess.Popen([TONERIX, "440", "3000"], env=env)
            time.sleep(0.5)
            written = os.path.getsize(wav) if os.path.exists(wav) else 0
            process.kill()
            process.wait()
        seconds = written / (48000 * 2)
        self.assertGreater(seconds, 0.1)
        self.assertLess(seconds, 1.2)


class IgnoredSignal(unittest.TestCase):
    def test_a_signal_the_caller_ignores_stays_ignored(self):
        # A background job's Ctrl-C is ignored; the tone plays to its end.
        def ignore_interrupt():
            signal.signal(signal.SIGINT, signal.SIG_IGN)

        with wav_capture() as (env, wav):
            process = subprocess.Popen([TONERIX, "440", "1000"], env=env,
                                       preexec_fn=ignore_interrupt)
            time.sleep(0.3)
            process.send_signal(signal.SIGINT)
            self.assertEqual(process.wait(timeout=10), 0)
            self.assertEqual(len(read_wav(wav)[3]), 48000)


def unprivileged(session, processes=None):
    """A preexec_fn: `session`, then, when running as root, the user nobody,
    who may not sound the PC speaker, with at most `processes` of theirs."""
    def start():
        session()
        if os.getuid() == 0:
            os.setgroups([])
            os.setgid(65534)
            os.setuid(65534)
        if processes:
            resource.setrlimit(resource.RLIMIT_NPROC, (processes, processes))
    return start


class NoSoundCard(unittest.TestCase):
    def test_without_a_device_only_the_controlling_terminal_hears_of_it(self):
        # (a controlling terminal?, what the terminal gets, the user's process
        # limit): with no thread to be had, the bell still rings. (An emulator
        # needs threads of its own.)
        for controlling, bell, limit in ((True, b"\a", None), (False, b"", None),
                                         (True, b"\a", None if EMULATOR else 1)):
            with self.subTest(controlling=controlling, limit=limit), \
                    wav_capture(alsa=False) as (env, _):
                began = time.monotonic()
                result, seen = on_terminal(lambda slave, session: run(
                    [TONERIX, "440", "300"], env=env, stdin=slave,
                    preexec_fn=unprivileged(session, limit)), controlling)
                elapsed = time.monotonic() - began
                self.assertEqual((result.returncode, result.stdout, result.stderr), (0, b"", b""))
                self.assertEqual(seen, bell)
                self.assertGreaterEqual(elapsed, 0.3)


class Debug(unittest.TestCase):
    def test_each_driver_tried_says_what_it_did(self):
        # (ALSA's default device, a controlling terminal, the tone, the lines
        # expected)
        version = f"version {re.escape(VERSION)}"
        servers = [version, "pipewire: no server socket", "pulseaudio: connection refused"]
        speaker = "pc-speaker: (not permitted|no speaker device|the kernel has no tone device: " \
            "the console was not asked)"
        for alsa, controlling, tone, lines in (
                (True, False, ("440", "250"), servers + ["alsa: sounding the tone"]),
                # ALSA's own words for a configuration without a default device.
                (False, True, ("440", "250"), servers + ["alsa: Invalid argument", speaker,
                                                         "bell: rang the terminal's bell"]),
                (False, False, ("440", "250"), servers + [
                    "alsa: Invalid argument", speaker, "bell: no controlling terminal",
                    "silence: a silent wait"]),
                # Tones nothing is asked to sound.
                (True, False, ("10", "250"), [version, "10 Hz is outside 37 to 32767 Hz: "
                                              "nothing sounds"]),
                (True, False, ("-440", "250"), [version, "4294966856 Hz is outside 37 to 32767 "
                                                "Hz: nothing sounds"]),
                (True, False, ("440", "0"), [version, "a tone of 0 ms: nothing sounds"])):
            with self.subTest(alsa=alsa, controlling=controlling, tone=tone), \
                    wav_capture(alsa=alsa) as (env, _):
                result, _ = on_terminal(lambda slave, session: run(
                    [TONERIX, *tone], env=dict(env, TONERIX_DEBUG="1"), stdin=slave,
                    preexec_fn=unprivileged(session)), controlling)
                self.assertEqual((result.returncode, result.stdout), (0, b""))
                said = result.stderr.decode().splitlines()
                self.assertEqual(len(said), len(lines), said)
                for line, expected in zip(said, lines):
                    self.assertRegex(line, "^tonerix: " + expected + "$")


if __name__ == "__main__":
    unittest.main()
