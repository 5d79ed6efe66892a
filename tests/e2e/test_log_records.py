"""The log's records under Wine: the example log of a small package loads, and every damaged
test log is refused with the damaged-log box and exit status -1."""
import subprocess
import unittest

from harness import EXIT_FAILED, HOST_DIR, PrefixTestCase

INSTALL_DIR = "C:\\Program Files\\Faro"
PROGRAM = INSTALL_DIR + "\\Remove.exe"
FIXTURE_TOOL = str(HOST_DIR / "tw-fixture")


def fixture_log(name):
    """The named test log's bytes, as tw-fixture writes them."""
    return subprocess.run([FIXTURE_TOOL, "write", name, "/dev/stdout"], check=True, capture_output=True).stdout


def fixture_names():
    """The damaged logs' names and what is wrong with each."""
    listing = subprocess.run([FIXTURE_TOOL, "list"], check=True, capture_output=True, text=True).stdout
    rows = [line.split("\t", 1) for line in listing.splitlines()]
    return [(name, damage) for name, damage in rows if damage != "sound"]


def example_files():
    """The example log's nine installed files, as paths on C:."""
    listing = subprocess.run([FIXTURE_TOOL, "files"], check=True, capture_output=True, text=True).stdout
    return [INSTALL_DIR + "\\" + line[len(".\\"):] for line in listing.splitlines()]


# The example catalogue's texts (Windows-1252 in the log), as the boxes show them.
TITLE = "Faro v2.1"
BAD_LOG = ("El registro de desinstalación está dañado o incompleto. No se puede seguir; "
           "vuelva a instalar el programa.")


class ExampleLogTest(PrefixTestCase):
    def test_a_silent_run_of_the_example_removes_its_nine_files_and_exits_0(self):
        files = example_files()
        self.assertEqual(len(files), 9)
        for path in files:
            self.prefix.write(path, "installed")
        self.prefix.install_program(PROGRAM, log=fixture_log("example"))
        result = self.prefix.run(PROGRAM, arguments=["/X"])
        self.assertCleanRun(result)
        self.assertEqual(result.boxes, [])
        for path in files:
            self.assertFalse(self.prefix.unix(path).exists(), path)
        self.assertTrue(self.prefix.unix(PROGRAM).exists(), "a silent run keeps the program")


class DamagedLogTest(PrefixTestCase):
    def test_every_damaged_log_shows_the_damaged_log_box_and_exits_minus_1(self):
        names = fixture_names()
        self.assertGreater(len(names), 10)
        for name, damage in names:
            with self.subTest(name, damage=damage):
                self.prefix.install_program(PROGRAM, log=fixture_log(name))
                result = self.prefix.run(PROGRAM, arguments=["/X"], actions=["press:1"])
                self.assertCleanRun(result, code=EXIT_FAILED)
                self.assertEqual(result.texts(), [BAD_LOG])
                self.assertEqual(result.boxes[0]["caption"], TITLE)


if __name__ == "__main__":
    unittest.main()
