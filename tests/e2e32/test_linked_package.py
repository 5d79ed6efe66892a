"""The shipped 32-bit program under Wine's 32-bit half never follows a link in the package's folder
tree: with a package folder replaced by a link to a folder elsewhere, nothing behind the link is
deleted, loaded, unregistered or pruned, and the package's own files go, as with its 64-bit twin.
Nor does it follow the links another user could plant for an elevated run: a dotted twin beside a
link in a package folder, a folder under the machine's application data replaced by a link."""
import unittest

import test_containment
from harness import WIN32, read_pe_machine, require_win32


def setUpModule():
    require_win32()


class LinkedPackageFolderTest(test_containment.LinkedPackageFolderTest):
    build = WIN32

    def package_folder(self):
        return "C:\\Program Files (x86)\\Tideway Maps"

    def test_nothing_behind_a_linked_package_folder_goes(self):
        super().test_nothing_behind_a_linked_package_folder_goes()
        program = self.prefix.unix(f"{self.package_folder()}\\Remove.exe")
        self.assertEqual(read_pe_machine(program), 0x14C, "the program under test is the 32-bit one")


class PlantedLinkTest(test_containment.PlantedLinkTest):
    build = WIN32


if __name__ == "__main__":
    unittest.main()
