"""The tone in real time through real sound servers (PulseAudio, and
PipeWire through its own ALSA plugin), each with a sink paced by the system
clock: one table of cases run against each server."""

import signal
import subprocess
import time
import unittest

from audio import SERVERS, peak, pitch, sounding
from harness import TONERIX, default_signals, require

HALF_SCALE = 16384


def setUpModule():
    require(TONERIX, "tonerix")


def start(server, arguments, **kwargs):
    server.drain()
    return subprocess.Popen([TONERIX] + arguments, env=server.env, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, **kwargs)


def finish(test, process, timeout=5.0):
    """Waits for `process`; returns its status after checking it wrote nothing."""
    try:
        out, err = process.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        process.communicate()
        test.fail("tonerix did not return")
    test.assertEqual((out, err), (b"", b""))
    return process.returncode


class ServerCases:
    """The cases, run against `self.server`."""

    server_class = None

    @classmethod
    def setUpClass(cls):
        why = cls.server_class.missing()
        if why:
            raise unittest.SkipTest(why)
        cls.server = cls.server_class()
        cls.server.start()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def play(self, arguments):
        """Runs tonerix to its end; returns (status, seconds, samples at the sink)."""
        began = time.monotonic()
        process = start(self.server, arguments)
        status = finish(self, process)
        elapsed = time.monotonic() - began
        return status, elapsed, self.server.record(0.4)

    def test_every_tone_arrives_whole(self):
        # 333 ms is no whole number of the servers' cycles.
        for ms in (60, 120, 250, 333, 500):
            with self.subTest(ms=ms):
                status, elapsed, samples = self.play(["1000", str(ms)])
                self.assertEqual(status, 0)
                self.assertGreaterEqual(elapsed, ms / 1000, "returned before the tone was over")
                tone = sounding(samples)
                # Exactly the tone's frames, less the few that round to 0 at its ends.
                self.assertAlmostEqual(len(tone), 48 * ms, delta=8)
                self.assertAlmostEqual(pitch(tone, 48000), 1000, delta=2)
                self.assertGreater(peak(tone), HALF_SCALE * 0.95)
                # Faded in and out: no click at either end.
                self.assertLess(peak(tone[:48]), HALF_SCALE * 0.2)
                self.assertLess(peak(tone[-48:]), HALF_SCALE * 0.2)

    def test_stop_signal_silences_and_ends_by_that_signal(self):
        for stop in (signal.SIGINT, signal.SIGTERM):
            with self.subTest(signal=stop.name):
                process = start(self.server, ["440", "5000"], preexec_fn=default_signals)
                samples = self.server.record(0.5)
                process.send_signal(stop)
                self.assertEqual(finish(self, process, timeout=1.0), -stop)
                samples += self.server.record(0.5)
                # About half a second of tone, not five.
                self.assertLess(len(sounding(samples)), 48000 * 1.5)
                self.assertGreater(len(sounding(samples)), 48000 * 0.2)

    def test_a_stalled_server_never_holds_the_call(self):
        # (stopped how long into the tone, tone ms); None: before it starts.
        for stop_at, ms in ((None, 300), (0.15, 400)):
            with self.subTest(stop_at=stop_at):
                if stop_at is None:
                    self.server.signal(signal.SIGSTOP)
                began = time.monotonic()
                process = start(self.server, ["440", str(ms)])
                try:
                    if stop_at is not None:
                        time.sleep(stop_at)
                        self.server.signal(signal.SIGSTOP)
                    status = finish(self, process)
                    elapsed = time.monotonic() - began
                finally:
                    self.server.signal(signal.SIGCONT)
                self.assertEqual(status, 0)
                # A loose bound for a busy machine; bench/run holds the real target.
                self.assertGreaterEqual(elapsed, ms / 1000)
                self.assertLess(elapsed, ms / 1000 + 0.2)
        # Once the server goes on, the next tone plays whole.
        self.server.record(0.3)
        _, _, samples = self.play(["440", "250"])
        self.assertAlmostEqual(len(sounding(samples)), 12000, delta=8)

    def test_stop_signal_ends_the_call_while_the_server_is_stalled(self):
        self.server.signal(signal.SIGSTOP)
        try:
            process = start(self.server, ["440", "5000"], preexec_fn=default_signals)
            time.sleep(0.3)
            sent = time.monotonic()
            process.send_signal(signal.SIGINT)
            status = finish(self, process, timeout=2.0)
            waited = time.monotonic() - sent
        finally:
            self.server.signal(signal.SIGCONT)
        self.assertEqual(status, -signal.SIGINT)
        self.assertLess(waited, 0.5)

    def test_zz_a_server_killed_during_the_tone_does_not_hold_the_call(self):
        # Named to run last: the server is gone afterwards, until restarted.
        began = time.monotonic()
        process = start(self.server, ["440", "400"])
        time.sleep(0.15)
        self.server.signal(signal.SIGKILL)
        status = finish(self, process)
        elapsed = time.monotonic() - began
        self.server.stop()
        type(self).server = self.server_class()
        self.server.start()
        self.assertEqual(status, 0)
        self.assertGreaterEqual(elapsed, 0.4)
        self.assertLess(elapsed, 0.6)


for _server in SERVERS:
    _name = _server.__name__
    globals()[_name + "Tone"] = type(_name + "Tone", (ServerCases, unittest.TestCase),
                                     {"server_class": _server})

if __name__ == "__main__":
    unittest.main()
