"""The large package, removed by a silent run under Wine, against the least a program can do to
remove the same tree: one DeleteFileA per file and one RemoveDirectoryA per folder.

The package: 20,000 installed files, twenty in each of 1,000 folders three levels deep (10
folders, 9 in each of them, 10 in each of those), all listed in the log; and a leftover tree of
5,000 files, twenty in each of 250 folders (10, and 24 in each), that the log's patterns sweep.
A second package has many small folders, as help files, locales and plug-ins make them: 5,000
installed files, five in each of 1,000 folders (10, and 99 in each), and no patterns, so that
the pruning removes every folder.

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
TOOLS = "C:\\bench\\tools"
BASELINE = TOOLS + "\\remove-listed.exe"
PATTERNS = [".tmp", ".log", ".bak", ".old"]
FILE_CONTENT = b"x" * 64


class Shape:
    """One package: its installed files (folder, name), its leftover files and its patterns."""

    def __init__(self, name, package, installed_folders, files_per_folder, leftover_folders, patterns):
        kinds = [".dll", ".dat", ".txt", ".ini", ".bmp"]
        self.name, self.package, self.patterns = name, package, patterns
        self.program = package + "\\uninstall.exe"
        self.installed_folders, self.leftover_folders = installed_folders, leftover_folders
        self.installed_files = [(folder, f"file{n:02}{kinds[n % 5]}")
                                for folder in installed_folders for n in range(files_per_folder)]
        self.leftover_files = [(folder, f"x{n:02}{patterns[n % len(patterns)]}")
                               for folder in leftover_folders for n in range(20)]


def nested(top, below):
    """Folders two levels deep: top[i], and below(top[i]) under each."""
    folders = []
    for name in top:
        folders.append(name)
        folders += [f"{name}\\{sub}" for sub in below]
    return folders


def large_folders():
    folders = []
    for a in range(10):
        folders.append(f"mod{a}")
        for b in range(9):
            folders.append(f"mod{a}\\part{b}")
            folders += [f"mod{a}\\part{b}\\unit{c}" for c in range(10)]
    return folders


LARGE = Shape("large_package", PACKAGE, large_folders(), 20,
              nested([f"cache{a}" for a in range(10)], [f"run{b:02}" for b in range(24)]), PATTERNS)
SMALL_FOLDERS = Shape("large_package.small_folders", "C:\\bench\\small",
                      nested([f"loc{a}" for a in range(10)], [f"topic{b:02}" for b in range(99)]), 5, [], [])


def manifest(shape):
    return {"messages": {}, "files": [{"folder": ".\\" + folder, "name": name} for folder, name in shape.installed_files],
            "patterns": shape.patterns}


def make_tree(root, shape):
    """Creates every file and folder of the package below root (the program file stays)."""
    made = set()
    for folder, name in shape.installed_files + shape.leftover_files:
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


def write_list(path, package, files, folders):
    lines = [f"F {package}\\{folder}\\{name}" for folder, name in files]
    lines += [f"D {package}\\{folder}" for folder in sorted(folders, key=lambda f: -f.count("\\"))]
    Path(path).write_text("\n".join(lines) + "\n")


def install(session, host_dir, shape, stub=None):
    """The program with the shape's log attached (the 64-bit twin unless another stub is given),
    the baseline tools, and their lists."""
    program = session.unix(shape.program)
    program.parent.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as scratch:
        manifest_path = Path(scratch) / "package.json"
        manifest_path.write_text(json.dumps(manifest(shape)))
        subprocess.run([str(host_dir / "tidewell-log"), "attach", "--stub", str(stub or session.win64 / "uninstall.exe"),
                        "--manifest", str(manifest_path), "--out", str(program)], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    tools = session.unix(TOOLS)
    tools.mkdir(parents=True, exist_ok=True)
    for name in ("remove-listed", "guard-calls"):
        (tools / f"{name}.exe").write_bytes((session.win64 / f"bench-{name}.exe").read_bytes())
    every_folder = shape.installed_folders + shape.leftover_folders
    prefix = shape.name.replace(".", "-")
    write_list(tools / f"{prefix}-all.txt", shape.package, shape.installed_files + shape.leftover_files, every_folder)
    write_list(tools / f"{prefix}-installed.txt", shape.package, shape.installed_files, [])
    write_list(tools / f"{prefix}-leftover.txt", shape.package, shape.leftover_files, every_folder)


# The system's folder lookups (the shell's and the registry's value reads) the program makes.
LOOKUP_CALLS = ("SHGetSpecialFolderLocation", "SHGetFolderPathA", "RegQueryValueExA")


def program_phases(trace, package):
    """The phases of one traced run of the uninstaller, in seconds, and the guard's work in the
    sweep and the pruning. The marks are taken in the order the program made them: several may
    share a millisecond."""
    marks = trace.marks

    def position(kind, call, text=None, start=0, last=False):
        found = [i for i in range(start, len(marks))
                 if marks[i].kind == kind and marks[i].call == call and (text is None or marks[i].text() == text)]
        if not found:
            raise RuntimeError(f"no {kind} of {call} {text or ''} in the trace")
        return found[-1] if last else found[0]

    loaded = position("Ret", "CreateWindowExA")
    # The sweep and the pruning each begin in the installation folder; without patterns the
    # sweep does not run, and the installed files end where the pruning begins.
    removed = position("Call", "SetCurrentDirectoryA", package, start=loaded)
    prune = position("Call", "SetCurrentDirectoryA", package, last=True)
    window_gone = position("Call", "DestroyWindow", start=prune)

    def count(begin, end, calls):
        return sum(1 for m in marks[begin:end] if m.kind == "Call" and m.call in calls)

    def guard_checks(begin, end):
        # A check makes one wait-free test of the watched keys' event; where nothing is watched,
        # it fetches every folder, the Windows folder first.
        return max(count(begin, end, ("WaitForSingleObject",)), count(begin, end, ("GetWindowsDirectoryA",)))

    return {
        "start_and_load": marks[loaded].time - trace.start,
        "installed_files": marks[removed].time - marks[loaded].time,
        "leftover_sweep": marks[prune].time - marks[removed].time,
        "pruning_and_registry": marks[window_gone].time - marks[prune].time,
        "teardown": trace.end - marks[window_gone].time,
        "sweep_guard_checks": guard_checks(removed, prune),
        "pruning_guard_checks": guard_checks(prune, window_gone),
        # The checks that fetched the folders from the system, and the lookups the phase made
        # (the link checks' well-known folders among them).
        "sweep_guard_fetches": count(removed, prune, ("GetWindowsDirectoryA",)),
        "pruning_guard_fetches": count(prune, window_gone, ("GetWindowsDirectoryA",)),
        "sweep_lookups": count(removed, prune, LOOKUP_CALLS),
        "pruning_lookups": count(prune, window_gone, LOOKUP_CALLS),
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


def measure(session, host_dir, repetitions, log=print, shape=LARGE):
    install(session, host_dir, shape)
    root = str(session.unix(shape.package))
    program_name = os.path.basename(str(session.unix(shape.program)))
    lists = shape.name.replace(".", "-")
    expected = (len(shape.installed_files) + len(shape.leftover_files) + len(shape.installed_folders) +
                len(shape.leftover_folders))
    runs = {"program": [], "baseline": [], "program_cpu": [], "baseline_cpu": [], "program_phases": [],
            "baseline_installed": [], "baseline_leftover": [], "program_traced": [], "left_by_program": [],
            "guard_check": []}

    def fresh_tree():
        make_tree(root, shape)
        count = len(left_in(root, keep=(program_name,)))
        if count != expected:
            raise Failure(f"the tree holds {count} entries, not {expected}")

    def run_program(relay):
        fresh_tree()
        seconds, code, trace = session.run(shape.program, ["/X"], relay=relay)
        if code != 0:
            raise Failure(f"the uninstaller ended with {code}")
        left = left_in(root, keep=(program_name,))
        runs["left_by_program"].append(len(left))
        return seconds, trace

    def run_baseline(listing, relay, tree=True):
        if tree:
            fresh_tree()
        seconds, code, trace = session.run(BASELINE, [f"{TOOLS}\\{lists}-{listing}"], relay=relay)
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
                runs["program_phases"].append(program_phases(trace, shape.package))
            else:
                runs["baseline_installed"].append(baseline_phases(run_baseline("installed.txt", relay=True)[1]))
                runs["baseline_leftover"].append(baseline_phases(run_baseline("leftover.txt", relay=True, tree=False)[1]))
                if left_in(root, keep=(program_name,)):
                    raise Failure("the baseline left entries behind")
        if shape is LARGE:
            seconds, code, trace = session.run(f"{TOOLS}\\guard-calls.exe", [str(GUARD_CHECKS)], relay=True)
            if code != 0:
                raise Failure(f"guard-calls ended with {code}")
            runs["guard_check"].append(guard_check_seconds(trace))
        log(f"  {shape.name}, repetition {repetition + 1}/{repetitions}: uninstaller {runs['program'][-1]:.2f} s, "
            f"baseline {runs['baseline'][-1]:.2f} s")
    return runs


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


def add_guard_work(result, phases, phase, removals, guard):
    """The guard's calls in the phase, those that asked the system for its folders, and the
    system's folder lookups the phase made; with the uncached check's time, the least the
    removals and the fetches take on the platform."""
    checks = statistics.median(p[f"{phase}_guard_checks"] for p in phases)
    fetches = statistics.median(p[f"{phase}_guard_fetches"] for p in phases)
    lookups = statistics.median(p[f"{phase}_lookups"] for p in phases)
    result.update({"guard_checks": checks, "guard_fetches": fetches, "system_lookups": lookups})
    notes = f"{checks:.0f} guard checks, {fetches:.0f} of them asking the system; {lookups:.0f} folder lookups"
    if guard is not None:
        floor = (statistics.median(removals) if removals else 0.0) + fetches * guard
        result["floor_with_guard"] = floor
        result["ratio_to_floor_with_guard"] = result["value"] / floor if floor > 0 else None
        if floor > 0:
            notes += (f"; the removals and those fetches take {floor:.2f} s on the platform alone: "
                      f"{result['value'] / floor:.2f}x of that")
    result["notes"] = notes


def whole_run_notes(result, runs):
    cpu_ratios = per_rep_ratios(runs["program_cpu"], runs["baseline_cpu"])
    result["processor_time"] = {
        "what": "processor seconds of the run's process and of the prefix's Wine server",
        "value": statistics.median(runs["program_cpu"]), "baseline": statistics.median(runs["baseline_cpu"]),
        "ratio": statistics.median(cpu_ratios), "ratio_min": min(cpu_ratios), "ratio_max": max(cpu_ratios)}
    traced = statistics.median(runs["program_traced"])
    result["notes"] = (f"relay-traced runs took {traced:.2f} s (median), "
                       f"{100 * (traced / statistics.median(runs['program']) - 1):+.1f}% against untraced")
    if any(runs["left_by_program"]):
        result["notes"] += (f"; the uninstaller left {max(runs['left_by_program'])} entries of the tree "
                            "(is the leftover sweep built?)")


def figures(runs, small=None):
    """The benchmark objects of the large package and of the one with many small folders, from
    the measured runs."""
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
    whole_run_notes(results[0], runs)
    # The platform's share of one check that asks the system for every folder.
    guard = statistics.median(runs["guard_check"])
    results.append({
        "name": "large_package.guard_check",
        "what": "the platform calls of one protected-folder check that asks the system (median)",
        "unit": "s", "value": guard, "baseline": None, "baseline_what": None, "ratio": None, "goal": None, "met": None,
        "repetitions": len(runs["guard_check"]),
        "spread": {"value_min": min(runs["guard_check"]), "value_max": max(runs["guard_check"])},
    })
    add_guard_work(results[3], phases, "sweep", leftover, guard)
    add_guard_work(results[4], phases, "pruning", None, guard)
    if small:
        phases = small["program_phases"]
        theirs = {key: [p[key] for p in phases] for key in phases[0]}
        folders = [b["removals"] for b in small["baseline_leftover"]]
        whole = entry("large_package.small_folders.whole_run",
                      "silent run, 5,000 files in 1,000 folders, no patterns (wall clock)", small["program"],
                      small["baseline"], "5,000 DeleteFileA and 1,000 RemoveDirectoryA, process start to end",
                      "<= 2x", 2.0)
        whole_run_notes(whole, small)
        pruning = entry("large_package.small_folders.pruning_and_registry",
                        "folder records (none), pruning of 5,000 records in 1,000 folders, registry (none)",
                        theirs["pruning_and_registry"], folders, "1,000 RemoveDirectoryA")
        add_guard_work(pruning, phases, "pruning", folders, guard)
        results += [whole,
                    entry("large_package.small_folders.installed_files", "installed-file phase: 5,000 records",
                          theirs["installed_files"], [b["removals"] for b in small["baseline_installed"]],
                          "5,000 DeleteFileA", "<= 1.25x", 1.25),
                    pruning]
    return results
