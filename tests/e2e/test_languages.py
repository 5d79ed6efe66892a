"""A package named in a language the machine's legacy code page cannot hold (Chinese on a
western Windows): tidewell-log.exe attaches its log on the user's machine, where the system
honours the UTF-8 code page element of the tool's manifest, so the log is written in UTF-8 and
the copy marked to run in UTF-8; the entry's name is the Unicode text written; and the program
removes everything, itself and its folder included. A copy whose log is in another code page
than its run's (the locale changed since the installation) removes nothing.

The files are made by the harness and the tool started with its arguments, not from a batch
file: Wine's cmd reads batch files in the console's code page, which holds no Chinese."""
import unittest

from harness import EXIT_FAILED, PrefixTestCase
from installer import assert_removed_whole, attach_unicode, entry_export, import_registry, registry_export

FOLDER = "C:\\Program Files\\张伟"
PROGRAM = FOLDER + "\\Remove.exe"
PRODUCT = "张伟的笔记 1.0"
PACKAGE = {
    "product": {"name": PRODUCT, "version": "1.0", "publisher": "张伟", "key": "张伟的笔记"},
    "messages": {"MSG_DONE": "张伟的笔记已从您的计算机中删除。"},
    "files": [
        {"folder": "{InstallDir}", "name": "表.txt"},
        {"folder": "{InstallDir}\\数据", "name": "表.txt"},
    ],
    "folders": [{"folder": "{AllUsersPrograms}\\张伟", "name": "张伟.lnk"}],
    "registry": [{"root": "HKLM", "path": "Software\\张伟"}],
}
MENU = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\张伟"
INSTALLED = [f"{FOLDER}\\表.txt", f"{FOLDER}\\数据\\表.txt", f"{MENU}\\张伟.lnk"]


class LanguagesTest(PrefixTestCase):
    def test_a_package_named_in_chinese_is_removed_whole_and_listed_by_its_name(self):
        for path in INSTALLED:
            self.prefix.write(path, b"installed")
        result = attach_unicode(self.prefix, PACKAGE, PROGRAM)
        self.assertEqual(result.returncode, 0, result.stderr.decode("utf-8", "replace"))
        self.assertEqual(result.stderr, b"")
        copy = self.prefix.unix(PROGRAM).read_bytes()
        self.assertIn(b"UTF-8</activeCodePage>", copy)
        # The log names the files in UTF-8.
        self.assertIn("表.txt".encode("utf-8"), copy)

        entry = entry_export(self.prefix, "张伟的笔记")
        self.assertEqual(entry["DisplayName"], PRODUCT)
        self.assertEqual(entry["Publisher"], "张伟")
        self.assertEqual(entry["InstallLocation"], FOLDER)
        self.assertRegex(entry["InstallDate"], r"^20\d{6}$")

        # The registry key of the package, made as its installation would.
        key = "HKEY_LOCAL_MACHINE\\Software\\张伟"
        import_registry(self.prefix, {key: {"Version": "1.0"}})
        self.assertEqual(registry_export(self.prefix, key), {"Version": "1.0"})

        run = self.prefix.run(PROGRAM, arguments=["/Q", "/L=C:\\setup\\report.txt"])
        self.assertCleanRun(run)
        assert_removed_whole(self, INSTALLED + [f"{FOLDER}\\数据", MENU, PROGRAM, FOLDER], "张伟的笔记")
        report = self.prefix.unix("C:\\setup\\report.txt").read_bytes().decode("utf-8").splitlines()
        self.assertEqual(report[0], f"Tidewell removal report, UTF-8: {PROGRAM}")
        self.assertIsNone(registry_export(self.prefix, key))
        self.assertTrue(self.prefix.unix("C:\\Program Files").exists())

    def test_a_log_in_another_code_page_than_the_runs_removes_nothing(self):
        # Written for a Cyrillic Windows (code page 1251); the machine's is a western one.
        folder, program = "C:\\Данные", "C:\\Data\\Remove.exe"
        self.prefix.write(f"{folder}\\файл.txt", b"installed")
        self.prefix.unix("C:\\Data").mkdir()
        result = attach_unicode(self.prefix, {"product": {"name": "Данные", "version": "1.0"}, "codepage": "windows-1251",
                                              "files": [{"folder": folder, "name": "файл.txt"}]}, program)
        self.assertEqual(result.returncode, 0, result.stderr.decode("utf-8", "replace"))
        self.assertIn(b"Legacy</activeCodePage>", self.prefix.unix(program).read_bytes())

        run = self.prefix.run(program, arguments=["/Q", "/L=C:\\setup\\report.txt"])
        self.assertCleanRun(run, code=EXIT_FAILED)
        self.assertEqual(run.boxes, [])
        report = self.prefix.unix("C:\\setup\\report.txt").read_bytes().decode("cp1252").splitlines()
        self.assertRegex(report[0], r"^Tidewell removal report, code page 1252: ")
        self.assertRegex(report[1], r"^nothing removed, the log is in another code page than this system's: ")
        self.assertTrue(self.prefix.unix(f"{folder}\\файл.txt").exists())
        self.assertTrue(self.prefix.unix(program).exists())
        self.assertEqual(entry_export(self.prefix, "Данные")["DisplayName"], "Данные")


if __name__ == "__main__":
    unittest.main()
