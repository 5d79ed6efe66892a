"""Unattended removal under Wine, as a deployment tool runs it: a quiet run (/Q) shows no window
of any kind and gives each question its safe answer, its exit code tells "everything the log
names is gone" (0) from "completed, but something stayed" (1) and "nothing done" (255), and it
removes the program itself as a confirmed run does. The report (/L=PATH) names every outcome with
its reason, at any path, quoted with blanks, dashes and slashes; a report that cannot be made
changes nothing about the removal. The report is never written through a link another user put
in its place, and a report the run makes lets only the running account, the administrators and
the system change it."""
import os
import unittest

from harness import EXIT_FAILED, job_in_report, private_descriptor
from test_folders import SHELL_FOLDERS_KEY, registry_values
from test_installed_files import COMMON, FOLDER, MESSAGES, PROGRAM, SHARED_KEY, InstalledFilesCase, readonly_prompt, shared_prompt
from test_registry import read_registry_file

EXIT_KEPT = 1
BATCH = "<job>\\Delme.bat"  # in a folder of its own in the temporary folder
NO = "press:7"
UNINSTALL = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sample"


class UnattendedCase(InstalledFilesCase):
    def report(self, windows_path):
        """The report's lines, each of which must end with CR LF."""
        self.assertTrue(self.prefix.unix(windows_path).is_file(), f"no report at {windows_path}")
        data = self.prefix.unix(windows_path).read_bytes()
        self.assertTrue(data.endswith(b"\r\n"), data[-200:])
        lines = data[:-2].split(b"\r\n")
        self.assertFalse(any(b"\r" in line or b"\n" in line for line in lines), data)
        return [job_in_report(line.decode("cp1252")) for line in lines]

    def assertNoWindow(self, result, code):
        """The run ended with the code and the helper saw no window of the program's at all."""
        self.assertCleanRun(result, code=code)
        self.assertEqual(result.boxes, [])
        self.assertEqual(result.seen["windows"], [])

    def batches(self):
        found = [p.name for p in self.prefix.unix("C:\\").iterdir() if p.suffix.lower() == ".bat"]
        return sorted(found + self.prefix.job_batches())


