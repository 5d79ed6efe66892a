"""The leftover sweep under Wine: the files of the package's folder tree that match the log's
patterns go, with the folders they leave empty; the user's own files, whatever a link in the
tree leads to, and everything of an uninstaller placed in a system folder stay."""
import os
import subprocess
import unittest

from harness import WINE
from test_folders import FolderTestCase, absolute_entry, file_entry
from test_registry import read_registry_file

UNINSTALL = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"


def tree(root):
    """Every file and folder below root, relative to it, with / between names and a trailing /
    for a folder. Links are listed and never followed."""
    paths = set()
    for folder, folders, files in os.walk(root, followlinks=False):
        relative = os.path.relpath(folder, root)
        prefix = "" if relative == "." else relative + "/"
        paths.update(prefix + name + "/" for name in folders)
        paths.update(prefix + name for name in files)
    return paths


def unix_relative(windows_relative, folder=False):
    return windows_relative.replace("\\", "/") + ("/" if folder else "")


class SweepTestCase(FolderTestCase):
    def package_tree(self, package):
        return tree(self.prefix.unix(package))

    def write_all(self, folder, relatives, content="left over"):
        for relative in relatives:
            self.prefix.write(f"{folder}\\{relative}", f"{content}: {relative}")


class LeftoverTreeTest(SweepTestCase):
    def test_exactly_the_matching_files_and_the_folders_they_empty_go(self):
        package = f"{self.program_files}\\Tideway Notes"
        installed = ["notes.exe", "bin\\core.dll", "bin\\plugins\\spell.dll", "help\\index.html"]
        # What using the package left: logs, caches, a hidden session file, an editor's backup.
        matching = ["notes.log", "logs\\2024-03-01.log", "logs\\archive\\2023-12-31.LOG", "cache\\thumbs\\t-01.tmp",
                    "cache\\thumbs\\T-02.TMP", "cache\\index.dat", "help\\~index.html.tmp", "data\\.session.tmp",
                    "data\\profiles\\default\\INDEX.DAT"]
        # What the user made there, and names that only look like the patterns.
        own = ["my settings.ini", "notes\\groceries.note", "notes\\travel\\plan.note", "logs\\keep-me.txt",
               "logs\\catalog.log.txt", "data\\backup.tmp.bak", "data\\index.dat.old", "data\\tmp", "data\\log"]
        self.write_all(package, matching + own)
        self.prefix.unix(f"{package}\\plugins-old\\empty").mkdir(parents=True)
        # A file whose deletion is refused stays, and keeps its folder.
        self.prefix.write(f"{package}\\temp\\locked.tmp", "read-only", read_only=True)
        beside = [f"{self.program_files}\\beside.log", f"{self.program_files}\\Tideway Maps\\maps.tmp"]
        for path in beside:
            self.prefix.write(path, "another package's")
        self.write_all(package, installed, "installed")
        program = f"{package}\\Remove.exe"
        self.prefix.install_program(program, manifest={"files": [file_entry(r) for r in installed],
                                                       "patterns": [".tmp", ".log", "index.dat"]})
        before = self.package_tree(package)
        self.assertIn("data/.session.tmp", before)

        self.remove_silently(program)

        gone = {unix_relative(r) for r in installed + matching}
        gone |= {unix_relative(f, folder=True) for f in ("bin", "bin\\plugins", "help", "logs\\archive", "cache", "cache\\thumbs",
                                                         "data\\profiles", "data\\profiles\\default", "plugins-old",
                                                         "plugins-old\\empty")}
        self.assertEqual(self.package_tree(package), before - gone)
        self.assertEqual(sorted(before - self.package_tree(package)), sorted(gone))
        self.assertKept(*beside)
        self.assertKept(f"{package}\\temp\\locked.tmp")


class FolderLinkTest(SweepTestCase):
    def test_what_a_link_in_the_package_folder_leads_to_stays(self):
        package = f"{self.program_files}\\Tideway Notes"
        # The user's documents, linked into the package's folder tree.
        documents = "C:\\Tideway Documents"
        linked = ["letter.tmp", "report.log", "drafts\\draft-01.tmp", "drafts\\old\\draft-00.tmp", "photo.jpg"]
        self.write_all(documents, linked, "the user's")
        self.write_all(package, ["cache\\a.tmp", "links\\b.tmp"])
        target = self.prefix.unix(documents)
        os.symlink(target, self.prefix.unix(f"{package}\\links\\Documents"), target_is_directory=True)
        program = f"{package}\\Remove.exe"
        self.prefix.install_program(program, manifest={"patterns": ["*"]})
        documents_before = tree(target)

        self.remove_silently(program)

        self.assertEqual(tree(target), documents_before)
        for relative in linked:
            self.assertEqual(self.prefix.unix(f"{documents}\\{relative}").read_text(), f"the user's: {relative}")
        # The link itself stays, and keeps the folder that holds it; the rest of the tree is swept.
        self.assertTrue(self.prefix.unix(f"{package}\\links\\Documents").is_symlink())
        self.assertEqual(self.package_tree(package), {"Remove.exe", "links/", "links/Documents/"})


