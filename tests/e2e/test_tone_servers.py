"""The tone in real time through real sound servers (PulseAudio and PipeWire,
natively and through ALSA), each with a sink paced by the system clock: one
table of cases run against each server."""

import contextlib
import itertools
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from audio import (SERVERS, DelayingRelay, PipeWireServer, PulseServer, cuts,
                   far_silent_listener, peak, pitch, sounding, tone_samples, tone_wav)
from harness import DRIVERS, EMULATOR, TONERIX, VERSION, default_signals, require

HALF_SCALE = 16384
# The role each server's desktop gives event sounds.
ROLES = {"pulseaudio": "event", "pipewire": "Notification"}


def setUpModule():
    require(TONERIX, "tonerix")


def start(server, arguments, argv=(), program=None, **kwargs):
    server.drain()
    kwargs.setdefault("env", server.env)
    return subprocess.Popen(list(argv) + [program or TONERIX] + arguments, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, **kwargs)


def finish(test, process, timeout=5.0, said=b""):
    """Waits for `process`; returns its status after checking it wrote nothing
    but `said` on standard error."""
    try:
        out, err = process.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        process.communicate()
        test.fail("tonerix did not return")
    test.assertEqual((out, err), (b"", said))
    return process.returncode


def native(server):
    """TONERIX_DEBUG's lines up to `server`'s own driver's words."""
    return ("pipewire: no server socket\n" if server.name == "pulseaudio" else "") + \
        f"{server.name}: "


