"""The program side by side with a peer, the NSIS 3 runtime (Debian's `nsis` package gives
`makensis` and its stubs), removing the same package in the same throwaway Wine prefix.

Three shapes: 5,000 files in 1 folder, 5,000 files in 250 folders, 500 files in 250 folders
(the folders ten at the top and 24 in each). For each, the package is made afresh before every
run, at paths of the same length for both sides: the program's copy removed by a quiet silent
run (`/Q /X`, what a deployment tool runs, without the self-deletion), NSIS's by an uninstaller
that makensis builds from a generated script (SilentUnInstall silent, one `Delete` per file, one
`RMDir` per folder, then it deletes itself) run with `/S`. An NSIS uninstaller copies itself to
the temporary folder and re-launches from there, so every run of either side is timed, wall
clock, until no Windows program of the prefix remains but those before it. After one untimed
run of each side, the runs are interleaved (T, N, T, N, ...) and each side's median is taken; a run that left anything of the
package is reported as such and not counted.

Which pair is measured: Debian's nsis 3.08 ships x86 and amd64-unicode stubs. Where Wine's
32-bit half runs (scripts/win32-emulation.sh), the shipped 32-bit program and an x86-unicode
NSIS uninstaller; elsewhere the 64-bit pair, the program's 64-bit twin (build/win64) under
wine64 and an amd64-unicode one. `results.json` says which (`pair`). Without makensis, these
figures are reported as skipped with the reason.

A shape that misses the goal gets one more run of the program with Wine's relay trace (64-bit
pair only), which gives its phases and the guard's checks and lookups (large_package's), and
the pruning's file-system calls, how many and the time inside them (`tidewell_phases`)."""
import os
import shutil
import statistics
import subprocess
from pathlib import Path

import large_package
from wine_session import MARKER_CALLS
from large_package import Shape, left_in, make_tree, nested

GOAL, LIMIT = "<= 0.5x", 0.5
MAKENSIS = os.environ.get("TIDEWELL_MAKENSIS", "makensis")
TOOLS = "C:\\bench\\nsis"
# The two sides' packages: paths of the same length.
TIDEWELL_ROOT, NSIS_ROOT = "C:\\bench\\t", "C:\\bench\\n"
UNINSTALLER = "uninst.exe"
PROGRAM_NAME = "uninstall.exe"  # Shape puts the program in the package folder by this name


def two_levels(files_per_folder):
    return nested([f"part{a}" for a in range(10)], [f"sub{b:02}" for b in range(24)]), files_per_folder


SHAPES = [
    ("files_5000_folders_1", "5,000 files in 1 folder", ["data"], 5000),
    ("files_5000_folders_250", "5,000 files in 250 folders", *two_levels(20)),
    ("files_500_folders_250", "500 files in 250 folders", *two_levels(2)),
]


def shape_for(root, key, folders, per_folder):
    return Shape(f"nsis.{key}", f"{root}\\{key}", folders, per_folder, [], [])


def nsis_script(shape, target):
    """An installer whose one silent section writes the uninstaller beside itself, and the
    uninstaller: one Delete per file, one RMDir per folder (deepest first), then itself."""
    lines = [
        "Unicode true",
        f"Target {target}",
        "Name \"bench\"",
        "OutFile \"make-uninstaller.exe\"",
        "RequestExecutionLevel user",
        "SilentInstall silent",
        "SilentUnInstall silent",
        "Section",
        "  WriteUninstaller \"$EXEDIR\\" + UNINSTALLER + "\"",
        "SectionEnd",
        "Section \"Uninstall\"",
    ]
    lines += [f"  Delete \"$INSTDIR\\{folder}\\{name}\"" for folder, name in shape.installed_files]
    lines += [f"  RMDir \"$INSTDIR\\{folder}\"" for folder in sorted(shape.installed_folders, key=lambda f: -f.count("\\"))]
    lines += [f"  Delete \"$INSTDIR\\{UNINSTALLER}\"", "SectionEnd"]
    return "\n".join(lines) + "\n"


class Skipped(Exception):
    pass


def require_makensis():
    if not shutil.which(MAKENSIS):
        raise Skipped("makensis is missing (Debian's nsis package; scripts/ensure-deps.sh --bench installs it)")


