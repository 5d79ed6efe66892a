"""scripts/win32-emulation.sh against a stand-in of binfmt_misc (a folder with its register and
status files), a stand-in 32-bit loader that starts once the emulation is registered, and
dpkg-query reporting the packages installed: it registers the emulator with the usual line only
where a 32-bit program does not start and no handler for such programs is registered, and where
it cannot help, it says SKIPPED and exits 77."""
import os
import stat
import subprocess
import tempfile
import unittest
from pathlib import Path

SCRIPT = Path(__file__).resolve().parents[2] / "scripts" / "win32-emulation.sh"
MAGIC = r"\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00"
MASK = r"\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff"
# The same two as the kernel lists them for a registered handler.
MAGIC_HEX = "7f454c4601010100000000000000000002000300"
MASK_HEX = "fffffffffffefe00fffffffffffffffffeffffff"


def executable(path, text):
    path.write_text(text)
    path.chmod(path.stat().st_mode | stat.S_IXUSR)


class EmulationScriptTest(unittest.TestCase):
    def setUp(self):
        scratch = tempfile.TemporaryDirectory()
        self.addCleanup(scratch.cleanup)
        self.root = Path(scratch.name)
        self.binfmt = self.root / "binfmt_misc"
        self.binfmt.mkdir()
        (self.binfmt / "register").write_text("")
        (self.binfmt / "status").write_text("enabled\n")
        self.qemu = self.root / "qemu-i386-static"
        executable(self.qemu, "#!/bin/sh\n")
        self.loader = self.root / "wine"
        # Starts natively when told to, else once the register holds a line for the emulator.
        executable(self.loader, f'#!/bin/sh\n[ -e "{self.root}/native" ] || grep -q "{self.qemu}" "{self.binfmt}/register"\n')
        bin_dir = self.root / "bin"
        bin_dir.mkdir()
        executable(bin_dir / "dpkg-query", "#!/bin/sh\necho 'install ok installed'\n")
        self.env = dict(os.environ, PATH=f"{bin_dir}:{os.environ['PATH']}", TIDEWELL_WINE32=str(self.loader),
                        TIDEWELL_QEMU_I386=str(self.qemu), TIDEWELL_BINFMT_DIR=str(self.binfmt))

    def run_script(self):
        return subprocess.run([str(SCRIPT)], env=self.env, capture_output=True, text=True, timeout=60)

    def registered(self):
        return (self.binfmt / "register").read_text()

    def assertSkipped(self, result, reason):
        self.assertEqual(result.returncode, 77, result.stderr)
        self.assertIn("SKIPPED: the 32-bit program cannot be run on this machine", result.stderr)
        self.assertIn(reason, result.stderr)

    def test_a_machine_that_runs_32_bit_programs_is_left_as_it_is(self):
        (self.root / "native").touch()
        result = self.run_script()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.registered(), "")

    @unittest.skipUnless(os.geteuid() == 0, "registering needs root")
    def test_without_a_handler_the_emulator_is_registered_with_the_usual_line(self):
        result = self.run_script()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.registered(), f":qemu-i386:M::{MAGIC}:{MASK}:{self.qemu}:F\n")

    def test_a_handler_already_registered_for_32_bit_programs_is_not_registered_again(self):
        (self.binfmt / "i386-other").write_text(
            f"disabled\ninterpreter /usr/bin/other\nflags: F\noffset 0\nmagic {MAGIC_HEX}\nmask {MASK_HEX}\n")
        result = self.run_script()
        self.assertSkipped(result, "does not start even with the emulation in place")
        self.assertEqual(self.registered(), "")

    @unittest.skipUnless(os.geteuid() == 0, "registering needs root")
    def test_a_handler_for_other_programs_does_not_count(self):
        (self.binfmt / "arm").write_text("enabled\ninterpreter /usr/bin/qemu-arm\nmagic 7f454c460101010000000000000000000200\n"
                                         f"mask {MASK_HEX}\n")
        self.assertEqual(self.run_script().returncode, 0)
        self.assertIn(str(self.qemu), self.registered())

    def test_disabled_binfmt_misc_is_a_skip_with_the_reason(self):
        (self.binfmt / "status").write_text("disabled\n")
        self.assertSkipped(self.run_script(), "binfmt_misc is disabled")
        self.assertEqual(self.registered(), "")

    def test_a_missing_emulator_is_a_skip_with_the_reason(self):
        self.qemu.unlink()
        self.assertSkipped(self.run_script(), "qemu-i386-static is missing")


if __name__ == "__main__":
    unittest.main()
