"""The Linux program on real pipes, files, terminals and broken outputs, and
the runtime's report for processor faults."""

import os
import resource
import signal
import subprocess
import tempfile
import unittest

from harness import (ADDR2LINE, ARCH, HELP_SCREEN, PROBE, PROBE_FILE, TONERIX, parse_report,
                     require, run, run_on_raw_terminal, write_calls)


def setUpModule():
    require(TONERIX, "tonerix")


class HelpScreenOutput(unittest.TestCase):
    def test_file_and_pipe_get_the_screen_in_128_byte_blocks(self):
        with tempfile.TemporaryFile() as file:
            for name, target in (("file", file), ("pipe", subprocess.PIPE)):
                with self.subTest(name):
                    result = run([TONERIX, "help"], stdout=target)
                    self.assertEqual(result.returncode, 0)
                    if target is file:
                        file.seek(0)
                        output = file.read()
                    else:
                        output = result.stdout
                    self.assertEqual(output, HELP_SCREEN)
                    self.assertEqual(result.stderr, b"")
            file.seek(0)
            file.truncate()
            for name, target in (("file", file), ("pipe", subprocess.PIPE)):
                with self.subTest(name + " writes"):
                    status, sizes = write_calls([TONERIX, "help"], stdout=target)
                    self.assertEqual((status, sizes), (0, [128, len(HELP_SCREEN) - 128]))

    def test_raw_terminal_gets_one_write_a_line(self):
        status, seen, sizes = run_on_raw_terminal([TONERIX, "/?"])
        self.assertEqual(status, 0)
        self.assertEqual(seen, HELP_SCREEN)
        lines = HELP_SCREEN.split(b"\r\n")[:-1]
        self.assertEqual(sizes, [len(line) + 2 for line in lines])

    def test_every_help_condition_shows_the_same_screen(self):
        for args in (["help"], ["/?"], ["440"], ["1", "2", "3"], ["help", "250"],
                     ["HELP", "250"], ["440", "abc"], ["", "250"], ["440 ", "250"]):
            with self.subTest(args=args):
                result = run([TONERIX] + args)
                self.assertEqual((result.returncode, result.stdout), (0, HELP_SCREEN))


class BrokenOutput(unittest.TestCase):
    def test_failures_end_with_the_system_code(self):
        # (name, how standard output is set up, expected status)
        with open("/dev/full", "wb") as full, tempfile.TemporaryFile() as limited:
            # 150 bytes: the second write is cut short, and carrying on fails.
            limit = lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (150, 150))  # noqa: E731
            cases = [("/dev/full", {"stdout": full}, 28),
                     ("file-size limit", {"stdout": limited, "preexec_fn": limit}, 27),
                     ("closed", {"stdout": subprocess.DEVNULL,
                                 "preexec_fn": lambda: os.close(1)}, 105)]
            for name, kwargs, code in cases:
                with self.subTest(name):
                    result = run([TONERIX, "help"], **kwargs)
                    self.assertEqual(result.returncode, code)
                    self.assertEqual(result.stderr, b"")

    def test_pipe_without_reader_gives_32_not_sigpipe(self):
        read_end, write_end = os.pipe()
        os.close(read_end)
        try:
            result = run([TONERIX, "help"], stdout=write_end)
        finally:
            os.close(write_end)
        self.assertEqual(result.returncode, 32)

    def test_failed_line_on_a_terminal_ends_the_screen_with_a_report(self):
        # The third line's write fails with EIO, as on a hung-up terminal.
        status, seen, sizes = run_on_raw_terminal(
            [TONERIX, "help"], trace=["-e", "inject=write:error=EIO:when=3"])
        self.assertEqual(status, 5)
        first_two = b"".join(line + b"\r\n" for line in HELP_SCREEN.split(b"\r\n")[:2])
        self.assertEqual(seen[:-32], first_two)
        self.assertEqual(parse_report(seen)[0], 5)
        self.assertEqual(sizes[3:], [30, 2])

    def test_output_lost_at_shutdown_ends_with_its_code_after_a_report(self):
        with tempfile.TemporaryFile() as file:
            status, sizes = write_calls(["-e", "inject=write:error=ENOSPC:when=2",
                                         TONERIX, "help"], stdout=file)
            file.seek(0)
            written = file.read()
        self.assertEqual(status, 28)
        self.assertEqual(written[:128], HELP_SCREEN[:128])
        self.assertEqual(parse_report(written[128:])[0], 28)
        self.assertEqual(sizes, [128, -1, 30, 2])  # the second write fails


class Faults(unittest.TestCase):
    def test_faults_end_with_their_code_and_a_report(self):
        require(PROBE, "the probe")
        faults = {"access": 216, "stack": 202, "worker-stack": 202, "breakpoint": 255,
                  "bad-system-call": 255}
        # 64-bit ARM has no trap for an integer division by zero, and no
        # instruction that user code may not run that Linux reports as such.
        if ARCH in ("x86_64", "i686"):
            faults.update(divide=200, privileged=218)
        for kind, code in faults.items():
            with self.subTest(kind):
                result = run([PROBE, "fault", kind])
                self.assertEqual(result.returncode, code)
                report = parse_report(result.stdout)
                self.assertIsNotNone(report, result.stdout)
                self.assertEqual(report[0], code)
                self.assertEqual(len(result.stdout), 32)

    def test_fault_while_ending_exits_at_once_with_its_code(self):
        require(PROBE, "the probe")
        result = run([PROBE, "fault", "nested"])
        self.assertEqual((result.returncode, result.stdout), (216, b""))

    def test_report_location_names_the_faulting_line(self):
        require(PROBE, "the probe")
        location = parse_report(run([PROBE, "fault", "access"]).stdout)[1]
        line = run([ADDR2LINE, "-e", PROBE_FILE, hex(location)]).stdout.decode()
        self.assertRegex(line, r"probe\.cpp:\d+")
        with open(os.path.join(os.path.dirname(__file__), "..", "programs", "probe.cpp")) as f:
            faulting = f.read().splitlines()[int(line.split(":")[1]) - 1]
        self.assertIn("nowhere", faulting)


if __name__ == "__main__":
    unittest.main()
