"""The shipped 32-bit program under Wine's 32-bit half, run as a deployment tool runs it: a quiet
run with a report shows no window, keeps the read-only file it may not ask about, says so in its
report and its exit code, removes the rest of the package (its key in the 32-bit registry view
among it) and then the program itself; a file another program holds goes at the restart, and the
exit code says a restart is needed."""
import unittest

from harness import WIN32, job_in_report, read_pe_machine, require_win32
from test_installed_files import MESSAGES, InstalledFilesCase

FOLDER = "C:\\Program Files (x86)\\Sample"
PROGRAM = FOLDER + "\\Remove.exe"
UNINSTALL = "Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sample"
REPORT = "C:\\Reports\\sample-removal.txt"
EXIT_KEPT = 1
EXIT_RESTART = 3010 & 0xFF  # Wine hands the exit code to Linux cut to its low byte


def setUpModule():
    require_win32()


class QuietRunTest(InstalledFilesCase):
    build = WIN32

    def test_a_quiet_run_reports_what_it_kept_and_removes_the_rest_and_itself(self):
        plain, read_only = f"{FOLDER}\\bin\\sample.exe", f"{FOLDER}\\data\\settings.ini"
        program = self.prefix.install_program(PROGRAM, manifest={
            "messages": MESSAGES,
            "files": [{"folder": ".\\bin", "name": "sample.exe"}, {"folder": ".\\data", "name": "settings.ini"}],
            "registry": [{"root": "HKLM", "path": "Software\\" + UNINSTALL}],
        })
        self.assertEqual(read_pe_machine(program), 0x14C, "the program under test is the 32-bit one")
        self.put(plain)
        self.put(read_only, read_only=True)
        self.import_registry({f"HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\{UNINSTALL}": {"DisplayName": "Sample 1.0"}})
        self.prefix.unix("C:\\Reports").mkdir()

        result = self.prefix.run(PROGRAM, arguments=["/Q", f"/L={REPORT}"])
        self.assertCleanRun(result, code=EXIT_KEPT)
        self.assertEqual(result.boxes, [])
        self.assertEqual(result.seen["windows"], [])
        self.assertTrue(self.prefix.finish(), "a process of the prefix was still running: the batch job did not end")

        self.assertFalse(self.exists(plain))
        self.assertTrue(self.exists(read_only))
        self.assertIsNone(self.saved_key(f"Software\\Wow6432Node\\{UNINSTALL}"))
        self.assertFalse(self.exists(PROGRAM), "the quiet run did not remove the program")
        self.assertEqual(self.prefix.job_batches(), [])

        data = self.prefix.unix(REPORT).read_bytes()
        self.assertTrue(data.endswith(b"\r\n"))
        lines = [job_in_report(line) for line in data[:-2].decode("cp1252").split("\r\n")]
        self.assertEqual(lines[:3], [f"Tidewell removal report, code page 1252: {PROGRAM}", f"file removed: {plain}",
                                     f"file kept, read-only, not asked in a quiet run (error 5): {read_only}"])
        self.assertIn(f"registry key removed: HKLM\\Software\\{UNINSTALL}", lines)
        self.assertEqual(lines[-2:], ["self-deletion scheduled: <job>\\Delme.bat", "totals: 2 removed, 1 kept, 0 missing"])


    def test_a_file_held_open_goes_at_the_restart_and_the_exit_code_says_so(self):
        held = f"{FOLDER}\\data\\journal.db"
        self.prefix.install_program(PROGRAM, manifest={"messages": MESSAGES, "files": [{"folder": ".\\data", "name": "journal.db"}]})
        self.put(held)
        release = self.prefix.hold(held)
        self.addCleanup(release)
        self.prefix.unix("C:\\Reports").mkdir()

        result = self.prefix.run(PROGRAM, arguments=["/Q", f"/L={REPORT}"])
        self.assertCleanRun(result, code=EXIT_RESTART)
        self.assertEqual(result.seen["windows"], [])
        lines = self.prefix.unix(REPORT).read_bytes().decode("cp1252").split("\r\n")
        self.assertEqual(lines[1], f"file queued for the restart, in use, not asked in a quiet run (error 32): {held}")
        self.assertIn("1 queued for the restart, restart needed", lines[-2])

        release()
        self.assertTrue(self.prefix.restart())
        self.assertFalse(self.exists(held))
        self.assertFalse(self.exists(FOLDER))


if __name__ == "__main__":
    unittest.main()
