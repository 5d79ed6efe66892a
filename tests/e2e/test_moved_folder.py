"""A shell folder moved in the registry during a run, under Wine: the guard keeps the system's
folders from one check to the next, and the change still reaches the same run's next check. And
a shell folder named in Cyrillic, which the file system knows in either case (Wine gives every
folder a short name, which tells it; the identity that tells it on a volume without short names
is tested on the host)."""
import unittest

from installer import import_registry
from test_folders import FolderTestCase, file_entry

MOVED_STARTUP = "C:\\users\\Public\\Moved Startup"  # where the fixture movestartup.dll moves it
REPORT = "C:\\report.txt"
CYRILLIC_STARTUP = "C:\\users\\Public\\Автозагрузка"
SHELL_FOLDERS = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"


class MovedShellFolderTest(FolderTestCase):
    def test_a_startup_folder_moved_during_the_run_is_protected_at_its_new_place_only(self):
        startup = f"{self.programs}\\Startup"
        self.prefix.unix(startup).mkdir(parents=True, exist_ok=True)
        self.empty(startup)
        self.prefix.unix(MOVED_STARTUP).mkdir(parents=True)
        package = f"{self.program_files}\\Tideway Maps"
        self.prefix.write(f"{package}\\maps.exe", "file maps.exe")
        self.prefix.unix(f"{package}\\movestartup.dll").write_bytes(
            (self.build.program_dir / "movestartup.dll").read_bytes())
        # The records in the phase's order: the Startup folder where it is at the start, the
        # module that moves it, then its new place and its old one, both empty, so that only the
        # guard can keep them.
        files = [{"folder": startup, "name": ""}, file_entry("maps.exe"),
                 {"folder": "", "name": "movestartup.dll", "flags": ["selfreg"]},
                 {"folder": MOVED_STARTUP, "name": ""}, {"folder": startup, "name": ""}]
        program = f"{package}\\Remove.exe"
        self.prefix.install_program(program, manifest={"files": files, "folders": []})

        result = self.prefix.run(program, arguments=["/X", f"/L={REPORT}"])
        self.assertCleanRun(result)
        self.prefix.finish()

        lines = self.prefix.unix(REPORT).read_bytes().decode("cp1252").split("\r\n")
        self.assertIn(f"module unregistered: {package}\\movestartup.dll", lines)
        # Before the move the old place is protected; after it the new place is, every time it
        # is met, and the old one no longer (the shell may make it again when asked for the
        # folders above it, so only its removal is looked at).
        self.assertEqual([line for line in lines if line.startswith("folder ") and line.endswith(f": {startup}")][:2],
                         [f"folder kept, protected: {startup}", f"folder removed: {startup}"])
        self.assertEqual([line for line in lines if line.endswith(f": {MOVED_STARTUP}")],
                         [f"folder kept, protected: {MOVED_STARTUP}"] * 2)
        self.assertKept(MOVED_STARTUP)
    def test_a_startup_folder_named_in_cyrillic_is_protected_in_either_case(self):
        # The user's Startup folder in Cyrillic, and a folder beside it; records name both in
        # upper case, in a UTF-8 log. Both are empty: only the guard can keep the Startup folder.
        neighbour = CYRILLIC_STARTUP + " старая"
        for folder in (CYRILLIC_STARTUP, neighbour):
            self.prefix.unix(folder).mkdir(parents=True)
        import_registry(self.prefix, {SHELL_FOLDERS + key: {"Startup": CYRILLIC_STARTUP}
                                      for key in ("User Shell Folders", "Shell Folders")})
        package = f"{self.program_files}\\Tideway Maps"
        self.prefix.write(f"{package}\\maps.exe", "file maps.exe")
        files = [file_entry("maps.exe"), {"folder": CYRILLIC_STARTUP.upper(), "name": ""},
                 {"folder": neighbour.upper(), "name": ""}]
        program = f"{package}\\Remove.exe"
        self.prefix.install_program(program, manifest={"codepage": "utf-8", "files": files, "folders": []})

        result = self.prefix.run(program, arguments=["/X", f"/L={REPORT}"])
        self.assertCleanRun(result)
        self.prefix.finish()

        lines = self.prefix.unix(REPORT).read_bytes().decode("utf-8").split("\r\n")
        self.assertTrue(lines[0].startswith("Tidewell removal report, UTF-8: "), lines[0])
        self.assertIn(f"folder kept, protected: {CYRILLIC_STARTUP.upper()}", lines)
        self.assertIn(f"folder removed: {neighbour.upper()}", lines)
        self.assertKept(CYRILLIC_STARTUP)
        self.assertGone(neighbour)


if __name__ == "__main__":
    unittest.main()
