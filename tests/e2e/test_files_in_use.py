"""Files in use under Wine: the package's own program still running is closed first when the
person agrees, one that will not close is left running and its file goes at the next restart, a
file another program holds in a quiet run waits for the restart too and the exit code says so
(3010), and nothing restarts unless the person asks. Wine refuses to delete a running program's
file as Windows does, and its wineboot carries out the queued deletions, so the restart is real."""
import time
import unittest

from test_installed_files import FOLDER, MESSAGES, OK, PROGRAM, NO, YES, InstalledFilesCase
from test_unattended import UnattendedCase

APP = f"{FOLDER}\\bin\\tw-auto-app.exe"
CLOSE_APPS, RESTART = MESSAGES["MSG_CLOSE_APPS"], MESSAGES["MSG_RESTART"]
# Wine hands a program's exit code to Linux cut to its low byte: 3010 arrives as 194.
EXIT_RESTART = 3010 & 0xFF
REPORT = "C:\\removal.txt"
# Outside the package: what a restart must leave alone.
BYSTANDERS = ["C:\\Program Files\\Other\\keep.txt", "C:\\keep.txt"]


class FilesInUseCase(UnattendedCase):
    def install(self, files):
        self.prefix.install_program(PROGRAM, manifest={"messages": MESSAGES, "files": files})
        for path in BYSTANDERS:
            self.put(path)

    def holding_folders(self):
        """Folders at the drive's root that the run made for files waiting for the restart."""
        return [p.name for p in self.prefix.unix("C:\\").iterdir() if p.is_dir() and p.name.startswith("tw")]

    def assertOnlyPackageGone(self):
        for path in BYSTANDERS:
            self.assertTrue(self.exists(path), path)
        self.assertTrue(self.exists("C:\\Program Files"))
        self.assertFalse(self.exists(FOLDER), "the package's folder stayed")
        self.assertEqual(self.holding_folders(), [])


class RunningProgramTest(FilesInUseCase):
    def test_yes_closes_the_packages_program_and_the_whole_package_goes(self):
        self.install([{"folder": ".\\bin", "name": "tw-auto-app.exe"}, {"folder": ".\\bin", "name": "readme.txt"}])
        self.put(f"{FOLDER}\\bin\\readme.txt")
        app, end = self.prefix.start_app(APP)
        self.addCleanup(end)

        result = self.prefix.run(PROGRAM, actions=[OK, YES, OK])
        self.assertCleanRun(result)
        self.assertEqual(result.texts(), [MESSAGES["MSG_CONFIRM"], CLOSE_APPS.replace("%s", "tw-auto-app.exe"),
                                          MESSAGES["MSG_DONE"]])
        self.assertEqual(app.wait(timeout=30), 0, "the package's program did not end")
        self.assertTrue(self.prefix.finish(), "a process of the prefix was still running")
        self.assertFalse(self.exists(PROGRAM), "the uninstaller did not remove itself")
        self.assertOnlyPackageGone()

    def test_a_program_that_will_not_close_is_left_running_and_its_file_goes_at_the_restart(self):
        self.install([{"folder": ".\\bin", "name": "tw-auto-app.exe"}])
        app, end = self.prefix.start_app(APP, ignore_close=True)
        self.addCleanup(end)

        # Confirm; close the programs: Yes; the refused file: Yes; done; restart: No.
        started = time.time()
        result = self.prefix.run(PROGRAM, argument_text=f"/L={REPORT}", actions=[OK, YES, YES, OK, NO])
        seconds = time.time() - started
        self.assertCleanRun(result)
        self.assertEqual(result.texts()[-2:], [MESSAGES["MSG_DONE"], RESTART])
        self.assertGreater(seconds, 9, "the run did not wait for the program to close")
        self.assertLess(seconds, 60)
        # No restart: the program that would not close still runs; it was never killed.
        self.assertIsNone(app.poll(), "the program was ended")
        lines = self.report(REPORT)
        self.assertIn(f"program still running, not closed within 10 s: {APP}", lines)
        queued = [line for line in lines if line.startswith("file queued for the restart, in use, answered Yes")]
        self.assertEqual(len(queued), 1, lines)
        self.assertTrue(queued[0].endswith(f": {APP}"), queued[0])
        self.assertTrue(lines[-1].endswith(", 1 queued for the restart, restart needed"), lines[-1])

        end()
        self.assertTrue(self.prefix.restart(), "a process of the prefix was still running after the restart")
        self.assertFalse(self.exists(APP))
        self.assertFalse(self.exists(PROGRAM))
        self.assertOnlyPackageGone()


class QuietHeldFileTest(FilesInUseCase):
    def test_a_held_file_in_a_quiet_run_waits_for_the_restart_and_the_exit_code_says_so(self):
        held, plain = f"{FOLDER}\\data\\journal.db", f"{FOLDER}\\bin\\sample.exe"
        self.install([{"folder": ".\\bin", "name": "sample.exe"}, {"folder": ".\\data", "name": "journal.db"}])
        self.put(held)
        self.put(plain)
        release = self.prefix.hold(held)
        self.addCleanup(release)

        result = self.prefix.run(PROGRAM, arguments=["/Q", f"/L={REPORT}"])
        self.assertNoWindow(result, EXIT_RESTART)
        lines = self.report(REPORT)
        self.assertEqual(lines[1:3], [f"file removed: {plain}",
                                      f"file queued for the restart, in use, not asked in a quiet run (error 32): {held}"])
        # The folders that stay only for it follow it, deepest first; the protected one does not.
        self.assertIn(f"folder queued for the restart: {FOLDER}\\data", lines)
        self.assertLess(lines.index(f"folder queued for the restart: {FOLDER}\\data"),
                        lines.index(f"folder queued for the restart: {FOLDER}"))
        self.assertEqual(lines[-1], "totals: 1 removed, 0 kept, 0 missing, 1 queued for the restart, restart needed")

        release()
        self.assertTrue(self.prefix.finish(), "a process of the prefix was still running: the job did not end")
        self.assertFalse(self.exists(PROGRAM))
        self.assertTrue(self.exists(held), "the held file went before the restart")
        self.assertTrue(self.prefix.restart())
        self.assertFalse(self.exists(held))
        self.assertOnlyPackageGone()


if __name__ == "__main__":
    unittest.main()
