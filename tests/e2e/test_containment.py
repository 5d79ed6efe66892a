"""What a log names never reaches past the package under Wine, however a record spells its path or
the package's folders are linked: a protected folder is known by every spelling, a relative folder
is the installation folder's whatever folder the program was started from, and a folder link in
the package's tree is never followed."""
import os
import unittest

from test_folders import FolderTestCase, absolute_entry, file_entry
from test_installed_files import FONT_SOURCE
from test_sweep import tree

SYSTEM = "C:\\windows\\system32"
DECOY = "a file that is not the package's"


class DesktopSpellingTest(FolderTestCase):
    def setUp(self):
        super().setUp()
        self.package = f"{self.program_files}\\Tideway Maps"
        self.shortcut = f"{self.desktop}\\Tideway Maps.lnk"
        self.read_me = f"{self.desktop}\\Tideway Read Me.txt"

    def spellings(self):
        """The Desktop as a log may spell it, each a path that the platform resolves to it, and
        whether a path that goes on below it still leads into the Desktop (the platform drops
        trailing dots and blanks from a path's last name only)."""
        desktop = self.desktop
        return [
            ("forward slashes", desktop.replace("\\", "/"), True),
            ("a . segment", desktop + "\\.", True),
            ("a .. segment", desktop + "\\Tideway\\..", True),
            ("repeated backslashes", desktop[:3] + desktop[3:].replace("\\", "\\\\"), True),
            ("trailing dots and blanks", desktop + ". .", False),
        ]

    def start_with_an_empty_desktop(self):
        desktop = self.prefix.unix(self.desktop)
        if desktop.exists():
            self.empty(self.desktop)
        desktop.mkdir(parents=True, exist_ok=True)

    def remove(self, files=(), folders=()):
        program = self.install(self.package, ["maps.exe"], file_entries=files, folder_entries=folders)
        self.remove_silently(program)
        self.assertGone(f"{self.package}\\maps.exe")

    def test_every_spelling_in_every_phase_that_removes_a_folder(self):
        # Each in a run of its own: once one phase has removed the Desktop, later ones have
        # nothing left to show.
        for spelling, folder, leads_below in self.spellings():
            shortcut_records = [{"folder": folder, "name": "Tideway Maps.lnk"}] if leads_below else \
                [absolute_entry(self.shortcut), {"folder": folder, "name": ""}]
            places = {
                # The folder phase removes a folder record's folder once its file is gone.
                "a folder record's folder": ([self.shortcut], {"folders": shortcut_records}),
                # The installed-file phase removes the folder of a record without a name.
                "a file record without a name": ([self.read_me], {"files": [absolute_entry(self.read_me),
                                                                            {"folder": folder, "name": ""}]}),
            }
            if leads_below:
                # Pruning walks up from the folder of a file it deleted.
                places["a file record's folder, pruned"] = ([self.read_me], {"files": [
                    {"folder": folder, "name": "Tideway Read Me.txt"}]})
            for place, (package_files, records) in places.items():
                with self.subTest(spelling=spelling, place=place):
                    self.start_with_an_empty_desktop()
                    for path in package_files:
                        self.prefix.write(path, "the package's")
                    self.remove(**records)
                    self.assertGone(*package_files)
                    self.assertKept(self.desktop)


