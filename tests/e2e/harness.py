"""Shared helpers for the end-to-end suites: where the built programs are, and
how to run them on real pipes, files, terminals, sound devices and Wine."""

import errno
import fcntl
import os
import pty
import re
import signal
import subprocess
import tempfile
import termios
import tty
import unittest

TONERIX = os.environ.get("TONERIX_BIN", "")
PROBE = os.environ.get("TONERIX_PROBE", "")
TONERIX_EXE = os.environ.get("TONERIX_EXE", "")
PROBE_EXE = os.environ.get("TONERIX_PROBE_EXE", "")
LAUNCHER_EXE = os.environ.get("TONERIX_LAUNCHER_EXE", "")
# What the programs were built for; a cross build's programs run under EMULATOR.
ARCH = os.environ.get("TONERIX_ARCH") or os.uname().machine
SOURCE_DIR = os.path.realpath(os.path.join(os.path.dirname(__file__), "..", ".."))
# The version CMake gives the program: TONERIX_DEBUG's first line names it.
with open(os.path.join(SOURCE_DIR, "CMakeLists.txt")) as _cmake:
    VERSION = re.search(r"project\(tonerix VERSION (\S+)", _cmake.read()).group(1)
EMULATOR = os.environ.get("TONERIX_EMULATOR", "").split()
# The tone drivers' names, in the order tried: the one list is the service's
# driver table, which the tests and the documentation follow.
with open(os.path.join(SOURCE_DIR, "src/platform/linux/tone/tone_driver.cpp")) as _s:
    _table = re.search(r"kDrivers\[\] = \{(.*?)\n\};", _s.read(), re.S).group(1)
    DRIVERS = re.findall(r'\{"([a-z-]+)"', _table)
# The probe's executable itself (PROBE may be a script that starts it under
# EMULATOR), and the addr2line that reads its processor's code.
PROBE_FILE = os.environ.get("TONERIX_PROBE_FILE") or PROBE
ADDR2LINE = os.environ.get("TONERIX_ADDR2LINE") or "addr2line"

HELP_SCREEN = (
    b"\r\n"
    b"Tonerix  (c) 2026 the tonerix developers\r\n"
    b"tonerix.exe           =  ohne Parameter 1000Hz 1000msec.\r\n"
    b"tonerix.exe 1000 5000 =  1000Hz 5000msec.\r\n"
    b"tonerix.exe help      =  diese Hilfe\r\n"
    b"tonerix.exe /?        =  diese Hilfe\r\n"
    b"\r\n"
)

REPORT = re.compile(rb"Runtime error ([ 0-9]{3}) at ([0-9A-F]{8})\x00\r\n")


def parse_report(output):
    """The code and location of the report that ends `output`, or None."""
    match = REPORT.fullmatch(output[-32:])
    if not match:
        return None
    return int(match.group(1)), int(match.group(2), 16)


def default_signals():
    """For a child's preexec_fn: a shell that started the tests in the
    background hands its children SIGINT and SIGQUIT ignored, and tonerix
    leaves an ignored signal ignored. Tests that send those signals need them
    at their default."""
    for number in (signal.SIGINT, signal.SIGQUIT):
        signal.signal(number, signal.SIG_DFL)


def run(argv, **kwargs):
    kwargs.setdefault("stdout", subprocess.PIPE)
    kwargs.setdefault("stderr", subprocess.PIPE)
    kwargs.setdefault("timeout", 60)
    return subprocess.run(argv, **kwargs)


def write_calls(argv, stdout=subprocess.DEVNULL, **kwargs):
    """Runs `argv` under strace; returns (status, [sizes of write(2)s to fd 1])."""
    with tempfile.NamedTemporaryFile("r") as trace:
        result = run(["strace", "-qq", "-e", "trace=write", "-e", "signal=none",
                      "-o", trace.name] + list(argv), stdout=stdout, **kwargs)
        sizes = [int(m.group(1)) for m in
                 re.finditer(r"^write\(1, .*\) += (-?\d+)", trace.read(), re.M)]
    return result.returncode, sizes


def on_terminal(start, controlling=True):
    """Calls start(slave, preexec_fn) with a raw pseudo-terminal's slave, and a
    preexec_fn that puts the child in a session of its own with that terminal
    as its controlling terminal (none without `controlling`); returns what
    start returned and the bytes seen on the terminal."""
    master, slave = pty.openpty()
    tty.setraw(slave)  # no CR insertion: the bytes arrive as written

    def new_session():
        os.setsid()
        if controlling:
            fcntl.ioctl(slave, termios.TIOCSCTTY, 0)
    try:
        result = start(slave, new_session)
        os.close(slave)
        slave = -1
        seen = b""
        while True:
            try:
                chunk = os.read(master, 4096)
            except OSError:
                break
            if not chunk:
                break
            seen += chunk
        return result, seen
    finally:
        if slave >= 0:
            os.close(slave)
        os.close(master)


def run_on_raw_terminal(argv, trace=()):
    """Runs `argv` under strace with a raw pseudo-terminal as standard output
    and controlling terminal; returns (status, bytes seen on the terminal,
    sizes of the writes). `trace` adds strace options, such as a fault to inject."""
    (status, sizes), seen = on_terminal(
        lambda slave, session: write_calls(list(trace) + argv, stdout=slave,
                                           preexec_fn=session))
    return status, seen, sizes


