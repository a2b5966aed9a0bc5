"""What users install: the Debian and RPM packages, `cmake --install`, and the
Windows zip, each unpacked and run."""

import gzip
import os
import glob
import re
import subprocess
import tempfile
import unittest
import zipfile

from audio import read_wav, wav_capture
from harness import (ARCH, DRIVERS, EMULATOR, HELP_SCREEN, SOURCE_DIR as SOURCE, VERSION,
                     WINDOWS_DLLS, Wine, imported_dlls, run)

BUILD = os.environ.get("TONERIX_BUILD_DIR", "")
DEB_ARCH = os.environ.get("TONERIX_DEB_ARCH", "amd64")


def only(pattern):
    found = glob.glob(os.path.join(BUILD, pattern))
    if len(found) != 1:
        raise unittest.SkipTest(f"no single {pattern} in the build folder")
    return found[0]


class PackageCases:
    """What a Linux package must hold and do, checked on the one its subclass
    names: a clean lint, and the program, manual page, udev rule, licence and
    changelog unpacked and used."""

    pattern = lint = None

    @classmethod
    def setUpClass(cls):
        cls.package = only(cls.pattern)

    def test_linter_finds_no_error(self):
        result = run(self.lint + [self.package], timeout=300)
        self.assertEqual(result.returncode, 0, result.stdout.decode() + result.stderr.decode())

    def test_unpacked_program_runs(self):
        with tempfile.TemporaryDirectory() as root:
            self.unpack(root)
            program = os.path.join(root, "usr", "bin", "tonerix")
            result = run(EMULATOR + [program, "help"])
            self.assertEqual((result.returncode, result.stdout), (0, HELP_SCREEN))
            with wav_capture() as (env, wav):
                result = run(EMULATOR + [program, "440", "250"], env=env)
                self.assertEqual(result.returncode, 0)
                self.assertEqual(len(read_wav(wav)[3]), 12000)

            rule = os.path.join(root, "usr", "lib", "udev", "rules.d", "70-tonerix-pcspkr.rules")
            with open(rule) as f:
                self.assertIn('TAG+="uaccess"', f.read())
            docs = os.path.join(root, "usr", "share", "doc", "tonerix")
            self.assertEqual(sorted(os.listdir(docs)), ["changelog.gz", "copyright"])
            # The package's changelog and CHANGELOG.md list the same releases,
            # the program's own version first.
            with gzip.open(os.path.join(docs, "changelog.gz"), "rt") as f:
                packaged = re.findall(r"^tonerix \((\S+)\)", f.read(), re.M)
            with open(os.path.join(SOURCE, "CHANGELOG.md")) as f:
                self.assertEqual(re.findall(r"^## (\S+) ", f.read(), re.M), packaged)
            self.assertEqual(packaged[0], VERSION)
            page = os.path.join(root, "usr", "share", "man", "man1", "tonerix.1.gz")
            with gzip.open(page) as f:
                source = f.read()
            result = run(["groff", "-ww", "-z", "-man"], input=source)
            self.assertEqual((result.returncode, result.stderr), (0, b""))
            # The page and the README name the drivers as the driver table does.
            listed = re.search(r"^\.RB \( (pipewire .*)\);$", source.decode(), re.M).group(1)
            self.assertEqual([n.strip().replace("\\-", "-") for n in listed.split('", "')],
                             DRIVERS)
            with open(os.path.join(SOURCE, "README.md")) as f:
                readme = re.search(r"`TONERIX_DRIVER` picks one way: (.*?) \(", f.read(), re.S)
            self.assertEqual(re.findall(r"`([a-z-]+)`", readme.group(1)), DRIVERS)


class DebianPackage(PackageCases, unittest.TestCase):
    pattern = f"tonerix_*_{DEB_ARCH}.deb"
    lint = ["lintian", "--fail-on", "error,warning"]

    def unpack(self, root):
        run(["dpkg-deb", "-x", self.package, root], check=True)

    def test_metadata(self):
        fields = run(["dpkg-deb", "-f", self.package]).stdout.decode()
        self.assertRegex(fields, r"(?m)^Package: tonerix$")
        self.assertRegex(fields, r"(?m)^Depends: libc6 \(>= [0-9.]+\)$")
        self.assertRegex(fields, r"(?m)^Recommends: libpipewire-0.3-0 \| libpulse0, libasound2$")
        self.assertRegex(fields, rf"(?m)^Architecture: {DEB_ARCH}$")
        dynamic = run(["readelf", "-d", os.path.join(BUILD, "tonerix")]).stdout.decode()
        self.assertEqual(re.findall(r"\(NEEDED\).*\[(.*)\]", dynamic), ["libc.so.6"],
                         "nothing but the C library is linked")


class RpmPackage(PackageCases, unittest.TestCase):
    pattern = f"tonerix-*.{ARCH}.rpm"
    # rpmlint's settings, and why each error it would report does not apply.
    lint = ["rpmlint", "-c", os.path.join(SOURCE, "packaging", "rpm", "rpmlint.toml")]

    def unpack(self, root):
        archive = run(["rpm2cpio", self.package], check=True).stdout
        run(["cpio", "-idm", "--quiet", "-D", root], input=archive, check=True)

    def test_metadata(self):
        def query(fields):
            return run(["rpm", "-qp", self.package] + fields, check=True).stdout.decode()
        self.assertEqual(query(["--qf", "%{NAME} %{ARCH} %{BUILDHOST}"]),
                         f"tonerix {ARCH} tonerix.invalid")
        required = {line.split("(")[0] for line in query(["--requires"]).splitlines()
                    if not line.startswith(("rpmlib(", "rtld("))}
        self.assertEqual(required, {"libc.so.6"}, "the C library alone")
        self.assertEqual(query(["--suggests"]).split(),
                         ["libasound.so.2()(64bit)", "libpipewire-0.3.so.0()(64bit)",
                          "libpulse.so.0()(64bit)"])


