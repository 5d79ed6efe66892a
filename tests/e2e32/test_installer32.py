"""The shipped 32-bit tidewell-log.exe as a 32-bit installation's last step, under Wine's 32-bit
half: the folder names of the manifest stand for the folders a 32-bit program sees (the
"(x86)" program-files folders), the entry goes into the 32-bit view of the list of installed
programs, and the shipped 32-bit program, started by the entry's QuietUninstallString, removes
the package, its entry and itself without a box."""
import json
import subprocess
import unittest

from harness import HOST_DIR, WIN32, WIN32_DIR, PrefixTestCase, read_pe_machine, require_win32
from installer import PAYLOAD, TOOL, install, reg_query, run_quiet_uninstall

FOLDER = "C:\\Program Files (x86)\\Sample"
PROGRAM = FOLDER + "\\Remove.exe"
COMMON = "C:\\Program Files (x86)\\Common Files\\Sample"
MENU = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Sample"
UNINSTALL = "Microsoft\\Windows\\CurrentVersion\\Uninstall"
VIEW32 = "HKLM\\Software\\Wow6432Node"  # HKLM\Software as a 32-bit program sees it

MANIFEST = {
    "product": {"name": "Sample 1.0", "publisher": "Tidewell Samples", "key": "Sample"},
    "files": [{"folder": "{InstallDir}\\bin", "name": "sample.exe"}, {"folder": "{CommonFiles}\\Sample", "name": "core.dll"}],
    "folders": [{"folder": "{AllUsersPrograms}\\Sample", "name": "Sample.lnk"}],
    "registry": [{"root": "HKLM", "path": "Software\\Sample"}],
}
STEPS = [
    'set TARGET=%ProgramFiles(x86)%\\Sample',
    'set MENU=%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs\\Sample',
    'mkdir "%TARGET%\\bin" "%CommonProgramFiles(x86)%\\Sample" "%MENU%"',
    f'copy /y "{PAYLOAD}\\sample.exe" "%TARGET%\\bin" >nul',
    f'copy /y "{PAYLOAD}\\core.dll" "%CommonProgramFiles(x86)%\\Sample" >nul',
    f'copy /y "{PAYLOAD}\\Sample.lnk" "%MENU%" >nul',
    # Where a 32-bit installation's HKLM\Software\Sample lies.
    f'reg add "{VIEW32}\\Sample" /v Version /d 1.0 /f >nul',
]


def setUpModule():
    require_win32()


class Installer32Test(PrefixTestCase):
    build = WIN32

    def exists(self, path):
        return self.prefix.unix(path).exists()

    def test_the_32_bit_tool_registers_a_32_bit_package_that_its_quiet_uninstall_string_removes(self):
        payload = {"sample.exe": b"MZ" + bytes(4000), "core.dll": b"MZ core", "Sample.lnk": b"shortcut"}
        result = install(self.prefix, WIN32_DIR, MANIFEST, payload, STEPS, PROGRAM, timeout=900)
        self.assertEqual(result.returncode, 0, result.stderr.decode("utf-8", "replace")[-3000:])
        self.assertEqual(read_pe_machine(self.prefix.unix(TOOL)), 0x14C, "the tool that ran is the 32-bit one")
        installed = [f"{FOLDER}\\bin\\sample.exe", f"{COMMON}\\core.dll", f"{MENU}\\Sample.lnk", PROGRAM]
        for path in installed:
            self.assertTrue(self.exists(path), path)

        # {CommonFiles} is the 32-bit view's CommonFilesDir, as the 32-bit program's guard reads it.
        log = json.loads(subprocess.run([str(HOST_DIR / "tidewell-log"), "dump", str(self.prefix.unix(PROGRAM))],
                                        capture_output=True, text=True, check=True).stdout)
        self.assertEqual(log["files"], [{"folder": ".\\bin", "name": "sample.exe"}, {"folder": COMMON, "name": "core.dll"}])
        self.assertEqual(log["folders"], [{"folder": MENU, "name": "Sample.lnk"}])
        self.assertEqual(log["registry_added"], [{"root": "HKLM", "path": f"Software\\{UNINSTALL}\\Sample"}])

        # The entry is in the 32-bit view, where a 32-bit tool writes HKLM\Software.
        self.assertIsNone(reg_query(self.prefix, f"HKLM\\Software\\{UNINSTALL}\\Sample"))
        entry = reg_query(self.prefix, f"{VIEW32}\\{UNINSTALL}\\Sample")
        self.assertEqual(entry["DisplayName"], ("REG_SZ", "Sample 1.0"))
        self.assertEqual(entry["InstallLocation"], ("REG_SZ", FOLDER))
        quiet = entry["QuietUninstallString"][1]
        self.assertEqual(quiet, f'"{PROGRAM}" /Q')

        run = run_quiet_uninstall(self.prefix, entry, PROGRAM)
        self.assertCleanRun(run)
        self.assertEqual(run.boxes, [])
        self.assertTrue(self.prefix.finish(), "the self-deletion's batch job did not end")

        # Everything the log names went (exit code 0), and the uninstaller with its folder after it.
        for path in installed + [f"{FOLDER}\\bin", FOLDER, COMMON, MENU]:
            self.assertFalse(self.exists(path), path)
        self.assertIsNone(reg_query(self.prefix, f"{VIEW32}\\Sample"))
        self.assertIsNone(reg_query(self.prefix, f"{VIEW32}\\{UNINSTALL}\\Sample"))
        for kept in ("C:\\Program Files (x86)\\Common Files", "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"):
            self.assertTrue(self.exists(kept), kept)


if __name__ == "__main__":
    unittest.main()
