"""A package on a Japanese Windows, whose ANSI and OEM code page is the double-byte 932: its
folder's name ends in 表, whose second byte in code page 932 is 0x5C, a backslash's. Attached
on the machine, the log is in the encoding tidewell-log finds there, and the program removes
everything, itself and its folder included: its self-deletion's job runs in the command
interpreter, which has no code page element and works in code page 932."""
import subprocess
import unittest

from harness import TOOLS_DIR_WIN, WINE, PrefixTestCase
from installer import assert_removed_whole, attach_unicode, entry_export

FOLDER = "C:\\Program Files\\予定表"
PROGRAM = FOLDER + "\\削除.exe"
KEY = "予定表"
PACKAGE = {
    "product": {"name": "予定表 2.0", "version": "2.0", "key": KEY},
    "files": [
        {"folder": "{InstallDir}", "name": "予定表.exe"},
        {"folder": "{InstallDir}\\一覧表", "name": "一覧表.txt"},
    ],
}
INSTALLED = [f"{FOLDER}\\予定表.exe", f"{FOLDER}\\一覧表\\一覧表.txt"]


class JapaneseLocaleTest(PrefixTestCase):
    def setUp(self):
        super().setUp()
        self.assertEqual("表".encode("cp932"), b"\x95\x5c")
        self.prefix.env["LANG"] = "ja_JP.UTF-8"
        # The helper names no code page in its manifest: it gets the locale's.
        pages = subprocess.run([WINE, f"{TOOLS_DIR_WIN}\\tw-auto.exe", "--code-pages"], env=self.prefix.env,
                               capture_output=True, text=True, timeout=120, stdin=subprocess.DEVNULL).stdout.split()
        if pages[:1] != ["932"]:
            self.skipTest(f"Wine gives the ANSI code page {pages[:1]} for LANG=ja_JP.UTF-8, not 932 (is the locale "
                          "ja_JP.UTF-8 installed? scripts/ensure-deps.sh installs locales-all)")

    def test_a_folder_whose_name_ends_in_a_trail_byte_backslash_is_removed_whole(self):
        for path in INSTALLED:
            self.prefix.write(path, b"installed")
        result = attach_unicode(self.prefix, PACKAGE, PROGRAM)
        self.assertEqual(result.returncode, 0, result.stderr.decode("utf-8", "replace"))
        copy = self.prefix.unix(PROGRAM).read_bytes()
        # Wine honours the code page element of the tool's manifest: the log is in UTF-8.
        self.assertIn(b"UTF-8</activeCodePage>", copy)
        self.assertIn("一覧表.txt".encode("utf-8"), copy)
        self.assertEqual(entry_export(self.prefix, KEY)["InstallLocation"], FOLDER)

        run = self.prefix.run(PROGRAM, arguments=["/Q", "/L=C:\\setup\\report.txt"])
        self.assertCleanRun(run)
        assert_removed_whole(self, INSTALLED + [f"{FOLDER}\\一覧表", PROGRAM, FOLDER], KEY)
        report = self.prefix.unix("C:\\setup\\report.txt").read_bytes().decode("utf-8").splitlines()
        self.assertEqual(report[0], f"Tidewell removal report, UTF-8: {PROGRAM}")
        self.assertTrue(self.prefix.unix("C:\\Program Files").exists())


if __name__ == "__main__":
    unittest.main()
