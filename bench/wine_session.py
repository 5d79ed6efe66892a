"""A Wine session for the benchmarks: a sandboxed throwaway prefix (the end-to-end harness's),
kept warm for the whole measurement so that no run pays for starting Wine's server or its
desktop process, as on a desktop where the system is already up.

A run is timed from outside, wall clock around the Wine process. With `relay=True` it is run
with Wine's relay trace limited to a few marker calls (the trace's timestamps have a
resolution of 1 ms), which time the phases of one run without changing the program."""
import os
import re
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]

# The calls whose trace marks the phases of a run: the uninstaller's window (created after the
# log is loaded, destroyed after the last phase), its changes of directory (the leftover sweep
# and the pruning), and the baseline's one read of its list; and those that count the guard's
# work: its wait-free check of the watched keys, its first fetch (the Windows folder), and the
# system's folder lookups.
MARKER_CALLS = ["CreateWindowExA", "DestroyWindow", "SetCurrentDirectoryA", "GetWindowsDirectoryA", "ReadFile",
                "ExitProcess", "WaitForSingleObject", "SHGetSpecialFolderLocation", "SHGetFolderPathA",
                "RegQueryValueExA"]

# Both the uninstaller and the baselines are linked at this base, and are far below 1 MB.
IMAGE_BASE, IMAGE_LIMIT = 0x140000000, 0x140100000

_TRACE = re.compile(r'^(\d+\.\d+):[0-9a-f]+:(Call|Ret)\s+\w+\.(\w+)\((.*?)\)(?: retval=[0-9a-f]+)? ret=([0-9a-f]+)$')


class Mark:
    def __init__(self, time, kind, call, arguments):
        self.time, self.kind, self.call, self.arguments = time, kind, call, arguments

    def text(self):
        """The first string argument, as the program passed it."""
        found = re.search(r'"((?:[^"\\]|\\.)*)"', self.arguments)
        return found.group(1).replace("\\\\", "\\") if found else None


class Trace:
    """The marker calls the program itself made, and when its process started and ended."""

    def __init__(self, text):
        stamps = re.findall(r"^(\d+\.\d+):", text, re.M)
        if not stamps:
            raise RuntimeError("the relay trace is empty: was the run made with relay on?")
        self.start, self.end = float(stamps[0]), float(stamps[-1])
        self.marks = []
        for line in text.splitlines():
            match = _TRACE.match(line)
            if match and IMAGE_BASE <= int(match.group(5), 16) < IMAGE_LIMIT:
                self.marks.append(Mark(float(match.group(1)), match.group(2), match.group(3), match.group(4)))

    def first(self, kind, call):
        for mark in self.marks:
            if mark.kind == kind and mark.call == call:
                return mark
        raise RuntimeError(f"no {kind} of {call} in the trace")


