"""The large package, removed by a silent run under Wine, against the least a program can do to
remove the same tree: one DeleteFileA per file and one RemoveDirectoryA per folder.

The package: 20,000 installed files, twenty in each of 1,000 folders three levels deep (10
folders, 9 in each of them, 10 in each of those), all listed in the log; and a leftover tree of
5,000 files, twenty in each of 250 folders (10, and 24 in each), that the log's patterns sweep.

Each repetition makes the tree afresh for each run and interleaves the runs: the uninstaller and
the baseline timed whole (wall clock), then the uninstaller with the relay trace for its phases,
and the baseline in two runs (the installed files; then the leftover files and every folder)
with the relay trace for the removals alone."""
import json
import os
import statistics
import subprocess
import tempfile
from pathlib import Path

PACKAGE = "C:\\bench\\pkg"
PROGRAM = PACKAGE + "\\uninstall.exe"
TOOLS = "C:\\bench\\tools"
BASELINE = TOOLS + "\\remove-listed.exe"
PATTERNS = [".tmp", ".log", ".bak", ".old"]
FILE_CONTENT = b"x" * 64


def installed_folders():
    folders = []
    for a in range(10):
        folders.append(f"mod{a}")
        for b in range(9):
            folders.append(f"mod{a}\\part{b}")
            folders += [f"mod{a}\\part{b}\\unit{c}" for c in range(10)]
    return folders


def leftover_folders():
    folders = []
    for a in range(10):
        folders.append(f"cache{a}")
        folders += [f"cache{a}\\run{b:02}" for b in range(24)]
    return folders


def installed_files():
    kinds = [".dll", ".dat", ".txt", ".ini", ".bmp"]
    return [(folder, f"file{n:02}{kinds[n % 5]}") for folder in installed_folders() for n in range(20)]


def leftover_files():
    return [(folder, f"x{n:02}{PATTERNS[n % 4]}") for folder in leftover_folders() for n in range(20)]


def manifest():
    return {"messages": {}, "files": [{"folder": ".\\" + folder, "name": name} for folder, name in installed_files()],
            "patterns": PATTERNS}


