"""Capturing and analysing what tonerix sends to the sound card."""

import array
import contextlib
import json
import math
import os
import re
import queue
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import wave

from harness import MACHINE_CANNOT


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


def sounding(samples):
    """The samples from the first to the last that is not zero."""
    loud = [i for i, s in enumerate(samples) if s != 0]
    return samples[loud[0]: loud[-1] + 1] if loud else []


def tone_samples(samples):
    """How many samples carry the tone: the ones not zero, wherever they fall."""
    return sum(1 for s in samples if s != 0)


def cuts(samples):
    """Steps between neighbouring samples inside the tone steeper than a 440 Hz
    tone's own slope: a hole or a skip, heard as a click."""
    loud = [i for i, sample in enumerate(samples) if abs(sample) > 500]
    tone = samples[loud[0]:loud[-1] + 1] if loud else []
    limit = 1.5 * 2 * math.pi * 440 / 48000 * 16384
    return sum(1 for a, b in zip(tone, tone[1:]) if abs(b - a) > limit)


def peak(samples):
    return max((abs(s) for s in samples), default=0)


def tone_wav(path, ms, frequency=440):
    """The tone tonerix plays, as a 48 kHz 16-bit mono WAV, so that
    the players compared play the same sound."""
    frames = 48 * ms
    ramp = 240
    samples = array.array("h")
    for i in range(frames):
        edge = min(i, frames - 1 - i)
        gain = 1.0 if edge >= ramp else math.sin(math.pi / 2 * edge / ramp) ** 2
        samples.append(round(16384 * gain * math.sin(2 * math.pi * frequency * i / 48000)))
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(48000)
        w.writeframes(samples.tobytes())


# ALSA configuration whose default device leads nowhere (the system's own
# configuration routes the default device to PulseAudio over any ~/.asoundrc).
NO_ALSA = "pcm.!default { type hw card 97 }\nctl.!default { type hw card 97 }\n"


@contextlib.contextmanager
def wav_capture(alsa=True):
    """A HOME whose ALSA default device writes into a WAV file (without
    `alsa`: leads nowhere), and where no sound server can be found, so the
    server drivers decline as they do on a machine without one. Yields
    (environment, path of the WAV)."""
    home = tempfile.mkdtemp(prefix="tonerix-alsa-")
    os.chmod(home, 0o755)  # for tests that drop to another user
    capture = os.path.join(home, "capture.wav")
    with open(os.path.join(home, ".asoundrc"), "w") as rc:
        rc.write('pcm.!default { type file slave.pcm "null" file "%s" format "wav" }\n'
                 % capture)
    nowhere = os.path.join(home, "no-server")
    env = dict(os.environ, HOME=home, XDG_RUNTIME_DIR=home, PIPEWIRE_REMOTE=nowhere,
               PULSE_SERVER="unix:" + nowhere)
    if not alsa:
        env["ALSA_CONFIG_PATH"] = os.path.join(home, "no-alsa.conf")
        with open(env["ALSA_CONFIG_PATH"], "w") as f:
            f.write(NO_ALSA)
    try:
        yield env, capture
    finally:
        shutil.rmtree(home, ignore_errors=True)


def read_wav(path):
    """(rate, channels, sample width, samples) of a captured WAV."""
    with wave.open(path) as w:
        return (w.getframerate(), w.getnchannels(), w.getsampwidth(),
                samples_of(w.readframes(w.getnframes())))


PIPEWIRE_ALSA = os.environ.get(
    "TONERIX_PIPEWIRE_ALSA",
    os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
                 ".cache", "pipewire-alsa"))


# The kernel's processor groups (version 1), where a group's quota starves
# what is in it.
CPU_GROUPS = "/sys/fs/cgroup/cpu"


