"""The program's own removal under Wine: after a confirmed run the hidden batch job deletes the
program file, removes the installation folder when it is empty and deletes itself; nothing
else is touched, whatever the folder is called. The batch lies in a folder of its own in the
temporary folder, made with rights for the account, the administrators and the system only;
a program planted under the interpreter's name never runs. A protected installation folder
stays, a program file the job could never delete starts no job, and a user's own file of the
batch's name is left as it was."""
import re
import shutil
import unittest

from harness import PrefixTestCase, private_descriptor
from test_folders import SHELL_FOLDERS_KEY, registry_values

FOLDER = "C:\\Program Files\\Sample"
PROGRAM = FOLDER + "\\Remove.exe"
BATCH = "C:\\Delme.bat"  # a file of the user's: the NT job makes its own folder
MESSAGES = {
    "MSG_TITLE": "Sample Uninstall",
    "MSG_CONFIRM": "Remove Sample and all of its components?",
    "MSG_DONE": "Sample has been removed.",
}


class SelfDeleteCase(PrefixTestCase):
    def install(self, program=PROGRAM, read_only=False):
        path = self.prefix.install_program(program, manifest={"messages": MESSAGES})
        if read_only:
            path.chmod(0o444)
        return path

    def exists(self, windows_path):
        return self.prefix.unix(windows_path).exists()

    def confirm(self, program=PROGRAM):
        result = self.prefix.run(program, actions=["press:1", "press:1"])
        self.assertCleanRun(result)
        self.assertEqual(result.texts(), [MESSAGES["MSG_CONFIRM"], MESSAGES["MSG_DONE"]])
        self.assertTrue(self.prefix.finish(), "a process of the prefix was still running: the job did not end")

    def batches(self):
        """The batch files in the root folder of drive C: and what the job folders still hold."""
        found = [p.name for p in self.prefix.unix("C:\\").iterdir() if p.suffix.lower() == ".bat"]
        return sorted(found + self.prefix.job_batches())


class SelfDeleteTest(SelfDeleteCase):
    def test_a_confirmed_run_removes_the_program_its_empty_folder_and_the_batch(self):
        self.install()
        self.confirm()
        self.assertFalse(self.exists(PROGRAM))
        self.assertFalse(self.exists(FOLDER))
        self.assertFalse(self.exists(BATCH))
        self.assertTrue(self.exists("C:\\Program Files"))

    def test_a_folder_that_still_holds_a_file_stays(self):
        self.install()
        self.prefix.write(FOLDER + "\\notes.txt", "kept")
        self.confirm()
        self.assertFalse(self.exists(PROGRAM))
        self.assertFalse(self.exists(BATCH))
        self.assertEqual(sorted(p.name for p in self.prefix.unix(FOLDER).iterdir()), ["notes.txt"])

    def test_a_read_only_program_file_is_removed_too(self):
        self.install(read_only=True)
        self.confirm()
        self.assertFalse(self.exists(PROGRAM))
        self.assertFalse(self.exists(FOLDER))
        self.assertFalse(self.exists(BATCH))

    def test_a_cancelled_run_leaves_the_program_and_its_folder(self):
        self.install()
        result = self.prefix.run(PROGRAM, actions=["press:2"])
        self.assertCleanRun(result)
        self.assertTrue(self.prefix.finish())
        self.assertTrue(self.exists(PROGRAM))
        self.assertFalse(self.exists(BATCH))

    def test_a_silent_run_leaves_the_program_and_its_folder(self):
        self.install()
        result = self.prefix.run(PROGRAM, arguments=["/X"])
        self.assertCleanRun(result)
        self.assertTrue(self.prefix.finish())
        self.assertTrue(self.exists(PROGRAM))
        self.assertFalse(self.exists(BATCH))

    def test_an_ampersand_in_the_folder_name_touches_nothing_outside_it(self):
        # Unquoted, "del C:\R&D\Remove.exe" would delete what C:\R holds and run the rest.
        program = "C:\\R&D\\Remove.exe"
        self.install(program)
        self.prefix.write("C:\\R\\keep.txt", "decoy")
        self.prefix.write("C:\\R&D Tools\\keep.txt", "neighbour")
        self.confirm(program)
        self.assertEqual(self.prefix.unix("C:\\R\\keep.txt").read_text(), "decoy")
        self.assertEqual(self.prefix.unix("C:\\R&D Tools\\keep.txt").read_text(), "neighbour")
        self.assertFalse(self.exists(program))
        self.assertFalse(self.exists("C:\\R&D"))
        self.assertFalse(self.exists(BATCH))

    def test_percent_signs_and_parentheses_in_the_folder_name_are_taken_literally(self):
        # A valid short name, so it reaches the batch as it is; expanded, %OS% would name the
        # decoys instead.
        folder = "C:\\%OS%&(1)"
        program = folder + "\\Remove.exe"
        self.install(program)
        self.prefix.write("C:\\Windows_NT&(1)\\Remove.exe", "decoy")
        self.prefix.write("C:\\Windows_NT\\keep.txt", "decoy")
        self.confirm(program)
        self.assertEqual(self.prefix.unix("C:\\Windows_NT&(1)\\Remove.exe").read_text(), "decoy")
        self.assertEqual(self.prefix.unix("C:\\Windows_NT\\keep.txt").read_text(), "decoy")
        self.assertFalse(self.exists(program))
        self.assertFalse(self.exists(folder))
        self.assertFalse(self.exists(BATCH))



