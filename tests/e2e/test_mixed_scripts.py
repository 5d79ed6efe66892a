"""A package whose folder, files, desktop shortcut, registry key and product name mix Japanese,
Greek and Cyrillic, which no single legacy code page holds: attached on the user's machine by
tidewell-log.exe attach --register, it is listed by its name, removed whole through Wine's own
list of installed programs, and its boxes show its texts as the package wrote them. Made with
the code page of a western Windows on the build machine, the same package is refused.

The harness makes the package's files itself and its keys with a UTF-16 .reg file, and starts
the tool with its arguments: Wine's cmd reads batch files, and `reg query` and Wine's list
write, in the console's code page."""
import fcntl
import json
import os
import pty
import re
import select
import struct
import subprocess
import termios
import time
import tempfile
import unittest
from pathlib import Path

from demo_package import shortcut
from harness import HOST_DIR, WIN64_DIR, WINE, PrefixTestCase
from installer import SETUP, TOOL, assert_removed_whole, attach_unicode, entry_export, import_registry, registry_export

FOLDER_NAME = "Mixed ノート Σημειώσεις Заметки"
PROGRAM_NAME = "Удалить Αφαίρεση.exe"
PRODUCT = "Mixed Notes ノート Σημειώσεις Заметки 3.1"
KEY = "Mixed Notes ノート Κλειδί Ключ"
MESSAGES = {
    "MSG_TITLE": "ノート · Σημειώσεις · Заметки",
    "MSG_CONFIRM": "Удалить «Заметки» и все её части? ノートを削除しますか? Να αφαιρεθούν οι Σημειώσεις;",
    "MSG_DONE": "Заметки удалены. ノートは削除されました。 Οι Σημειώσεις αφαιρέθηκαν.",
}
SETTINGS = "Mixed ノート Κλειδί Ключ"  # below HKLM\Software
PACKAGE = {
    "scope": "machine",
    "product": {"name": PRODUCT, "version": "3.1", "publisher": "Издательство Εκδόσεις 出版", "key": KEY},
    "messages": MESSAGES,
    "files": [
        {"folder": "{InstallDir}", "name": "ノート.exe"},
        {"folder": "{InstallDir}\\Δεδομένα", "name": "данные ノート.txt"},
        {"folder": "{AllUsersDesktop}", "name": "Σημειώσεις ノート.lnk"},
    ],
    "folders": [{"folder": "{InstallDir}\\Δεδομένα\\Шаблоны", "name": "テンプレート.txt"}],
    "registry": [{"root": "HKLM", "path": f"Software\\{SETTINGS}"}],
}
OK = "press:1"


