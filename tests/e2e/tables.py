"""Command lines and what the program must make of them, shared by the Linux
and the Windows suites."""

import os
import re
import sys

TABLES = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tables")


def unescaped(field):
    """A table field's bytes: \\\\ is a backslash, \\t a tab, \\xNN any byte."""
    def byte(match):
        code = match.group(1)
        return {b"t": b"\t"}.get(code) or (bytes([int(code[1:], 16)]) if len(code) == 3 else code)
    return re.sub(rb"\\(x[0-9a-fA-F]{2}|.)", byte, field)


def read_table(name):
    """The rows of tests/tables/NAME, each a list of byte strings: one case a
    line, fields separated by tabs, lines that start with # comments. The
    unit tests read the same files."""
    with open(os.path.join(TABLES, name), "rb") as f:
        return [[unescaped(field) for field in line.split(b"\t")]
                for line in f.read().split(b"\n") if line and not line.startswith(b"#")]


# (whole command line, the arguments the splitter must give for 1, 2, ...)
SPLITTING = [(row[0], row[1:]) for row in read_table("splitting.txt")]
# text -> error position (0 when it converts)
INTEGERS = {row[0]: int(row[1]) for row in read_table("integers.txt")}

# (arguments after the program name, True when a tone is sounded rather
# than the help screen shown)
DISPATCH = [
    ([], True),
    (["440", "250"], True),
    (["-440", "250"], True),
    (["$1B8", "250"], True),
    (["$FFFFFFFF", "1"], True),
    (["  440", "250"], True),
    (["440"], False),
    (["help"], False),
    (["/?"], False),
    (["1", "2", "3"], False),
    (["help", "250"], False),
    (["/?", "250"], False),
    (["HELP", "250"], False),
    (["440", "abc"], False),
    (["440 ", "250"], False),
    (["", "250"], False),
    ([""], True),
]


def probe_arguments(output):
    """The arguments a probe printed: a list of byte strings, index 0 first."""
    arguments = []
    for line in output.split(b"\r\n")[:-1]:
        index, text = line.split(b":")
        assert int(index) == len(arguments), output
        arguments.append(bytes.fromhex(text.decode()))
    assert arguments[-1] == b"", "nothing behind the last argument"
    return arguments[:-1]


def windows_line(arguments):
    """A Windows command line that gives exactly `arguments` (no quotes inside)."""
    return b" ".join([b"tonerix.exe"] + [b'"' + a.encode() + b'"' if (not a or " " in a)
                                        else a.encode() for a in arguments])


def converts(text):
    """Whether tonerix reads `text` (bytes) as a 32-bit integer, as the integer
    table says: every argument the tables here use has its row there."""
    return INTEGERS[text] == 0


def sounds(arguments):
    """Whether these arguments (bytes) sound a tone rather than show help."""
    if not arguments:
        return True
    return (len(arguments) == 2 and arguments[0] not in (b"help", b"/?")
            and converts(arguments[0]) and converts(arguments[1]))


if __name__ == "__main__":
    # tables.py seeds splitting|integers FOLDER: a fuzzer's seed corpus, one
    # file for each row's first field.
    _, _, name, folder = sys.argv
    os.makedirs(folder, exist_ok=True)
    for number, row in enumerate(read_table(name + ".txt")):
        with open(os.path.join(folder, f"table-{number:02d}"), "wb") as seed:
            seed.write(row[0])
