#!/usr/bin/env python3
"""Builds the release artifacts twice from the last commit, in two clean
clones in two temporary folders, the second later and under umask 002 (a
user with a group of their own), neither with SOURCE_DATE_EPOCH set, and checks that they are byte for byte
the same. On a difference it names the artifact, the member inside it and
the first byte that differs. Exits 1 then, else 0."""

import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def build(folder, umask):
    clone = os.path.join(folder, "tonerix")
    subprocess.run(["git", "clone", "--quiet", "--no-hardlinks", ROOT, clone], check=True)
    env = {k: v for k, v in os.environ.items() if k != "SOURCE_DATE_EPOCH"}
    env["TONERIX_NO_SETUP"] = "1"
    subprocess.run(["sh", "-c", f"umask {umask:03o} && exec scripts/package"], cwd=clone,
                   env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    dist = os.path.join(clone, "dist")
    return {name: open(os.path.join(dist, name), "rb").read() for name in os.listdir(dist)}


def first_difference(a, b):
    for offset, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return offset
    return min(len(a), len(b))


def ar_members(data):
    """A Debian package's members: name -> (ar header, contents)."""
    members, offset = {}, 8  # after "!<arch>\n"
    while offset + 60 <= len(data):
        name = data[offset:offset + 16].decode().strip().rstrip("/")
        size = int(data[offset + 48:offset + 58])
        members[name] = (data[offset:offset + 60], data[offset + 60:offset + 60 + size])
        offset += 60 + size + size % 2
    return members


def explain(name, a, b):
    """The first byte where two builds of an artifact differ, and for a Debian
    package the members whose header or contents differ."""
    lines = [f"{name}: first difference at byte {first_difference(a, b)}"]
    if name.endswith(".deb"):
        one, two = ar_members(a), ar_members(b)
        for member in sorted(set(one) | set(two)):
            if one.get(member) != two.get(member):
                part = "header" if one.get(member, (0,))[0] != two.get(member, (0,))[0] else "contents"
                lines.append(f"  member {member}: {part} differs")
    return lines


def main():
    with tempfile.TemporaryDirectory(prefix="tonerix-first-") as first, \
            tempfile.TemporaryDirectory(prefix="tonerix-second-") as second:
        one = build(first, 0o022)
        time.sleep(2)  # file times in seconds must be able to differ
        two = build(second, 0o002)
    differ = False
    for name in sorted(set(one) | set(two)):
        if one.get(name) == two.get(name):
            print(f"reproducible: {name}")
            continue
        differ = True
        if name not in one or name not in two:
            print(f"NOT REPRODUCIBLE: {name} comes out of one build only")
        else:
            print("NOT REPRODUCIBLE: " + "\n".join(explain(name, one[name], two[name])))
    if not one:
        print("NOT REPRODUCIBLE: no artifacts were built")
        differ = True
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main())