class QuietRunTest(UnattendedCase):
    def test_a_quiet_run_asks_nothing_keeps_what_it_may_not_remove_queues_what_is_in_use_and_says_why(self):
        plain, shared = f"{FOLDER}\\bin\\sample.exe", f"{COMMON}\\shared.dll"
        read_only, held = f"{FOLDER}\\data\\settings.ini", f"{FOLDER}\\data\\journal.db"
        self.install([{"folder": ".\\bin", "name": "sample.exe"}, {"folder": COMMON, "name": "shared.dll", "flags": ["shared"]},
                      {"folder": ".\\data", "name": "settings.ini"}, {"folder": ".\\data", "name": "journal.db"}])
        for path in (plain, shared, held):
            self.put(path)
        self.put(read_only, read_only=True)
        self.set_counts({shared: 1})
        release = self.prefix.hold(held)
        self.addCleanup(release)

        # The helper, started as for the quiet run, sees each of the three questions of a run
        # that may ask (each answered No): it would see them in the quiet run too.
        control = self.prefix.run(PROGRAM, arguments=["/X"], then=NO)
        self.assertCleanRun(control)
        self.assertEqual(control.texts(), [shared_prompt(shared), readonly_prompt(read_only), readonly_prompt(held)])
        self.assertEqual(len(control.seen["windows"]), 3, control.seen["windows"])
        # What that run changed is put back: the plain file, and the count it ran down.
        self.put(plain)
        self.set_counts({shared: 1})

        # A dash and a slash in an unquoted report path set no switch: "-x" would make the run
        # silent, and then the program would not delete itself.
        report = "C:\\Reports-x\\quiet-q/report.txt"
        self.prefix.unix("C:\\Reports-x\\quiet-q").mkdir(parents=True)
        result = self.prefix.run(PROGRAM, arguments=["/Q", f"-l={report}"])
        self.assertNoWindow(result, EXIT_KEPT)
        for path in (shared, read_only, held):
            self.assertTrue(self.exists(path), path)
        self.assertTrue(self.read_only(read_only))
        self.assertFalse(self.exists(plain))

        lines = self.report(report)
        self.assertEqual(lines[0], f"Tidewell removal report, code page 1252: {PROGRAM}")
        # The installed files come first, in the log's order, each with its reason.
        self.assertEqual(lines[1:6], [
            f"file removed: {plain}",
            f"shared file, no other package uses it (count 1 to 0): {shared}",
            f"file kept, shared, not asked in a quiet run: {shared}",
            f"file kept, read-only, not asked in a quiet run (error 5): {read_only}",
            f"file queued for the restart, in use, not asked in a quiet run (error 32): {held}",
        ])
        self.assertEqual(lines[-2:], [f"self-deletion scheduled: {BATCH}",
                                      "totals: 1 removed, 2 kept, 0 missing, 1 queued for the restart, restart needed"])

        release()
        self.assertTrue(self.prefix.finish(), "a process of the prefix was still running: the job did not end")
        self.assertFalse(self.exists(PROGRAM), "the quiet run did not remove the program")
        self.assertEqual(self.batches(), [])
        for path in (shared, read_only, held):
            self.assertTrue(self.exists(path), path)
        self.assertEqual(self.saved_key(SHARED_KEY), {shared: "dword:00000000"})
        # The restart takes the held file, and only it: the others stay, and so does their folder.
        self.assertTrue(self.prefix.restart())
        self.assertFalse(self.exists(held))
        for path in (shared, read_only):
            self.assertTrue(self.exists(path), path)

    def test_a_quiet_run_of_a_clean_package_removes_all_of_it_and_itself(self):
        programs = registry_values(self.prefix.path / "user.reg", SHELL_FOLDERS_KEY)["Programs"]
        menu = f"{programs}\\Sample"
        present = [f"{FOLDER}\\bin\\sample.exe", f"{FOLDER}\\bin\\sample.dll", f"{FOLDER}\\data\\readme.txt"]
        self.prefix.install_program(PROGRAM, manifest={
            "messages": MESSAGES,
            "files": [{"folder": ".\\bin", "name": "sample.exe"}, {"folder": ".\\bin", "name": "sample.dll"},
                      {"folder": ".\\data", "name": "readme.txt"}, {"folder": ".\\data", "name": "gone.txt"}],
            "folders": [{"folder": menu, "name": "Sample.lnk"}, {"folder": menu, "name": "Read Me.lnk"}],
            "registry": [{"root": "HKLM", "path": UNINSTALL}, {"root": "HKCU", "path": "Software\\Sample"},
                         {"root": "HKCU", "path": "Software\\Tidewell Shared\\\\SampleVersion"},
                         {"root": "HKCU", "path": "Software\\Sample Gone"}],
            "patterns": [".tmp"],
        })
        for path in present + [f"{menu}\\Sample.lnk", f"{menu}\\Read Me.lnk"]:
            self.put(path)
        self.put(f"{FOLDER}\\cache\\a.tmp", b"left over")
        self.import_registry({
            f"HKEY_LOCAL_MACHINE\\{UNINSTALL}": {"DisplayName": "Sample 1.0"},
            "HKEY_CURRENT_USER\\Software\\Sample": {"LastFolder": "C:\\Documents"},
            "HKEY_CURRENT_USER\\Software\\Tidewell Shared": {"SampleVersion": "1.0", "OtherVersion": "2.5"},
        })
        report = "C:\\Reports\\clean.txt"
        self.prefix.unix("C:\\Reports").mkdir()

        result = self.prefix.run(PROGRAM, arguments=["/Q", f"/L={report}"])
        self.assertNoWindow(result, 0)
        self.assertTrue(self.prefix.finish(), "a process of the prefix was still running: the job did not end")
        self.assertFalse(self.exists(FOLDER), "the package's folder, or the program in it, stayed")
        self.assertFalse(self.exists(menu))
        self.assertEqual(self.batches(), [])
        self.assertIsNone(self.saved_key(UNINSTALL))
        user = read_registry_file(self.prefix.path / "user.reg")
        self.assertNotIn("software\\sample", user)
        self.assertEqual(user["software\\tidewell shared"], {'"OtherVersion"="2.5"'})

        self.assertEqual(self.report(report), [
            f"Tidewell removal report, code page 1252: {PROGRAM}",
            *[f"file removed: {path}" for path in present[:3]],
            f"file missing: {FOLDER}\\data\\gone.txt",
            # The sweep takes the leftover and the three folders left empty (cache, bin, data),
            # so there is nothing left to prune; the program is still in its folder.
            f"folder left to the self-deletion, which removes it once empty: {FOLDER}",
            "sweep: 1 files removed, 0 files kept, 3 folders removed",
            f"shortcut removed: {menu}\\Sample.lnk",
            f"folder kept, not empty: {menu}",
            f"shortcut removed: {menu}\\Read Me.lnk",
            f"folder removed: {menu}",
            f"registry key removed: HKLM\\{UNINSTALL}",
            "registry key removed: HKCU\\Software\\Sample",
            "registry value removed: HKCU\\Software\\Tidewell Shared\\\\SampleVersion",
            "registry key missing: HKCU\\Software\\Sample Gone",
            f"self-deletion scheduled: {BATCH}",
            "totals: 8 removed, 0 kept, 2 missing",
        ])

    def test_a_quiet_run_with_a_damaged_log_shows_nothing_and_removes_nothing(self):
        program = self.prefix.install_program(PROGRAM, manifest={"messages": MESSAGES, "files": [
            {"folder": ".\\bin", "name": "sample.exe"}]})
        program.write_bytes(program.read_bytes()[:-8])  # the log now ends before its end block
        self.put(f"{FOLDER}\\bin\\sample.exe")
        report = "C:\\Reports\\damaged.txt"
        self.prefix.unix("C:\\Reports").mkdir()

        result = self.prefix.run(PROGRAM, arguments=["/Q", f"/L={report}"])
        self.assertNoWindow(result, EXIT_FAILED)
        self.assertTrue(self.prefix.finish())
        self.assertTrue(self.exists(f"{FOLDER}\\bin\\sample.exe"))
        self.assertTrue(self.exists(PROGRAM))
        self.assertEqual(self.batches(), [])
        self.assertEqual(self.report(report), [f"Tidewell removal report, code page 1252: {PROGRAM}",
                                               f"nothing removed, the log is damaged: {PROGRAM}",
                                               "totals: 0 removed, 0 kept, 0 missing"])