def build_uninstaller(session, shape, key, target):
    """Compiles the script and runs its installer once in the prefix: the uninstaller's bytes."""
    tools = session.unix(f"{TOOLS}\\{key}")
    tools.mkdir(parents=True, exist_ok=True)
    (tools / "bench.nsi").write_text(nsis_script(shape, target))
    done = subprocess.run([MAKENSIS, "-V1", "bench.nsi"], cwd=tools, capture_output=True, text=True)
    if done.returncode != 0:
        raise RuntimeError(f"makensis failed: {done.stdout[-1500:]}{done.stderr[-1500:]}")
    seconds, code, _ = session.run(f"{TOOLS}\\{key}\\make-uninstaller.exe", until_idle=True, timeout=120)
    made = tools / UNINSTALLER
    if not made.exists():
        raise RuntimeError(f"the NSIS installer (exit {code}) wrote no uninstaller")
    return made.read_bytes()


def clean_temp(session):
    """The uninstallers' copies left in the temporary folders (kept for the restart under Wine)."""
    for temp in session.unix("C:\\").glob("users/*/AppData/Local/Temp"):
        for entry in temp.glob("~nsu*"):
            shutil.rmtree(entry, ignore_errors=True)


def measure(session, host_dir, repetitions, log=print, trace_misses=True):
    pair = {"build": session.build.name, "loader": str(session.loader),
            "nsis_target": "x86-unicode" if session.build.name == "win32" else "amd64-unicode",
            "program": str(session.build.program_dir / "uninstall.exe")}
    measured = {"pair": pair, "shapes": []}
    for key, what, folders, per_folder in SHAPES:
        ours, theirs = shape_for(TIDEWELL_ROOT, key, folders, per_folder), shape_for(NSIS_ROOT, key, folders, per_folder)
        large_package.install(session, host_dir, ours, stub=session.build.program_dir / "uninstall.exe")
        uninstaller = build_uninstaller(session, theirs, key, pair["nsis_target"])
        expected = len(ours.installed_files) + len(ours.installed_folders)
        runs = {"key": key, "what": what, "files": len(ours.installed_files), "folders": len(ours.installed_folders),
                "tidewell": [], "nsis": [], "tidewell_left": [], "nsis_left": [], "tidewell_codes": [], "nsis_codes": []}

        def lay_out(shape, keep):
            root = str(session.unix(shape.package))
            make_tree(root, shape)
            count = len(left_in(root, keep=keep))
            if count != expected:
                raise RuntimeError(f"the tree holds {count} entries, not {expected}")
            return root

        def run_tidewell(relay=False):
            root = lay_out(ours, (PROGRAM_NAME,))
            seconds, code, trace = session.run(ours.program, ["/Q", "/X"], relay=relay, until_idle=True)
            left = len(left_in(root, keep=(PROGRAM_NAME,)))
            return seconds, code, left, trace

        def run_nsis():
            root = lay_out(theirs, ())
            (Path(root) / UNINSTALLER).write_bytes(uninstaller)
            seconds, code, _ = session.run(f"{theirs.package}\\{UNINSTALLER}", ["/S"], until_idle=True)
            left = len(left_in(root))
            clean_temp(session)
            return seconds, code, left

        # One run of each side first, untimed: the first run of a program in a session pays
        # for what the system loads once.
        run_tidewell()
        run_nsis()
        for repetition in range(repetitions):
            for side in ("tidewell", "nsis"):
                seconds, code, left = run_tidewell()[:3] if side == "tidewell" else run_nsis()
                runs[f"{side}_codes"].append(code)
                runs[f"{side}_left"].append(left)
                if left == 0 and code == 0:
                    runs[side].append(seconds)
            log(f"  {what}, repetition {repetition + 1}/{repetitions}: Tidewell "
                f"{seconds_text(runs['tidewell'], runs['tidewell_left'])}, NSIS {seconds_text(runs['nsis'], runs['nsis_left'])}")
        ratio = ratio_of(runs)
        if trace_misses and session.build.name == "win64" and (ratio is None or ratio > LIMIT):
            set_relay_calls(session, MARKER_CALLS + PRUNING_CALLS)
            try:
                seconds, code, left, trace = run_tidewell(relay=True)
            finally:
                set_relay_calls(session, MARKER_CALLS)
            phases = large_package.program_phases(trace, ours.package)
            phases["traced_seconds"] = seconds
            phases["pruning_calls"] = pruning_calls(trace, ours.package)
            runs["tidewell_phases"] = phases
        measured["shapes"].append(runs)
    return measured


