#!/usr/bin/env python3
"""Runs the benchmarks and the start-up comparison, then prints the table of
figures: medians over repeated runs, each beside its baseline, with the ratio
and whether the target is met.

  run_benchmarks.py --bin build/bench/bin --out build/bench/bench-results

The benchmark executable generates its synthetic archive on first use and
keeps it (see QUORVANE_BENCH_DATA). Start-up is timed with hyperfine: the
audit executable over the sample archive against a GoogleTest program that
runs four empty tests, in alternating rounds.
"""

import argparse
import datetime
import json
import os
import platform
import statistics
import subprocess
import sys
from pathlib import Path


def cpu_model():
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


def run_benchmarks(binary, out_json, repetitions, extra):
    cmd = [str(binary), f"--benchmark_repetitions={repetitions}",
           "--benchmark_report_aggregates_only=true",
           f"--benchmark_out={out_json}", "--benchmark_out_format=json"] + extra
    print("+", " ".join(cmd), file=sys.stderr, flush=True)
    # The console report goes to standard error; standard output keeps the table.
    subprocess.run(cmd, check=True, stdout=sys.stderr)
    data = json.loads(Path(out_json).read_text())
    medians = {}
    for b in data["benchmarks"]:
        if b.get("aggregate_name") == "median":
            if b.get("error_occurred"):
                raise SystemExit(f"benchmark {b['run_name']} failed: {b.get('error_message')}")
            medians[b["run_name"]] = b
    return medians


def run_startup(audit, yardstick, sample, out_dir, rounds, runs):
    """Alternating hyperfine rounds; returns the median wall time of each, in ms."""
    env = dict(os.environ, QUORVANE_PORTAL_DAT=str(sample))
    times = {"audit": [], "yardstick": []}
    for r in range(rounds):
        order = [("audit", audit), ("yardstick", yardstick)]
        if r % 2 == 1:
            order.reverse()
        out = Path(out_dir) / f"startup-{r}.json"
        cmd = ["hyperfine", "-N", "--warmup", "20", "--runs", str(runs), "--export-json", str(out)]
        for _, exe in order:
            cmd.append(str(exe))
        print("+", " ".join(cmd), file=sys.stderr, flush=True)
        subprocess.run(cmd, check=True, env=env, stdout=sys.stderr)
        results = json.loads(out.read_text())["results"]
        for (name, _), result in zip(order, results):
            if any(code != 0 for code in result.get("exit_codes", [])):
                raise SystemExit(f"{name} exited with a failure status under hyperfine")
            times[name].extend(result["times"])
    return {name: statistics.median(t) * 1e3 for name, t in times.items()}, \
        {name: len(t) for name, t in times.items()}


def to_ms(b):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
    return b["real_time"] * scale


def mbps(b, key="bytes_per_second"):
    return b[key] / 1e6


