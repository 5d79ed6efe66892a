"""The whole life of a package on a user's machine, with clients nobody here wrote: its own
installer (a batch file) puts its files, shortcuts and registry keys in place and runs
tidewell-log.exe attach --register; Wine's list of installed programs shows it; Wine's own
uninstaller starts it through the entry's UninstallString, or a client runs its
QuietUninstallString; and afterwards everything the installer made is gone, the entry with it,
while the folders the manifest's names stood for are all still there."""
import json
import subprocess
import time
import unittest

from demo_package import shortcut
from harness import HOST_DIR, WIN64_DIR, WINE, PrefixTestCase
from installer import PAYLOAD, install, installed_programs, reg_query, run_quiet_uninstall
from test_installed_files import MESSAGES, OK, shared_prompt

UNINSTALL = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
SHARED_DLLS = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"

# A package for the machine: its folder in Program Files, a shared runtime in Common Files, its
# menu in the all-users Programs menu, its data in the all-users application data.
MACHINE_FOLDER = "C:\\Program Files\\Sample Notes"
# Its texts in its language's code page, which the tool converts with the system's conversions.
MACHINE_MESSAGES = dict(MESSAGES, MSG_DONE="Sample Notes a été supprimé de votre ordinateur. Grüße!")
MACHINE_PACKAGE = {
    "scope": "machine",
    "product": {"name": "Sample Notes 2.4", "version": "2.4", "publisher": "Éditions Tidewell",
                "help": "https://example.org/sample-notes/help", "key": "Sample Notes"},
    "codepage": "windows-1252",
    "messages": MACHINE_MESSAGES,
    "files": [
        {"folder": "{InstallDir}", "name": "notes.exe"},
        {"folder": "{InstallDir}\\help", "name": "index.html"},
        {"folder": "{CommonFiles}\\Sample Shared", "name": "samplert.dll", "flags": ["shared"]},
    ],
    "folders": [
        {"folder": "{AllUsersPrograms}\\Sample Notes", "name": "Sample Notes.lnk"},
        {"folder": "{AllUsersPrograms}\\Sample Notes", "name": "Read Me.lnk"},
        {"folder": "{AllUsersAppData}\\Sample Notes", "name": "settings.ini"},
    ],
    "registry": [{"root": "HKLM", "path": "Software\\Sample Notes"}],
    "patterns": [".tmp"],
}
MACHINE_STEPS = [
    'set TARGET=%ProgramFiles%\\Sample Notes',
    'set MENU=%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs\\Sample Notes',
    'mkdir "%TARGET%\\help" "%CommonProgramFiles%\\Sample Shared" "%MENU%" "%ProgramData%\\Sample Notes"',
    f'copy /y "{PAYLOAD}\\notes.exe" "%TARGET%" >nul',
    f'copy /y "{PAYLOAD}\\index.html" "%TARGET%\\help" >nul',
    f'copy /y "{PAYLOAD}\\samplert.dll" "%CommonProgramFiles%\\Sample Shared" >nul',
    f'copy /y "{PAYLOAD}\\*.lnk" "%MENU%" >nul',
    f'copy /y "{PAYLOAD}\\settings.ini" "%ProgramData%\\Sample Notes" >nul',
    'reg add "HKLM\\Software\\Sample Notes" /v Version /d 2.4 /f >nul',
    'reg add "HKLM\\Software\\Sample Notes\\Plugins" /v spell /d spell.dll /f >nul',
    f'reg add "{SHARED_DLLS}" /v "%CommonProgramFiles%\\Sample Shared\\samplert.dll" /t REG_DWORD /d 1 /f >nul',
]

# A package for one user: its folder in the user's local application data, a desktop shortcut,
# its menu in the user's Programs menu, settings in the user's application data and registry.
USER_PACKAGE = {
    "scope": "user",
    "product": {"name": "Sample Sketch 1.0", "version": "1.0", "publisher": "Tidewell Samples"},
    "messages": MESSAGES,
    "files": [
        {"folder": "{InstallDir}", "name": "sketch.exe"},
        {"folder": "{InstallDir}\\brushes", "name": "round.brush"},
        {"folder": "{Desktop}", "name": "Sample Sketch.lnk"},
    ],
    "folders": [
        {"folder": "{Programs}\\Sample Sketch", "name": "Sample Sketch.lnk"},
        {"folder": "{AppData}\\Sample Sketch", "name": "settings.ini"},
    ],
    "registry": [{"root": "HKCU", "path": "Software\\Sample Sketch"}],
}
USER_STEPS = [
    'set TARGET=%LOCALAPPDATA%\\Programs\\Sample Sketch',
    'set MENU=%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs\\Sample Sketch',
    'mkdir "%TARGET%\\brushes" "%MENU%" "%APPDATA%\\Sample Sketch"',
    f'copy /y "{PAYLOAD}\\sketch.exe" "%TARGET%" >nul',
    f'copy /y "{PAYLOAD}\\round.brush" "%TARGET%\\brushes" >nul',
    f'copy /y "{PAYLOAD}\\Sample Sketch.lnk" "%USERPROFILE%\\Desktop" >nul',
    f'copy /y "{PAYLOAD}\\Sample Sketch.lnk" "%MENU%" >nul',
    f'copy /y "{PAYLOAD}\\settings.ini" "%APPDATA%\\Sample Sketch" >nul',
    'reg add "HKCU\\Software\\Sample Sketch\\Recent" /v 1 /d "C:\\drawing.sketch" /f >nul',
]


