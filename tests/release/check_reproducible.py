#!/usr/bin/env python3
"""Builds the release artifacts twice from the last commit, in two clean
clones in two temporary folders, the second later and under another umask,
neither with SOURCE_DATE_EPOCH set, and checks that they are byte for byte
the same. On a difference it names the artifact, the member inside it and
the first byte that differs. Exits 1 then, else 0."""

import io
import os
import subprocess
import sys
import tarfile
import tempfile
import time
import zipfile

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
    members, offset = {}, 8  # after "!<arch>\n"
    while offset + 60 <= len(data):
        name = data[offset:offset + 16].decode().strip().rstrip("/")
        size = int(data[offset + 48:offset + 58])
        members[name] = (data[offset:offset + 60], data[offset + 60:offset + 60 + size])
        offset += 60 + size + size % 2
    return members


def tar_members(data):
    with tarfile.open(fileobj=io.BytesIO(data)) as archive:
        return {m.name: (repr(m.get_info()),
                         archive.extractfile(m).read() if m.isfile() else b"")
                for m in archive.getmembers()}


def zip_members(data):
    with zipfile.ZipFile(io.BytesIO(data)) as archive:
        return {i.filename: (repr((i.date_time, i.external_attr, i.extra)), archive.read(i))
                for i in archive.infolist()}


def explain(name, a, b):
    """Where two versions of an artifact part company, as readable as it gets."""
    where = f"{name}: first difference at byte {first_difference(a, b)}"
    try:
        if name.endswith(".deb"):
            members = ar_members(a), ar_members(b)
        elif name.endswith(".zip"):
            members = zip_members(a), zip_members(b)
        elif ".tar" in name:
            members = tar_members(a), tar_members(b)
        else:
            return [where]
    except Exception:  # an archive too broken to open: the byte offset is all there is
        return [where]
    lines = [where]
    for member in sorted(set(members[0]) | set(members[1])):
        one, two = members[0].get(member), members[1].get(member)
        if one is None or two is None:
            lines.append(f"  {member}: only in the {'second' if one is None else 'first'} build")
            continue
        if one[0] != two[0]:
            lines.append(f"  {member}: header or attributes differ: {one[0]} / {two[0]}")
        if one[1] != two[1]:
            lines += ["  " + line for line in explain(f"{name} > {member}", one[1], two[1])]
    return lines


def main():
    with tempfile.TemporaryDirectory(prefix="tonerix-first-") as first, \
            tempfile.TemporaryDirectory(prefix="tonerix-second-") as second:
        one = build(first, 0o022)
        time.sleep(2)  # file times in seconds must be able to differ
        two = build(second, 0o077)
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
