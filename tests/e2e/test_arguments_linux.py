"""Linux argv rebuilt into one command line: users get what the same line
typed on Windows gives."""

import os
import shutil
import tempfile
import unittest

from harness import PROBE, require, run
from tables import probe_arguments


def setUpModule():
    require(PROBE, "the probe")


class RebuiltCommandLine(unittest.TestCase):
    def test_arguments_as_the_splitter_sees_them(self):
        cases = [
            ([], []),
            (["440", "250"], [b"440", b"250"]),
            ([""], []),                                  # an empty argument is none
            (["", "250"], [b"250"]),
            (["1000", "", "500"], [b"1000", b"500"]),
            (["a b"], [b"a b"]),                         # blanks stay in one argument
            (["a\tb"], [b"a\tb"]),
            (['a"b'], [b"ab"]),                          # quotes group and vanish
            (['"a b"'], [b"a b"]),
            (['a "b'], [b"a", b"b"]),                    # a quote with a blank splits
            (["T\u00f6ne", "\u266a"], ["T\u00f6ne".encode(), "\u266a".encode()]),
            ([b"\xff\x80\x7f"], [b"\xff\x80\x7f"]),       # any high byte is kept
        ]
        for argv, expected in cases:
            with self.subTest(argv=argv):
                result = run([PROBE] + argv)
                self.assertEqual(result.returncode, 0)
                self.assertEqual(probe_arguments(result.stdout)[1:], expected)

    def test_argument_zero_is_the_executable_path_however_started(self):
        with tempfile.TemporaryDirectory() as folder:
            spaced = os.path.join(folder, "my tools")
            os.mkdir(spaced)
            program = os.path.join(spaced, "probe")
            shutil.copy(PROBE, program)
            for how, argv0 in (("full path", program), ("relative", "./probe"),
                               ("other name", "anything at all"), ("empty", ""),
                               ("a quote", 'it"s'), ("blanks", " \t"), ("high byte", b"\xff")):
                with self.subTest(how):
                    result = run([argv0, "x y", "5"], executable=program, cwd=spaced)
                    arguments = probe_arguments(result.stdout)
                    self.assertEqual(arguments, [program.encode(), b"x y", b"5"])


if __name__ == "__main__":
    unittest.main()