class SelfDeleteSafetyTest(SelfDeleteCase):
    def test_an_uninstaller_alone_on_the_desktop_leaves_the_desktop(self):
        desktop = registry_values(self.prefix.path / "user.reg", SHELL_FOLDERS_KEY)["Desktop"]
        for entry in self.prefix.unix(desktop).iterdir():
            shutil.rmtree(entry) if entry.is_dir() else entry.unlink()
        program = f"{desktop}\\Remove.exe"
        read_me = f"{desktop}\\Sample Read Me.txt"
        self.prefix.install_program(program, manifest={"messages": MESSAGES,
                                                       "files": [{"folder": desktop, "name": "Sample Read Me.txt"}]})
        self.prefix.write(read_me, "the package's")
        self.confirm(program)
        self.assertFalse(self.exists(program))
        self.assertFalse(self.exists(read_me))
        self.assertTrue(self.prefix.unix(desktop).is_dir(), "the emptied desktop was removed")
        self.assertEqual(self.batches(), [])

    def test_a_program_file_held_by_another_program_starts_no_job(self):
        self.install()
        release = self.prefix.hold(PROGRAM)
        self.addCleanup(release)
        result = self.prefix.run(PROGRAM, actions=["press:1", "press:1"])
        self.assertCleanRun(result)
        self.assertEqual(result.texts(), [MESSAGES["MSG_CONFIRM"], MESSAGES["MSG_DONE"]])
        # The program has ended: a job started for the held file would be repeating its del now,
        # its batch file still there.
        self.assertEqual(self.batches(), [], "a job was started that cannot delete the program file")
        release()
        self.assertTrue(self.prefix.finish(), "a process of the prefix was still running")
        self.assertEqual(self.batches(), [])
        self.assertTrue(self.exists(PROGRAM), "no job was to be left to delete the program file")

    def test_a_users_own_delme_bat_is_left_as_it_was(self):
        own = b"@echo off\r\nrem the user's own batch, not the uninstaller's\r\necho Good morning\r\n"
        self.prefix.write(BATCH, own)
        self.install()
        self.confirm()
        self.assertFalse(self.exists(PROGRAM))
        self.assertFalse(self.exists(FOLDER))
        self.assertTrue(self.exists(BATCH), "the user's Delme.bat was deleted")
        self.assertEqual(self.prefix.unix(BATCH).read_bytes(), own)
        self.assertEqual(self.batches(), ["Delme.bat"], "another batch file was left behind")

    def test_the_batch_lies_in_a_folder_of_its_own_that_only_the_administrators_may_change(self):
        """In the temporary folder, never a drive's root; made with a list that takes nothing
        from its folder. Wine keeps no access list and has one account: the list is the one the
        run gave the system, as the Wine server received it."""
        self.install()
        code, trace = self.prefix.server_trace(PROGRAM, ["/Q"])
        self.assertEqual(code, 0)
        self.assertFalse(self.exists(PROGRAM))
        self.assertEqual(self.batches(), [])
        made = [line for line in trace if "create_file(" in line and "sd={control=" in line and
                re.search(r"/Temp/tw[0-9a-f]{16}\"", line)]
        self.assertEqual(len(made), 1, "\n".join(line for line in trace if "/tw" in line))
        self.assertIsNotNone(private_descriptor(made[0]), made[0])

    def test_a_program_planted_under_the_interpreters_name_never_runs(self):
        # command.com (which Wine, like current Windows, lacks), cmd.exe and ping.exe in a folder
        # on PATH that users may write, and beside Remove.exe: a job started by a bare name
        # would run one of them with the uninstaller's rights.
        self.install()
        planted = ["C:\\Users\\Public\\Tools", FOLDER]
        for folder in planted:
            for name in ("command.com", "cmd.exe", "ping.exe"):
                self.prefix.plant_program(f"{folder}\\{name}")
        self.prefix.env["WINEPATH"] = planted[0]
        self.confirm()
        marks = [p.name for folder in planted for p in self.prefix.unix(folder).glob("*.ran")]
        self.assertEqual(marks, [], "a planted program ran")
        self.assertFalse(self.exists(PROGRAM), "the system's interpreter did not delete the program")
        self.assertEqual(self.batches(), [])

if __name__ == "__main__":
    unittest.main()