class InstallerTest(PrefixTestCase):
    def exists(self, path):
        return self.prefix.unix(path).exists()

    def install(self, manifest, payload, steps, out):
        result = install(self.prefix, WIN64_DIR, manifest, payload, steps, out)
        self.assertEqual(result.returncode, 0, result.stderr.decode("utf-8", "replace")[-3000:])
        # The manifests suit their scopes: the tool has nothing to warn about.
        self.assertEqual(result.stderr.decode("utf-8", "replace").strip(), "")

    def dump(self, program):
        """The log's manifest as tidewell-log on the build machine reads it back."""
        return json.loads(subprocess.run([str(HOST_DIR / "tidewell-log"), "dump", str(self.prefix.unix(program))],
                                         capture_output=True, text=True, check=True).stdout)

    def shell_folder(self, name):
        result = subprocess.run([WINE, "cmd", "/c", f"echo %{name}%"], env=self.prefix.env, capture_output=True, timeout=120)
        return result.stdout.decode().strip()

    def test_a_machines_package_goes_through_its_uninstall_string_and_leaves_the_list(self):
        payload = {"notes.exe": b"MZ" + bytes(30000), "index.html": b"<h1>Sample Notes</h1>", "samplert.dll": b"MZ runtime",
                   "Sample Notes.lnk": shortcut(MACHINE_FOLDER + "\\notes.exe", "Sample Notes"),
                   "Read Me.lnk": shortcut(MACHINE_FOLDER + "\\help\\index.html", "Read Me"),
                   "settings.ini": b"[Notes]\r\n"}
        program = MACHINE_FOLDER + "\\Remove.exe"
        self.install(MACHINE_PACKAGE, payload, MACHINE_STEPS, program)
        menu = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Sample Notes"
        installed = [f"{MACHINE_FOLDER}\\notes.exe", f"{MACHINE_FOLDER}\\help\\index.html", program,
                     "C:\\Program Files\\Common Files\\Sample Shared\\samplert.dll", f"{menu}\\Sample Notes.lnk",
                     f"{menu}\\Read Me.lnk", "C:\\ProgramData\\Sample Notes\\settings.ini"]
        for path in installed:
            self.assertTrue(self.exists(path), path)
        self.prefix.write(f"{MACHINE_FOLDER}\\help\\cache.tmp", b"left while it was used")

        # The names were resolved on this machine; the installation folder stays relative.
        log = self.dump(program)
        self.assertEqual(log["files"], [
            {"folder": ".\\", "name": "notes.exe"}, {"folder": ".\\help", "name": "index.html"},
            {"folder": "C:\\Program Files\\Common Files\\Sample Shared", "name": "samplert.dll", "flags": ["shared"]}])
        self.assertEqual(log["folders"][1], {"folder": menu, "name": "Read Me.lnk"})
        self.assertEqual(log["folders"][2], {"folder": "C:\\ProgramData\\Sample Notes", "name": "settings.ini"})
        # The entry's key joined the log, so that the removal takes the entry out of the list.
        self.assertEqual(log["registry_added"], [{"root": "HKLM", "path": UNINSTALL + "\\Sample Notes"}])
        self.assertNotIn("scope", log)  # a machine's package, the default

        # The entry, as the list of installed programs reads it.
        entry = reg_query(self.prefix, f"HKLM\\{UNINSTALL}\\Sample Notes")
        quoted = f'"{program}"'
        texts = {name: data for name, (kind, data) in entry.items() if kind == "REG_SZ"}
        self.assertEqual(texts.pop("InstallDate"), time.strftime("%Y%m%d"))  # the day of the attach
        self.assertEqual(texts, {
            "DisplayName": "Sample Notes 2.4", "DisplayVersion": "2.4", "Publisher": "Éditions Tidewell",
            "HelpLink": "https://example.org/sample-notes/help", "DisplayIcon": program + ",0",
            "UninstallString": quoted, "QuietUninstallString": quoted + " /Q", "InstallLocation": MACHINE_FOLDER})
        self.assertEqual(entry["NoModify"], ("REG_DWORD", "0x1"))
        self.assertEqual(entry["NoRepair"], ("REG_DWORD", "0x1"))
        # notes.exe, the uninstaller and the rest, in kilobytes.
        self.assertGreaterEqual(int(entry["EstimatedSize"][1], 16), (30002 + 20000) // 1024)
        self.assertEqual(installed_programs(self.prefix).get("Sample Notes"), "Sample Notes 2.4")

        # Wine's uninstaller starts the uninstaller by its UninstallString: OK to go on, Yes for the
        # shared runtime nobody else uses, OK to the report.
        result = self.prefix.run(program, actions=[OK, "press:6", OK], command=[WINE, "uninstaller", "--remove", "Sample Notes"])
        self.assertCleanRun(result)
        self.assertEqual(result.texts(), [MESSAGES["MSG_CONFIRM"],
                                          shared_prompt("C:\\Program Files\\Common Files\\Sample Shared\\samplert.dll"),
                                          MACHINE_MESSAGES["MSG_DONE"]])
        self.assertTrue(self.prefix.finish(), "the self-deletion's batch job did not end")

        for path in installed + [f"{MACHINE_FOLDER}\\help\\cache.tmp", MACHINE_FOLDER, menu, "C:\\ProgramData\\Sample Notes",
                                 "C:\\Program Files\\Common Files\\Sample Shared"]:
            self.assertFalse(self.exists(path), path)
        self.assertIsNone(reg_query(self.prefix, "HKLM\\Software\\Sample Notes"))
        self.assertIsNone(reg_query(self.prefix, f"HKLM\\{UNINSTALL}\\Sample Notes"))
        self.assertNotIn("C:\\Program Files\\Common Files\\Sample Shared\\samplert.dll", reg_query(self.prefix, SHARED_DLLS) or {})
        self.assertNotIn("Sample Notes", installed_programs(self.prefix))
        for folder in ("C:\\Program Files", "C:\\Program Files\\Common Files", "C:\\ProgramData",
                       "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"):
            self.assertTrue(self.exists(folder), folder)

    def test_a_users_package_goes_through_its_quiet_uninstall_string(self):
        profile, appdata, local = (self.shell_folder(name) for name in ("USERPROFILE", "APPDATA", "LOCALAPPDATA"))
        folder = local + "\\Programs\\Sample Sketch"
        program = folder + "\\Remove.exe"
        desktop, programs = profile + "\\Desktop", appdata + "\\Microsoft\\Windows\\Start Menu\\Programs"
        payload = {"sketch.exe": b"MZ" + bytes(9000), "round.brush": b"brush",
                   "Sample Sketch.lnk": shortcut(folder + "\\sketch.exe", "Sample Sketch"), "settings.ini": b"[Sketch]\r\n"}
        self.install(USER_PACKAGE, payload, USER_STEPS, program)
        installed = [f"{folder}\\sketch.exe", f"{folder}\\brushes\\round.brush", f"{desktop}\\Sample Sketch.lnk",
                     f"{programs}\\Sample Sketch\\Sample Sketch.lnk", f"{appdata}\\Sample Sketch\\settings.ini"]
        for path in installed:
            self.assertTrue(self.exists(path), path)

        # A user's package: its uninstaller asks for no more than the user's rights, and its
        # entry is the user's.
        log = self.dump(program)
        self.assertEqual(log["scope"], "user")
        self.assertEqual(log["files"][2], {"folder": desktop, "name": "Sample Sketch.lnk"})
        self.assertEqual(log["registry_added"], [{"root": "HKCU", "path": UNINSTALL + "\\Sample Sketch 1.0"}])
        self.assertIsNone(reg_query(self.prefix, f"HKLM\\{UNINSTALL}\\Sample Sketch 1.0"))
        entry = reg_query(self.prefix, f"HKCU\\{UNINSTALL}\\Sample Sketch 1.0")
        self.assertEqual(entry["DisplayName"], ("REG_SZ", "Sample Sketch 1.0"))
        self.assertEqual(entry["InstallLocation"], ("REG_SZ", folder))

        # A client runs the quiet command line as it stands: no box, nothing asked, and exit code 0,
        # as everything the log names is gone.
        quiet = entry["QuietUninstallString"][1]
        self.assertEqual(quiet, f'"{program}" /Q')
        result = run_quiet_uninstall(self.prefix, entry, program)
        self.assertCleanRun(result)
        self.assertEqual(result.boxes, [])
        self.assertTrue(self.prefix.finish(), "the self-deletion's batch job did not end")

        # A quiet run that completes deletes the uninstaller too, and so its emptied folder.
        for path in installed + [f"{folder}\\brushes", program, folder, f"{programs}\\Sample Sketch", f"{appdata}\\Sample Sketch"]:
            self.assertFalse(self.exists(path), path)
        self.assertIsNone(reg_query(self.prefix, "HKCU\\Software\\Sample Sketch"))
        self.assertIsNone(reg_query(self.prefix, f"HKCU\\{UNINSTALL}\\Sample Sketch 1.0"))
        for kept in (desktop, programs, appdata, local + "\\Programs"):
            self.assertTrue(self.exists(kept), kept)


if __name__ == "__main__":
    unittest.main()
