"""Capturing and analysing what tonerix sends to the sound card."""

import array
import contextlib
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import wave


def samples_of(data):
    """16-bit little-endian mono bytes as a list of ints."""
    values = array.array("h")
    values.frombytes(data[: len(data) // 2 * 2])
    if sys.byteorder != "little":
        values.byteswap()
    return values.tolist()


def pitch(samples, rate):
    """Frequency from the first and last upward zero crossings, interpolated."""
    first = last = None
    crossings = 0
    for i in range(1, len(samples)):
        a, b = samples[i - 1], samples[i]
        if a < 0 <= b:
            at = i - 1 + (-a) / (b - a)
            first = at if first is None else first
            last = at
            crossings += 1
    if crossings < 2:
        return 0.0
    return (crossings - 1) * rate / (last - first)


def rms(samples):
    return (sum(s * s for s in samples) / len(samples)) ** 0.5 if samples else 0.0


def peak(samples):
    return max((abs(s) for s in samples), default=0)


@contextlib.contextmanager
def wav_capture():
    """A HOME whose ALSA default device writes into a WAV file. Yields
    (environment, path of the WAV)."""
    home = tempfile.mkdtemp(prefix="tonerix-alsa-")
    capture = os.path.join(home, "capture.wav")
    with open(os.path.join(home, ".asoundrc"), "w") as rc:
        rc.write('pcm.!default { type file slave.pcm "null" file "%s" format "wav" }\n'
                 % capture)
    try:
        yield dict(os.environ, HOME=home), capture
    finally:
        shutil.rmtree(home, ignore_errors=True)


def read_wav(path):
    """(rate, channels, sample width, samples) of a captured WAV."""
    with wave.open(path) as w:
        return (w.getframerate(), w.getnchannels(), w.getsampwidth(),
                samples_of(w.readframes(w.getnframes())))


class PacedServer:
    """A PulseAudio server paced by the system clock. Whatever ALSA's default
    device plays arrives in a FIFO as 48 kHz 16-bit mono, as it plays."""

    RATE = 48000

    def __init__(self):
        self.home = tempfile.mkdtemp(prefix="tonerix-pulse-")
        self.runtime = os.path.join(self.home, "runtime")
        os.mkdir(self.runtime, 0o700)
        self.fifo = os.path.join(self.home, "sink.fifo")
        os.mkfifo(self.fifo)
        with open(os.path.join(self.home, ".asoundrc"), "w") as rc:
            rc.write("pcm.!default { type pulse }\nctl.!default { type pulse }\n")
        self.env = dict(os.environ, HOME=self.home, XDG_RUNTIME_DIR=self.runtime)
        self.env.pop("PULSE_SERVER", None)
        self.reader = None

    def start(self):
        # Open the FIFO for reading first so the sink never blocks on it.
        self.reader = os.open(self.fifo, os.O_RDONLY | os.O_NONBLOCK)
        subprocess.run(
            ["pulseaudio", "-n", "--daemonize=yes", "--exit-idle-time=-1",
             "--load=module-native-protocol-unix",
             "--load=module-pipe-sink file=%s use_system_clock_for_timing=yes rate=48000 "
             "channels=1 format=s16le sink_name=pipe" % self.fifo,
             "--load=module-null-sink"],
            env=self.env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            timeout=30)
        subprocess.run(["pactl", "set-default-sink", "pipe"], env=self.env, check=True,
                       timeout=30, stdout=subprocess.DEVNULL)
        self.drain()

    def drain(self):
        """Everything the sink has played since the last call, as samples."""
        data = b""
        while True:
            try:
                chunk = os.read(self.reader, 65536)
            except BlockingIOError:
                break
            if not chunk:
                break
            data += chunk
        return samples_of(data)

    def record(self, seconds):
        """Reads the sink for `seconds`; returns the samples."""
        samples = []
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            samples += self.drain()
            time.sleep(0.01)
        return samples + self.drain()

    def stop(self):
        pid_file = os.path.join(self.runtime, "pulse", "pid")
        with contextlib.suppress(OSError, ValueError):
            with open(pid_file) as f:
                os.kill(int(f.read().split()[0]), signal.SIGTERM)
            for _ in range(100):
                if not os.path.exists(pid_file):
                    break
                time.sleep(0.05)
        if self.reader is not None:
            os.close(self.reader)
        shutil.rmtree(self.home, ignore_errors=True)


def audible(samples, threshold=500):
    """The number of samples that carry sound, from the first to the last loud one."""
    loud = [i for i, s in enumerate(samples) if abs(s) > threshold]
    return loud[-1] - loud[0] + 1 if loud else 0
