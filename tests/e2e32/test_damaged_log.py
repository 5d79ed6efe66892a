"""The shipped 32-bit program under Wine's 32-bit half refuses a damaged log: the damaged-log box,
without an owner, names its own path, and the program ends with exit status -1, touching
nothing."""
import unittest

from harness import EXIT_FAILED, WIN32, PrefixTestCase, read_pe_machine, require_win32
from test_run import MESSAGES

PROGRAM = "C:\\Program Files (x86)\\Sample\\Remove.exe"


def setUpModule():
    require_win32()


class DamagedLogTest(PrefixTestCase):
    build = WIN32

    def test_a_damaged_log_is_reported_with_the_program_path(self):
        program = self.prefix.install_program(PROGRAM, manifest={"messages": MESSAGES, "files": [
            {"folder": ".\\bin", "name": "sample.exe"}]})
        self.assertEqual(read_pe_machine(program), 0x14C, "the program under test is the 32-bit one")
        program.write_bytes(program.read_bytes()[:-8])  # the log now ends before its end block
        self.prefix.write(f"{PROGRAM.rpartition(chr(92))[0]}\\bin\\sample.exe", "installed")

        result = self.prefix.run(PROGRAM, actions=["press:1"])
        self.assertCleanRun(result, code=EXIT_FAILED)
        self.assertEqual(result.texts(), [f"The uninstall information in {PROGRAM} is damaged."])
        box = result.boxes[0]
        self.assertEqual(box["caption"], MESSAGES["MSG_TITLE"])
        self.assertEqual(box["owner_class"], "")
        self.assertEqual([c["text"] for c in box["controls"] if c["class"] == "Button"], ["OK"])
        self.assertTrue(self.prefix.finish())
        self.assertTrue(self.prefix.unix(f"{PROGRAM.rpartition(chr(92))[0]}\\bin\\sample.exe").exists())
        self.assertTrue(self.prefix.unix(PROGRAM).exists())
        self.assertFalse(self.prefix.unix("C:\\Delme.bat").exists())


if __name__ == "__main__":
    unittest.main()