def make_tree(root):
    """Creates every file and folder of the package below root (the program file stays)."""
    made = set()
    for folder, name in installed_files() + leftover_files():
        directory = os.path.join(root, folder.replace("\\", "/"))
        if directory not in made:
            os.makedirs(directory, exist_ok=True)
            made.add(directory)
        descriptor = os.open(os.path.join(directory, name), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        os.write(descriptor, FILE_CONTENT)
        os.close(descriptor)


def left_in(root, keep=()):
    left = []
    for directory, folders, files in os.walk(root):
        left += [os.path.join(directory, name) for name in folders + files]
    return sorted(p for p in left if os.path.basename(p) not in keep)


def write_list(path, files, folders):
    lines = [f"F {PACKAGE}\\{folder}\\{name}" for folder, name in files]
    lines += [f"D {PACKAGE}\\{folder}" for folder in sorted(folders, key=lambda f: -f.count("\\"))]
    Path(path).write_text("\n".join(lines) + "\n")


def install(session, host_dir):
    program = session.unix(PROGRAM)
    program.parent.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as scratch:
        manifest_path = Path(scratch) / "package.json"
        manifest_path.write_text(json.dumps(manifest()))
        subprocess.run([str(host_dir / "tidewell-log"), "attach", "--stub", str(session.win64 / "uninstall.exe"),
                        "--manifest", str(manifest_path), "--out", str(program)], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    tools = session.unix(TOOLS)
    tools.mkdir(parents=True, exist_ok=True)
    for name in ("remove-listed", "guard-calls"):
        (tools / f"{name}.exe").write_bytes((session.win64 / f"bench-{name}.exe").read_bytes())
    every_folder = installed_folders() + leftover_folders()
    write_list(tools / "all.txt", installed_files() + leftover_files(), every_folder)
    write_list(tools / "installed.txt", installed_files(), [])
    write_list(tools / "leftover.txt", leftover_files(), every_folder)


def program_phases(trace):
    """The phases of one traced run of the uninstaller, in seconds. The marks are taken in the
    order the program made them: several may share a millisecond."""
    marks = trace.marks

    def position(kind, call, text=None, start=0, last=False):
        found = [i for i in range(start, len(marks))
                 if marks[i].kind == kind and marks[i].call == call and (text is None or marks[i].text() == text)]
        if not found:
            raise RuntimeError(f"no {kind} of {call} {text or ''} in the trace")
        return found[-1] if last else found[0]

    loaded = position("Ret", "CreateWindowExA")
    # Removing plain installed files makes none of the marker calls: the next one after the
    # window is the sweep's first guard lookup, or the pruning's first change of directory when
    # the sweep does not run.
    removed = loaded + 1
    prune = position("Call", "SetCurrentDirectoryA", PACKAGE, last=True)
    window_gone = position("Call", "DestroyWindow", start=prune)

    def guard_checks(begin, end):  # each check asks for the Windows folder once
        return sum(1 for m in marks[begin:end] if m.kind == "Call" and m.call == "GetWindowsDirectoryA")

    return {
        "start_and_load": marks[loaded].time - trace.start,
        "installed_files": marks[removed].time - marks[loaded].time,
        "leftover_sweep": marks[prune].time - marks[removed].time,
        "pruning_and_registry": marks[window_gone].time - marks[prune].time,
        "teardown": trace.end - marks[window_gone].time,
        "sweep_guard_checks": guard_checks(removed, prune),
        "pruning_guard_checks": guard_checks(prune, window_gone),
    }


GUARD_CHECKS = 200


def guard_check_seconds(trace):
    """The time of one guard check's platform calls, from a traced run of guard-calls.exe."""
    first = trace.first("Call", "GetWindowsDirectoryA")
    leaving = trace.first("Call", "ExitProcess")
    return (leaving.time - first.time) / GUARD_CHECKS


def baseline_phases(trace):
    listed = trace.first("Ret", "ReadFile")
    leaving = trace.first("Call", "ExitProcess")
    return {"start_and_list": listed.time - trace.start, "removals": leaving.time - listed.time,
            "teardown": trace.end - leaving.time}


class Failure(RuntimeError):
    pass


def measure(session, host_dir, repetitions, log=print):
    install(session, host_dir)
    root = str(session.unix(PACKAGE))
    program_name = os.path.basename(str(session.unix(PROGRAM)))
    expected = len(installed_files()) + len(leftover_files()) + len(installed_folders()) + len(leftover_folders())
    runs = {"program": [], "baseline": [], "program_cpu": [], "baseline_cpu": [], "program_phases": [],
            "baseline_installed": [], "baseline_leftover": [], "program_traced": [], "left_by_program": [],
            "guard_check": []}

    def fresh_tree():
        make_tree(root)
        count = len(left_in(root, keep=(program_name,)))
        if count != expected:
            raise Failure(f"the tree holds {count} entries, not {expected}")

    def run_program(relay):
        fresh_tree()
        seconds, code, trace = session.run(PROGRAM, ["/X"], relay=relay)
        if code != 0:
            raise Failure(f"the uninstaller ended with {code}")
        left = left_in(root, keep=(program_name,))
        runs["left_by_program"].append(len(left))
        return seconds, trace

    def run_baseline(listing, relay, tree=True):
        if tree:
            fresh_tree()
        seconds, code, trace = session.run(BASELINE, [f"{TOOLS}\\{listing}"], relay=relay)
        if code != 0:
            raise Failure(f"the baseline failed to remove {code} entries of {listing}")
        return seconds, trace

    for repetition in range(repetitions):
        # The order alternates, so that a drift in the machine's load does not favour one side.
        order = ["program", "baseline"] if repetition % 2 == 0 else ["baseline", "program"]
        for side in order:
            if side == "program":
                runs["program"].append(run_program(relay=False)[0])
                runs["program_cpu"].append(session.last_cpu_seconds)
            else:
                runs["baseline"].append(run_baseline("all.txt", relay=False)[0])
                runs["baseline_cpu"].append(session.last_cpu_seconds)
        for side in order:
            if side == "program":
                seconds, trace = run_program(relay=True)
                runs["program_traced"].append(seconds)
                runs["program_phases"].append(program_phases(trace))
            else:
                runs["baseline_installed"].append(baseline_phases(run_baseline("installed.txt", relay=True)[1]))
                runs["baseline_leftover"].append(baseline_phases(run_baseline("leftover.txt", relay=True, tree=False)[1]))
                if left_in(root, keep=(program_name,)):
                    raise Failure("the baseline left entries behind")
        seconds, code, trace = session.run(f"{TOOLS}\\guard-calls.exe", [str(GUARD_CHECKS)], relay=True)
        if code != 0:
            raise Failure(f"guard-calls ended with {code}")
        runs["guard_check"].append(guard_check_seconds(trace))
        log(f"  large package, repetition {repetition + 1}/{repetitions}: uninstaller {runs['program'][-1]:.2f} s, "
            f"baseline {runs['baseline'][-1]:.2f} s")
    return runs


def figures(runs):
    """The benchmark objects of the large package, from the measured runs."""
    def per_rep_ratios(ours, theirs):
        return [a / b for a, b in zip(ours, theirs) if b > 0]

    def entry(name, what, ours, theirs, baseline_what, goal=None, limit=None):
        ratios = per_rep_ratios(ours, theirs) if theirs else []
        ratio = statistics.median(ratios) if ratios else None
        return {
            "name": name, "what": what, "unit": "s",
            "value": statistics.median(ours), "baseline": statistics.median(theirs) if theirs else 0.0,
            "baseline_what": baseline_what, "ratio": ratio, "ratio_means": "median of the repetitions' ratios",
            "goal": goal, "met": (ratio <= limit) if (limit and ratio is not None) else None,
            "repetitions": len(ours),
            "spread": {"value_min": min(ours), "value_max": max(ours),
                       "baseline_min": min(theirs) if theirs else None, "baseline_max": max(theirs) if theirs else None,
                       "ratio_min": min(ratios) if ratios else None, "ratio_max": max(ratios) if ratios else None,
                       "ratio_of_bests": min(ours) / min(theirs) if theirs and min(theirs) > 0 else None},
        }

    phases = runs["program_phases"]
    ours = {key: [p[key] for p in phases] for key in phases[0]}
    installed = [b["removals"] for b in runs["baseline_installed"]]
    leftover = [b["removals"] for b in runs["baseline_leftover"]]
    results = [
        entry("large_package.whole_run", "silent run of the uninstaller, process start to end (wall clock)",
              runs["program"], runs["baseline"],
              "25,000 DeleteFileA and 1,250 RemoveDirectoryA from a listed tree, process start to end", "<= 2x", 2.0),
        entry("large_package.start_and_load", "process start to the owner window (DLLs, OLE, the 20,000-record log)",
              ours["start_and_load"], [b["start_and_list"] for b in runs["baseline_installed"]],
              "process start to the list read", None),
        entry("large_package.installed_files", "installed-file phase: 20,000 records",
              ours["installed_files"], installed, "20,000 DeleteFileA", "<= 1.25x", 1.25),
        entry("large_package.leftover_sweep", "leftover sweep: the whole installation tree (1,251 folders)",
              ours["leftover_sweep"], leftover, "5,000 DeleteFileA and 1,250 RemoveDirectoryA"),
        entry("large_package.pruning_and_registry", "folder records (none), pruning of 20,000 records, registry (none)",
              ours["pruning_and_registry"], [], "nothing is left to remove"),
        entry("large_package.teardown", "owner window closed to process end",
              ours["teardown"], [b["teardown"] for b in runs["baseline_leftover"]], "ExitProcess to process end"),
    ]
    cpu_ratios = per_rep_ratios(runs["program_cpu"], runs["baseline_cpu"])
    results[0]["processor_time"] = {
        "what": "processor seconds of the run's process and of the prefix's Wine server",
        "value": statistics.median(runs["program_cpu"]), "baseline": statistics.median(runs["baseline_cpu"]),
        "ratio": statistics.median(cpu_ratios), "ratio_min": min(cpu_ratios), "ratio_max": max(cpu_ratios)}
    # The phases that must ask the guard for each folder, against the removals and the guard's
    # platform calls for as many checks as they made.
    guard = statistics.median(runs["guard_check"])
    results.append({
        "name": "large_package.guard_check", "what": "the platform calls of one protected-folder check (median)",
        "unit": "s", "value": guard, "baseline": None, "baseline_what": None, "ratio": None, "goal": None, "met": None,
        "repetitions": len(runs["guard_check"]),
        "spread": {"value_min": min(runs["guard_check"]), "value_max": max(runs["guard_check"])},
    })
    for result, key, removals in (("large_package.leftover_sweep", "sweep_guard_checks", leftover),
                                  ("large_package.pruning_and_registry", "pruning_guard_checks", None)):
        entry_of = next(r for r in results if r["name"] == result)
        checks = statistics.median(p[key] for p in phases)
        floor = (statistics.median(removals) if removals else 0.0) + checks * guard
        entry_of["guard_checks"] = checks
        entry_of["floor_with_guard"] = floor
        entry_of["ratio_to_floor_with_guard"] = entry_of["value"] / floor if floor > 0 else None
        if floor > 0:
            entry_of["notes"] = (f"{checks:.0f} guard checks; they and the removals take {floor:.2f} s on the "
                                 f"platform alone: {entry_of['value'] / floor:.2f}x of that")
    traced = statistics.median(runs["program_traced"])
    results[0]["notes"] = (f"relay-traced runs took {traced:.2f} s (median), "
                           f"{100 * (traced / statistics.median(runs['program']) - 1):+.1f}% against untraced")
    if any(runs["left_by_program"]):
        results[0]["notes"] += (f"; the uninstaller left {max(runs['left_by_program'])} entries of the tree "
                                "(is the leftover sweep built?)")
    return results