class ProtectedInstallationFolderTest(SweepTestCase):
    def drive(self):
        return tree(self.prefix.unix("C:\\"))

    def test_an_uninstaller_in_the_program_files_folder_or_a_drive_root_sweeps_nothing(self):
        # With the first pattern "*", a sweep would take every file that can be deleted: here
        # more than a thousand files of other programs and of the user, whatever else the drive
        # holds.
        others = ["Other App\\app.exe", "notes.txt"] + [f"Other App\\data\\cache-{n:03}.tmp" for n in range(600)]
        own = ["scratch.tmp"] + [f"Games\\saves\\save-{n:03}.dat" for n in range(600)]
        self.write_all(self.program_files, others, "not ours")
        self.write_all("C:\\", own, "not ours")
        written = {unix_relative(f"{self.program_files}\\{r}"[3:]) for r in others} | {unix_relative(r) for r in own}
        for program in (f"{self.program_files}\\Remove.exe", "C:\\Remove.exe"):
            with self.subTest(program):
                self.prefix.install_program(program, manifest={"patterns": ["*", ".tmp"]})
                before = self.drive()
                self.assertLessEqual(written, before)

                self.remove_silently(program)

                self.assertEqual(sorted(before - self.drive()), [])


    def test_an_uninstaller_started_by_its_short_name_in_program_files_sweeps_nothing(self):
        # A program started by its short path sees its folder in that form: the guard must
        # know the protected folder by both its names.
        self.write_all(self.program_files, ["Other App\\app.exe", "Other App\\data\\cache.tmp"], "not ours")
        self.prefix.install_program(f"{self.program_files}\\Remove.exe", manifest={"patterns": ["*"]})
        short_folder = self.prefix.short_name(self.program_files)
        self.assertNotEqual(short_folder.lower(), self.program_files.lower())
        before = self.drive()
        self.remove_silently(f"{short_folder}\\Remove.exe")
        self.assertEqual(sorted(before - self.drive()), [])


class FullPackageTest(SweepTestCase):
    def wine(self, *arguments):
        result = subprocess.run([WINE, *arguments], env=self.prefix.env, cwd=self.prefix.root, capture_output=True, timeout=120)
        self.assertEqual(result.returncode, 0, f"{arguments}: {result.stderr[-2000:]}")

    def registry_keys(self):
        self.prefix.finish()
        return (read_registry_file(self.prefix.path / "system.reg", "software"),
                read_registry_file(self.prefix.path / "user.reg", "software"))

    def test_a_silent_run_of_a_full_package_runs_all_five_phases(self):
        package = f"{self.program_files}\\Tideway Notes"
        common = f"{self.program_files}\\Common Files\\Tideway"
        menu = f"{self.programs}\\Tideway Notes"
        installed = ["notes.exe", "bin\\core.dll", "help\\index.html", "help\\topics\\start.html"]
        leftovers = ["notes.log", "cache\\thumb.tmp"]
        own = ["notes\\my note.txt"]
        self.write_all(package, installed, "installed")
        self.write_all(package, leftovers + own)
        shortcuts = [f"{menu}\\Tideway Notes.lnk", f"{menu}\\Read Me.lnk"]
        for path in shortcuts + [f"{common}\\tideway.dll"]:
            self.prefix.write(path, "installed")
        program = f"{package}\\Remove.exe"
        manifest = {
            "files": [file_entry(r) for r in installed] + [absolute_entry(f"{common}\\tideway.dll")],
            "folders": [absolute_entry(s) for s in shortcuts],
            "registry": [{"root": "HKLM", "path": "Software\\Tideway Notes"},
                         {"root": "HKCU", "path": "Software\\Tideway\\\\Notes Window"}],
            "registry_added": [{"root": "HKLM", "path": f"{UNINSTALL}\\Tideway Notes"}],
            "patterns": [".log", ".tmp"],
        }
        self.prefix.install_program(program, manifest=manifest)
        for arguments in (["HKLM\\Software\\Tideway Notes\\Plugins", "/v", "spell", "/d", "spell.dll"],
                          ["HKLM\\Software\\Tideway Notes", "/v", "Version", "/d", "1.0"],
                          [f"HKLM\\{UNINSTALL}\\Tideway Notes", "/v", "DisplayName", "/d", "Tideway Notes 1.0"],
                          ["HKCU\\Software\\Tideway", "/v", "Notes Window", "/d", "10,10,400,300"],
                          ["HKCU\\Software\\Tideway", "/v", "Maps Window", "/d", "0,0,640,480"]):
            self.wine("reg", "add", *arguments, "/f")
        machine, user = self.registry_keys()
        self.assertIn("software\\tideway notes\\plugins", machine)
        self.assertIn(f"{UNINSTALL}\\Tideway Notes".lower(), machine)

        self.remove_silently(program)

        # 1 the installed files; 2 the leftovers, with the folder they emptied; 3 the shortcuts
        # and their folder; 4 the folder outside the package that the removal emptied.
        self.assertGone(*[f"{package}\\{r}" for r in installed], f"{common}\\tideway.dll")
        self.assertGone(*[f"{package}\\{r}" for r in leftovers], f"{package}\\cache")
        self.assertGone(*shortcuts, menu)
        self.assertGone(common)
        self.assertKept(f"{self.program_files}\\Common Files", self.programs)
        self.assertEqual(self.package_tree(package), {"Remove.exe", "notes/", "notes/my note.txt"})
        # 5 the registry.
        machine, user = self.registry_keys()
        self.assertFalse([k for k in machine if k.startswith("software\\tideway notes")])
        self.assertNotIn(f"{UNINSTALL}\\Tideway Notes".lower(), machine)
        values = {entry.partition("=")[0] for entry in user.get("software\\tideway", set())}
        self.assertEqual(values, {'"Maps Window"'})


if __name__ == "__main__":
    unittest.main()