class MixedScriptsTest(PrefixTestCase):
    # Where the build's program sees the program-files folder and HKLM\Software.
    program_files = "C:\\Program Files"
    software = "Software"

    def installed_programs(self):
        """The lines of Wine's list of installed programs (key|||name) whose key holds the
        package's ASCII part, as bytes: the list writes in the console's code page."""
        result = subprocess.run([WINE, "uninstaller", "--list"], env=self.prefix.env, capture_output=True, timeout=120,
                                stdin=subprocess.DEVNULL)
        return [line.rstrip(b"\r") for line in result.stdout.splitlines() if line.startswith(b"Mixed Notes ")]

    def on_console(self, arguments):
        """What tidewell-log.exe writes to a console: Wine's console on a terminal of this machine
        (wide enough for a line not to wrap) shows it in the terminal's UTF-8, drawn with control
        sequences, of which the cursor's moves to the right stand for spaces here."""
        master, slave = pty.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 50, 400, 0, 0))
        tool = subprocess.Popen([WINE, TOOL, *arguments], env=self.prefix.env, cwd=self.prefix.unix(SETUP), stdin=slave, stdout=slave,
                                stderr=slave)
        os.close(slave)
        shown, deadline = b"", time.time() + 60
        while time.time() < deadline and (tool.poll() is None or select.select([master], [], [], 0.5)[0]):
            if select.select([master], [], [], 0.5)[0]:
                try:
                    shown += os.read(master, 65536)
                except OSError:  # the terminal's last holder has gone
                    break
        tool.wait(timeout=60)
        os.close(master)
        shown = re.sub(r"\x1b\[(\d*)C", lambda move: " " * int(move.group(1) or 1), shown.decode("utf-8", "replace"))
        return re.sub(r"\x1b\[[0-9;?]*[A-Za-z]", "", shown)

    def test_a_package_in_three_scripts_is_listed_and_removed_whole_through_the_list(self):
        folder = f"{self.program_files}\\{FOLDER_NAME}"
        program = f"{folder}\\{PROGRAM_NAME}"
        settings_key = f"HKEY_LOCAL_MACHINE\\{self.software}\\{SETTINGS}"
        desktop = subprocess.run([WINE, "cmd", "/c", "echo %PUBLIC%"], env=self.prefix.env, capture_output=True,
                                 timeout=120).stdout.decode().strip() + "\\Desktop"
        installed = [f"{folder}\\ノート.exe", f"{folder}\\Δεδομένα\\данные ノート.txt", f"{desktop}\\Σημειώσεις ノート.lnk",
                     f"{folder}\\Δεδομένα\\Шаблоны\\テンプレート.txt"]
        for path in installed:
            self.prefix.write(path, shortcut(installed[0], PRODUCT) if path.endswith(".lnk") else b"installed")
        import_registry(self.prefix, {settings_key: {"Последний": "C:\\ノート\\Σημειώσεις.txt"}})
        self.assertEqual(registry_export(self.prefix, settings_key), {"Последний": "C:\\ノート\\Σημειώσεις.txt"})

        result = attach_unicode(self.prefix, PACKAGE, program, self.build.program_dir)
        self.assertEqual(result.returncode, 0, result.stderr.decode("utf-8", "replace"))
        self.assertEqual(result.stderr, b"")
        self.assertIn(b"UTF-8</activeCodePage>", self.prefix.unix(program).read_bytes())
        # The tool's messages reach a console as the text they are, not as UTF-8 bytes read in
        # the console's code page.
        self.assertIn(f"{program}: no problems found", self.on_console(["check", program]))

        # The entry, read back as Unicode, holds the texts the manifest gave.
        entry = entry_export(self.prefix, KEY, self.software)
        self.assertEqual(entry["DisplayName"], PRODUCT)
        self.assertEqual(entry["Publisher"], PACKAGE["product"]["publisher"])
        self.assertEqual(entry["InstallLocation"], folder)
        self.assertEqual(entry["UninstallString"], f'"{program}"')
        # Wine's list shows it once, its name one character for each of the name's (the console's
        # single-byte code page writes a character it lacks as one byte too).
        listed = self.installed_programs()
        self.assertEqual(len(listed), 1, listed)
        listed_key, listed_name = listed[0].split(b"|||")
        self.assertEqual((len(listed_key), len(listed_name)), (len(KEY), len(PRODUCT)), listed)
        self.assertTrue(listed_name.startswith(b"Mixed Notes "), listed)

        # Wine's uninstaller starts the program by its UninstallString: OK to go on, OK to the end.
        run = self.prefix.run(program, actions=[OK, OK], command=[WINE, "uninstaller", "--remove", KEY])
        self.assertCleanRun(run)
        self.assertEqual(run.texts(), [MESSAGES["MSG_CONFIRM"], MESSAGES["MSG_DONE"]])
        self.assertEqual([box["caption"] for box in run.boxes], [MESSAGES["MSG_TITLE"]] * 2)
        assert_removed_whole(self, installed + [f"{folder}\\Δεδομένα\\Шаблоны", f"{folder}\\Δεδομένα", program, folder], KEY,
                             self.software)
        self.assertIsNone(registry_export(self.prefix, settings_key))
        self.assertEqual(self.installed_programs(), [])
        for kept in (self.program_files, desktop):
            self.assertTrue(self.prefix.unix(kept).exists(), kept)


class WesternCodePageTest(unittest.TestCase):
    def test_the_package_in_a_western_code_page_is_refused_on_the_build_machine(self):
        with tempfile.TemporaryDirectory() as scratch:
            manifest, out = Path(scratch) / "package.json", Path(scratch) / "Remove.exe"
            manifest.write_text(json.dumps(dict(PACKAGE, codepage="windows-1252"), ensure_ascii=False), encoding="utf-8")
            result = subprocess.run([str(HOST_DIR / "tidewell-log"), "attach", "--stub", str(WIN64_DIR / "uninstall.exe"),
                                     "--manifest", str(manifest), "--out", str(out)], capture_output=True, text=True)
            self.assertEqual(result.returncode, 1, result.stderr)
            self.assertEqual(result.stderr, f"tidewell-log: {manifest}: messages.MSG_TITLE: the text holds a character that "
                                            "code page windows-1252 cannot show\n")
            self.assertFalse(out.exists())


if __name__ == "__main__":
    unittest.main()
