"""The tone in real time, through a PulseAudio server paced by the system
clock: its length as played, and a stop signal ending it at once."""

import shutil
import signal
import subprocess
import time
import unittest

from audio import PacedServer, audible
from harness import TONERIX, default_signals, require

server = None


def setUpModule():
    global server
    require(TONERIX, "tonerix")
    if not shutil.which("pulseaudio"):
        raise unittest.SkipTest("pulseaudio is not installed")
    server = PacedServer()
    server.start()


def tearDownModule():
    server.stop()


def play(arguments):
    """Runs tonerix to its end while recording; returns (status, seconds, samples)."""
    server.drain()
    began = time.monotonic()
    process = subprocess.Popen([TONERIX] + arguments, env=server.env,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    samples = []
    while process.poll() is None:
        samples += server.drain()
        time.sleep(0.005)
    elapsed = time.monotonic() - began
    samples += server.record(0.3)
    out, err = process.communicate()
    assert (out, err) == (b"", b""), (out, err)
    return process.returncode, elapsed, samples


class PacedTone(unittest.TestCase):
    def test_tone_plays_for_its_duration(self):
        status, elapsed, samples = play(["440", "250"])
        self.assertEqual(status, 0)
        self.assertGreaterEqual(elapsed, 0.25)
        # 12000 samples, less the quiet edges of the ramps.
        self.assertAlmostEqual(audible(samples), 12000, delta=480)

    def test_stop_signal_ends_the_sound_and_the_process_by_that_signal(self):
        for stop in (signal.SIGINT, signal.SIGTERM):
            with self.subTest(signal=stop.name):
                server.drain()
                process = subprocess.Popen([TONERIX, "440", "5000"], env=server.env,
                                           stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                           preexec_fn=default_signals)
                samples = server.record(0.5)
                process.send_signal(stop)
                try:
                    process.wait(timeout=1.0)
                except subprocess.TimeoutExpired:
                    process.kill()
                    self.fail("the process went on after the signal")
                samples += server.record(0.5)
                self.assertEqual(process.returncode, -stop)
                self.assertEqual(process.stdout.read() + process.stderr.read(), b"")
                process.stdout.close()
                process.stderr.close()
                # About half a second of tone, not five.
                self.assertLess(audible(samples), PacedServer.RATE * 1.5)
                self.assertGreater(audible(samples), PacedServer.RATE * 0.2)


if __name__ == "__main__":
    unittest.main()