def require(path, what):
    if not path or not os.path.exists(path):
        raise unittest.SkipTest(f"{what} was not built")


# The start of the reason of a skip for what this machine cannot do however it
# is set up. Such a skip shows as skipped under CI too; any other fails there.
MACHINE_CANNOT = "this machine cannot"


def runs_32_bit_x86():
    """False when the kernel refuses 32-bit x86 programs, as a kernel built or
    booted without IA-32 emulation does; Wine needs them for a 32-bit program.
    arch-test's smallest i386 program tells, whether or not a tree is made."""
    try:
        subprocess.run(["/usr/lib/arch-test/i386"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    except OSError as error:
        return error.errno != errno.ENOEXEC
    return True


# The Debian i386 tree Wine runs in, made by scripts/setup: the host holds
# nothing of another architecture.
WINE_TREE = os.environ.get("TONERIX_WINE_TREE") or os.path.join(
    SOURCE_DIR, ".cache", "trees", "i386-wine")


# The only DLLs tonerix.exe may import: the system's own.
WINDOWS_DLLS = ["KERNEL32.DLL", "MSVCRT.DLL", "USER32.DLL"]


def imported_dlls(exe):
    """The DLLs a Windows program imports, upper-case and sorted."""
    dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", exe], capture_output=True,
                          text=True).stdout
    return sorted(line.split(":")[1].strip().upper() for line in dump.splitlines()
                  if "DLL Name:" in line)


class Wine:
    """The Windows programs under Wine, started through the test launcher so
    that the command line reaches them exactly as given."""

    @staticmethod
    def require():
        """Skips unless tonerix.exe and Wine's tree are there and can run."""
        if not (TONERIX_EXE and os.path.exists(TONERIX_EXE)):
            raise unittest.SkipTest("tonerix.exe was not built")
        if not runs_32_bit_x86():
            raise unittest.SkipTest(MACHINE_CANNOT + " run 32-bit x86 programs, "
                                    "so Wine cannot run tonerix.exe here")
        if not os.path.lexists(os.path.join(WINE_TREE, "usr", "bin", "wine")):
            raise unittest.SkipTest(f"no Wine tree at {WINE_TREE}: scripts/setup makes it")

    @staticmethod
    def environment():
        env = dict(os.environ)
        env.setdefault("WINEPREFIX", os.path.join(tempfile.gettempdir(), "tonerix-wine"))
        env["WINEDEBUG"] = "-all"
        env["WINEDLLOVERRIDES"] = "mscoree,mshtml="  # no installer dialogs in a fresh prefix
        return env

    @classmethod
    def run(cls, argv, **kwargs):
        """Runs a Wine command, such as ["wine", program, ...], in Wine's tree,
        entered by bubblewrap in namespaces whose mounts vanish with it: the
        tree read-only, /proc, /dev, and the host's temporary folders, sources,
        build and prefix at their own paths."""
        env = kwargs.pop("env", None) or cls.environment()
        os.makedirs(env["WINEPREFIX"], exist_ok=True)
        command = ["bwrap", "--proc", "/proc", "--dev", "/dev"]
        for name in os.listdir(WINE_TREE):
            path = os.path.join(WINE_TREE, name)
            if os.path.islink(path):
                command += ["--symlink", os.readlink(path), "/" + name]
            elif name not in ("proc", "dev", "tmp", "sys", "run") and os.path.isdir(path):
                command += ["--ro-bind", path, "/" + name]
        shared = {"/tmp", tempfile.gettempdir(), SOURCE_DIR, os.getcwd(), env["WINEPREFIX"],
                  env.get("TONERIX_BUILD_DIR") or SOURCE_DIR}
        for path in sorted(map(os.path.realpath, shared)):  # a folder before what lies in it
            command += ["--bind", path, path]
        return run(command + ["--chdir", os.getcwd(), "--"] + list(argv), env=env, **kwargs)

    @classmethod
    def boot(cls):
        """Starts a server that outlives single runs (a cold start costs more
        than half a second each time) and lets it go by itself 30 s after the
        last one, then prepares the prefix if it is new."""
        env = cls.environment()
        os.makedirs(env["WINEPREFIX"], exist_ok=True)
        cls.run(["wineserver", "-p30"], env=env, stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL)
        if not os.path.exists(os.path.join(env["WINEPREFIX"], "system.reg")):
            cls.run(["wineboot", "-i"], env=env, timeout=300, stdout=subprocess.DEVNULL,
                    stderr=subprocess.DEVNULL)

    @classmethod
    def shut_down(cls):
        """Ends the server boot() started, and with it the last process
        holding the tree's mounts."""
        cls.run(["wineserver", "-k"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    @staticmethod
    def dos_path(path):
        return "Z:" + os.path.abspath(path).replace("/", "\\")

    @classmethod
    def launch(cls, program, line, mode="pipe", stdout=None):
        """Runs `program` with the exact command line `line` (bytes); returns
        (exit status, standard output). Output goes through a file, not a
        pipe: Wine's helper processes may inherit a pipe and hold it open long
        after the program has ended."""
        with tempfile.TemporaryFile() as captured:
            result = cls.run(["wine", LAUNCHER_EXE, cls.dos_path(program), line.hex(), mode],
                             stdout=stdout if stdout is not None else captured,
                             stderr=subprocess.DEVNULL, timeout=120)
            captured.seek(0)
            return result.returncode, captured.read()
