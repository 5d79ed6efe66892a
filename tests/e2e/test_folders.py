"""Folders under Wine, with the prefix's own shell folders and registry: the package's files,
shortcuts and folders go, the folders they emptied are pruned, and the system's folders and
everything that is not the package's stay."""
import re
import shutil
import unittest

from harness import PrefixTestCase

SHELL_FOLDERS_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"
VERSION_KEY = "Software\\Microsoft\\Windows\\CurrentVersion"


def registry_values(reg_file, key):
    """The string values of one key in a registry file of the prefix, unescaped."""
    header = "[" + key.replace("\\", "\\\\") + "]"
    values = {}
    lines = reg_file.read_text(encoding="utf-8", errors="replace").splitlines()
    for number, line in enumerate(lines):
        if line != header and not line.startswith(header + " "):
            continue
        for entry in lines[number + 1:]:
            if not entry.strip() or entry.startswith("["):
                break
            found = re.match(r'^"((?:[^"\\]|\\.)*)"="((?:[^"\\]|\\.)*)"$', entry)
            if found:
                values[unescape(found[1])] = unescape(found[2])
        break
    return values


def unescape(text):
    return re.sub(r"\\(.)", r"\1", text)


class FolderTestCase(PrefixTestCase):
    def setUp(self):
        super().setUp()
        shell = registry_values(self.prefix.path / "user.reg", SHELL_FOLDERS_KEY)
        self.desktop = shell["Desktop"]
        self.programs = shell["Programs"]
        self.start_menu = shell["Start Menu"]
        self.program_files = registry_values(self.prefix.path / "system.reg", VERSION_KEY)["ProgramFilesDir"]
        for folder in (self.desktop, self.programs, self.start_menu, self.program_files):
            self.assertTrue(self.prefix.unix(folder).is_dir(), folder)

    def install(self, folder, files, shortcuts=(), extra_files=(), folder_entries=(), file_entries=()):
        """A package in the folder: its files (relative to it), files elsewhere and its
        shortcuts (full paths) on disk, and its uninstaller with a log naming them."""
        for relative in files:
            self.prefix.write(f"{folder}\\{relative}", f"file {relative}")
        for path in list(shortcuts) + list(extra_files):
            self.prefix.write(path, f"shortcut {path}")
        manifest = {
            "files": [file_entry(relative) for relative in files] + [absolute_entry(path) for path in extra_files] +
                     list(file_entries),
            "folders": [absolute_entry(path) for path in shortcuts] + list(folder_entries),
        }
        program = f"{folder}\\Remove.exe"
        self.prefix.install_program(program, manifest=manifest)
        return program

    def remove_silently(self, program):
        result = self.prefix.run(program, arguments=["/X"])
        self.assertCleanRun(result)
        self.assertEqual(result.boxes, [])
        self.prefix.finish()

    def exists(self, path):
        return self.prefix.unix(path).exists()

    def listing(self, folder):
        return sorted(p.name for p in self.prefix.unix(folder).iterdir())

    def empty(self, folder):
        """Empties a folder of the prefix, as a user's fresh profile may have it."""
        for entry in self.prefix.unix(folder).iterdir():
            shutil.rmtree(entry) if entry.is_dir() else entry.unlink()

    def assertGone(self, *paths):
        for path in paths:
            self.assertFalse(self.exists(path), f"{path} is still there")

    def assertKept(self, *paths):
        for path in paths:
            self.assertTrue(self.exists(path), f"{path} was removed")


def file_entry(relative):
    folder, _, name = relative.rpartition("\\")
    return {"folder": ".\\" + folder, "name": name}


def absolute_entry(path):
    folder, _, name = path.rpartition("\\")
    return {"folder": folder, "name": name}