class PacedServer:
    """A sound server whose only sink writes what it plays into a FIFO, paced
    by the system clock. Whatever ALSA's default device plays arrives there as
    48 kHz 16-bit mono, as it plays. Subclasses start a particular server."""

    RATE = 48000
    name = "server"

    def __init__(self):
        self.home = tempfile.mkdtemp(prefix=f"tonerix-{self.name}-")
        self.runtime = os.path.join(self.home, "runtime")
        os.mkdir(self.runtime, 0o700)
        self.fifo = os.path.join(self.home, "sink.fifo")
        os.mkfifo(self.fifo)
        self.env = dict(os.environ, HOME=self.home, XDG_RUNTIME_DIR=self.runtime)
        for variable in ("PULSE_SERVER", "PIPEWIRE_REMOTE", "DBUS_SESSION_BUS_ADDRESS",
                         "DISPLAY"):
            self.env.pop(variable, None)
        # For clients that must reach the server natively.
        self.no_alsa = os.path.join(self.home, "no-alsa.conf")
        with open(self.no_alsa, "w") as f:
            f.write(NO_ALSA)
        self.reader = None

    @classmethod
    def missing(cls):
        """Why this server cannot run here, or None."""
        return None

    def start(self):
        # Open the FIFO for reading first so the sink never blocks on it.
        self.reader = os.open(self.fifo, os.O_RDONLY | os.O_NONBLOCK)
        try:
            self.launch()
        except BaseException:
            self.stop()
            raise
        self.drain()

    def pids(self):
        """The server's processes, for tests that stop or kill them."""
        raise NotImplementedError

    def signal(self, number):
        for pid in self.pids():
            with contextlib.suppress(OSError):
                os.kill(pid, number)

    @contextlib.contextmanager
    def starving(self):
        """A switch that leaves the server ready to run but with almost no
        processor (its group's quota is 1 ms a second, real-time threads
        included), as on a machine short of processors, or gives it back;
        the group is gone after."""
        group = os.path.join(CPU_GROUPS, f"tonerix-starved-{os.getpid()}")
        try:
            os.mkdir(group)
            for name, value in (("cpu.cfs_period_us", 1000000), ("cpu.cfs_quota_us", 1000),
                                ("cpu.rt_runtime_us", 1000)):
                with open(os.path.join(group, name), "w") as f:
                    f.write(str(value))
        except OSError as error:
            with contextlib.suppress(OSError):
                os.rmdir(group)
            raise unittest.SkipTest(f"{MACHINE_CANNOT} starve a process: {error}")
        homes = {}

        def move(pid, to):
            with open(os.path.join(to, "cgroup.procs"), "w") as f:
                f.write(str(pid))

        def starve(on):
            for pid in self.pids():
                if on:
                    with open(f"/proc/{pid}/cgroup") as f:
                        homes[pid] = next(CPU_GROUPS + line.split(":", 2)[2].strip() for line in f
                                          if "cpu" in line.split(":")[1].split(","))
                move(pid, group if on else homes.pop(pid))
        try:
            yield starve
        finally:
            for pid, home in list(homes.items()):
                with contextlib.suppress(OSError):
                    move(pid, home)
            os.rmdir(group)

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
        self.shut_down()
        if self.reader is not None:
            os.close(self.reader)
        shutil.rmtree(self.home, ignore_errors=True)

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *_):
        self.stop()