class RelativeFolderTest(FolderTestCase):
    """The program started from the system folder, which holds files of the records' names."""

    def test_relative_folders_are_the_installation_folders_and_current_folder_ones_are_skipped(self):
        package = f"{self.program_files}\\Tideway Maps"
        module = (self.build.program_dir / "selfreg.dll").read_bytes()
        with open(FONT_SOURCE, "rb") as font:
            font_data = font.read()
        # Relative to the installation folder, where they are the package's; the system folder
        # holds decoys of the same names.
        relative = {"tideway-readme.txt": b"", "data\\tideway-notes.txt": b"", "tideway.ttf": font_data,
                    "tideway-selfreg.dll": module, "menu\\Tideway Maps.lnk": b""}
        files = [{"folder": "", "name": "tideway-readme.txt"}, {"folder": "data", "name": "tideway-notes.txt"},
                 {"folder": "", "name": "tideway.ttf", "flags": ["font"]},
                 {"folder": "", "name": "tideway-selfreg.dll", "flags": ["selfreg"]}]
        folders = [{"folder": "menu", "name": "Tideway Maps.lnk"}]
        # Folders that depend on the current drive's root or the current folder of a drive name
        # no folder for sure: skipped, wherever a file of that name lies.
        for folder in ("\\tidewell-decoys", "C:tidewell-decoys"):
            files.append({"folder": folder, "name": "keep.txt"})
            folders.append({"folder": folder, "name": "keep.lnk"})
        skipped = ["C:\\tidewell-decoys\\keep.txt", "C:\\tidewell-decoys\\keep.lnk", f"{SYSTEM}\\tidewell-decoys\\keep.txt",
                   f"{SYSTEM}\\tidewell-decoys\\keep.lnk", f"{package}\\tidewell-decoys\\keep.txt",
                   f"{package}\\tidewell-decoys\\keep.lnk"]

        decoys = {f"{SYSTEM}\\{name}": data or DECOY.encode() for name, data in relative.items()}
        decoys.update({path: DECOY.encode() for path in skipped})
        for path, data in decoys.items():
            self.prefix.write(path, data)
        for name, data in relative.items():
            self.prefix.write(f"{package}\\{name}", data or b"the package's")
        # An empty folder beside the installation folder, named as a record's folder: pruning
        # from there would take it.
        beside = f"{self.program_files}\\data"
        self.prefix.unix(beside).mkdir()
        program = f"{package}\\Remove.exe"
        self.prefix.install_program(program, manifest={"files": files, "folders": folders})

        result = self.prefix.run(program, arguments=["/X"], cwd=SYSTEM)
        self.assertCleanRun(result)
        self.prefix.finish()

        lost = [path for path, data in decoys.items()
                if not self.exists(path) or self.prefix.unix(path).read_bytes() != data]
        folders_kept = [f"{SYSTEM}\\data", f"{SYSTEM}\\menu", f"{SYSTEM}\\tidewell-decoys", "C:\\tidewell-decoys", beside]
        lost += [path for path in folders_kept if not self.exists(path)]
        self.assertEqual(lost, [], "files and folders that are not the package's were removed")
        self.assertEqual(sorted(p.name for p in self.prefix.unix(SYSTEM).glob("tideway-selfreg.dll.*")), [],
                         "the decoy module was loaded")
        # The installation folder's files went, the module and the font as modules and fonts
        # do, with the folders they emptied.
        marks = {"tideway-selfreg.dll" + mark for mark in (".loaded", ".unregistered", ".freed")}
        self.assertEqual(tree(self.prefix.unix(package)),
                         {"Remove.exe", "tidewell-decoys/", "tidewell-decoys/keep.txt", "tidewell-decoys/keep.lnk"} | marks)
        self.assertEqual(result.seen["font_changes"], 1)


