"""Start-up: a silent run of a log without a catalogue and without records, against a Windows
program that ends at once, both under Wine, timed whole (wall clock) many times in turn.

Two floors tell the platform's share from the program's: a program with the uninstaller's
imports that ends at once, and one that also initialises OLE and makes and destroys a hidden
window, as every run of the uninstaller does before it reads its log."""
import json
import statistics
import subprocess
import tempfile
from pathlib import Path

FOLDER = "C:\\bench\\start"
PROGRAMS = {
    "uninstaller": (FOLDER + "\\uninstall.exe", ["/X"]),
    "do_nothing": (FOLDER + "\\do-nothing.exe", []),
    "imports_only": (FOLDER + "\\imports-only.exe", []),
    "ole_window": (FOLDER + "\\ole-window.exe", []),
}


def install(session, host_dir):
    folder = session.unix(FOLDER)
    folder.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as scratch:
        manifest = Path(scratch) / "empty.json"
        manifest.write_text(json.dumps({"messages": None}))
        subprocess.run([str(host_dir / "tidewell-log"), "attach", "--stub", str(session.win64 / "uninstall.exe"),
                        "--manifest", str(manifest), "--out", str(folder / "uninstall.exe")], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for name in ("do-nothing", "imports-only", "ole-window"):
        (folder / f"{name}.exe").write_bytes((session.win64 / f"bench-{name}.exe").read_bytes())


def measure(session, host_dir, repetitions, log=print):
    install(session, host_dir)
    times = {name: [] for name in PROGRAMS}
    names = list(PROGRAMS)
    for name in names:  # the first runs load what later runs find in memory
        session.run(*PROGRAMS[name])
    for repetition in range(repetitions):
        # Each round starts with another program, so that none always follows the same one.
        shift = repetition % len(names)
        for name in names[shift:] + names[:shift]:
            seconds, code, _ = session.run(*PROGRAMS[name])
            if code != 0:
                raise RuntimeError(f"{name} ended with {code}")
            times[name].append(seconds)
    log(f"  start-up: {repetitions} runs of each, means " +
        ", ".join(f"{name} {1000 * statistics.fmean(t):.1f} ms" for name, t in times.items()))
    return times


def figures(times):
    """Means, not medians: a Wine process's end is seen in steps of about 16 ms, so single runs
    fall on a few values and only their mean over many runs resolves finer differences."""

    def mean_and_error(values):
        mean = statistics.fmean(values)
        return mean, 1.96 * statistics.stdev(values) / len(values) ** 0.5

    def entry(name, what, baseline_name, baseline_what, goal=None, limit=None):
        ours, theirs = times["uninstaller"], times[baseline_name]
        value, error = mean_and_error(ours)
        baseline, baseline_error = mean_and_error(theirs)
        ratio = value / baseline
        # The ratio's own 95% interval, from the two means' relative errors.
        ratio_error = ratio * ((error / value) ** 2 + (baseline_error / baseline) ** 2) ** 0.5
        return {
            "name": name, "what": what, "unit": "ms",
            "value": 1000 * value, "baseline": 1000 * baseline, "baseline_what": baseline_what,
            "ratio": ratio, "ratio_means": "mean against mean", "goal": goal,
            "met": (ratio <= limit) if limit else None, "repetitions": len(ours),
            "spread": {"value_95_ms": 1000 * error, "baseline_95_ms": 1000 * baseline_error, "ratio_95": ratio_error,
                       "value_min_ms": 1000 * min(ours), "baseline_min_ms": 1000 * min(theirs)},
        }

    return [
        entry("startup.silent_empty_run", "silent run of a log without catalogue or records (mean)",
              "do_nothing", "a Windows program that ends at once (kernel32 only)", "<= 1.2x", 1.2),
        entry("startup.against_imports_floor", "the same run",
              "imports_only", "a program with the uninstaller's six imports that ends at once"),
        entry("startup.against_ole_window_floor", "the same run",
              "ole_window", "the same imports, OleInitialize, a hidden window made and destroyed, OleUninitialize"),
    ]