class CmakeInstall(unittest.TestCase):
    def test_install_puts_program_and_manual_under_the_prefix(self):
        if not BUILD:
            raise unittest.SkipTest("no build folder")
        with tempfile.TemporaryDirectory() as prefix:
            run(["cmake", "--install", BUILD, "--prefix", prefix, "--strip"], check=True)
            program = os.path.join(prefix, "bin", "tonerix")
            self.assertTrue(os.access(program, os.X_OK))
            self.assertNotIn(b".symtab", run(["readelf", "-S", program]).stdout, "stripped")
            self.assertTrue(os.path.exists(
                os.path.join(prefix, "share", "man", "man1", "tonerix.1.gz")))
            result = run(["man", "--warnings", "-l",
                          os.path.join(prefix, "share", "man", "man1", "tonerix.1.gz")],
                         env=dict(os.environ, MANWIDTH="80"))
            self.assertEqual(result.returncode, 0)
            self.assertIn(b"ohne Parameter", result.stdout)
            self.assertEqual(result.stderr, b"")


class Diagnostics(unittest.TestCase):
    def test_every_debug_line_is_explained_in_the_readme_and_the_manual(self):
        # The words in the code's one list, a %s or %u standing for anything.
        with open(os.path.join(SOURCE, "src/platform/linux/tone/reasons.h")) as f:
            words = ["".join(re.findall(r'"([^"]*)"', literals)) for literals in
                     re.findall(r'constexpr char \w+\[\] =\s*((?:"[^"]*"\s*)+);', f.read())]
        patterns = [re.escape(w).replace("%s", ".+").replace("%u", ".+") for w in words]
        with open(os.path.join(SOURCE, "README.md")) as f:
            table = re.search(r"^## No sound\?$(.*?)^## ", f.read(), re.M | re.S).group(1)
        readme = re.findall(r"`([^`]+)`", "".join(re.findall(r"^\| (.*?) \| ", table, re.M)))
        with open(os.path.join(SOURCE, "docs", "tonerix.1")) as f:
            section = re.search(r"^\.SH DIAGNOSTICS$(.*?)^\.SH ", f.read(), re.M | re.S).group(1)
        manual = [w.replace("\\-", "-") for w in re.findall(r"^\.T[PQ]\n\.B (.*)$", section, re.M)]
        self.assertGreater(len(words), 40)
        for name, explained in (("README.md", readme), ("tonerix.1", manual)):
            with self.subTest(name):
                self.assertEqual([w for w, p in zip(words, patterns)
                                  if not any(re.fullmatch(p, e) for e in explained)], [],
                                 "printed, not explained")
                self.assertEqual([e for e in explained
                                  if not any(re.fullmatch(p, e) for p in patterns)], [],
                                 "explained, never printed")


class SourceTarball(unittest.TestCase):
    def test_builds_outside_git_into_the_same_program(self):
        if not BUILD:
            raise unittest.SkipTest("no build folder")
        # The working tree as a commit (HEAD when nothing is changed), so that
        # the tarball holds the sources the build folder's program came from.
        commit = run(["git", "stash", "create"], cwd=SOURCE).stdout.strip() or b"HEAD"
        with tempfile.TemporaryDirectory() as folder:
            tarball = run([os.path.join(SOURCE, "scripts", "source-tarball"), folder, commit],
                          check=True).stdout.decode().strip()
            run(["tar", "-xzf", tarball, "-C", folder], check=True)
            source = tarball[:-len(".tar.gz")]
            build = os.path.join(folder, "build")
            # No git above the unpacked sources, and no time from outside.
            env = {k: v for k, v in os.environ.items() if k != "SOURCE_DATE_EPOCH"}
            env["GIT_CEILING_DIRECTORIES"] = folder
            for step in (["cmake", "-S", source, "-B", build, "-G", "Ninja",
                          "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DTONERIX_WINDOWS=OFF"],
                         ["cmake", "--build", build],
                         ["ctest", "--test-dir", build, "-L", "cxx", "-j2"]):
                result = run(step, env=env, timeout=900)
                self.assertEqual(result.returncode, 0, result.stdout.decode()[-2000:])
            self.assertIn(b"100% tests passed", result.stdout)
            with open(os.path.join(build, "tonerix"), "rb") as ours, \
                    open(os.path.join(BUILD, "tonerix"), "rb") as theirs:
                self.assertTrue(ours.read() == theirs.read(),
                                "the tarball builds the checkout's program byte for byte")


class WindowsZip(unittest.TestCase):
    def test_zip_holds_program_and_readme_and_runs(self):
        archive = only(os.path.join("windows", "tonerix-*-win32.zip"))
        with zipfile.ZipFile(archive) as z:
            self.assertEqual(sorted(z.namelist()), ["LICENSE.txt", "README.txt", "tonerix.exe"])
            readme = z.read("README.txt")
            self.assertEqual(readme.count(b"\n"), readme.count(b"\r\n"), "Windows line ends")
            with tempfile.TemporaryDirectory() as folder:
                z.extractall(folder)
                self.assertEqual(imported_dlls(os.path.join(folder, "tonerix.exe")), WINDOWS_DLLS)
                Wine.require()
                Wine.boot()
                try:
                    result = Wine.run(["wine", os.path.join(folder, "tonerix.exe"), "help"],
                                      stderr=subprocess.DEVNULL)
                finally:
                    Wine.shut_down()
        self.assertEqual((result.returncode, result.stdout), (0, HELP_SCREEN))


if __name__ == "__main__":
    unittest.main()