class PackageRemovalTest(FolderTestCase):
    def test_the_package_goes_and_the_system_folders_stay(self):
        package = f"{self.program_files}\\Tideway Maps"
        menu = f"{self.programs}\\Tideway Maps"
        files = ["bin\\maps.exe", "bin\\core.dll", "data\\maps\\north.map", "data\\maps\\south.map", "data\\tiles\\sea.png"]
        shortcuts = [f"{menu}\\Tideway Maps.lnk", f"{menu}\\Read Me.lnk", f"{self.desktop}\\Tideway Maps.lnk"]
        unrelated = [f"{self.program_files}\\Other App\\keep.txt", f"{self.program_files}\\beside.txt",
                     f"{self.programs}\\Other.lnk", f"{self.start_menu}\\Other.lnk", f"{self.desktop}\\notes.txt",
                     f"{self.desktop}\\Other.lnk"]
        for path in unrelated:
            self.prefix.write(path, "not the package's")
        program = self.install(package, files, shortcuts)

        self.remove_silently(program)

        self.assertGone(*[f"{package}\\{relative}" for relative in files], *shortcuts, menu)
        # Pruned from the files' folders up to the installation folder, which still holds
        # the uninstaller.
        self.assertGone(f"{package}\\bin", f"{package}\\data\\maps", f"{package}\\data\\tiles", f"{package}\\data")
        self.assertEqual(self.listing(package), ["Remove.exe"])
        self.assertKept(self.program_files, self.start_menu, self.programs, self.desktop)
        for path in unrelated:
            self.assertEqual(self.prefix.unix(path).read_text(), "not the package's", path)


class ProtectedFolderTest(FolderTestCase):
    def test_the_desktop_stays_when_the_packages_shortcut_was_all_it_held(self):
        self.empty(self.desktop)
        package = f"{self.program_files}\\Tideway Maps"
        # A shortcut entry names the desktop as its folder; a file record put a read-me on it.
        program = self.install(package, ["maps.exe"], [f"{self.desktop}\\Tideway Maps.lnk"],
                               extra_files=[f"{self.desktop}\\Tideway Read Me.txt"])

        self.remove_silently(program)

        self.assertKept(self.desktop)
        self.assertEqual(self.listing(self.desktop), [])

    def test_a_file_record_naming_the_desktop_as_its_folder_leaves_it(self):
        self.empty(self.desktop)
        package = f"{self.program_files}\\Tideway Maps"
        # The read-me goes first, then the record without a name meets the emptied desktop.
        program = self.install(package, ["maps.exe"], extra_files=[f"{self.desktop}\\Tideway Read Me.txt"],
                               file_entries=[{"folder": self.desktop, "name": ""}])

        self.remove_silently(program)

        self.assertGone(f"{self.desktop}\\Tideway Read Me.txt")
        self.assertKept(self.desktop)

    def test_an_emptied_programs_folder_and_start_menu_stay(self):
        self.empty(self.start_menu)
        self.prefix.unix(self.programs).mkdir()
        package = f"{self.program_files}\\Tideway Maps"
        menu = f"{self.programs}\\Tideway Maps"
        # Shortcuts straight in the programs folder and the start menu, and both named as
        # folders of their own, without a file.
        program = self.install(package, ["maps.exe"],
                               [f"{menu}\\Tideway Maps.lnk", f"{self.programs}\\Tideway Maps.lnk",
                                f"{self.start_menu}\\Tideway Maps.lnk"],
                               folder_entries=[{"folder": self.programs, "name": ""},
                                               {"folder": self.start_menu, "name": ""}])

        self.remove_silently(program)

        # The package's own menu folder went; the start menu and its programs folder stay.
        self.assertGone(menu)
        self.assertKept(self.start_menu, self.programs)
        self.assertEqual(self.listing(self.start_menu), ["Programs"])


class SharedFolderTest(FolderTestCase):
    def test_a_folder_that_another_package_uses_keeps_its_files(self):
        tideway = f"{self.program_files}\\Tideway"
        common = f"{self.program_files}\\Common Files\\Tideway"
        menu = f"{self.programs}\\Tideway"
        maps = self.install(f"{tideway}\\Maps", ["bin\\maps.exe"], [f"{menu}\\Maps.lnk"],
                            extra_files=[f"{common}\\maps.dll"])
        charts = self.install(f"{tideway}\\Charts", ["bin\\charts.exe"], [f"{menu}\\Charts.lnk"],
                              extra_files=[f"{common}\\charts.dll"])

        self.remove_silently(maps)

        self.assertGone(f"{tideway}\\Maps\\bin", f"{menu}\\Maps.lnk", f"{common}\\maps.dll")
        self.assertEqual(self.listing(menu), ["Charts.lnk"])
        self.assertEqual(self.listing(common), ["charts.dll"])
        self.assertKept(f"{tideway}\\Charts\\bin\\charts.exe", charts)

        # The last package to go takes the shared folders with it.
        self.remove_silently(charts)

        self.assertGone(menu, common, f"{tideway}\\Charts\\bin")
        self.assertKept(self.programs, f"{self.program_files}\\Common Files", maps, charts)


if __name__ == "__main__":
    unittest.main()
