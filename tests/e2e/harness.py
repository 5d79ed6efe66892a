"""The end-to-end harness: sandboxed throwaway Wine prefixes, the program copied in with a log
attached, and runs of it with the automation helper answering its boxes.

Each build of the program has its own base prefix and Wine loader: the 64-bit twin runs under
wine64; the shipped 32-bit program runs under Wine's 32-bit loader, in a prefix whose 32-bit half
is populated, where the machine can run 32-bit programs (natively or through user-mode emulation,
which scripts/win32-emulation.sh sets up). The automation helper is always the 64-bit one.

Every prefix lives under the build folder. Before anything under test runs in it, it is
sandboxed: Wine's HOME is inside the throwaway folder, the user folders that Wine links to the
home folder are real folders, and the Z: drive (the machine's root folder) is gone. Only C: is
left, so nothing the program does can reach this machine's own files."""
import fcntl
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

from bmp2png import bmp_to_png

WINE = os.environ.get("TIDEWELL_WINE", "/usr/lib/wine/wine64")
WINE32 = os.environ.get("TIDEWELL_WINE32", "/usr/lib/wine/wine")
WINESERVER = os.environ.get("TIDEWELL_WINESERVER", "/usr/lib/wine/wineserver")
REPO = Path(__file__).resolve().parents[2]
HOST_DIR = Path(os.environ.get("TIDEWELL_HOST_DIR", REPO / "build" / "host"))
WIN64_DIR = Path(os.environ.get("TIDEWELL_WIN64_DIR", REPO / "build" / "win64"))
WIN32_DIR = Path(os.environ.get("TIDEWELL_WIN32_DIR", REPO / "build" / "win32"))
E2E_DIR = Path(os.environ.get("TIDEWELL_E2E_DIR", HOST_DIR / "e2e"))
BASE_PREFIX = E2E_DIR / "base-prefix"
EMULATION_SCRIPT = REPO / "scripts" / "win32-emulation.sh"
SKIP_STATUS = 77  # what the emulation script and the base prefix's maker exit with when skipped
ARTEFACTS = E2E_DIR / "artefacts"
TOOLS_DIR_WIN = "C:\\tidewell-tools"
EXIT_FAILED = 255  # -1 as the process's exit status


class Build:
    """One build of the program: where it lies, the Wine loader that starts it, the base prefix
    that its tests' prefixes are copies of, and how long a run and the end of a prefix's
    processes may take (emulated, a 32-bit process takes about a minute of processor time)."""

    def __init__(self, name, loader, program_dir, base_prefix, run_timeout, finish_timeout):
        self.name = name
        self.loader = loader
        self.program_dir = program_dir
        self.base_prefix = base_prefix
        self.run_timeout = run_timeout
        self.finish_timeout = finish_timeout


WIN64 = Build("win64", WINE, WIN64_DIR, BASE_PREFIX, run_timeout=90, finish_timeout=60)
WIN32 = Build("win32", WINE32, WIN32_DIR, E2E_DIR / "base-prefix32", run_timeout=600, finish_timeout=600)
BUILDS = {build.name: build for build in (WIN64, WIN32)}


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