class ReportPathTest(UnattendedCase):
    def install_package(self):
        files = [f"{FOLDER}\\bin\\sample.exe", f"{FOLDER}\\data\\readme.txt"]
        self.install([{"folder": ".\\bin", "name": "sample.exe"}, {"folder": ".\\data", "name": "readme.txt"}])
        for path in files:
            self.put(path)
        return files

    def drive_c(self):
        return sorted(p.name for p in self.prefix.unix("C:\\").iterdir())

    def test_a_quoted_path_with_blanks_dashes_and_slashes_is_taken_whole_and_sets_no_switch(self):
        files = self.install_package()
        # The slash is a folder separator: the report lies in ...\log\x-q.txt. Read as switches,
        # " -x", " -q" or "/x" would leave out the confirmation; the first blank is followed by
        # one of them, so that a scan that goes on inside the path at all meets it.
        report = "C:\\Deploy -x -q\\Sample - Reports\\log/x-q.txt"
        self.prefix.unix("C:\\Deploy -x -q\\Sample - Reports\\log").mkdir(parents=True)
        before = self.drive_c()

        result = self.prefix.run(PROGRAM, argument_text=f'/L="{report}"', actions=["press:1", "press:1"])
        self.assertCleanRun(result)
        self.assertEqual(result.texts(), [MESSAGES["MSG_CONFIRM"], MESSAGES["MSG_DONE"]])
        self.assertTrue(self.prefix.finish(), "a process of the prefix was still running: the job did not end")
        for path in files:
            self.assertFalse(self.exists(path), path)
        self.assertFalse(self.exists(PROGRAM), "the run was taken for a silent one: the program stayed")
        self.assertEqual(self.drive_c(), before, "a file or folder was made in C:\\ (a cut path)")

        lines = self.report("C:\\Deploy -x -q\\Sample - Reports\\log\\x-q.txt")
        self.assertEqual(lines[0], f"Tidewell removal report, code page 1252: {PROGRAM}")
        self.assertEqual(lines[1:3], [f"file removed: {path}" for path in files])
        self.assertEqual(lines[-2:], [f"self-deletion scheduled: {BATCH}", "totals: 2 removed, 0 kept, 0 missing"])

    def test_a_report_that_cannot_be_made_changes_nothing_about_the_removal(self):
        files = self.install_package()
        before = self.drive_c()
        result = self.prefix.run(PROGRAM, argument_text='/Q /L="C:\\No Such Folder\\removal report.txt"')
        self.assertNoWindow(result, 0)
        self.assertTrue(self.prefix.finish(), "a process of the prefix was still running: the job did not end")
        for path in files:
            self.assertFalse(self.exists(path), path)
        self.assertFalse(self.exists(FOLDER), "the package's folder, or the program in it, stayed")
        self.assertEqual(self.drive_c(), before)

    def test_the_report_is_never_written_through_a_link_and_a_new_one_is_the_administrators(self):
        """Users may make folders under ProgramData: one made the report's folder there, with the
        report's name a link to a file of the system folder, and another folder as a link to a
        folder of the system's. Wine has one account, keeps no access list and enforces none:
        that nobody else may change the new report is shown by the descriptor the run gave the
        system for it, not by another account's attempt."""
        files = self.install_package()
        victims = {"C:\\windows\\system32\\twvictim.txt": b"the system's own file\r\n",
                   "C:\\windows\\twlogs\\r.txt": b"the system's own log\r\n"}
        for path, content in victims.items():
            self.prefix.write(path, content)
        logs = self.prefix.unix("C:\\ProgramData\\Deploy Logs")
        logs.mkdir(parents=True)
        os.symlink(self.prefix.unix("C:\\windows\\system32\\twvictim.txt"), logs / "r.txt")
        os.symlink(self.prefix.unix("C:\\windows\\twlogs"), self.prefix.unix("C:\\ProgramData\\Linked Logs"),
                   target_is_directory=True)

        # Silent as well as quiet, so that the program stays for the next run; each run goes on
        # without its report and ends as it would have with one.
        for report, code in (("C:\\ProgramData\\Deploy Logs\\r.txt", 0), ("C:\\ProgramData\\Linked Logs\\r.txt", 0)):
            result = self.prefix.run(PROGRAM, argument_text=f'/Q /X /L="{report}"')
            self.assertNoWindow(result, code)
            for path, content in victims.items():
                self.assertEqual(self.prefix.unix(path).read_bytes(), content, f"{path} written through {report}")
            for path in files:
                self.assertFalse(self.exists(path), path)
        self.assertTrue((logs / "r.txt").is_symlink())
        self.assertEqual(sorted(os.listdir(self.prefix.unix("C:\\windows\\twlogs"))), ["r.txt"])

        # A report of its own: the descriptor the run gives it, as the Wine server received it.
        self.prefix.unix("C:\\ProgramData\\Reports").mkdir()
        report = "C:\\ProgramData\\Reports\\new.txt"
        code, trace = self.prefix.server_trace(PROGRAM, ["/Q", "/X", f"/L={report}"])
        self.assertEqual(code, 0)
        self.assertEqual(self.report(report)[0], f"Tidewell removal report, code page 1252: {PROGRAM}")
        made = [line for line in trace if "create_file(" in line and "/ProgramData/Reports/new.txt" in line]
        self.assertEqual(len(made), 1, made)
        self.assertIsNotNone(private_descriptor(made[0]), made[0])

if __name__ == "__main__":
    unittest.main()