def table(medians, startup, startup_counts):
    rows = []

    def row(measure, lib, base, ratio, target, met):
        rows.append((measure, lib, base, ratio, target, "yes" if met else "**no**"))

    o_lib, o_base = medians["open/library"], medians["open/baseline"]
    r = to_ms(o_lib) / to_ms(o_base)
    row("Directory load (DatDatabase::new_), %d nodes, %d entries"
        % (o_lib["nodes"], o_lib["entries"]),
        "%.2f ms" % to_ms(o_lib), "%.2f ms (minimal loop)" % to_ms(o_base),
        "%.2fx" % r, "<= 1.5x", r <= 1.5)

    f_lib, f_base = medians["fetch_all/library"], medians["fetch_all/baseline"]
    r = f_lib["bytes_per_second"] / f_base["bytes_per_second"]
    row("Fetch all %d files (get_file), delivered bytes" % f_lib["files"],
        "%.0f MB/s (%.1f ms)" % (mbps(f_lib), to_ms(f_lib)),
        "%.0f MB/s (sequential read)" % mbps(f_base), "%.0f %%" % (100 * r), ">= 50 %", r >= 0.5)
    r = f_lib["stored_bytes_per_second"] / f_base["bytes_per_second"]
    rows.append(("Fetch all, stored bytes gathered (same run)",
                 "%.0f MB/s" % mbps(f_lib, "stored_bytes_per_second"),
                 "%.0f MB/s" % mbps(f_base), "%.0f %%" % (100 * r), "(information)", ""))
    s = medians["fetch_all/stored_only"]
    r = s["bytes_per_second"] / f_base["bytes_per_second"]
    rows.append(("Gather all chains without decoding (read_file_data)",
                 "%.0f MB/s" % mbps(s), "%.0f MB/s" % mbps(f_base), "%.0f %%" % (100 * r),
                 "(information)", ""))

    for kind in ("text", "binary"):
        for size in ("4096", "262144"):
            lib = medians[f"decode/{kind}/library/{size}"]
            base = medians[f"decode/{kind}/baseline/{size}"]
            r = lib["bytes_per_second"] / base["bytes_per_second"]
            row("Decode %s-like, %s-byte bodies (%d distinct, stored/decoded %.2f)"
                % (kind, size, lib["bodies"], lib["ratio"]),
                "%.0f MB/s" % mbps(lib), "%.0f MB/s (memcpy)" % mbps(base), "%.3f" % r,
                ">= 500 MB/s", mbps(lib) >= 500)

    for kind in ("hit", "miss"):
        b = medians[f"motion_command_name/{kind}"]
        rows.append((f"motion_command_name, {kind}", "%.1f ns per lookup" % (1e9 / b["items_per_second"]),
                     "", "", "(information)", ""))

    if startup:
        r = startup["audit"] / startup["yardstick"]
        row("Whole run of the audit over the sample archive (%d runs each)"
            % startup_counts["audit"],
            "%.2f ms" % startup["audit"], "%.2f ms (GoogleTest, 4 empty tests)" % startup["yardstick"],
            "%.2fx" % r, "<= 1.0x", r <= 1.0)

    lines = ["| Measure | Library | Baseline | Ratio | Target | Met |",
             "|---|---|---|---|---|---|"]
    lines += ["| " + " | ".join(cells) + " |" for cells in rows]
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", type=Path, required=True, help="directory of the built executables")
    parser.add_argument("--out", type=Path, required=True, help="directory for the raw results")
    parser.add_argument("--sample", type=Path, help="sample archive for the start-up comparison")
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--rounds", type=int, default=4, help="alternating hyperfine rounds")
    parser.add_argument("--runs", type=int, default=200, help="runs per command and round")
    parser.add_argument("--skip-startup", action="store_true")
    parser.add_argument("benchmark_args", nargs="*", help="passed on to the benchmark executable")
    args = parser.parse_args()
    args.out.mkdir(parents=True, exist_ok=True)

    medians = run_benchmarks(args.bin / "quorvane_benchmarks", args.out / "benchmarks.json",
                             args.repetitions, args.benchmark_args)
    startup, counts = None, None
    if not args.skip_startup:
        sample = args.sample or args.out / "sample" / "portal.dat"
        if not sample.exists():
            sample.parent.mkdir(parents=True, exist_ok=True)
            subprocess.run([str(args.bin / "portal_dat_sample"), str(sample)], check=True,
                           stdout=sys.stderr)
        startup, counts = run_startup(args.bin / "shield_stance_backhand_audit",
                                      args.bin / "four_empty_tests", sample, args.out,
                                      args.rounds, args.runs)

    try:
        cores = subprocess.run(["nproc"], capture_output=True, text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        cores = str(os.cpu_count() or "?")
    header = "Machine: %s cores (nproc), %s; %s; medians of %d repetitions." % (
        cores, cpu_model(), datetime.date.today().isoformat(), args.repetitions)
    text = header + "\n\n" + table(medians, startup, counts) + "\n"
    (args.out / "table.md").write_text(text)
    print(text)


if __name__ == "__main__":
    main()
