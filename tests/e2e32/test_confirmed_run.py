"""The shipped 32-bit program removes a whole package in one confirmed run, under Wine's 32-bit
half: shared files counted down and one answered Yes, a self-registering module unregistered, a
font taken out of use, read-only files answered through the question dialog, leftovers that the
patterns name, shortcuts and their folder, the folders the removal emptied, registry keys and
values, and at last its own file and folder. Every phase's result is checked as the 64-bit
twin's tests check it.

A 32-bit program on 64-bit Windows sees the 32-bit registry view: what it names under
HKEY_LOCAL_MACHINE\\Software lies under Software\\Wow6432Node, where a 32-bit installation put
it, and its program-files folders are those "(x86)". The package lives there."""
import unittest

from harness import TOOLS_DIR_WIN, WIN32, WIN32_DIR, check_sandbox, read_pe_machine, require_win32
from test_folders import registry_values
from test_installed_files import (FONT_SOURCE, IDC_YESALL, IDYES, MESSAGES, OK, YES, InstalledFilesCase, readonly_prompt,
                                  shared_prompt)
from test_registry import WINE_OWN_KEYS, assert_registry_is, copy_snapshot, drop_tree, drop_values, read_registry_file

PROGRAM_FILES = "C:\\Program Files (x86)"
FOLDER = PROGRAM_FILES + "\\Sample"
PROGRAM = FOLDER + "\\Remove.exe"
COMMON = PROGRAM_FILES + "\\Common Files\\Sample"
BATCH = "C:\\Delme.bat"
VIEW32 = "Software\\Wow6432Node"  # HKLM\Software as a 32-bit program sees it
SHARED_KEY = VIEW32 + "\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
UNINSTALL = "Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sample"
USER_KEY = "Software\\Sample"
SHARED_USER_KEY = "Software\\Tidewell Shared"
# What using the package left in its folder tree, which no record names: its patterns do.
PATTERNS = [".tmp", ".log", "index.dat"]
LEFTOVERS = ["session.log", "data\\cache\\a.tmp", "data\\cache\\B.TMP", "logs\\old\\INDEX.DAT"]
SHELL_FOLDERS_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"


def setUpModule():
    require_win32()


