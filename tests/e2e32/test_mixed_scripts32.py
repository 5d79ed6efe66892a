"""The shipped 32-bit program and tool under Wine's 32-bit half with the package that mixes
Japanese, Greek and Cyrillic: attached by the 32-bit tidewell-log.exe into the 32-bit view, listed
by Wine's own list of installed programs and removed whole through it, its boxes showing its
texts as written, as with the 64-bit twin."""
import unittest

import test_mixed_scripts
from harness import WIN32, read_pe_machine, require_win32
from installer import STUB, TOOL, VIEW32


def setUpModule():
    require_win32()


class MixedScripts32Test(test_mixed_scripts.MixedScriptsTest):
    build = WIN32
    program_files = "C:\\Program Files (x86)"
    software = VIEW32

    def test_a_package_in_three_scripts_is_listed_and_removed_whole_through_the_list(self):
        super().test_a_package_in_three_scripts_is_listed_and_removed_whole_through_the_list()
        for ran in (TOOL, STUB):
            self.assertEqual(read_pe_machine(self.prefix.unix(ran)), 0x14C, f"{ran} is the 32-bit build")


if __name__ == "__main__":
    unittest.main()
