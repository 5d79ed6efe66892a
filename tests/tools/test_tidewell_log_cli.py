"""tidewell-log as a package author runs it: exit statuses, one-line refusals, nothing written
on bad input, and dump after attach giving the manifest back."""
import json
import os
import re
import subprocess
import tempfile
import unittest
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
HOST_DIR = Path(os.environ.get("TIDEWELL_HOST_DIR", REPO / "build" / "host"))
TOOL = str(HOST_DIR / "tidewell-log")
FIXTURE = str(HOST_DIR / "tw-fixture")

MANIFEST = """{
  "messages": {
    "MSG_TITLE": "Sample Notes"
  },
  "files": [
    {"folder": ".\\\\", "name": "notes.exe"},
    {"folder": "C:\\\\Program Files\\\\Common Files\\\\Sample", "name": "rt.dll", "flags": ["shared"]}
  ],
  "registry": [],
  "registry_added": [
    {"root": "HKLM", "path": "Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Sample Notes"}
  ],
  "patterns": [
    ".tmp"
  ]
}
"""


class TidewellLog(unittest.TestCase):
    def setUp(self):
        scratch = tempfile.TemporaryDirectory()
        self.addCleanup(scratch.cleanup)
        self.dir = Path(scratch.name)
        self.stub = self.dir / "stub.exe"
        subprocess.run([FIXTURE, "stub", str(self.stub)], check=True)

    def tool(self, *args):
        return subprocess.run([TOOL, *map(str, args)], capture_output=True, text=True)

    def write(self, name, text):
        path = self.dir / name
        path.write_text(text)
        return path

    def assertRefused(self, result, phrase, status=1):
        """Exit status, and one line on stderr that says why."""
        self.assertEqual(result.returncode, status, result.stderr)
        lines = result.stderr.splitlines()
        self.assertEqual(len(lines), 1, result.stderr)
        self.assertTrue(lines[0].startswith("tidewell-log: "), lines[0])
        self.assertIn(phrase, lines[0])

    def attach(self, manifest, out="Remove.exe", stub=None):
        return self.tool("attach", "--stub", stub or self.stub, "--manifest", manifest, "--out", self.dir / out)

    def test_dump_after_attach_gives_the_manifest_back(self):
        self.assertEqual(self.attach(self.write("package.json", MANIFEST)).returncode, 0)
        dumped = self.tool("dump", self.dir / "Remove.exe")
        self.assertEqual(dumped.returncode, 0, dumped.stderr)
        self.assertEqual(dumped.stdout, MANIFEST)
        self.assertEqual(dumped.stderr, "")
        # Attached again to the program that carries it, the dumped manifest changes nothing.
        self.assertEqual(self.attach(self.write("dumped.json", dumped.stdout), "Again.exe", self.dir / "Remove.exe").returncode, 0)
        self.assertEqual((self.dir / "Again.exe").read_bytes(), (self.dir / "Remove.exe").read_bytes())

    def test_blocks_lists_offset_tag_flags_and_length(self):
        log = self.dir / "example.log"
        subprocess.run([FIXTURE, "write", "example", log], check=True)
        self.assertEqual(self.tool("attach", "--stub", self.stub, "--log", log, "--out", self.dir / "Remove.exe").returncode, 0)
        listing = self.tool("dump", "--blocks", self.dir / "Remove.exe")
        self.assertEqual(listing.returncode, 0, listing.stderr)
        rows = [line.split()[:5] for line in listing.stdout.splitlines()[1:6]]
        self.assertEqual(rows, [["0x0000E000", "0x1234", "BLOCK_MESSAGES", "0x00", "493"],
                                ["0x0000E1F5", "0x1237", "BLOCK_REGISTRY", "0x00", "4"],
                                ["0x0000E201", "0x1235", "BLOCK_FILES", "0x00", "330"],
                                ["0x0000E353", "0x1238", "BLOCK_REGISTRY_ADD", "0x00", "79"],
                                ["0x0000E3AA", "0x7F7F", "BLOCK_END", "0x00", "0"]])

    def test_a_log_written_before_the_last_two_slots_stays_sound_and_comes_back_as_it_was(self):
        log = self.dir / "example.log"  # eleven texts: no question about running programs or a restart
        subprocess.run([FIXTURE, "write", "example", log], check=True)
        self.assertEqual(self.tool("attach", "--stub", self.stub, "--log", log, "--out", self.dir / "Remove.exe").returncode, 0)
        checked = self.tool("check", "--strict", self.dir / "Remove.exe")
        self.assertEqual((checked.returncode, checked.stdout), (0, f"{self.dir / 'Remove.exe'}: no problems found\n"))
        dumped = self.tool("dump", self.dir / "Remove.exe")
        self.assertEqual(dumped.returncode, 0, dumped.stderr)
        messages = json.loads(dumped.stdout)["messages"]
        self.assertEqual((messages["MSG_CLOSE_APPS"], messages["MSG_RESTART"]), (None, None))
        self.assertEqual(self.attach(self.write("dumped.json", dumped.stdout), "Again.exe", self.dir / "Remove.exe").returncode, 0)
        # The same log, which now records the code page its texts are in (1252) behind its catalogue.
        block = b"\x3a\x12\x00\x00\x04\x00\x00\x00\xe4\x04\x00\x00"
        again = (self.dir / "Again.exe").read_bytes()
        self.assertEqual(again.count(block), 1)
        self.assertEqual(again.replace(block, b""), (self.dir / "Remove.exe").read_bytes())

    def test_bad_input_is_refused_in_one_line_and_writes_nothing(self):
        out = self.dir / "Remove.exe"
        self.assertRefused(self.attach(self.write("bad.json", '{"files": [}')), "the manifest is not valid JSON: parse error at line 1")
        self.assertRefused(self.attach(self.write("flags.json", '{"files": [{"folder": "x", "flags": ["big"]}]}')),
                           'files[0].flags: unknown flag "big"')
        self.assertRefused(self.attach(self.write("ok.json", "{}"), stub=self.write("plain.exe", "MZ" + "x" * 100)),
                           "plain.exe: is not a Windows program")
        self.assertRefused(self.attach(self.dir / "missing.json"), "cannot read")
        self.assertFalse(out.exists())
        self.assertRefused(self.tool("frobnicate"), "unknown command frobnicate", status=2)
        self.assertRefused(self.tool("attach", "--stub", self.stub, "--out"), "--out needs a value", status=2)
        self.assertRefused(self.tool("dump"), "dump needs one program file", status=2)

    def test_a_manifest_out_of_range_is_refused_and_writes_nothing(self):
        # Each limit's wording is the manifest reader's tests' to show; here, that nothing is made.
        out = self.dir / "Remove.exe"
        self.assertRefused(self.attach(self.write("root.json", '{"registry": [{"root": 4294967298, "path": "Software\\\\X"}]}')),
                           "registry[0].root: 4294967298 does not fit a 32-bit root key")
        self.assertFalse(out.exists())

    def test_a_manifest_the_program_would_refuse_is_not_attached(self):
        added = ", ".join('{"root": "HKLM", "path": "Software\\\\X%d"}' % i for i in range(4))
        result = self.attach(self.write("many.json", '{"registry": [], "registry_added": [%s]}' % added))
        self.assertRefused(result, "error: registry_added: 4 added registry records")
        self.assertFalse((self.dir / "Remove.exe").exists())

    def test_dump_refuses_a_program_without_a_sound_log(self):
        self.assertRefused(self.tool("dump", self.stub), "carries no log")
        damaged = self.dir / "damaged.log"
        subprocess.run([FIXTURE, "write", "file-count-past-payload", damaged], check=True)
        self.tool("attach", "--stub", self.stub, "--log", damaged, "--out", self.dir / "Remove.exe")
        self.assertRefused(self.tool("dump", self.dir / "Remove.exe"), "the program refuses its log")

    def test_check_reports_each_finding_on_its_own_line(self):
        path = self.write("risky.json", '{"patterns": ["*"], "registry": [{"root": "HKLM", "path": "Software"}]}')
        result = self.tool("check", path)
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertEqual(result.stdout.splitlines(), [
            f'{path}: warning: registry[0] "HKLM\\Software": names the top-level key HKLM\\Software, deleted with everything below it',
            f"{path}: warning: patterns[0] \"*\": a first pattern beginning with '*' deletes every file below the installation "
            "folder, and the other patterns do not matter",
            f"{path}: 0 errors, 2 warnings"])
        self.assertEqual(self.tool("check", "--strict", path).returncode, 1)

        self.assertEqual(self.attach(self.write("package.json", MANIFEST)).returncode, 0)
        clean = self.tool("check", "--strict", self.dir / "Remove.exe")
        self.assertEqual((clean.returncode, clean.stdout), (0, f"{self.dir / 'Remove.exe'}: no problems found\n"))

        broken = self.tool("check", self.write("broken.json", '{"patterns": 3}'))
        self.assertEqual(broken.returncode, 1)
        self.assertEqual(broken.stdout.splitlines()[0], f"{self.dir / 'broken.json'}: error: patterns: expected a list")

    def test_the_readmes_installer_example_is_sound_where_its_folders_are_known(self):
        example = re.search(r"^   ```json\n(.*?)^   ```", (REPO / "README.md").read_text(), re.S | re.M)[1]
        manifest = self.write("package.json", "\n".join(line[3:] for line in example.splitlines()))
        folders = ["--folder", "CommonFiles=C:\\Program Files (x86)\\Common Files", "--folder", "fonts=C:\\Windows\\Fonts",
                   "--folder", "AllUsersPrograms=C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"]
        # The build machine has none of them: check says which it read with their usual paths.
        unresolved = self.tool("check", manifest)
        self.assertEqual((unresolved.returncode, len(unresolved.stdout.splitlines())), (0, 4), unresolved.stdout)
        self.assertIn("{CommonFiles} stands for no folder on this machine: checked as its usual path", unresolved.stdout)
        self.assertEqual(self.tool("check", "--strict", *folders, manifest).stdout, f"{manifest}: no problems found\n")

        self.assertEqual(self.attach(manifest, stub=self.stub).returncode, 1)  # names that stand for nothing
        self.assertFalse((self.dir / "Remove.exe").exists())
        attached = self.tool("attach", "--stub", self.stub, "--manifest", manifest, "--out", self.dir / "Remove.exe", *folders)
        self.assertEqual(attached.returncode, 0, attached.stderr)
        log = json.loads(self.tool("dump", "--codepage", "windows-1252", self.dir / "Remove.exe").stdout)
        self.assertEqual(log["files"][1], {"folder": ".\\help\\en", "name": "index.html"})
        self.assertEqual(log["files"][3]["folder"], "C:\\Program Files (x86)\\Common Files\\Sample Shared")
        self.assertEqual(log["folders"][0]["folder"], "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Sample Notes")

        # Registering is for the user's machine: refused here in one line, and nothing is written.
        (self.dir / "Remove.exe").unlink()
        self.assertRefused(self.tool("attach", "--stub", self.stub, "--manifest", manifest, "--out", self.dir / "Remove.exe",
                                     *folders, "--register"), "run tidewell-log.exe there")
        self.assertFalse((self.dir / "Remove.exe").exists())
        self.assertRefused(self.tool("attach", "--stub", self.stub, "--log", manifest, "--out", self.dir / "Remove.exe",
                                     "--register"), "--register needs --manifest", status=2)


if __name__ == "__main__":
    unittest.main()