def make_base_prefix(build=WIN64):
    """Makes the build's sandboxed base prefix once per build folder (other processes wait for it)."""
    if build is WIN32:
        require_win32()
    base = build.base_prefix
    E2E_DIR.mkdir(parents=True, exist_ok=True)
    with open(E2E_DIR / f"{base.name}.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        ready = base / ".tidewell-ready"
        if ready.exists():
            return
        if base.exists():
            shutil.rmtree(base)
        base.mkdir(parents=True)
        (base / "home").mkdir()
        env = wine_env(base)
        # The 32-bit loader is to make a prefix with both halves, the 64-bit one for the helper.
        if build is WIN32:
            env["WINEARCH"] = "win64"
        with open(E2E_DIR / f"wineboot-{build.name}.log", "w") as log:
            subprocess.run([build.loader, "wineboot", "-i"], env=env, stdout=log, stderr=log, stdin=subprocess.DEVNULL,
                           timeout=900)
        wait_for_server(base, timeout=600)
        if build is WIN32:
            check_32bit_half(base)
        sandbox(base)
        ready.touch()


def check_32bit_half(prefix):
    """Raises unless the prefix holds Wine's 32-bit system modules and the 32-bit registry view."""
    kernel32 = Path(prefix) / "drive_c" / "windows" / "syswow64" / "kernel32.dll"
    machine = read_pe_machine(kernel32) if kernel32.exists() else None
    if machine != 0x14C:
        raise RuntimeError(f"the prefix {prefix} has no 32-bit half: {kernel32} is missing or not a 32-bit module "
                           f"(see {E2E_DIR}/wineboot-win32.log)")
    if "[Software\\\\Wow6432Node" not in (Path(prefix) / "system.reg").read_text(errors="replace"):
        raise RuntimeError(f"the prefix {prefix} has no 32-bit registry view")


def read_pe_machine(path):
    """The machine field of a Windows module's header (0x14C: 32-bit x86)."""
    data = Path(path).read_bytes()[:4096]
    offset = int.from_bytes(data[0x3C:0x40], "little")
    if data[:2] != b"MZ" or data[offset:offset + 4] != b"PE\0\0":
        return None
    return int.from_bytes(data[offset + 4:offset + 6], "little")


_win32_skip_reason = None
WIN32_SKIP_MARKER = E2E_DIR / "win32-skipped.txt"


def require_win32():
    """Raises unittest.SkipTest, with the reason, where this machine cannot run Wine's 32-bit half.
    The emulation script sets it up where it can. The verdict of a skip is kept for the rest of
    the test run (the base prefix's maker checks afresh)."""
    global _win32_skip_reason
    if _win32_skip_reason is None and WIN32_SKIP_MARKER.exists():
        _win32_skip_reason = WIN32_SKIP_MARKER.read_text().strip()
    if _win32_skip_reason is None:
        E2E_DIR.mkdir(parents=True, exist_ok=True)
        result = subprocess.run([str(EMULATION_SCRIPT)], capture_output=True, text=True, stdin=subprocess.DEVNULL)
        sys.stdout.write(result.stdout)
        if result.returncode == SKIP_STATUS:
            lines = [line for line in result.stderr.splitlines() if line.startswith("SKIPPED:")]
            _win32_skip_reason = lines[-1] if lines else "SKIPPED: the 32-bit program cannot be run on this machine"
            WIN32_SKIP_MARKER.write_text(_win32_skip_reason + "\n")
        elif result.returncode != 0:
            raise RuntimeError(f"{EMULATION_SCRIPT} failed ({result.returncode}): {result.stderr[-2000:]}")
        else:
            _win32_skip_reason = ""
    if _win32_skip_reason:
        raise unittest.SkipTest(_win32_skip_reason)


class WinePrefix:
    """A throwaway copy of the build's base prefix for one test."""

    def __init__(self, name, build=WIN64):
        self.build = build
        make_base_prefix(build)
        base = build.base_prefix
        runs = E2E_DIR / "runs"
        runs.mkdir(parents=True, exist_ok=True)
        self.root = Path(tempfile.mkdtemp(prefix=f"{name}-", dir=runs))
        self.path = self.root / "prefix"
        # The system folders' files are hard links: nothing here writes into them, and a copy
        # would take seconds.
        windows = base / "drive_c" / "windows"
        linked = [name for name in ("system32", "syswow64") if (windows / name).exists()]
        shutil.copytree(base, self.path, symlinks=True,
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
        # A 64-bit module cannot be loaded into a 32-bit program: there the probe is the 32-bit
        # one, whose hook a 32-bit helper holds (start_font_probe).
        if build is WIN32:
            for name in ("tw-auto32.exe", "tw-fontprobe32.dll"):
                shutil.copy(WIN32_DIR / name, self.tools / name)
        self.probe_holder = None

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

    def job_folders(self):
        """The self-deletion's own folders (tw and 16 hexadecimal digits) anywhere on drive C:.
        Wine's cmd keeps a batch file open until it ends, where Windows' reads each line with
        the file closed, so under Wine the emptied folder of a finished job stays."""
        found = []
        for root, folders, _ in os.walk(self.unix("C:\\")):
            found += [Path(root) / f for f in folders if re.fullmatch(r"tw[0-9a-f]{16}", f)]
        return found

    def job_batches(self):
        """What the job folders still hold: nothing once every job has ended."""
        return sorted(f"{folder.name}\\{entry.name}" for folder in self.job_folders() for entry in folder.iterdir())

    def plant_program(self, windows_path):
        """A program planted as another user would: once run, by any name, it leaves the mark
        windows_path + ".ran" beside itself."""
        target = self.unix(windows_path)
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(WIN64_DIR / "tw-auto.exe", target)

    def install_program(self, windows_path, manifest=None, log=None, stub=None):
        """Copies the build's program to the path with a log attached (a manifest, raw log bytes,
        or no log at all)."""
        target = self.unix(windows_path)
        target.parent.mkdir(parents=True, exist_ok=True)
        stub = Path(stub or self.build.program_dir / "uninstall.exe")
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

    def run(self, program, arguments=(), actions=(), timeout=None, shots=None, then=None, cwd=None, command=None,
            argument_text=None):
        """Runs the program as a person would, the helper answering each box with the next
        action (and every box after them with `then`, if given); returns its exit status, how
        long it ran and what the helper saw. `cwd`, a folder on C:, is the program's current
        folder: Wine makes the Unix folder it is started from the Windows current folder.
        `command`, if given, is what starts the program instead (a client such as Wine's own
        uninstaller, which waits for it); its exit status is returned. `argument_text`, instead
        of `arguments`, is the command line's text after the program's quoted path, exactly as
        given: Wine's loader quotes each of `arguments` on its own, so a switch with a quoted
        part, such as /L="C:\\a b.txt", can only be passed this way (the helper starts the
        program with that command line)."""
        timeout = timeout or self.build.run_timeout
        exe_name = program.split("\\")[-1]
        result_win = f"{TOOLS_DIR_WIN}\\result.json"
        ready_win = f"{TOOLS_DIR_WIN}\\watching"
        ended_win = f"{TOOLS_DIR_WIN}\\ended"
        result, ready, ended = self.unix(result_win), self.unix(ready_win), self.unix(ended_win)
        for stale in (result, ready, ended):
            if stale.exists():
                stale.unlink()
        # The helper learns of the program's end from a file: a program that ends at once may end
        # before the helper ever sees it.
        helper = [WINE, f"{TOOLS_DIR_WIN}\\tw-auto.exe", "--exe", exe_name, "--out", result_win, "--ready", ready_win,
                  "--ended", ended_win, "--timeout", str(timeout)]
        if shots:
            self.unix(shots).mkdir(parents=True, exist_ok=True)
            helper += ["--shots", shots]
        if then:
            helper += ["--then", then]
        if self.build is WIN32:
            helper += ["--no-probe"]
        helper += list(actions)
        logs = self.root / "logs"
        logs.mkdir(exist_ok=True)
        stamp = f"{time.time():.3f}"
        with open(logs / f"helper-{stamp}.log", "w") as helper_log, open(logs / f"program-{stamp}.log", "w") as program_log:
            watcher = subprocess.Popen(helper, env=self.env, stdout=helper_log, stderr=helper_log, stdin=subprocess.DEVNULL)
            # The program starts once the helper listens: a silent run may broadcast its font
            # changes within moments.
            deadline = time.time() + 120
            while not ready.exists() and watcher.poll() is None and time.time() < deadline:
                time.sleep(0.05)
            if not ready.exists():
                watcher.kill()
                raise RuntimeError(f"the helper did not start watching; see {logs}")
            if command is None:
                command = [self.build.loader, program, *arguments]
                if argument_text is not None:
                    line_win = f"{TOOLS_DIR_WIN}\\command-line.txt"
                    self.write(line_win, f'"{program}" {argument_text}'.encode("utf-8"))
                    command = [WINE, f"{TOOLS_DIR_WIN}\\tw-auto.exe", "--launch", line_win]
            started = time.monotonic()
            process = subprocess.Popen(command, env=self.env, stdout=program_log, stderr=program_log,
                                       stdin=subprocess.DEVNULL, cwd=self.unix(cwd) if cwd else None)
            try:
                code = process.wait(timeout=timeout + 30)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
                code = None
            seconds = time.monotonic() - started
            ended.touch()
            try:
                watcher.wait(timeout=timeout + 30)
            except subprocess.TimeoutExpired:
                watcher.kill()
        seen = json.loads(result.read_text()) if result.exists() else {"boxes": [], "missing": True}
        return RunResult(code, seen, seconds)

    def short_name(self, windows_path):
        """The short (8.3) form of a path, as the platform in the prefix gives it."""
        result = subprocess.run([WINE, f"{TOOLS_DIR_WIN}\\tw-auto.exe", "--short-name", windows_path], env=self.env,
                                capture_output=True, text=True, timeout=120, stdin=subprocess.DEVNULL)
        if result.returncode != 0:
            raise RuntimeError(f"no short name for {windows_path}")
        return result.stdout.strip()

    def server_trace(self, program, arguments=()):
        """Runs the program alone (no helper: it must show no window) with the Wine server's
        trace of every request it gets; returns the exit status and the trace's lines. The trace
        shows what the program asked of the system, such as the security descriptor given for a
        file it created, which Wine itself does not keep (it has one account and maps an access
        list to Unix permissions)."""
        self.finish()
        result = subprocess.run([self.build.loader, program, *arguments], env=dict(self.env, WINEDEBUG="+server"),
                                capture_output=True, text=True, errors="replace", timeout=self.build.run_timeout + 60,
                                stdin=subprocess.DEVNULL)
        self.finish()
        return result.returncode, result.stderr.splitlines()

    def hold(self, windows_path, timeout=60):
        """Has another program hold the file open, sharing reading and writing but not deletion;
        returns the function that lets go of it (once it has, calling it again does nothing)."""
        ready, until = f"{TOOLS_DIR_WIN}\\held.flag", f"{TOOLS_DIR_WIN}\\release.flag"
        for stale in (ready, until):
            if self.unix(stale).exists():
                self.unix(stale).unlink()
        holder = subprocess.Popen([WINE, f"{TOOLS_DIR_WIN}\\tw-auto.exe", "--hold", windows_path, "--ready", ready, "--until",
                                   until, "--timeout", "600"], env=dict(self.env, WINEDEBUG="-all"), cwd=self.root,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def release():
            if holder.poll() is None:
                self.write(until, "")
                holder.wait(timeout=60)

        deadline = time.time() + timeout
        while not self.unix(ready).exists():
            if holder.poll() is not None:
                raise RuntimeError(f"the holder could not open {windows_path}")
            if time.time() > deadline:
                release()
                raise RuntimeError(f"the holder did not get hold of {windows_path} in time")
            time.sleep(0.1)
        return release

    def start_app(self, windows_path, ignore_close=False, timeout=60):
        """Starts a program of the package from windows_path (a copy of the helper, whose name
        must start with "tw-auto"), with a window of its own that closes when asked, or, with
        ignore_close, that goes on running; returns (process, end), end being the function that
        tells it to end and waits for it."""
        stem = windows_path.rsplit("\\", 1)[-1]
        ready, until = f"{TOOLS_DIR_WIN}\\{stem}.ready", f"{TOOLS_DIR_WIN}\\{stem}.end"
        for stale in (ready, until):
            if self.unix(stale).exists():
                self.unix(stale).unlink()
        target = self.unix(windows_path)
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(WIN64_DIR / "tw-auto.exe", target)
        command = [WINE, windows_path, "--app-window", "--ready", ready, "--until", until, "--timeout", "600"]
        app = subprocess.Popen(command + (["--ignore-close"] if ignore_close else []), env=dict(self.env, WINEDEBUG="-all"),
                               cwd=self.root, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def end():
            if app.poll() is None:
                self.write(until, "")
                app.wait(timeout=60)

        deadline = time.time() + timeout
        while not self.unix(ready).exists():
            if app.poll() is not None or time.time() > deadline:
                end()
                raise RuntimeError(f"the package's program {windows_path} did not start")
            time.sleep(0.1)
        return app, end

    def hang_window(self, timeout=60):
        """Has another program show a top-level window that takes no messages, as a program
        that hangs; returns the function that lets it go on, which says whether the window was
        still hanging then (calling it again does nothing)."""
        ready, until = f"{TOOLS_DIR_WIN}\\hung.flag", f"{TOOLS_DIR_WIN}\\unhang.flag"
        for stale in (ready, until):
            if self.unix(stale).exists():
                self.unix(stale).unlink()
        hung = subprocess.Popen([WINE, f"{TOOLS_DIR_WIN}\\tw-auto.exe", "--hang-window", "--ready", ready, "--until", until,
                                 "--timeout", "600"], env=self.env, cwd=self.root, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

        def release():
            if hung.poll() is not None:
                return False
            self.write(until, "")
            hung.wait(timeout=60)
            return True

        deadline = time.time() + timeout
        while not self.unix(ready).exists():
            if hung.poll() is not None:
                raise RuntimeError("the window that does not answer could not be shown")
            if time.time() > deadline:
                release()
                raise RuntimeError("the window that does not answer was not shown in time")
            time.sleep(0.1)
        return release

    def start_font_probe(self, timeout=300):
        """In a prefix of the 32-bit program: has a 32-bit helper install the 32-bit font probe's
        hook for every thread, so that the helper's boxes show the program's fonts; it holds the
        hook until finish()."""
        if self.build is not WIN32 or self.probe_holder:
            return
        ready, until = self.unix(f"{TOOLS_DIR_WIN}\\probe.ready"), self.unix(f"{TOOLS_DIR_WIN}\\probe.release")
        for stale in (ready, until):
            if stale.exists():
                stale.unlink()
        logs = self.root / "logs"
        logs.mkdir(exist_ok=True)
        with open(logs / "probe-holder.log", "w") as log:
            self.probe_holder = subprocess.Popen(
                [WINE32, f"{TOOLS_DIR_WIN}\\tw-auto32.exe", "--hook", "--ready", f"{TOOLS_DIR_WIN}\\probe.ready",
                 "--until", f"{TOOLS_DIR_WIN}\\probe.release", "--timeout", "1800"],
                env=dict(self.env, WINEDEBUG="-all"), stdout=log, stderr=log, stdin=subprocess.DEVNULL)
        deadline = time.time() + timeout
        while not ready.exists():
            if self.probe_holder.poll() is not None:
                raise RuntimeError(f"the 32-bit probe's holder ended ({self.probe_holder.returncode}); see {logs}")
            if time.time() > deadline:
                raise RuntimeError("the 32-bit probe's holder did not install its hook in time")
            time.sleep(0.2)

    def stop_font_probe(self):
        if not self.probe_holder:
            return
        self.unix(f"{TOOLS_DIR_WIN}\\probe.release").touch()
        try:
            self.probe_holder.wait(timeout=120)
        except subprocess.TimeoutExpired:
            self.probe_holder.kill()
        self.probe_holder = None

    def finish(self, timeout=None):
        """Waits for every process of the prefix (a batch job included) to end."""
        self.stop_font_probe()
        return wait_for_server(self.path, timeout or self.build.finish_timeout)

    def restart(self):
        """Restarts the prefix's Windows as a restart does for what waits for it: wineboot -r
        carries out the deletions queued in PendingFileRenameOperations. Every process of the
        prefix has ended before and after."""
        self.finish()
        subprocess.run([WINE, "wineboot", "-r"], env=dict(self.env, WINEDEBUG="-all"), cwd=self.root,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300, check=True)
        return self.finish()

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
    def __init__(self, code, seen, seconds=None):
        self.code = code
        self.seen = seen
        self.seconds = seconds  # from the program's start to its end (or to its kill)
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


def private_descriptor(request):
    """The descriptor a create_file request of the Wine server's trace carries, if it is the
    private one: it takes nothing from its folder (control 0x1000, with 0x4, a list present);
    full access for the running account (Wine's one user, whose SID the request names), the
    Administrators group and the system account, reading for everyone; each entry passed on to
    what a folder holds. None when it is any other."""
    account = re.search(r"sid=(S-1-5-21-[0-9-]+)", request)
    if not account:
        return None
    allowed = "{{type=ACCESS_ALLOWED,flags=3,mask={},sid={}}}"
    expected = "sd={control=00001004,owner=<not present>,group=<not present>,sacl={},dacl={" + ",".join(
        allowed.format(mask, sid) for mask, sid in (("1f01ff", account.group(1)), ("1f01ff", "S-1-5-32-544"),
                                                     ("1f01ff", "S-1-5-18"), ("120089", "S-1-1-0"))) + "}}"
    return expected if expected in request else None


def job_in_report(line):
    """A report line naming the self-deletion's batch, its random folder named <job>."""
    return re.sub(r"^(self-deletion scheduled: ).*\\tw[0-9a-f]{16}\\Delme\.bat$", r"\1<job>\\Delme.bat", line)


class PrefixTestCase(unittest.TestCase):
    """A test with its own throwaway prefix, removed afterwards unless TIDEWELL_KEEP_PREFIX is set.
    `build` says which build of the program the test runs."""

    build = WIN64

    def setUp(self):
        self.prefix = WinePrefix(self.id().split(".")[-1], self.build)
        if not os.environ.get("TIDEWELL_KEEP_PREFIX"):
            self.addCleanup(self.prefix.remove)

    def assertCleanRun(self, result, code=0):
        self.assertEqual(result.code, code, f"exit status; helper saw {json.dumps(result.seen)[:2000]}")
        self.assertTrue(result.clean(), f"the helper's run was not clean: {json.dumps(result.seen)[:2000]}")


if __name__ == "__main__":
    # make-base [BUILD]: makes the base prefix of the build (win64 when not given); for win32,
    # exits with SKIP_STATUS where the machine cannot run the 32-bit program.
    if sys.argv[1:2] == ["make-base"] and len(sys.argv) <= 3 and (sys.argv[2:] or ["win64"])[0] in BUILDS:
        build = BUILDS[(sys.argv[2:] or ["win64"])[0]]
        started = time.time()
        if build is WIN32 and WIN32_SKIP_MARKER.exists():
            WIN32_SKIP_MARKER.unlink()  # a new test run: whether the machine can is asked afresh
        try:
            make_base_prefix(build)
        except unittest.SkipTest as skipped:
            print(skipped)
            sys.exit(SKIP_STATUS)
        check_sandbox(build.base_prefix)
        print(f"base prefix ready: {build.base_prefix} ({time.time() - started:.0f} s)")
    else:
        print("usage: harness.py make-base [win64|win32]", file=sys.stderr)
        sys.exit(2)
