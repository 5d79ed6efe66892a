"""The end-to-end harness: sandboxed throwaway Wine prefixes, the program copied in with a log
attached, and runs of it with the automation helper answering its boxes.

Every prefix lives under the build folder. Before anything under test runs in it, it is
sandboxed: Wine's HOME is inside the throwaway folder, the user folders that Wine links to the
home folder are real folders, and the Z: drive (the machine's root folder) is gone. Only C: is
left, so nothing the program does can reach this machine's own files."""
import fcntl
import json
import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

from bmp2png import bmp_to_png

WINE = os.environ.get("TIDEWELL_WINE", "/usr/lib/wine/wine64")
WINESERVER = os.environ.get("TIDEWELL_WINESERVER", "/usr/lib/wine/wineserver")
REPO = Path(__file__).resolve().parents[2]
HOST_DIR = Path(os.environ.get("TIDEWELL_HOST_DIR", REPO / "build" / "host"))
WIN64_DIR = Path(os.environ.get("TIDEWELL_WIN64_DIR", REPO / "build" / "win64"))
E2E_DIR = Path(os.environ.get("TIDEWELL_E2E_DIR", HOST_DIR / "e2e"))
BASE_PREFIX = E2E_DIR / "base-prefix"
ARTEFACTS = E2E_DIR / "artefacts"
TOOLS_DIR_WIN = "C:\\tidewell-tools"
EXIT_FAILED = 255  # -1 as the process's exit status

def wine_env(prefix):
    env = {
        "PATH": "/usr/bin:/bin",
        "WINEPREFIX": str(prefix),
        "HOME": str(prefix / "home"),
        "XDG_CONFIG_HOME": str(prefix / "home" / ".config"),
        "XDG_DATA_HOME": str(prefix / "home" / ".local" / "share"),
        "XDG_CACHE_HOME": str(prefix / "home" / ".cache"),
        "WINEDEBUG": "-all",
        "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
        "LANG": "C.UTF-8",
    }
    if "DISPLAY" in os.environ:
        env["DISPLAY"] = os.environ["DISPLAY"]
    return env