def debug_lines(said):
    """What TONERIX_DEBUG writes: the version, then `said`, a line each."""
    lines = [f"version {VERSION}"] + said.split("\n")
    return "".join(f"tonerix: {line}\n" for line in lines).encode()


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

    def play(self, arguments, server=None, env=(), meanwhile=lambda process: None, argv=(),
             program=None, said=b"", **popen):
        """Runs tonerix (or `program`, behind `argv`) to its end, calling `meanwhile` with it
        once it has started, and reading the sink all along, and checks it said
        `said`; returns (status, seconds, samples at the sink)."""
        server = server or self.server
        began = time.monotonic()
        process = start(server, arguments, env=dict(server.env, **dict(env)), argv=argv,
                        program=program, **popen)
        samples = self.arrived = []  # grows as the sink plays, for `meanwhile` to read
        helper = threading.Thread(target=meanwhile, args=(process,))
        helper.start()
        while process.poll() is None and time.monotonic() < began + 10:
            samples += server.drain()
            time.sleep(0.005)
        elapsed = time.monotonic() - began
        self.heard_by_return = len(samples)  # the samples at the sink when it returned
        helper.join()
        status = finish(self, process, said=said)
        return status, elapsed, samples + server.record(0.4)

    def tone_cases(self):
        """(ms, environment, server or None for the suite's own, what runs tonerix)."""
        # 333 ms is no whole number of the servers' cycles.
        for ms in (60, 120, 250, 333, 500):
            yield ms, {}, None, ()
        if EMULATOR:
            return  # another processor's program: the native drivers alone
        # The server reached natively alone, and through ALSA alone.
        yield 250, {"ALSA_CONFIG_PATH": self.server.no_alsa}, None, ()
        yield 250, {"TONERIX_DRIVER": "alsa"}, None, ()
        # Limits a general-purpose player survives: address space, and small
        # stacks natively and through ALSA's plugin; and a HOME nothing can be
        # written to.
        yield 250, {}, None, ("prlimit", "--as=300000000")
        for kib, driver in ((24, "alsa"), (48, "")):
            yield 250, {"TONERIX_DRIVER": driver}, None, ("sh", "-c",
                                                          f'ulimit -s {kib}; exec "$0" "$@"')
        yield 250, {"HOME": "/proc"}, None, ()
        # The standard descriptors closed: nothing opened may take their place.
        yield 250, {}, None, ("sh", "-c", 'exec "$0" "$@" <&- >&- 2>&-')
        if isinstance(self.server, PipeWireServer):
            with PipeWireServer(quantum=8192) as long_cycles:
                yield 250, {}, long_cycles, ()
        else:
            # A server 150 ms away each way.
            relay = DelayingRelay(self.server.socket, 0.15)
            yield 250, {"PULSE_SERVER": relay.address}, None, ()
            relay.close()

    def test_every_tone_arrives_whole(self):
        for ms, env, server, argv in self.tone_cases():
            with self.subTest(ms=ms, env=env, quantum=server and server.quantum, argv=argv):
                status, elapsed, samples = self.play(["1000", str(ms)], server, env, argv=argv)
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

    def test_a_sink_slow_to_wake_gets_the_whole_tone(self):
        # (how the sound is held back, for how long): the first tone after idle.
        # A PipeWire sink whose own process is stopped keeps its stream linked
        # but waiting, while the server answers.
        holds = [("paused", 0.2)]
        if isinstance(self.server, PulseServer):
            holds += [("suspended", 0.3), ("suspended", 1.5)]
        elif not EMULATOR:
            holds += [("sink stopped", 0.3), ("sink stopped", 1.0)]
        for how, seconds in holds:
            with self.subTest(how=how, seconds=seconds), contextlib.ExitStack() as stack:
                server = stack.enter_context(PipeWireServer(sink_apart=True)) \
                    if how == "sink stopped" else self.server
                hold = server.suspend if how == "suspended" else server.hold_sink \
                    if how == "sink stopped" else \
                    (lambda on: server.signal(signal.SIGSTOP if on else signal.SIGCONT))
                hold(True)
                try:
                    status, elapsed, samples = self.play(
                        ["1000", "250"], server,
                        meanwhile=lambda _: (time.sleep(seconds), hold(False)))
                finally:
                    hold(False)
                self.assertEqual(status, 0)
                # A sink whose process went on again may skip one of the
                # graph's cycles as its timer catches up, as the pause below
                # shows for every player.
                skipped = 1024 if how == "sink stopped" else 0
                self.assertGreaterEqual(len(sounding(samples)), 12000 - skipped - 8)
                self.assertLessEqual(len(sounding(samples)), 12000 + 8)
                # Back soon after the tone has played on the woken sink (loose
                # bounds for a busy machine; bench/run holds the real target).
                self.assertLess(elapsed, seconds + 0.25 + 0.4)

    def test_a_pause_mid_tone_loses_nothing(self):
        # The server, or tonerix itself, stopped 0.5 s from 0.3 s into a 1 s
        # tone. A server that wakes late may skip a few of its blocks
        # (PipeWire's timer-driven graph skips the cycles it missed): tonerix
        # keeps what the server's own player keeps, less one block at most.
        def pause(who, seconds=0.5, stop=signal.SIGSTOP):
            def meanwhile(process):
                signal_it = self.server.signal if who == "server" else process.send_signal
                time.sleep(0.3)
                signal_it(stop)
                time.sleep(0.05)
                stopped = len(self.arrived)
                time.sleep(seconds - 0.05)
                self.while_stopped = self.arrived[stopped:]
                signal_it(signal.SIGCONT)
            return meanwhile
        # Where the pause falls in the server's cycle moves what it skips, for
        # every player alike: three interleaved runs each, medians compared.
        player = {"pulseaudio": "paplay", "pipewire": "pw-play"}[self.server.name]
        kept = {"tonerix": [], player: []}
        with tempfile.TemporaryDirectory() as folder:
            wav = os.path.join(folder, "tone.wav")
            tone_wav(wav, 1000, 1000)
            for _ in range(3):
                for name, arguments in (("tonerix", ["1000", "1000"]), (player, [wav])):
                    status, _, samples = self.play(arguments, meanwhile=pause("server"),
                                                   program=None if name == "tonerix" else player)
                    self.assertEqual(status, 0)
                    kept[name].append(tone_samples(samples))
        with self.subTest(paused="server"):
            self.assertGreater(statistics.median(kept["tonerix"]),
                               statistics.median(kept[player]) - 1024)
        # tonerix itself stopped: the time it was not running is not held
        # against the server, however long.
        for seconds, ms in ((0.5, 1000), (5, 2000)):
            with self.subTest(paused="tonerix", seconds=seconds):
                status, _, samples = self.play(["1000", str(ms)],
                                               meanwhile=pause("tonerix", seconds))
                self.assertEqual(status, 0)
                self.assertGreater(tone_samples(samples), 48 * ms * 0.9)
        # Ctrl-Z: silent within 50 ms for as long as it is stopped, whatever
        # the server had queued, and then the rest of the tone, all of it.
        # In a group of its own, as a shell's job: the kernel drops a
        # terminal stop in an orphaned one.
        for driver in ("", "alsa"):
            with self.subTest(paused="tonerix", by="Ctrl-Z", driver=driver):
                status, _, samples = self.play(["1000", "1000"], env={"TONERIX_DRIVER": driver},
                                               meanwhile=pause("tonerix", 0.5, signal.SIGTSTP),
                                               process_group=0)
                self.assertEqual(status, 0)
                self.assertEqual(tone_samples(self.while_stopped), 0)
                # The tone less its longest silence. PipeWire's graph, waiting
                # for the stopped client, may skip a block as it catches up.
                # Through ALSA the block PulseAudio's sink had rendered when
                # the device was dropped plays, and again after the continue:
                # this sink cannot take it back, as a card's can.
                tone = sounding(samples)
                silence = max(len(list(run)) for zero, run in
                              itertools.groupby(tone, (0).__eq__) if zero)
                lost = 1024 if isinstance(self.server, PipeWireServer) and not driver else 0
                again = 2048 if driver and isinstance(self.server, PulseServer) else 0
                self.assertGreaterEqual(len(tone) - silence, 48000 - lost - 8)
                self.assertLessEqual(len(tone) - silence, 48000 + again + 8)

    def test_a_starved_tonerix_still_plays_the_whole_tone(self):
        # Every core busy and tonerix in the idle class: a worker that has no
        # processor is late, not stuck, and is neither given up on nor made to
        # skip the server for want of time.
        loops = [subprocess.Popen(["sh", "-c", "while :; do :; done"])
                 for _ in range(os.cpu_count())]
        try:
            status, _, samples = self.play(
                ["1000", "250"], argv=("chrt", "-i", "0"), env={"TONERIX_DEBUG": "1"},
                said=debug_lines(native(self.server) + "sounding the tone"))
        finally:
            for loop in loops:
                loop.kill()
                loop.wait()
        self.assertEqual(status, 0)
        self.assertAlmostEqual(len(sounding(samples)), 12000, delta=8)

    def test_a_starved_server_is_late_not_silent(self):
        # The server ready to run with no processor for 1 s, from 0.5 s into
        # a 1 s tone: the question asked before the end goes unanswered past
        # its limit, and the server is waited for, not given up on for ALSA.
        # Its sink starves with it, and what it skips as it catches up is
        # its own (see the server that keeps stopping).
        starved = []

        def starve(_):
            time.sleep(0.5)
            switch(True)
            time.sleep(1)
            switch(False)
            starved.append(True)
        with self.server.starving() as switch:
            status, _, samples = self.play(
                ["440", "1000"], env={"TONERIX_DEBUG": "1"}, meanwhile=starve,
                said=debug_lines(native(self.server) + "sounding the tone"))
        self.assertEqual((status, starved), (0, [True]))
        self.assertGreater(tone_samples(samples), 48000 * 0.75)

    def test_the_sink_the_user_chose_gets_the_tone(self):
        # Each server's own variable names its other sink: the pipe hears
        # nothing. A name no sink has (a headset unplugged) leaves the tone
        # to the default sink, the pipe, and tonerix says so; an empty one
        # names none, natively and through ALSA.
        variable = {"pulseaudio": "PULSE_SINK", "pipewire": "PIPEWIRE_NODE"}[self.server.name]
        missing = debug_lines(f"{native(self.server)}sounding the tone\n{self.server.name}: "
                              f"{variable} names no sink (nosuchsink): the default sink played it")
        for sink, heard, said, driver in (("other", 0, b"", ""), ("nosuchsink", 12000, missing, ""),
                                          ("", 12000, b"", ""), ("", 12000, b"", "alsa")):
            with self.subTest(sink=sink, driver=driver):
                status, elapsed, samples = self.play(
                    ["1000", "250"], env={variable: sink, "TONERIX_DEBUG": "1" if said else "",
                                          "TONERIX_DRIVER": driver}, said=said)
                self.assertEqual(status, 0)
                self.assertGreaterEqual(elapsed, 0.25)
                self.assertAlmostEqual(len(sounding(samples)), heard, delta=8)
        if isinstance(self.server, PulseServer):
            # A sink 200 ms behind the pipe, as a Bluetooth headset is: the
            # call waits for the tone there, all but the reader's own lag.
            with self.server.delayed_sink("far", 200):
                status, _, samples = self.play(["1000", "250"], env={variable: "far"})
            late = [s for s in samples[self.heard_by_return:] if abs(s) > 500]
            self.assertEqual(status, 0)
            self.assertAlmostEqual(len(sounding(samples)), 12000, delta=12)
            self.assertLess(len(late), 48 * 30)

    def test_a_server_that_keeps_stopping_still_plays_the_tone(self):
        # The server and its session manager stopped 50 ms of every 100 during
        # a 1 s tone at 440 Hz, as on an overloaded desktop. PulseAudio keeps
        # every sample, with no cut; PipeWire skips a block or a few as it
        # catches up, for every player alike (bench/run sets tonerix beside
        # pw-play): the rest of the tone plays, and the call returns.
        def keep_stopping(_):
            time.sleep(0.1)
            for _ in range(10):
                self.server.signal(signal.SIGSTOP)
                time.sleep(0.05)
                self.server.signal(signal.SIGCONT)
                time.sleep(0.05)
        status, _, samples = self.play(["440", "1000"], meanwhile=keep_stopping)
        self.assertEqual(status, 0)
        if isinstance(self.server, PulseServer):
            self.assertEqual((tone_samples(samples), cuts(samples)), (47915, 0))
        else:
            self.assertGreater(tone_samples(samples), 48000 * 0.75)

    def test_the_stream_says_what_it_is(self):
        process = start(self.server, ["440", "1000"])
        time.sleep(0.4)
        properties = self.server.stream_properties()
        # What PulseAudio's sink keeps ahead of what plays, as the stream asks:
        # not its least (a wakeup every half millisecond), nor its most (the
        # next tone kept waiting).
        pulse = isinstance(self.server, PulseServer)
        ahead = self.server.sink_latency() if pulse else None
        finish(self, process)
        self.assertEqual({key: properties.get(key) for key in
                          ("application.name", "media.name", "media.role",
                           "application.process.binary")},
                         {"application.name": "tonerix", "media.name": "440 Hz tone",
                          "media.role": ROLES[self.server.name],
                          "application.process.binary": "tonerix"})
        if pulse:
            self.assertTrue(0.01 <= ahead <= 0.03, ahead)

    def test_stop_signal_silences_and_ends_by_that_signal(self):
        for stop in (signal.SIGINT, signal.SIGTERM):
            with self.subTest(signal=stop.name):
                process = start(self.server, ["440", "5000"], preexec_fn=default_signals,
                                env=dict(self.server.env, TONERIX_DEBUG="1"))
                samples = self.server.record(0.5)
                process.send_signal(stop)
                # Cut short, the tone still says which driver sounded it.
                said = debug_lines(native(self.server) + "sounding the tone")
                self.assertEqual(finish(self, process, timeout=1.0, said=said), -stop)
                samples += self.server.record(0.5)
                # About half a second of tone, not five.
                self.assertLess(len(sounding(samples)), 48000 * 1.5)
                self.assertGreater(len(sounding(samples)), 48000 * 0.2)

    def test_a_stalled_server_never_holds_the_call(self):
        # (stopped how long into the tone, tone ms, reached through); None:
        # before it starts, for good as far as the tone is concerned.
        cases = [(None, 300, {}), (0.15, 400, {})]
        if isinstance(self.server, PulseServer):
            relay = DelayingRelay(self.server.socket, 0.15)
            cases.append((None, 300, {"PULSE_SERVER": relay.address}))
        for stop_at, ms, env in cases:
            with self.subTest(stop_at=stop_at, env=env):
                if stop_at is None:
                    self.server.signal(signal.SIGSTOP)
                began = time.monotonic()
                process = start(self.server, ["440", str(ms)], env=dict(self.server.env, **env))
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
                # A server that never answered gets 240 ms past the tone's end.
                self.assertGreaterEqual(elapsed, ms / 1000)
                self.assertLess(elapsed, ms / 1000 + (0.35 if stop_at is None else 0.2) +
                                (0.3 if EMULATOR else 0))
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

    def test_debug_says_which_driver_sounded(self):
        # (environment, server stopped, what tonerix says, what runs it, how
        # many at once)
        own = native(self.server)
        unknown = f"TONERIX_DRIVER names no driver; the names are {' '.join(DRIVERS)}: " \
            "trying them all\n"
        few = ("sh", "-c", 'ulimit -n 4; exec "$0" "$@"')
        # A crowd keeps PipeWire's session manager busy: each stream is waited
        # for. PulseAudio refuses connections past its socket's small backlog,
        # as it would any client's.
        crowd = {"pipewire": 30, "pulseaudio": 4}[self.server.name]
        # A PipeWire socket whose process takes connections and never reads them.
        silent = os.path.join(self.server.runtime, "silent-0")
        self.addCleanup(os.unlink, silent)
        self.addCleanup(subprocess.Popen([sys.executable, "-c", "import socket, sys, time; s = "
                                          "socket.socket(socket.AF_UNIX); s.bind(sys.argv[1]); "
                                          "s.listen(9); time.sleep(600)", silent]).kill)
        while not os.path.exists(silent):
            time.sleep(0.01)
        # And a PulseAudio address on this machine whose process listens and
        # never answers.
        listener = subprocess.Popen([sys.executable, "-c", "import socket, time; s = "
                                     "socket.socket(); s.bind(('127.0.0.1', 0)); s.listen(9); "
                                     "print(s.getsockname()[1], flush=True); time.sleep(600)"],
                                    stdout=subprocess.PIPE)
        self.addCleanup(listener.kill)
        port = int(listener.stdout.readline())
        far = self.enterContext(far_silent_listener())
        for env, stopped, said, argv, copies in (
                ({}, False, own + "sounding the tone", (), 1),
                ({}, False, own + "sounding the tone", (), crowd),
                ({"TONERIX_DRIVER": "alsa"}, False, "alsa: sounding the tone", (), 1),
                ({"TONERIX_DRIVER": "pulse"}, False, unknown + own + "sounding the tone", (), 1),
                # The silence chosen is the silent wait once, not once more behind itself.
                ({"TONERIX_DRIVER": "silence"}, False, "silence: a silent wait", (), 1),
                # A server that never answered made no sound: it declines.
                ({}, True, own + "the server is stopped\nsilence: a silent wait", (), 1),
                ({"PIPEWIRE_REMOTE": silent}, False, "pipewire: the server took the connection "
                 "but does not answer\nsilence: a silent wait", (), 1),
                ({"PULSE_SERVER": f"tcp:127.0.0.1:{port}", "TONERIX_DRIVER": "pulseaudio"}, False,
                 "pulseaudio: the server took the connection but does not answer\n"
                 "silence: a silent wait", (), 1),
                # The same elsewhere: its machine has the handshake, and the
                # answer is not back within the path's round trips.
                ({"PULSE_SERVER": far, "TONERIX_DRIVER": "pulseaudio"}, False,
                 "pulseaudio: the server took the connection but does not answer\n"
                 "silence: a silent wait", (), 1),
                ({}, False, "no descriptor or memory free: a silent wait", few, 1)):
            with self.subTest(env=env, stopped=stopped, argv=argv, copies=copies):
                if stopped:
                    self.server.signal(signal.SIGSTOP)
                try:
                    processes = [start(self.server, ["440", "100"], argv=argv,
                                       env=dict(self.server.env, TONERIX_DEBUG="1", **env))
                                 for _ in range(copies)]
                    for process in processes:
                        self.assertEqual(finish(self, process, timeout=10,
                                                said=debug_lines(said)), 0)
                finally:
                    self.server.signal(signal.SIGCONT)

    def test_a_full_debug_pipe_never_holds_the_call(self):
        reader, writer = os.pipe()
        os.set_blocking(writer, False)
        with contextlib.suppress(BlockingIOError):
            while True:
                os.write(writer, bytes(65536))
        began = time.monotonic()
        process = subprocess.Popen([TONERIX, "440", "300"], stdout=subprocess.DEVNULL,
                                   stderr=writer, env=dict(self.server.env, TONERIX_DEBUG="1"))
        os.close(writer)
        try:
            self.assertEqual(process.wait(timeout=5), 0)
        finally:
            process.kill()
            os.close(reader)
        self.assertLess(time.monotonic() - began, 0.3 + 0.5)

    def test_odd_folders_leave_standard_error_alone(self):
        # (environment, as whom, what runs it): no server can be found, the
        # libraries cannot make their folders or read their cookie, or find
        # no descriptor free.
        nobody = {"HOME": "/nonexistent", "PATH": "/usr/bin:/bin"}
        few = ("sh", "-c", 'ulimit -n 5; exec "$0" "$@"')
        for env, user, argv in (({"XDG_RUNTIME_DIR": "/proc"}, None, ()),
                                ({"XDG_RUNTIME_DIR": "/dev/null"}, None, ()),
                                (nobody, 65534, ()), ({}, None, few)):
            if user is not None and os.geteuid() != 0:
                continue
            with self.subTest(env=env, user=user, argv=argv):
                process = subprocess.Popen(
                    [*argv, TONERIX, "440", "100"],
                    env=env if user else dict(self.server.env, **env),
                    stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                    user=user, group=user, extra_groups=[] if user else None)
                self.assertEqual(finish(self, process), 0)

    def test_zz_a_server_killed_during_the_tone_does_not_hold_the_call(self):
        # Named to run last: the server is restarted after each row. Killing
        # PipeWire's session manager alone leaves a stream nothing plays.
        rows = [("server", 0.2)]
        if isinstance(self.server, PipeWireServer):
            rows.append(("session manager", 0.3))
        for killed, past_the_end in rows:
            with self.subTest(killed=killed):
                began = time.monotonic()
                process = start(self.server, ["440", "400"])
                time.sleep(0.15)
                for pid in self.server.pids()[1 if killed == "session manager" else 0:]:
                    os.kill(pid, signal.SIGKILL)
                status = finish(self, process)
                elapsed = time.monotonic() - began
                self.server.stop()
                type(self).server = self.server_class()
                self.server.start()
                self.assertEqual(status, 0)
                self.assertGreaterEqual(elapsed, 0.4)
                self.assertLess(elapsed, 0.4 + past_the_end)

for _server in SERVERS:
    _name = _server.__name__
    globals()[_name + "Tone"] = type(_name + "Tone", (ServerCases, unittest.TestCase),
                                     {"server_class": _server})

if __name__ == "__main__":
    unittest.main()