class PulseServer(PacedServer):
    name = "pulseaudio"

    @classmethod
    def missing(cls):
        return None if shutil.which("pulseaudio") else "pulseaudio is not installed"

    def launch(self):
        with open(os.path.join(self.home, ".asoundrc"), "w") as rc:
            rc.write("pcm.!default { type pulse }\nctl.!default { type pulse }\n")
        subprocess.run(
            ["pulseaudio", "-n", "--daemonize=yes", "--exit-idle-time=-1",
             "--load=module-native-protocol-unix",
             "--load=module-pipe-sink file=%s use_system_clock_for_timing=yes rate=48000 "
             "channels=1 format=s16le sink_name=pipe" % self.fifo,
             "--load=module-null-sink sink_name=other"],
            env=self.env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            timeout=30)
        subprocess.run(["pactl", "set-default-sink", "pipe"], env=self.env, check=True,
                       timeout=30, stdout=subprocess.DEVNULL)

    @property
    def socket(self):
        return os.path.join(self.runtime, "pulse", "native")

    def pids(self):
        with contextlib.suppress(OSError, ValueError):
            with open(os.path.join(self.runtime, "pulse", "pid")) as f:
                return [int(f.read().split()[0])]
        return []

    def suspend(self, on):
        subprocess.run(["pactl", "suspend-sink", "pipe", "1" if on else "0"], env=self.env,
                       check=True, timeout=10)

    def stream_properties(self):
        """The properties of the one stream playing, as a dict."""
        listing = subprocess.run(["pactl", "list", "sink-inputs"], env=self.env, check=True,
                                 capture_output=True, text=True, timeout=10).stdout
        return dict(re.findall(r'^\s+([\w.]+) = "(.*)"$', listing, re.M))

    @contextlib.contextmanager
    def delayed_sink(self, name, ms):
        """A sink `name` with a delay of its own, as a Bluetooth headset has: a
        tunnel back into this server's pipe sink, `ms` behind it."""
        loaded = subprocess.run(
            ["pactl", "load-module", "module-tunnel-sink", f"server=unix:{self.socket}",
             "sink=pipe", f"sink_name={name}", f"latency_msec={ms}"],
            env=self.env, check=True, capture_output=True, text=True, timeout=10).stdout.strip()
        try:
            # Ready once its own stream plays into the pipe sink.
            for _ in range(100):
                if subprocess.run(["pactl", "list", "short", "sink-inputs"], env=self.env,
                                  capture_output=True, text=True, timeout=10).stdout.strip():
                    break
                time.sleep(0.05)
            yield
        finally:
            subprocess.run(["pactl", "unload-module", loaded], env=self.env, check=True,
                           timeout=10, stdout=subprocess.DEVNULL)

    def sink_latency(self):
        """The latency the pipe sink is configured for now, in seconds: what
        the streams playing asked it to keep ahead of what plays."""
        listing = subprocess.run(["pactl", "list", "sinks"], env=self.env, check=True,
                                 capture_output=True, text=True, timeout=10).stdout
        pipe = listing[listing.index("Name: pipe"):]
        return int(re.search(r"configured (\d+) usec", pipe).group(1)) / 1e6

    def shut_down(self):
        pid_file = os.path.join(self.runtime, "pulse", "pid")
        self.signal(signal.SIGCONT)
        self.signal(signal.SIGTERM)
        for _ in range(100):
            if not os.path.exists(pid_file):
                break
            time.sleep(0.05)


PIPEWIRE_CONF = """
context.properties = {
    core.daemon = true
    core.name = pipewire-0
    mem.allow-mlock = false
    default.clock.rate = 48000
    default.clock.allowed-rates = [ 48000 ]
    default.clock.quantum = %(quantum)d
    default.clock.min-quantum = %(quantum)d
    default.clock.max-quantum = %(quantum)d
}
context.spa-libs = {
    audio.convert.* = audioconvert/libspa-audioconvert
    support.* = support/libspa-support
}
context.modules = [
    { name = libpipewire-module-protocol-native }
    { name = libpipewire-module-access }
    { name = libpipewire-module-metadata }
    { name = libpipewire-module-spa-node-factory }
    { name = libpipewire-module-client-node }
    { name = libpipewire-module-client-device }
    { name = libpipewire-module-adapter }
    { name = libpipewire-module-link-factory }
    { name = libpipewire-module-session-manager }
%(sink)s]
context.objects = [
    { factory = spa-node-factory
      args = { factory.name = support.node.driver node.name = Dummy-Driver
               node.group = pipewire.dummy priority.driver = 20000 } }
    { factory = spa-node-factory
      args = { factory.name = support.node.driver node.name = Freewheel-Driver
               priority.driver = 19000 node.group = pipewire.freewheel
               node.freewheel = true } }
    { factory = adapter
      args = { factory.name = support.null-audio-sink node.name = other
               media.class = Audio/Sink audio.rate = 48000 audio.channels = 1
               audio.position = [ MONO ] priority.session = 100 } }
]
"""

PIPE_SINK = """
    { name = libpipewire-module-pipe-tunnel
      args = {
        tunnel.mode = sink
        pipe.filename = "%(fifo)s"
        audio.format = S16LE
        audio.rate = 48000
        audio.channels = 1
        audio.position = [ MONO ]
        stream.props = {
          node.name = tonerix-fifo
          priority.session = 2000
          session.suspend-timeout-seconds = 0
        }
      }
    }
"""

# The sink in a client process of its own: stopped, it leaves the daemon
# answering while the sink is late, as a waking device does.
SINK_CLIENT_CONF = """
context.properties = { core.daemon = false mem.allow-mlock = false }
context.spa-libs = { audio.convert.* = audioconvert/libspa-audioconvert
                     support.* = support/libspa-support }
context.modules = [
    { name = libpipewire-module-protocol-native }
    { name = libpipewire-module-client-node }
    { name = libpipewire-module-adapter }
%(sink)s
]
"""