# The file-system calls of the pruning and its guard, traced as well for a shape that misses the
# goal (only there: every traced call costs the run time).
PRUNING_CALLS = ["GetShortPathNameA", "RemoveDirectoryA", "CreateFileA", "CloseHandle", "GetFileAttributesA"]


def set_relay_calls(session, calls):
    session._wine(["reg", "add", "HKCU\\Software\\Wine\\Debug", "/v", "RelayInclude", "/t", "REG_SZ", "/d",
                   ";".join(calls), "/f"])


def pruning_calls(trace, package):
    """Per traced call of the pruning phase (the last change to the package folder to the owner
    window's end): how often the program made it and the seconds inside it."""
    marks = trace.marks
    begin = max(i for i, m in enumerate(marks) if m.kind == "Call" and m.call == "SetCurrentDirectoryA"
                and m.text() == package)
    end = next(i for i in range(begin, len(marks)) if marks[i].call == "DestroyWindow")
    calls, open_calls = {}, {}
    for mark in marks[begin:end]:
        if mark.call not in PRUNING_CALLS + ["WaitForSingleObject"]:
            continue
        entry = calls.setdefault(mark.call, {"calls": 0, "seconds": 0.0})
        if mark.kind == "Call":
            entry["calls"] += 1
            open_calls[mark.call] = mark.time
        elif mark.call in open_calls:
            entry["seconds"] += mark.time - open_calls.pop(mark.call)
    return calls


def seconds_text(times, left):
    if left[-1]:
        return f"left {left[-1]} entries"
    return f"{times[-1]:.2f} s"


def ratio_of(runs):
    if not runs["tidewell"] or not runs["nsis"]:
        return None
    return statistics.median(runs["tidewell"]) / statistics.median(runs["nsis"])


def figures(measured):
    pair = measured["pair"]
    results = []
    for runs in measured["shapes"]:
        ratio = ratio_of(runs)
        ours = statistics.median(runs["tidewell"]) if runs["tidewell"] else None
        theirs = statistics.median(runs["nsis"]) if runs["nsis"] else None
        notes = []
        for side, name in (("tidewell", "Tidewell"), ("nsis", "NSIS")):
            bad = [(c, n) for c, n in zip(runs[f"{side}_codes"], runs[f"{side}_left"]) if c != 0 or n]
            if bad:
                notes.append(f"{name}: {len(bad)} of {len(runs[f'{side}_left'])} runs not counted "
                             f"(exit status, entries left: {bad})")
        result = {
            "name": f"nsis.{runs['key']}", "what": f"{runs['what']}: Tidewell's /Q /X run ({pair['build']}), "
                                                  "wall clock until the prefix is idle",
            "unit": "s", "value": ours, "baseline": theirs,
            "baseline_what": f"NSIS 3 uninstaller ({pair['nsis_target']}) run with /S, until the prefix is idle",
            "ratio": ratio, "ratio_means": "median of Tidewell's runs over median of NSIS's",
            "tidewell_median": ours, "nsis_median": theirs,
            "goal": GOAL, "met": None if ratio is None else ratio <= LIMIT,
            "pair": pair, "files": runs["files"], "folders": runs["folders"],
            "repetitions": len(runs["tidewell_left"]),
            "runs": {"tidewell": runs["tidewell"], "nsis": runs["nsis"]},
        }
        if runs.get("tidewell_phases"):
            result["tidewell_phases"] = runs["tidewell_phases"]
            p = runs["tidewell_phases"]
            notes.append(f"traced run {p['traced_seconds']:.2f} s: start and load {p['start_and_load']:.2f} s, "
                         f"installed files {p['installed_files']:.2f} s, pruning and registry "
                         f"{p['pruning_and_registry']:.2f} s ({p['pruning_guard_checks']} guard checks, "
                         f"{p['pruning_guard_fetches']} fetching, {p['pruning_lookups']} lookups), "
                         f"teardown {p['teardown']:.2f} s; in the pruning: " +
                         ", ".join(f"{c['calls']} {name} {c['seconds']:.2f} s" for name, c in p["pruning_calls"].items()))
        if notes:
            result["notes"] = "; ".join(notes)
        results.append(result)
    return results


def skipped(reason):
    return [{"name": "nsis", "what": "the NSIS runtime side by side", "unit": "s", "value": None, "baseline": None,
             "baseline_what": None, "ratio": None, "goal": GOAL, "met": None, "skipped": reason,
             "notes": f"skipped: {reason}"}]
