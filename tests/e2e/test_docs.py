"""The documentation follows the code: the driver names in the README and
the manual page are the driver table's, in its order."""

import os
import re
import unittest

from harness import DRIVERS

TOP = os.path.join(os.path.dirname(__file__), "..", "..")


def read(*path):
    with open(os.path.join(TOP, *path), encoding="utf-8") as f:
        return f.read()


class DriverNames(unittest.TestCase):
    def test_each_list_of_drivers_is_the_table(self):
        readme = re.search(r"`TONERIX_DRIVER` picks one way: (.*?) \(", read("README.md"), re.S)
        page = re.search(r"^\.RB \( (pipewire .*)\);$", read("docs", "tonerix.1"), re.M)
        lists = {"README.md": re.findall(r"`([a-z-]+)`", readme.group(1)),
                 "tonerix.1": [name.strip().replace("\\-", "-")
                               for name in page.group(1).split('", "')]}
        for where, names in lists.items():
            with self.subTest(where):
                self.assertEqual(names, DRIVERS)


if __name__ == "__main__":
    unittest.main()