class LinkedPackageFolderTest(FolderTestCase):
    """The package's folder bin replaced by a link to a folder elsewhere that holds files of the
    records' names."""

    maxDiff = None

    def package_folder(self):
        return f"{self.program_files}\\Tideway Maps"

    def test_nothing_behind_a_linked_package_folder_goes(self):
        package = self.package_folder()
        shared = "C:\\users\\Public\\Shared Data"
        with open(FONT_SOURCE, "rb") as font:
            behind = {"maps.exe": b"", "core.dll": b"", "readme.txt": b"", "maps.ttf": font.read(),
                      "selfreg.dll": (self.build.program_dir / "selfreg.dll").read_bytes(), "plugins\\spell.dll": b"",
                      "plugins\\Spell Help.lnk": b""}
        for name, data in behind.items():
            self.prefix.write(f"{shared}\\{name}", data or f"{DECOY}: {name}".encode())
        own = ["maps.ini", "data\\north.map", "data\\south.map"]
        for name in own:
            self.prefix.write(f"{package}\\{name}", "the package's")
        link = self.prefix.unix(f"{package}\\bin")
        os.symlink(self.prefix.unix(shared), link, target_is_directory=True)
        # A second link leads to an empty folder, which a removal of the link's path would take.
        empty = "C:\\users\\Public\\Empty Share"
        self.prefix.unix(empty).mkdir()
        empty_link = self.prefix.unix(f"{package}\\lib")
        os.symlink(self.prefix.unix(empty), empty_link, target_is_directory=True)
        files = [file_entry(name) for name in own] + [
            file_entry("bin\\maps.exe"), file_entry("bin\\core.dll"), file_entry("bin\\plugins\\spell.dll"),
            {"folder": ".\\bin", "name": "maps.ttf", "flags": ["font"]},
            {"folder": ".\\bin", "name": "selfreg.dll", "flags": ["selfreg"]},
            # Absolute paths into the installation folder lead through the link as well.
            absolute_entry(f"{package}\\bin\\readme.txt"),
            {"folder": f"{package}\\bin\\plugins", "name": ""},
            file_entry("lib\\maps.dll"), {"folder": ".\\lib", "name": ""},
        ]
        folders = [absolute_entry(f"{package}\\bin\\plugins\\Spell Help.lnk")]
        program = f"{package}\\Remove.exe"
        self.prefix.install_program(program, manifest={"files": files, "folders": folders})
        before = tree(self.prefix.unix(shared))

        result = self.prefix.run(program, arguments=["/X"])
        self.assertCleanRun(result)
        self.prefix.finish()

        # Nothing behind the link was deleted, loaded or unloaded, and the link stays; the
        # package's own files went, with the folder they emptied.
        seen = {"behind the link": tree(self.prefix.unix(shared)), "fonts taken out of use": result.seen["font_changes"],
                "the links stay": [link.is_symlink(), empty_link.is_symlink()],
                "the empty folder behind a link stays": self.prefix.unix(empty).is_dir(),
                "the package's folder": tree(self.prefix.unix(package))}
        self.assertEqual(seen, {"behind the link": before, "fonts taken out of use": 0, "the links stay": [True, True],
                                "the empty folder behind a link stays": True,
                                "the package's folder": {"Remove.exe", "bin/", "lib/"}})
        for name, data in behind.items():
            self.assertEqual(self.prefix.unix(f"{shared}\\{name}").read_bytes(), data or f"{DECOY}: {name}".encode(), name)


class PlantedLinkTest(FolderTestCase):
    """Links another user of the machine could plant where a run with more rights than theirs
    would reach through them: nothing behind one goes, and no module behind one is loaded."""

    def victim(self):
        """A folder of someone else's, with files of the names the package's records and patterns
        name."""
        victim = "C:\\users\\Public\\Victim"
        for name in ("pkg.dll", "old.log", "deeper\\older.log"):
            self.prefix.write(f"{victim}\\{name}", f"{DECOY}: {name}")
        self.prefix.unix(f"{victim}\\selfreg.dll").write_bytes((self.build.program_dir / "selfreg.dll").read_bytes())
        return victim

    def test_the_sweep_never_enters_a_link_through_its_dotted_twin(self):
        package = f"{self.program_files}\\Tideway Maps"
        victim = self.victim()
        before = tree(self.prefix.unix(victim))
        self.prefix.write(f"{package}\\logs\\today.log", "the package's")
        logs = self.prefix.unix(f"{package}\\logs")
        os.symlink(self.prefix.unix(victim), logs / "x", target_is_directory=True)
        (logs / "x.").mkdir()
        program = f"{package}\\Remove.exe"
        self.prefix.install_program(program, manifest={"patterns": [".log"]})
        self.remove_silently(program)
        self.assertEqual(tree(self.prefix.unix(victim)), before)
        self.assertGone(f"{package}\\logs\\today.log")
        self.assertTrue((logs / "x").is_symlink())

    def test_a_record_under_the_machines_application_data_behind_a_link_is_left(self):
        package = f"{self.program_files}\\Tideway Maps"
        victim = self.victim()
        before = tree(self.prefix.unix(victim))
        vendor = "C:\\ProgramData\\Tideway"
        self.prefix.unix(vendor).mkdir(parents=True)
        os.symlink(self.prefix.unix(victim), self.prefix.unix(f"{vendor}\\data"), target_is_directory=True)
        self.prefix.write(f"{vendor}\\own.ini", "the package's")
        program = f"{package}\\Remove.exe"
        self.prefix.install_program(program, manifest={"files": [
            {"folder": f"{vendor}\\data", "name": "selfreg.dll", "flags": ["selfreg"]},
            {"folder": f"{vendor}\\data", "name": "pkg.dll"},
            absolute_entry(f"{vendor}\\own.ini")]})
        self.remove_silently(program)
        # The module behind the link was never loaded: it would have left marks beside itself.
        self.assertEqual(tree(self.prefix.unix(victim)), before)
        self.assertGone(f"{vendor}\\own.ini")


if __name__ == "__main__":
    unittest.main()
