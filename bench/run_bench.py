"""Runs the benchmarks, prints a table and writes build/bench/results.json: one object per
figure, with its name, the measured value, its baseline and their ratio. Benchmarks report;
they assert nothing about time.

    python3 bench/run_bench.py [--build build] [--only size,load,start,large,nsis]
                               [--large-repetitions 5] [--start-repetitions 30]
                               [--nsis-repetitions 3] [--nsis-pair auto|win32|win64]

nsis: the program side by side with the NSIS runtime on three package shapes (bench/nsis_compare.py
says how); the 32-bit pair (the shipped program, an x86-unicode NSIS uninstaller) where Wine's
32-bit half runs, else the 64-bit pair (the 64-bit twin, an amd64-unicode one): results.json
says which. Without makensis its figures are reported as skipped.

The Windows builds (build/win32, build/win64) and the benchmark host build (build/bench/host)
must exist: `make bench` makes them and runs this under a private X server."""
import argparse
import datetime
import json
import os
import sys
import traceback
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import large_package  # noqa: E402
import log_load  # noqa: E402
import nsis_compare  # noqa: E402
import program_size  # noqa: E402
import startup_bench  # noqa: E402
from wine_session import Session  # noqa: E402

ORDER = ["size", "load", "start", "large", "nsis"]


def log(text):
    print(text, file=sys.stderr, flush=True)


def number(value, unit):
    if value is None:
        return "-"
    if unit == "records/s":
        return f"{value / 1e6:.2f} M/s"
    if unit == "bytes":
        return f"{value:,.1f} B" if value != int(value) else f"{int(value):,} B"
    if unit == "ratio":
        return f"{value:.2f}"
    return f"{value:.3f} {unit}" if unit == "s" else f"{value:.1f} {unit}"


def table(results):
    rows = [("benchmark", "value", "baseline", "ratio", "goal", "met")]
    for r in results:
        met = {True: "yes", False: "NO", None: ""}[r.get("met")]
        rows.append((r["name"], number(r["value"], r["unit"]), number(r["baseline"], r["unit"]),
                     "-" if r["ratio"] is None else f"{r['ratio']:.2f}x", r.get("goal") or "", met))
    widths = [max(len(row[i]) for row in rows) for i in range(len(rows[0]))]
    lines = []
    for index, row in enumerate(rows):
        lines.append("  ".join(cell.ljust(widths[i]) if i in (0, 4, 5) else cell.rjust(widths[i])
                               for i, cell in enumerate(row)).rstrip())
        if index == 0:
            lines.append("  ".join("-" * w for w in widths))
    return "\n".join(lines)


def nsis_session(build, pair):
    """The Wine session of the pair to measure, and why the 32-bit one is not, if it is not."""
    if pair in ("auto", "win32"):
        import unittest
        try:
            return Session(build, "win32"), None
        except unittest.SkipTest as skip:
            if pair == "win32":
                raise nsis_compare.Skipped(str(skip))
            log(f"the 32-bit pair cannot run here ({skip}); measuring the 64-bit pair")
            return Session(build, "win64"), str(skip)
    return Session(build, "win64"), None


def measure_nsis(build, host_dir, args, failures):
    log("the NSIS runtime side by side under Wine...")
    session = None
    try:
        nsis_compare.require_makensis()
        session, why_not_32 = nsis_session(build, args.nsis_pair)
        measured = nsis_compare.measure(session, host_dir, args.nsis_repetitions, log=log)
        if why_not_32:
            measured["pair"]["why_not_win32"] = why_not_32
        return nsis_compare.figures(measured)
    except nsis_compare.Skipped as skip:
        log(f"NSIS figures skipped: {skip}")
        return nsis_compare.skipped(str(skip))
    except Exception as error:
        failures.append(f"nsis: {type(error).__name__}: {error}")
        traceback.print_exc()
        return []
    finally:
        if session is not None:
            session.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build")
    parser.add_argument("--only", default=",".join(ORDER))
    parser.add_argument("--large-repetitions", type=int, default=int(os.environ.get("BENCH_LARGE_REPETITIONS", 5)))
    parser.add_argument("--start-repetitions", type=int, default=int(os.environ.get("BENCH_START_REPETITIONS", 30)))
    parser.add_argument("--nsis-repetitions", type=int, default=int(os.environ.get("BENCH_NSIS_REPETITIONS", 3)))
    parser.add_argument("--nsis-pair", choices=["auto", "win32", "win64"], default="auto")
    args = parser.parse_args()
    build = Path(args.build).resolve()
    chosen = [name for name in ORDER if name in args.only.split(",")]
    out_dir = build / "bench"
    out_dir.mkdir(parents=True, exist_ok=True)
    host_dir = out_dir / "host"

    results, failures = [], []
    if "size" in chosen:
        results += program_size.figures(build / "win32" / "uninstall.exe")
    if "load" in chosen:
        log("log loading (host)...")
        results += log_load.figures(log_load.measure(host_dir, out_dir / "log_load.json", log=log))
    if "start" in chosen or "large" in chosen:
        log("making the Wine session...")
        session = Session(build)
        try:
            if "start" in chosen:
                log("start-up under Wine...")
                results += startup_bench.figures(startup_bench.measure(session, host_dir, args.start_repetitions, log=log))
            if "large" in chosen:
                log("large package under Wine (several minutes)...")
                runs = large_package.measure(session, host_dir, args.large_repetitions, log=log)
                small = large_package.measure(session, host_dir, args.large_repetitions, log=log,
                                              shape=large_package.SMALL_FOLDERS)
                results += large_package.figures(runs, small)
        except Exception as error:  # the figures measured so far are still written
            failures.append(f"{type(error).__name__}: {error}")
            traceback.print_exc()
        finally:
            session.close()

    if "nsis" in chosen:
        results += measure_nsis(build, host_dir, args, failures)

    report = {
        "generated": datetime.datetime.now().isoformat(timespec="seconds"),
        "machine": {"cpus": os.cpu_count(), "load_average_at_end": list(os.getloadavg())},
        "benchmarks": results,
        "failures": failures,
    }
    (out_dir / "results.json").write_text(json.dumps(report, indent=2) + "\n")
    print(table(results))
    for r in results:
        if r.get("notes"):
            print(f"note: {r['name']}: {r['notes']}")
    print(f"written: {out_dir / 'results.json'}")
    for failure in failures:
        print(f"FAILED: {failure}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