def wait_for_server(prefix, timeout=60):
    """Waits until every process of the prefix has ended; kills them after the timeout."""
    env = wine_env(prefix)
    try:
        subprocess.run([WINESERVER, "-w"], env=env, timeout=timeout, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return True
    except subprocess.TimeoutExpired:
        subprocess.run([WINESERVER, "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run([WINESERVER, "-w"], env=env, timeout=30, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return False


def sandbox(prefix):
    """Cuts the prefix off from this machine's files: real profile folders, no Z: drive."""
    prefix = Path(prefix)
    home = prefix / "home"
    home.mkdir(exist_ok=True)
    for entry in sorted((prefix / "drive_c").rglob("*")):
        if entry.is_symlink():
            entry.unlink()
            entry.mkdir()
    dosdevices = prefix / "dosdevices"
    for device in dosdevices.iterdir():
        if device.name.lower() != "c:":
            device.unlink()
    check_sandbox(prefix)


def check_sandbox(prefix):
    """Raises unless the prefix can reach nothing outside itself."""
    prefix = Path(prefix).resolve()
    # Wine links serial and parallel ports to their devices, which hold no files.
    devices = sorted(d.name.lower() for d in (prefix / "dosdevices").iterdir()
                     if not d.name.lower().startswith(("com", "lpt")))
    if devices != ["c:"]:
        raise RuntimeError(f"prefix {prefix} is not sandboxed: drives {devices}")
    for link in (prefix / "drive_c").rglob("*"):
        if link.is_symlink():
            target = Path(os.path.realpath(link))
            if prefix not in target.parents and target != prefix:
                raise RuntimeError(f"prefix {prefix} is not sandboxed: {link} leads to {target}")


def make_base_prefix():
    """Makes the sandboxed base prefix once per build folder (other processes wait for it)."""
    E2E_DIR.mkdir(parents=True, exist_ok=True)
    with open(E2E_DIR / "base-prefix.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        ready = BASE_PREFIX / ".tidewell-ready"
        if ready.exists():
            return
        if BASE_PREFIX.exists():
            shutil.rmtree(BASE_PREFIX)
        BASE_PREFIX.mkdir(parents=True)
        (BASE_PREFIX / "home").mkdir()
        env = wine_env(BASE_PREFIX)
        with open(E2E_DIR / "wineboot.log", "w") as log:
            subprocess.run([WINE, "wineboot", "-i"], env=env, stdout=log, stderr=log, stdin=subprocess.DEVNULL, timeout=600)
        wait_for_server(BASE_PREFIX, timeout=300)
        sandbox(BASE_PREFIX)
        ready.touch()


class WinePrefix:
    """A throwaway copy of the base prefix for one test."""

    def __init__(self, name):
        make_base_prefix()
        runs = E2E_DIR / "runs"
        runs.mkdir(parents=True, exist_ok=True)
        self.root = Path(tempfile.mkdtemp(prefix=f"{name}-", dir=runs))
        self.path = self.root / "prefix"
        # The system folders' files are hard links: nothing here writes into them, and a copy
        # would take seconds.
        windows = BASE_PREFIX / "drive_c" / "windows"
        linked = [name for name in ("system32", "syswow64") if (windows / name).exists()]
        shutil.copytree(BASE_PREFIX, self.path, symlinks=True,
                        ignore=lambda folder, names: linked if Path(folder) == windows else [])
        for name in linked:
            subprocess.run(["cp", "-al", str(windows / name), str(self.path / "drive_c" / "windows" / name)], check=True)
        check_sandbox(self.path)
        self.env = wine_env(self.path)
        self.tools = self.unix(TOOLS_DIR_WIN)
        self.tools.mkdir(parents=True, exist_ok=True)
        shutil.copy(WIN64_DIR / "tw-auto.exe", self.tools / "tw-auto.exe")
        # The helper's font probe, which it loads into the program to read the fonts of its boxes.
        if (WIN64_DIR / "tw-fontprobe.dll").exists():
            shutil.copy(WIN64_DIR / "tw-fontprobe.dll", self.tools / "tw-fontprobe.dll")

    def unix(self, windows_path):
        """The file behind a path on drive C:."""
        if not windows_path.upper().startswith("C:"):
            raise ValueError(f"not a path on C: {windows_path}")
        rest = windows_path[2:].lstrip("\\").replace("\\", "/")
        return self.path / "drive_c" / rest

    def write(self, windows_path, content=b"", read_only=False):
        path = self.unix(windows_path)
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content if isinstance(content, bytes) else content.encode())
        if read_only:
            path.chmod(0o444)
        return path

    def install_program(self, windows_path, manifest=None, log=None, stub=None):
        """Copies the 64-bit program to the path with a log attached (a manifest, raw log bytes,
        or no log at all)."""
        target = self.unix(windows_path)
        target.parent.mkdir(parents=True, exist_ok=True)
        stub = Path(stub or WIN64_DIR / "uninstall.exe")
        if manifest is None and log is None:
            shutil.copy(stub, target)
            return target
        with tempfile.TemporaryDirectory() as scratch:
            args = [str(HOST_DIR / "tidewell-log"), "attach", "--stub", str(stub), "--out", str(target)]
            if manifest is not None:
                manifest_path = Path(scratch) / "manifest.json"
                manifest_path.write_text(json.dumps(manifest))
                args += ["--manifest", str(manifest_path)]
            else:
                log_path = Path(scratch) / "log.bin"
                log_path.write_bytes(log)
                args += ["--log", str(log_path)]
            subprocess.run(args, check=True)
        return target

    def run(self, program, arguments=(), actions=(), timeout=90, shots=None, then=None):
        """Runs the program as a person would, the helper answering each box with the next
        action (and every box after them with `then`, if given); returns its exit status and
        what the helper saw."""
        exe_name = program.split("\\")[-1]
        result_win = f"{TOOLS_DIR_WIN}\\result.json"
        ended_win = f"{TOOLS_DIR_WIN}\\ended"
        result, ended = self.unix(result_win), self.unix(ended_win)
        for stale in (result, ended):
            if stale.exists():
                stale.unlink()
        # The helper learns of the program's end from a file: a program that ends at once may end
        # before the helper ever sees it.
        helper = [WINE, f"{TOOLS_DIR_WIN}\\tw-auto.exe", "--exe", exe_name, "--out", result_win, "--ended", ended_win,
                  "--timeout", str(timeout)]
        if shots:
            self.unix(shots).mkdir(parents=True, exist_ok=True)
            helper += ["--shots", shots]
        if then:
            helper += ["--then", then]
        helper += list(actions)
        logs = self.root / "logs"
        logs.mkdir(exist_ok=True)
        stamp = f"{time.time():.3f}"
        with open(logs / f"helper-{stamp}.log", "w") as helper_log, open(logs / f"program-{stamp}.log", "w") as program_log:
            watcher = subprocess.Popen(helper, env=self.env, stdout=helper_log, stderr=helper_log, stdin=subprocess.DEVNULL)
            time.sleep(0.3)
            process = subprocess.Popen([WINE, program, *arguments], env=self.env, stdout=program_log, stderr=program_log,
                                       stdin=subprocess.DEVNULL)
            try:
                code = process.wait(timeout=timeout + 30)
            except subprocess.TimeoutExpired:
                process.kill()
                code = None
            ended.touch()
            try:
                watcher.wait(timeout=timeout + 30)
            except subprocess.TimeoutExpired:
                watcher.kill()
        seen = json.loads(result.read_text()) if result.exists() else {"boxes": [], "missing": True}
        return RunResult(code, seen)

    def short_name(self, windows_path):
        """The short (8.3) form of a path, as the platform in the prefix gives it."""
        result = subprocess.run([WINE, f"{TOOLS_DIR_WIN}\\tw-auto.exe", "--short-name", windows_path], env=self.env,
                                capture_output=True, text=True, timeout=120, stdin=subprocess.DEVNULL)
        if result.returncode != 0:
            raise RuntimeError(f"no short name for {windows_path}")
        return result.stdout.strip()

    def finish(self, timeout=60):
        """Waits for every process of the prefix (a batch job included) to end."""
        return wait_for_server(self.path, timeout)

    def screenshot(self, windows_bmp, name):
        """Keeps a screenshot the helper made as a PNG artefact of the test run; returns its path."""
        ARTEFACTS.mkdir(parents=True, exist_ok=True)
        target = ARTEFACTS / f"{name}.png"
        bmp_to_png(self.unix(windows_bmp), target)
        return target

    def remove(self):
        self.finish(timeout=30)
        shutil.rmtree(self.root, ignore_errors=True)


class RunResult:
    def __init__(self, code, seen):
        self.code = code
        self.seen = seen
        self.boxes = seen.get("boxes", [])

    def texts(self):
        """The main text of each box: the message of a message box, the prompt of a dialog."""
        return [box_text(box) for box in self.boxes]

    def clean(self):
        """The helper used every action, met no unscripted box, and the program ended."""
        return not any(self.seen.get(k) for k in ("timed_out", "unexpected", "stuck", "missing")) and \
            self.seen.get("unused_actions", 0) == 0


def box_text(box):
    for control in box["controls"]:
        if control["id"] in (0xFFFF, 1000) and control["class"].lower() == "static":
            return control["text"]
    return None


class PrefixTestCase(unittest.TestCase):
    """A test with its own throwaway prefix, removed afterwards unless TIDEWELL_KEEP_PREFIX is set."""

    def setUp(self):
        self.prefix = WinePrefix(self.id().split(".")[-1])
        if not os.environ.get("TIDEWELL_KEEP_PREFIX"):
            self.addCleanup(self.prefix.remove)

    def assertCleanRun(self, result, code=0):
        self.assertEqual(result.code, code, f"exit status; helper saw {json.dumps(result.seen)[:2000]}")
        self.assertTrue(result.clean(), f"the helper's run was not clean: {json.dumps(result.seen)[:2000]}")


if __name__ == "__main__":
    import sys

    if sys.argv[1:] == ["make-base"]:
        make_base_prefix()
        check_sandbox(BASE_PREFIX)
        print(f"base prefix ready: {BASE_PREFIX}")