WIREPLUMBER_CONF = """
context.properties = { wireplumber.script-engine = lua-scripting }
context.spa-libs = {
    audio.convert.* = audioconvert/libspa-audioconvert
    support.* = support/libspa-support
}
context.modules = [
    { name = libpipewire-module-protocol-native }
    { name = libpipewire-module-client-node }
    { name = libpipewire-module-client-device }
    { name = libpipewire-module-adapter }
    { name = libpipewire-module-metadata }
    { name = libpipewire-module-session-manager }
]
wireplumber.components = [
    { name = libwireplumber-module-lua-scripting, type = module }
    { name = main.lua, type = config/lua }
    { name = policy.lua, type = config/lua }
]
"""

# No D-Bus and no hardware: the portal check and the device monitors stay off.
WIREPLUMBER_HEADLESS = """
default_access.properties["enable-flatpak-portal"] = false
alsa_monitor.enabled = false
v4l2_monitor.enabled = false
libcamera_monitor.enabled = false
"""


class PipeWireServer(PacedServer):
    """PipeWire with WirePlumber, headless; ALSA clients reach it through
    PipeWire's own ALSA plugin, unpacked by scripts/setup (not installed, as
    its package would remove PulseAudio)."""

    name = "pipewire"

    def __init__(self, quantum=1024, sink_apart=False):  # frames a cycle: 1024 is 21.3 ms
        super().__init__()
        self.quantum, self.sink_apart = quantum, sink_apart
        self.processes = []

    @classmethod
    def plugin(cls, kind):
        return os.path.join(PIPEWIRE_ALSA, "usr", "lib", "x86_64-linux-gnu", "alsa-lib",
                            f"libasound_module_{kind}_pipewire.so")

    @classmethod
    def missing(cls):
        for program in ("pipewire", "wireplumber", "pw-metadata"):
            if not shutil.which(program):
                return f"{program} is not installed"
        if not os.path.exists(cls.plugin("pcm")):
            return f"PipeWire's ALSA plugin is not unpacked in {PIPEWIRE_ALSA}"
        return None

    def launch(self):
        config = os.path.join(self.home, "config")
        os.makedirs(os.path.join(config, "wireplumber", "main.lua.d"))
        self.env.update(XDG_CONFIG_HOME=config,
                        XDG_STATE_HOME=os.path.join(self.home, "state"))
        socket = os.path.join(self.runtime, "pipewire-0")
        with open(os.path.join(self.home, ".asoundrc"), "w") as rc:
            for kind in ("pcm", "ctl"):
                rc.write(f'{kind}_type.pipewire {{ lib "{self.plugin(kind)}" }}\n'
                         f'{kind}.!default {{ type pipewire server "{socket}" }}\n')
        server_conf = os.path.join(self.home, "pipewire.conf")
        sink = PIPE_SINK % {"fifo": self.fifo}
        with open(server_conf, "w") as f:
            f.write(PIPEWIRE_CONF % {"quantum": self.quantum,
                                     "sink": "" if self.sink_apart else sink})
        sink_conf = os.path.join(self.home, "sink.conf")
        with open(sink_conf, "w") as f:
            f.write(SINK_CLIENT_CONF % {"sink": sink})
        with open(os.path.join(config, "wireplumber", "wireplumber.conf"), "w") as f:
            f.write(WIREPLUMBER_CONF)
        with open(os.path.join(config, "wireplumber", "main.lua.d", "51-headless.lua"),
                  "w") as f:
            f.write(WIREPLUMBER_HEADLESS)
        sink_client = [["pipewire", "-c", sink_conf]] if self.sink_apart else []
        for argv in [["pipewire", "-c", server_conf], *sink_client, ["wireplumber"]]:
            self.processes.append(subprocess.Popen(
                argv, env=dict(self.env, PIPEWIRE_REMOTE=socket) if argv in sink_client
                else self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL))
            if argv[0] == "pipewire":
                self.wait_for(lambda: os.path.exists(socket), "socket")
        self.wait_for(lambda: "tonerix-fifo" in subprocess.run(
            ["pw-metadata", "-r", socket, "0", "default.audio.sink"], env=self.env,
            capture_output=True, text=True, timeout=10).stdout, "default sink")

    def wait_for(self, ready, what):
        for _ in range(200):
            if ready():
                return
            if any(p.poll() is not None for p in self.processes):
                break
            time.sleep(0.025)
        raise RuntimeError(f"PipeWire did not get ready ({what})")

    def pids(self):
        return [p.pid for p in self.processes]

    def hold_sink(self, on):
        """Stops the sink's own process (sink_apart), or lets it go on."""
        os.kill(self.processes[1].pid, signal.SIGSTOP if on else signal.SIGCONT)

    def stream_properties(self):
        """The properties of the one stream playing (its node and its client), as a dict."""
        objects = json.loads(subprocess.run(["pw-dump"], env=self.env, check=True,
                                            capture_output=True, text=True, timeout=10).stdout)
        found = {}
        # The client's properties, then the node's, which win.
        for item in sorted(objects, key=lambda item: item["type"].endswith("Node")):
            props = (item.get("info") or {}).get("props") or {}
            if props.get("application.process.binary") == "tonerix" or \
                    props.get("media.class") == "Stream/Output/Audio":
                found.update({key: str(value) for key, value in props.items()})
        return found

    def shut_down(self):
        # The session manager first, then the server.
        for process in reversed(self.processes):
            with contextlib.suppress(OSError):
                process.send_signal(signal.SIGCONT)
                process.terminate()
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        self.processes = []


