"""Log loading on the host: the program's loader and record readers reading a real file through
a thin Win32 of real file calls (bench/host), against the floor of any loader that gives each
record a block of its own; median of repeated Google Benchmark runs."""
import json
import subprocess

SIZES = (1000, 10000, 100000)


def measure(bench_dir, out_path, log=print):
    subprocess.run([str(bench_dir / "log_load_bench"), "--benchmark_repetitions=7", "--benchmark_min_time=0.2",
                    "--benchmark_report_aggregates_only=true", "--benchmark_format=console",
                    f"--benchmark_out={out_path}", "--benchmark_out_format=json"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    report = json.loads(out_path.read_text())
    found = {}
    for run in report["benchmarks"]:
        if run.get("run_type") == "aggregate" and run.get("aggregate_name") in ("median", "cv"):
            found[(run["run_name"], run["aggregate_name"])] = run
    log("  log loading: " + ", ".join(
        f"{n} records {found[(f'LoadLog/{n}', 'median')]['records'] / 1e6:.2f} M/s" for n in SIZES))
    return found


def _seconds(run):
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[run["time_unit"]]
    return run["real_time"] * scale


def figures(found):
    results = []
    per_record = {}
    for n in SIZES:
        ours, floor = found[(f"LoadLog/{n}", "median")], found[(f"LoadFloor/{n}", "median")]
        noise = found.get((f"LoadLog/{n}", "cv"))
        per_record[n] = _seconds(ours) / n
        results.append({
            "name": f"log_load.records_per_second_{n}",
            "what": f"loading a log of {n} file records from a real file (median)",
            "unit": "records/s", "value": ours["records"],
            "baseline": floor["records"],
            "baseline_what": "the file read in 64 KB pieces, each record copied to a block of its own",
            "ratio": _seconds(ours) / _seconds(floor),
            "ratio_means": "time against the floor's",
            "goal": ">= 1,000,000 records/s", "met": ours["records"] >= 1e6,
            "spread": {"time_cv": noise["real_time"] if noise else None},
            "platform_reads_per_record": ours.get("reads_per_record"),
        })
    big = found[(f"LoadLog/{SIZES[-1]}", "median")]
    strings = big["string_bytes_per_record"]
    results.append({
        "name": "log_load.heap_bytes_per_record",
        "what": f"heap bytes asked for per record, log of {SIZES[-1]} records (64-bit host build)",
        "unit": "bytes", "value": big["heap_bytes_per_record"],
        "baseline": strings, "baseline_what": "the record's two strings with their terminators",
        "ratio": big["heap_bytes_per_record"] / strings, "goal": None, "met": None,
        "blocks_per_record": big.get("blocks_per_record"),
        "value_32bit_build": big.get("heap_bytes_per_record_32bit"),
    })
    linear = per_record[SIZES[-1]] / per_record[SIZES[0]]
    results.append({
        "name": "log_load.linearity",
        "what": f"time per record at {SIZES[-1]} records against {SIZES[0]}",
        "unit": "ratio", "value": linear, "baseline": 1.0, "baseline_what": "cost exactly linear in the records",
        "ratio": linear, "goal": "linear (about 1)", "met": 0.67 <= linear <= 1.5,
    })
    return results