class Session:
    """build: "win64" (the 64-bit twin under wine64) or "win32" (the shipped program under Wine's
    32-bit loader, in a prefix with both halves; the harness raises unittest.SkipTest where this
    machine cannot run it). Tools and relay traces are the 64-bit pair's."""

    def __init__(self, build_dir, build="win64"):
        build_dir = Path(build_dir).resolve()
        os.environ["TIDEWELL_E2E_DIR"] = str(build_dir / "bench" / "wine")
        os.environ["TIDEWELL_HOST_DIR"] = str(build_dir / "bench" / "host")
        os.environ["TIDEWELL_WIN64_DIR"] = str(build_dir / "win64")
        os.environ["TIDEWELL_WIN32_DIR"] = str(build_dir / "win32")
        sys.path.insert(0, str(REPO / "tests" / "e2e"))
        import harness

        self.harness = harness
        self.win64 = build_dir / "win64"
        self.build = harness.BUILDS[build]
        self.loader = self.build.loader
        self.prefix = harness.WinePrefix("bench", self.build)
        self.env = self.prefix.env
        self.traces = self.prefix.root / "traces"
        self.traces.mkdir()
        # The server outlives each run, and ends half a minute after the last process of the prefix.
        subprocess.run([harness.WINESERVER, "-p30"], env=self.env, check=True)
        self._wine(["reg", "add", "HKCU\\Software\\Wine\\Debug", "/v", "RelayInclude", "/t", "REG_SZ", "/d",
                    ";".join(MARKER_CALLS), "/f"])
        # A command prompt that waits on its input keeps the session's desktop process up.
        self.keeper = subprocess.Popen([harness.WINE, "cmd", "/k"], env=self.env, stdin=subprocess.PIPE,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                       cwd=self.prefix.unix("C:\\"))
        self.runs = 0
        self.server = self._find_server()

    def _find_server(self):
        """The process id of the prefix's Wine server, whose processor time a run also costs."""
        wanted = f"WINEPREFIX={self.prefix.path}".encode()
        for entry in Path("/proc").iterdir():
            if not entry.name.isdigit():
                continue
            try:
                if (entry / "comm").read_text().strip().startswith("wineserver") and \
                        wanted in (entry / "environ").read_bytes().split(b"\0"):
                    return int(entry.name)
            except OSError:
                continue
        return None

    def _server_seconds(self):
        if self.server is None:
            return 0.0
        try:
            fields = Path(f"/proc/{self.server}/stat").read_text().rsplit(")", 1)[1].split()
        except OSError:
            return 0.0
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def _wine(self, arguments):
        subprocess.run([self.harness.WINE, *arguments], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, cwd=self.prefix.unix("C:\\"), check=True, timeout=120)

    def unix(self, windows_path):
        return self.prefix.unix(windows_path)

    def windows_processes(self):
        """The process ids of the prefix's Windows programs, its own system processes (those
        started from C:\\windows) and its server left out."""
        wanted = f"WINEPREFIX={self.prefix.path}".encode()
        found = set()
        for entry in Path("/proc").iterdir():
            if not entry.name.isdigit() or int(entry.name) == os.getpid():
                continue
            try:
                if wanted not in (entry / "environ").read_bytes().split(b"\0"):
                    continue
                command = (entry / "cmdline").read_bytes().split(b"\0")[0].decode(errors="replace")
            except OSError:
                continue
            if command.lower().startswith("c:\\windows\\") or "wineserver" in command:
                continue
            found.add(int(entry.name))
        return found

    def wait_idle(self, before, deadline):
        """Waits until no Windows program of the prefix remains but those running before."""
        while self.windows_processes() - before:
            if time.perf_counter() > deadline:
                raise TimeoutError("a program of the run is still running")
            time.sleep(0.005)

    def run(self, program, arguments=(), relay=False, timeout=900, until_idle=False):
        """Runs the program to its end: (seconds, exit status, trace or None). The processor
        time of the run, its process's and the Wine server's, is left in last_cpu_seconds.
        With until_idle, the run lasts until the last Windows program it started has ended too
        (a program that re-launches itself, as an NSIS uninstaller does)."""
        env = dict(self.env)
        before = self.windows_processes() if until_idle else set()
        self.runs += 1
        trace_path = self.traces / f"run-{self.runs}.log"
        if relay:
            env["WINEDEBUG"] = "+timestamp,+relay"
        with open(trace_path, "w") if relay else open(os.devnull, "w") as errors:
            server_before, children_before = self._server_seconds(), os.times()
            began = time.perf_counter()
            done = subprocess.run([self.loader, program, *arguments], env=env, stdout=subprocess.DEVNULL,
                                  stderr=errors, stdin=subprocess.DEVNULL, cwd=self.prefix.unix("C:\\"),
                                  timeout=timeout)
            if until_idle:
                self.wait_idle(before, began + timeout)
            seconds = time.perf_counter() - began
            children = os.times()
            self.last_cpu_seconds = (children.children_user - children_before.children_user +
                                     children.children_system - children_before.children_system +
                                     self._server_seconds() - server_before)
        trace = None
        if relay:
            trace = Trace(trace_path.read_text(errors="replace"))
            trace_path.unlink()
        return seconds, done.returncode, trace

    def close(self):
        try:
            self.keeper.stdin.close()
            self.keeper.wait(timeout=30)
        except (OSError, subprocess.TimeoutExpired):
            self.keeper.kill()
        subprocess.run([self.harness.WINESERVER, "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        if not os.environ.get("TIDEWELL_KEEP_PREFIX"):
            self.prefix.remove()
