"""The shipped 32-bit program under Wine's 32-bit half: a cancelled run removes nothing, and a
silent run removes the package without the confirmation, the completion message or its own
removal, while the question about a read-only file is still put; its patterns take the leftovers
and nothing else."""
import unittest

from harness import WIN32, read_pe_machine, box_text, require_win32
from test_installed_files import IDYES, MESSAGES, YES, InstalledFilesCase, readonly_prompt
from test_registry import read_registry_file

FOLDER = "C:\\Program Files (x86)\\Sample"
PROGRAM = FOLDER + "\\Remove.exe"
COMMON = "C:\\Program Files (x86)\\Common Files\\Sample"
BATCH = "C:\\Delme.bat"
SHARED_KEY = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
UNINSTALL = "Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sample"
USER_KEY = "Software\\Sample"


def setUpModule():
    require_win32()


class SilentAndCancelledTest(InstalledFilesCase):
    build = WIN32

    def test_cancel_keeps_everything_and_a_silent_run_then_removes_the_package(self):
        menu = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Sample"
        program = self.prefix.install_program(PROGRAM, manifest={
            "messages": MESSAGES,
            "files": [{"folder": ".\\bin", "name": "sample.exe"}, {"folder": ".\\data", "name": "report.txt"},
                      {"folder": COMMON, "name": "shared.dll", "flags": ["shared"]}],
            "folders": [{"folder": menu, "name": "Sample.lnk"}],
            "registry": [{"root": "HKLM", "path": "Software\\" + UNINSTALL}, {"root": "HKCU", "path": USER_KEY}],
            "patterns": [".tmp"],
        })
        self.assertEqual(read_pe_machine(program), 0x14C, "the program under test is the 32-bit one")
        package = [f"{FOLDER}\\bin\\sample.exe", f"{FOLDER}\\data\\report.txt", f"{COMMON}\\shared.dll", f"{menu}\\Sample.lnk"]
        for path in package:
            self.put(path, read_only=path.endswith("report.txt"))
        leftovers = [f"{FOLDER}\\cache\\x.tmp", f"{FOLDER}\\cache\\y.TMP"]
        # The user's own files, whose names only look like the pattern.
        own = [f"{FOLDER}\\cache\\x.tmp.txt", f"{FOLDER}\\tmp", f"{FOLDER}\\notes.txt"]
        for path in leftovers + own:
            self.put(path, b"made while it was used")
        self.import_registry({
            f"HKEY_LOCAL_MACHINE\\{SHARED_KEY}": {f"{COMMON}\\shared.dll": 2},
            f"HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\{UNINSTALL}": {"DisplayName": "Sample 1.0"},
            f"HKEY_CURRENT_USER\\{USER_KEY}": {"LastFolder": "C:\\Documents"},
        })
        self.trace(["user32.EndDialog"])

        # Cancel: the confirmation alone, and nothing removed.
        result = self.prefix.run(PROGRAM, actions=["press:2"])
        self.assertCleanRun(result)
        self.assertEqual(result.texts(), [MESSAGES["MSG_CONFIRM"]])
        self.assertTrue(self.prefix.finish())
        for path in package + leftovers + own + [PROGRAM]:
            self.assertTrue(self.exists(path), path)
        self.assertFalse(self.exists(BATCH))
        self.assertEqual(self.prefix.job_batches(), [])
        self.assertEqual(self.saved_key(SHARED_KEY), {f"{COMMON}\\shared.dll": "dword:00000002"})
        self.assertIsNotNone(self.saved_key(f"Software\\Wow6432Node\\{UNINSTALL}"))
        self.assertIn(USER_KEY.lower(), read_registry_file(self.prefix.path / "user.reg"))

        # Silent: only the read-only file's question; the package goes, but for the shared file
        # that another program still uses, and the program stays.
        result = self.prefix.run(PROGRAM, arguments=["/X"], actions=[YES])
        self.assertCleanRun(result)
        self.assertEqual([box_text(box) for box in result.boxes], [readonly_prompt(f"{FOLDER}\\data\\report.txt")])
        self.assertEqual(self.dialog_results(), [IDYES])
        self.assertTrue(self.prefix.finish())
        for path in package:
            self.assertEqual(self.exists(path), path.endswith("shared.dll"), path)
        self.assertFalse(self.exists(menu))
        self.assertEqual(self.saved_key(SHARED_KEY), {f"{COMMON}\\shared.dll": "dword:00000001"})
        self.assertIsNone(self.saved_key(f"Software\\Wow6432Node\\{UNINSTALL}"))
        self.assertNotIn(USER_KEY.lower(), read_registry_file(self.prefix.path / "user.reg"))
        for path in leftovers:
            self.assertFalse(self.exists(path), path)
        for path in own + [PROGRAM]:
            self.assertTrue(self.exists(path), path)
        self.assertEqual(sorted(p.name for p in self.prefix.unix(FOLDER).iterdir()), ["Remove.exe", "cache", "notes.txt", "tmp"])
        self.assertFalse(self.exists(BATCH))
        self.assertEqual(self.prefix.job_batches(), [])


if __name__ == "__main__":
    unittest.main()
