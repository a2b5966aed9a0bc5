"""Command lines and what the program must make of them, shared by the Linux
and the Windows suites."""

# (whole command line, the arguments the splitter must give for 1, 2, ...)
SPLITTING = [
    (b"tonerix.exe", []),
    (b"tonerix.exe 1000 500", [b"1000", b"500"]),
    (b"tonerix.exe\t1000\t500", [b"1000", b"500"]),
    (b"  tonerix.exe 5", [b"5"]),
    (b'"C:\\My Tools\\tonerix.exe" 1000 500', [b"1000", b"500"]),
    (b'tonerix.exe "1000 500"', [b"1000 500"]),
    (b'tonerix.exe 10"00" 5"0"0', [b"1000", b"500"]),
    (b'tonerix.exe a" "b', [b"a b"]),
    (b'tonerix.exe a""b', [b"ab"]),
    (b'tonerix.exe "a""b"', [b"ab"]),
    (b'tonerix.exe """a"', [b"a"]),
    (b'tonerix.exe "" 250', [b"250"]),
    (b'tonerix.exe 1000 "" 500', [b"1000", b"500"]),
    (b'tonerix.exe ""', []),
    (b'tonerix.exe "" ""', []),
    (b'tonerix.exe " "', [b" "]),
    (b'tonerix.exe "" " " 5', [b" ", b"5"]),
    (b'tonerix.exe 1000 "5 0', [b"1000", b"5 0"]),
    (b'tonerix.exe 1000 500 "', [b"1000", b"500"]),
    (b'tonerix.exe "', []),
    (b'"tonerix.exe"5 6', [b"6"]),
]

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
    """Whether tonerix reads `text` (bytes) as a 32-bit integer."""
    rest = text.lstrip(b" ")
    negative = rest[:1] == b"-"
    if rest[:1] in (b"+", b"-"):
        rest = rest[1:]
    for prefix in (b"0x", b"0X", b"$", b"x", b"X"):
        if rest.startswith(prefix) and len(rest) > len(prefix):
            digits = rest[len(prefix):]
            return (all(c in b"0123456789abcdefABCDEF" for c in digits)
                    and int(digits, 16) <= 0xFFFFFFFF)
    if not rest or not rest.isdigit():
        return False
    return int(rest) <= (2147483648 if negative else 2147483647)


def sounds(arguments):
    """Whether these arguments (bytes) sound a tone rather than show help."""
    if not arguments:
        return True
    return (len(arguments) == 2 and arguments[0] not in (b"help", b"/?")
            and converts(arguments[0]) and converts(arguments[1]))