SERVERS = (PulseServer, PipeWireServer)


def audible(samples, threshold=500):
    """The number of samples that carry sound, from the first to the last loud one."""
    loud = [i for i, s in enumerate(samples) if abs(s) > threshold]
    return loud[-1] - loud[0] + 1 if loud else 0


class DelayingRelay:
    """A TCP listener on loopback that relays each connection to the Unix
    socket `target`, holding back every chunk `delay` seconds each way: a
    server that far away."""

    def __init__(self, target, delay):
        self.target, self.delay = target, delay
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.address = "tcp:127.0.0.1:%d" % self.listener.getsockname()[1]
        threading.Thread(target=self.accept, daemon=True).start()

    def accept(self):
        with contextlib.suppress(OSError):
            while True:
                client, _ = self.listener.accept()
                server = socket.socket(socket.AF_UNIX)
                server.connect(self.target)
                self.pipe(client, server)
                self.pipe(server, client)

    def pipe(self, source, sink):
        held = queue.Queue()

        def receive():
            with contextlib.suppress(OSError):
                while data := source.recv(65536):
                    held.put((time.monotonic() + self.delay, data))
            held.put((time.monotonic() + self.delay, b""))

        def send():
            with contextlib.suppress(OSError):
                while True:
                    due, data = held.get()
                    time.sleep(max(0.0, due - time.monotonic()))
                    if not data:
                        sink.shutdown(socket.SHUT_WR)
                        return
                    sink.sendall(data)
        for work in (receive, send):
            threading.Thread(target=work, daemon=True).start()

    def close(self):
        self.listener.close()


@contextlib.contextmanager
def far_silent_listener():
    """A TCP server on another machine that takes connections and never
    answers: a listener in a network namespace of its own, behind a virtual link."""
    ns, far = f"tonerix{os.getpid()}", "10.251.0.2"
    try:
        for step in (f"netns add {ns}", f"link add {ns}a type veth peer {ns}b netns {ns}",
                     f"addr add 10.251.0.1/30 dev {ns}a", f"link set {ns}a up",
                     f"-n {ns} addr add {far}/30 dev {ns}b", f"-n {ns} link set {ns}b up"):
            subprocess.run(["ip"] + step.split(), check=True, capture_output=True)
        listener = subprocess.Popen(["ip", "netns", "exec", ns, sys.executable, "-c",
                                     "import socket, time; s = socket.create_server(('', 0)); "
                                     "print(s.getsockname()[1], flush=True); time.sleep(600)"],
                                    stdout=subprocess.PIPE)
    except (OSError, subprocess.CalledProcessError) as error:
        subprocess.run(["ip", "netns", "del", ns], capture_output=True)
        raise unittest.SkipTest(f"no network namespace for a far server (root needed): {error}")
    try:
        yield f"tcp:{far}:{int(listener.stdout.readline())}"
    finally:
        listener.kill()
        # Both ends of the link go with the namespace.
        subprocess.run(["ip", "netns", "del", ns], capture_output=True)
