"""The 32-bit Windows program under Wine: its output on pipes, files and
broken handles, faults, the splitter on exact command lines, and dispatch."""

import os
import subprocess
import tempfile
import unittest

from harness import (HELP_SCREEN, LAUNCHER_EXE, PROBE_EXE, TONERIX_EXE, Wine,
                     parse_report)
from tables import DISPATCH, SPLITTING, probe_arguments, sounds, windows_line


def setUpModule():
    Wine.require()
    Wine.boot()


def tearDownModule():
    Wine.shut_down()


HELP_LINE = b"tonerix.exe help"


class Output(unittest.TestCase):
    def test_help_screen_on_a_pipe_and_a_file(self):
        status, output = Wine.launch(TONERIX_EXE, HELP_LINE)
        self.assertEqual((status, output), (0, HELP_SCREEN))
        with tempfile.TemporaryFile() as file:
            status, _ = Wine.launch(TONERIX_EXE, HELP_LINE, "inherit", stdout=file)
            file.seek(0)
            self.assertEqual((status, file.read()), (0, HELP_SCREEN))

    def test_unusable_outputs_end_with_their_codes(self):
        cases = [("no standard output", "none", None, 105),
                 ("Windows pipe without reader", "broken", None, 232)]
        with open("/dev/full", "wb") as full:
            cases.append(("/dev/full", "inherit", full, 112))
            for name, mode, stdout, code in cases:
                with self.subTest(name):
                    status, _ = Wine.launch(TONERIX_EXE, HELP_LINE, mode, stdout=stdout)
                    self.assertEqual(status, code)

    def test_unix_pipe_without_reader(self):
        # Wine reports a broken Unix pipe as 233 (Windows' own pipes give 232),
        # and never lets SIGPIPE kill the program.
        read_end, write_end = os.pipe()
        os.close(read_end)
        try:
            result = Wine.run(["wine", TONERIX_EXE, "help"], stdout=write_end,
                              stderr=subprocess.DEVNULL)
        finally:
            os.close(write_end)
        self.assertEqual(result.returncode, 233)


class Faults(unittest.TestCase):
    def test_faults_end_with_their_code_and_a_report(self):
        for kind, code in (("access", 216), ("divide", 200), ("stack", 202),
                           ("privileged", 218)):
            with self.subTest(kind):
                status, output = Wine.launch(PROBE_EXE, b"probe.exe fault " + kind.encode())
                self.assertEqual(status, code)
                self.assertEqual(len(output), 32, output)
                code_shown, location = parse_report(output)
                self.assertEqual(code_shown, code)
                self.assertGreaterEqual(location, 0x400000)  # an address in the program


class Splitting(unittest.TestCase):
    def test_real_command_lines_split_by_the_rules(self):
        for line, expected in SPLITTING:
            with self.subTest(line=line):
                status, output = Wine.launch(PROBE_EXE, line)
                self.assertEqual(status, 0)
                arguments = probe_arguments(output)
                self.assertEqual(arguments[1:], expected)
                self.assertTrue(arguments[0].lower().endswith(b"\\probe.exe"), arguments[0])


class Dispatch(unittest.TestCase):
    def test_tone_or_help_and_always_status_0(self):
        # Every splitting line, then the dispatch cases: silence for a tone
        # (Wine's Beep neither waits nor sounds), else the help screen.
        cases = ([(line, sounds(arguments)) for line, arguments in SPLITTING] +
                 [(windows_line(arguments), tone) for arguments, tone in DISPATCH])
        for line, tone in cases:
            with self.subTest(line=line):
                status, output = Wine.launch(TONERIX_EXE, line)
                self.assertEqual(status, 0)
                self.assertEqual(output, b"" if tone else HELP_SCREEN)


if __name__ == "__main__":
    unittest.main()