class ConfirmedRunTest(InstalledFilesCase):
    build = WIN32

    def setUp(self):
        super().setUp()
        shell = registry_values(self.prefix.path / "user.reg", SHELL_FOLDERS_KEY)
        self.desktop, self.programs = shell["Desktop"], shell["Programs"]
        self.menu = self.programs + "\\Sample"

    def set_up_package(self):
        """The package as its 32-bit installation left it; returns the paths that are not its own."""
        files = [
            {"folder": ".\\bin", "name": "sample.exe"},
            {"folder": COMMON, "name": "selfreg.dll", "flags": ["selfreg"]},
            {"folder": COMMON, "name": "three.dll", "flags": ["shared"]},
            {"folder": COMMON, "name": "one.dll", "flags": ["shared"]},
            # A font's folder is not pruned for it (fonts live in the system's font folder); this one
            # lies beside a file whose folder is.
            {"folder": ".\\bin", "name": "DejaVuSans.ttf", "flags": ["font"]},
            {"folder": ".\\data", "name": "report.txt"},
            {"folder": ".\\data", "name": "notes.txt"},
            {"folder": ".\\data\\old", "name": "more.txt"},
            # A shortcut on the desktop is a file record: the desktop is no package's folder.
            {"folder": self.desktop, "name": "Sample.lnk"},
        ]
        shortcuts = [f"{self.menu}\\Sample.lnk", f"{self.menu}\\Read Me.lnk"]
        program = self.prefix.install_program(PROGRAM, manifest={
            "messages": MESSAGES,
            "files": files,
            "folders": [{"folder": path.rpartition("\\")[0], "name": path.rpartition("\\")[2]} for path in shortcuts],
            "registry": [
                {"root": "HKLM", "path": "Software\\" + UNINSTALL},
                {"root": "HKCU", "path": USER_KEY},
                {"root": "HKCU", "path": SHARED_USER_KEY + "\\\\SampleVersion"},
            ],
            "patterns": PATTERNS,
        })
        self.assertEqual(read_pe_machine(program), 0x14C, "the program under test is the 32-bit one")
        self.put(f"{FOLDER}\\bin\\sample.exe")
        self.put(f"{COMMON}\\selfreg.dll", (WIN32_DIR / "selfreg.dll").read_bytes())
        self.put(f"{COMMON}\\three.dll")
        self.put(f"{COMMON}\\one.dll")
        with open(FONT_SOURCE, "rb") as font:
            self.put(f"{FOLDER}\\bin\\DejaVuSans.ttf", font.read())
        for name in ("data\\report.txt", "data\\notes.txt", "data\\old\\more.txt"):
            self.put(f"{FOLDER}\\{name}", read_only=True)
        for relative in LEFTOVERS:
            self.put(f"{FOLDER}\\{relative}", b"left over")
        for path in shortcuts + [f"{self.desktop}\\Sample.lnk"]:
            self.put(path, b"shortcut")
        unrelated = [f"{self.programs}\\Other.lnk", f"{self.desktop}\\Other.lnk", f"{PROGRAM_FILES}\\Other\\keep.txt"]
        for path in unrelated:
            self.put(path, b"not the package's")

        self.import_registry({
            f"HKEY_LOCAL_MACHINE\\{SHARED_KEY}": {f"{COMMON}\\three.dll": 3, f"{COMMON}\\one.dll": 1,
                                                  "C:\\Windows\\system32\\other.dll": 2},
            f"HKEY_LOCAL_MACHINE\\{VIEW32}\\{UNINSTALL}": {"DisplayName": "Sample 1.0", "UninstallString": PROGRAM},
            f"HKEY_LOCAL_MACHINE\\{VIEW32}\\{UNINSTALL}\\Components": {"Count": 2},
            f"HKEY_LOCAL_MACHINE\\{VIEW32}\\{UNINSTALL} Neighbour": {"DisplayName": "Sample Neighbour"},
            # A 64-bit package of the same name, in the view the 32-bit program does not see.
            f"HKEY_LOCAL_MACHINE\\Software\\{UNINSTALL}": {"DisplayName": "Sample (64-bit)"},
            f"HKEY_CURRENT_USER\\{USER_KEY}": {"LastFolder": "C:\\Documents"},
            f"HKEY_CURRENT_USER\\{USER_KEY}\\Recent": {"Max": 4},
            f"HKEY_CURRENT_USER\\{SHARED_USER_KEY}": {"SampleVersion": "1.0", "OtherVersion": "2.5"},
            f"HKEY_CURRENT_USER\\Software\\Sample Extra": {"Stays": "a key whose name begins like the package's"},
            # Wine draws the dialog's frame itself, so that the screenshot shows it.
            "HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver": {"Decorated": "N"},
        })
        self.trace(["user32.EndDialog"])
        return unrelated

    def snapshot(self):
        """HKEY_LOCAL_MACHINE\\Software and HKEY_CURRENT_USER once Wine has saved them, less the keys
        Wine rewrites itself and the shared-use counts (checked on their own). The console that
        Wine opens for the batch job's interpreter writes its settings to HKCU\\Console."""
        self.prefix.finish()
        snapshot = {"system.reg": read_registry_file(self.prefix.path / "system.reg", "software"),
                    "user.reg": read_registry_file(self.prefix.path / "user.reg")}
        own = {"system.reg": WINE_OWN_KEYS["system.reg"] | {SHARED_KEY.lower()}, "user.reg": WINE_OWN_KEYS["user.reg"]}
        for file, keys in snapshot.items():
            for key in list(keys):
                if key in own[file] or key == "console" or key.startswith("console\\"):
                    del keys[key]
        return snapshot

    def test_a_package_goes_in_one_confirmed_run(self):
        unrelated = self.set_up_package()
        before = self.snapshot()
        self.prefix.start_font_probe()
        result = self.prefix.run(PROGRAM, actions=[OK, YES, "key:ENTER", "key:ALT-a", OK],
                                 shots=f"{TOOLS_DIR_WIN}\\shots")
        self.assertCleanRun(result)
        self.assertTrue(self.prefix.finish(), "a process of the prefix was still running: the batch job did not end")

        # The boxes: confirmation, the shared file whose count ran out, two read-only files
        # (the second answered Yes to all, so the third is not asked about), completion.
        self.assertEqual(result.texts(), [
            MESSAGES["MSG_CONFIRM"], shared_prompt(f"{COMMON}\\one.dll"), readonly_prompt(f"{FOLDER}\\data\\report.txt"),
            readonly_prompt(f"{FOLDER}\\data\\notes.txt"), MESSAGES["MSG_DONE"]])
        for box in result.boxes:
            self.assertEqual(box["caption"], MESSAGES["MSG_TITLE"])
            self.assertEqual(box["owner_class"], "TidewellClass")
        buttons = [[c["text"] for c in box["controls"] if c["class"] == "Button"] for box in result.boxes]
        self.assertEqual(buttons[0], ["OK", "Cancel"])
        self.assertEqual(buttons[1], ["&Yes", "&No"])
        self.assertEqual(buttons[4], ["OK"])
        self.check_dialog(result.boxes[2], result.boxes[3])
        self.assertEqual(self.dialog_results(), [IDYES, IDC_YESALL], "Enter chooses Yes; Alt+A Yes to all")

        # Installed files: the shared file still in use stays with its count lowered; the
        # module was unregistered and released before its deletion; the font's removal was
        # announced to the other programs' windows.
        for path in [f"{FOLDER}\\bin\\sample.exe", f"{COMMON}\\selfreg.dll", f"{COMMON}\\one.dll",
                     f"{FOLDER}\\bin\\DejaVuSans.ttf", f"{FOLDER}\\data\\report.txt", f"{FOLDER}\\data\\notes.txt",
                     f"{FOLDER}\\data\\old\\more.txt"]:
            self.assertFalse(self.exists(path), path)
        self.assertTrue(self.exists(f"{COMMON}\\three.dll"))
        self.assertEqual(self.saved_key(SHARED_KEY), {f"{COMMON}\\three.dll": "dword:00000002",
                                                      "C:\\Windows\\system32\\other.dll": "dword:00000002"})
        self.assertEqual(sorted(p.name for p in self.prefix.unix(COMMON).glob("selfreg.dll.*")),
                         ["selfreg.dll.freed", "selfreg.dll.loaded", "selfreg.dll.unregistered"])
        self.assertEqual(result.seen["font_changes"], 1)

        # The leftovers went with the folders they left empty (so did the whole folder, below).
        for relative in LEFTOVERS + ["data\\cache", "logs"]:
            self.assertFalse(self.exists(f"{FOLDER}\\{relative}"), relative)

        # Shortcuts and their folder; the desktop, the programs folder and other files stay.
        self.assertFalse(self.exists(f"{self.desktop}\\Sample.lnk"))
        self.assertFalse(self.exists(self.menu))
        for path in unrelated:
            self.assertEqual(self.prefix.unix(path).read_bytes(), b"not the package's", path)

        # Registry: the package's keys in the 32-bit view and the named value; nothing else.
        self.check_registry(before, self.snapshot())

        # The folders it emptied were pruned, and the batch job took the program, its folder and
        # itself; the program-files folders stay.
        self.assertFalse(self.exists(PROGRAM))
        self.assertFalse(self.exists(FOLDER))
        self.assertFalse(self.exists(BATCH))
        self.assertEqual(self.prefix.job_batches(), [])
        self.assertTrue(self.exists(f"{PROGRAM_FILES}\\Common Files"))
        check_sandbox(self.prefix.path)

    def check_dialog(self, first, second):
        """The question dialog as the 32-bit program shows it, as the 64-bit twin's test checks
        it, and its screenshot."""
        self.assertQuestionDialog(first, second, readonly_prompt(f"{FOLDER}\\data\\report.txt"))
        # The fonts were read inside the program by the 32-bit probe.
        self.assertIn("weight", first["font"], first["font"])
        self.assertTrue(self.prefix.screenshot(first["screenshot"], "readonly-question-win32").exists())

    def check_registry(self, before, after):
        package = f"{VIEW32}\\{UNINSTALL}".lower()
        self.assertIn(package + "\\components", before["system.reg"])
        expected = copy_snapshot(before)
        drop_tree(self, expected["system.reg"], package, 2)
        drop_tree(self, expected["user.reg"], USER_KEY.lower(), 2)
        drop_values(self, expected["user.reg"], SHARED_USER_KEY.lower(), ("SampleVersion",))
        assert_registry_is(self, expected, after)
        self.assertIn(f"{VIEW32}\\{UNINSTALL} Neighbour".lower(), after["system.reg"])
        self.assertIn(f"software\\{UNINSTALL}".lower(), after["system.reg"], "the 64-bit view's key of the same name")


if __name__ == "__main__":
    unittest.main()
