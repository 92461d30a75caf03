#!/usr/bin/env python3
"""Runs the benchmarks and the start-up comparison, then prints the table of
figures: medians over repeated runs, each beside its baseline, with the ratio
and whether the target is met.

  run_benchmarks.py --bin build/bench/bin --out build/bench/bench-results

The benchmark executable generates its synthetic archive on first use and
keeps it (see QUORVANE_BENCH_DATA). Start-up is timed with hyperfine: the
audit executable over the sample archive against a GoogleTest program that
runs four empty tests, in rounds of rotating order, with the parts of the
audit's run (runner alone, name-table checks, archive check) beside them.
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
        if b.get("error_occurred"):
            raise SystemExit(f"benchmark {b['run_name']} failed: {b.get('error_message')}")
        # With one repetition there are no aggregates: the run itself is the figure.
        if b.get("aggregate_name") == "median" or (repetitions == 1 and b["run_type"] == "iteration"):
            medians[b["run_name"]] = b
    return medians


def run_startup(commands, sample, out_dir, rounds, runs):
    """Hyperfine rounds over `commands` (name -> command line), the order
    rotated each round; returns the median wall time of each, in ms, and the
    number of runs behind it."""
    env = dict(os.environ, QUORVANE_PORTAL_DAT=str(sample))
    names = list(commands)
    times = {name: [] for name in names}
    for r in range(rounds):
        order = names[r % len(names):] + names[:r % len(names)]
        out = Path(out_dir) / f"startup-{r}.json"
        cmd = ["hyperfine", "-N", "--warmup", "20", "--runs", str(runs), "--export-json", str(out)]
        cmd += [commands[name] for name in order]
        print("+", " ".join(cmd), file=sys.stderr, flush=True)
        subprocess.run(cmd, check=True, env=env, stdout=sys.stderr)
        results = json.loads(out.read_text())["results"]
        for name, result in zip(order, results):
            if any(code != 0 for code in result.get("exit_codes", [])):
                raise SystemExit(f"{name} exited with a failure status under hyperfine")
            times[name].extend(result["times"])
    return ({name: statistics.median(t) * 1e3 for name, t in times.items()},
            {name: len(t) for name, t in times.items()})


def hyperfine_medians(commands, out, extra=()):
    """One hyperfine run over `commands` (name -> command line); the median
    wall time of each in seconds, and its number of runs. Through the shell,
    which the preparation commands need (a millisecond beside runs of 100 ms
    and more)."""
    cmd = ["hyperfine", "--export-json", str(out), *extra] + list(commands.values())
    print("+", " ".join(cmd), file=sys.stderr, flush=True)
    subprocess.run(cmd, check=True, stdout=sys.stderr)
    results = json.loads(Path(out).read_text())["results"]
    means = {}
    for name, result in zip(commands, results):
        if any(code != 0 for code in result.get("exit_codes", [])):
            raise SystemExit(f"{name} exited with a failure status under hyperfine")
        means[name] = (statistics.median(result["times"]), len(result["times"]))
    return means


def run_tool(bin_dir, archive, out_dir, rounds):
    """The archive tool over the bench archive: verify on 1 and 2 threads, and
    extracting every file against tar -xf of a tar holding the same files, in
    the same file system, in rounds of alternating order."""
    tool = str(bin_dir / "portal_dat")
    figures = {}
    verify = {f"verify_{n}": f"{tool} verify --quiet --threads {n} {archive}" for n in (1, 2)}
    means = hyperfine_medians(verify, out_dir / "tool-verify.json", ["--warmup", "2", "--runs", "15"])
    figures.update(means)

    target = out_dir / "extract-target"
    reference = out_dir / "extract-reference"
    tar = out_dir / "extract-reference.tar"
    if not tar.exists():
        subprocess.run(["rm", "-rf", str(reference)], check=True)
        subprocess.run([tool, "extract", "--quiet", "-o", str(reference), str(archive)], check=True)
        subprocess.run(["tar", "-cf", str(tar), "-C", str(reference), "."], check=True)
        subprocess.run(["rm", "-rf", str(reference)], check=True)
    extract = {"extract": f"{tool} extract --quiet -o {target} {archive}",
               "tar": f"tar -xf {tar} -C {target}"}
    times = {name: [] for name in extract}
    # Each run writes 100 000 files: two rounds of three runs each, each run
    # starting with nothing left to write back from the one before.
    for r in range(min(rounds, 2)):
        order = list(extract) if r % 2 == 0 else list(reversed(extract))
        means = hyperfine_medians({name: extract[name] for name in order},
                                out_dir / f"tool-extract-{r}.json",
                                ["--runs", "3", "--prepare", f"rm -rf {target} && mkdir {target} && sync"])
        for name, (t, n) in means.items():
            times[name].extend([t] * n)
    for name, t in times.items():
        figures[name] = (statistics.median(t), len(t))
    subprocess.run(["rm", "-rf", str(target)], check=True)
    return figures


def changed_copy(tool, archive, path, every=100):
    """A copy of `archive` in which one file in `every` has the first byte of
    its content changed (files stored uncompressed, spread over the id order), for diff; returns
    how many files were changed."""
    listing = subprocess.run([tool, "ls", "--json", str(archive)], check=True,
                             capture_output=True, text=True).stdout
    entries = [json.loads(line) for line in listing.splitlines()]
    plain = [e for e in entries if not e["compressed"] and e["size"] > 0]
    count = max(1, len(entries) // every)
    chosen = plain[::max(1, len(plain) // count)][:count]
    data = bytearray(Path(archive).read_bytes())
    for e in chosen:
        # The first block's payload starts after its 4-byte next pointer.
        data[e["offset"] + 4] ^= 0xFF
    Path(path).write_bytes(data)
    return len(chosen)


def run_compare(bin_dir, archive, out_dir):
    """sum against sha256sum of the same archive file, and diff against a
    copy with 1 % of its files changed against verify of both archives."""
    tool = str(bin_dir / "portal_dat")
    copy = out_dir / "changed-copy.dat"
    changed = changed_copy(tool, archive, copy)
    summary = subprocess.run([tool, "diff", str(archive), str(copy)], capture_output=True,
                             text=True).stdout.splitlines()[-1]
    if not summary.startswith("0 added, 0 removed, %d changed," % changed):
        raise SystemExit(f"diff of the changed copy says '{summary}', expected {changed} changed")
    commands = {
        "sum": f"{tool} sum {archive}",
        "sha256sum": f"sha256sum {archive}",
        # diff exits 1 when it finds differences, as it must here.
        "diff": f"{tool} diff {archive} {copy}; test $? -eq 1",
        "verify_both": f"{tool} verify --quiet {archive} && {tool} verify --quiet {copy}",
    }
    figures = hyperfine_medians(commands, out_dir / "tool-compare.json", ["--warmup", "2", "--runs", "15"])
    figures["changed_files"] = changed
    copy.unlink()
    return figures


def bench_archive(bin_dir):
    data = Path(os.environ.get("QUORVANE_BENCH_DATA", bin_dir.parent / "bench-data"))
    found = sorted(data.glob("synthetic-*.dat"))
    return found[0] if found else None


# What the whole run of the audit is made of, timed beside it (information).
STARTUP_PARTS = [
    ("parts_none", "zzz_selects_no_check",
     "Audit, runner only (a filter that selects no check)"),
    ("parts_names_serial", "--skip shield --test-threads=1",
     "Audit, the three name-table checks one at a time"),
    ("parts_names", "--skip shield",
     "Audit, the three name-table checks in parallel"),
    ("parts_audit", "--exact shield_stance_has_three_backhand_rows",
     "Audit, the archive check alone"),
]


def to_ms(b):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
    return b["real_time"] * scale


def mbps(b, key="bytes_per_second"):
    return b[key] / 1e6


def table(medians, startup, startup_counts, tool=None, archive_length=0):
    """Rows for whichever benchmarks ran (a filter may have left some out)."""
    rows = []

    def row(measure, lib, base, ratio, target, met):
        rows.append((measure, lib, base, ratio, target, "yes" if met else "**no**"))

    def have(*names):
        return all(n in medians for n in names)

    if have("open/library", "open/baseline"):
        lib, base = medians["open/library"], medians["open/baseline"]
        r = to_ms(lib) / to_ms(base)
        row("Directory load (DatDatabase::new_), %d nodes, %d entries"
            % (lib["nodes"], lib["entries"]),
            "%.2f ms" % to_ms(lib), "%.2f ms (minimal loop)" % to_ms(base),
            "%.2fx" % r, "<= 1.5x", r <= 1.5)

    if have("fetch_all/library", "fetch_all/baseline"):
        lib, base = medians["fetch_all/library"], medians["fetch_all/baseline"]
        r = lib["bytes_per_second"] / base["bytes_per_second"]
        row("Fetch all %d files (get_file), delivered bytes" % lib["files"],
            "%.0f MB/s (%.1f ms)" % (mbps(lib), to_ms(lib)),
            "%.0f MB/s (sequential read)" % mbps(base), "%.1f %%" % (100 * r), ">= 50 %",
            r >= 0.5)
        r = lib["stored_bytes_per_second"] / base["bytes_per_second"]
        rows.append(("Fetch all, stored bytes gathered (same run)",
                     "%.0f MB/s" % mbps(lib, "stored_bytes_per_second"),
                     "%.0f MB/s" % mbps(base), "%.1f %%" % (100 * r), "(information)", ""))
        if have("fetch_all/stored_only"):
            stored = medians["fetch_all/stored_only"]
            r = stored["bytes_per_second"] / base["bytes_per_second"]
            rows.append(("Gather all chains without decoding (read_file_data)",
                         "%.0f MB/s" % mbps(stored), "%.0f MB/s" % mbps(base),
                         "%.1f %%" % (100 * r), "(information)", ""))
        if have("fetch_all/one_read_per_file"):
            floor = medians["fetch_all/one_read_per_file"]
            r = floor["bytes_per_second"] / base["bytes_per_second"]
            rows.append(("Floor: one pread per file into one buffer, stored bytes"
                         " (no checks, allocation or decoding)",
                         "%.0f MB/s (%.1f ms)" % (mbps(floor), to_ms(floor)),
                         "%.0f MB/s" % mbps(base), "%.1f %%" % (100 * r), "(information)", ""))

    if have("fetch_all/baseline"):
        base = medians["fetch_all/baseline"]
        for threads in (1, 2):
            name = f"batch_read/library/{threads}/real_time"
            if not have(name):
                continue
            lib = medians[name]
            r = lib["bytes_per_second"] / base["bytes_per_second"]
            row("Batch read of every file into memory (read_batch, %d thread%s), delivered bytes"
                % (threads, "" if threads == 1 else "s"),
                "%.0f MB/s (%.1f ms)" % (mbps(lib), to_ms(lib)),
                "%.0f MB/s (sequential read)" % mbps(base), "%.1f %%" % (100 * r), ">= 70 %",
                r >= 0.7)
        if tool:
            for threads in (1, 2):
                t, n = tool[f"verify_{threads}"]
                rate = archive_length / t / 1e6
                r = rate * 1e6 / base["bytes_per_second"]
                row("portal_dat verify, %d thread%s, whole run (%d runs), archive bytes"
                    % (threads, "" if threads == 1 else "s", n),
                    "%.0f MB/s (%.1f ms)" % (rate, t * 1e3),
                    "%.0f MB/s (sequential read)" % mbps(base), "%.1f %%" % (100 * r), ">= 70 %",
                    r >= 0.7)
    if tool:
        (t, n), (b, _) = tool["extract"], tool["tar"]
        row("portal_dat extract of every file into an empty directory (%d runs each)" % n,
            "%.0f ms" % (t * 1e3), "%.0f ms (tar -xf of the same files)" % (b * 1e3),
            "%.2fx" % (t / b), "<= 1.0x", t <= b)

    if tool and "sum" in tool:
        (t, n), (b, _) = tool["sum"], tool["sha256sum"]
        row("portal_dat sum of every file's decoded bytes (%d runs each)" % n,
            "%.0f ms" % (t * 1e3), "%.0f ms (sha256sum of the archive file)" % (b * 1e3),
            "%.2fx" % (t / b), "<= 1.0x", t <= b)
        (t, n), (b, _) = tool["diff"], tool["verify_both"]
        row("portal_dat diff against a copy with %d files (1 %%) changed (%d runs each)"
            % (tool["changed_files"], n),
            "%.0f ms" % (t * 1e3), "%.0f ms (verify of both archives)" % (b * 1e3),
            "%.2fx" % (t / b), "<= 1.2x", t <= 1.2 * b)

    for kind in ("text", "binary"):
        for size in ("4096", "262144"):
            names = (f"decode/{kind}/library/{size}", f"decode/{kind}/baseline/{size}")
            if not have(*names):
                continue
            lib, base = medians[names[0]], medians[names[1]]
            r = lib["bytes_per_second"] / base["bytes_per_second"]
            row("Decode %s-like, %s-byte bodies (%d distinct, stored/decoded %.2f)"
                % (kind, size, lib["bodies"], lib["ratio"]),
                "%.0f MB/s" % mbps(lib), "%.0f MB/s (memcpy)" % mbps(base), "%.3f" % r,
                ">= 500 MB/s", mbps(lib) >= 500)

    for kind in ("hit", "miss"):
        if have(f"motion_command_name/{kind}"):
            b = medians[f"motion_command_name/{kind}"]
            rows.append((f"motion_command_name, {kind}",
                         "%.1f ns per lookup" % (1e9 / b["items_per_second"]),
                         "", "", "(information)", ""))

    if have("sample/open_and_fetch"):
        b = medians["sample/open_and_fetch"]
        rows.append(("Open the sample archive (%d entries) and fetch its combat maneuver table,"
                     " in process" % b["entries"], "%.3f ms" % to_ms(b), "", "", "(information)", ""))

    if startup:
        r = startup["audit"] / startup["yardstick"]
        row("Whole run of the audit over the sample archive (%d runs each)"
            % startup_counts["audit"],
            "%.2f ms" % startup["audit"],
            "%.2f ms (GoogleTest, 4 empty tests)" % startup["yardstick"],
            "%.2fx" % r, "<= 1.0x", r <= 1.0)
        for name, _, label in STARTUP_PARTS:
            if name in startup:
                r = startup[name] / startup["yardstick"]
                rows.append((label, "%.2f ms" % startup[name],
                             "%.2f ms" % startup["yardstick"], "%.2fx" % r, "(information)", ""))

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
    parser.add_argument("--skip-tool", action="store_true",
                        help="do not time the archive tool (verify, extract against tar)")
    parser.add_argument("--no-breakdown", action="store_true",
                        help="time only the audit and the yardstick, not the audit's parts")
    parser.add_argument("benchmark_args", nargs="*", help="passed on to the benchmark executable")
    args = parser.parse_args()
    args.out.mkdir(parents=True, exist_ok=True)

    medians = run_benchmarks(args.bin / "quorvane_benchmarks", args.out / "benchmarks.json",
                             args.repetitions, args.benchmark_args)
    tool, archive_length = None, 0
    archive = bench_archive(args.bin)
    if not args.skip_tool and archive is not None and (args.bin / "portal_dat").exists():
        tool = run_tool(args.bin, archive, args.out.resolve(), args.rounds)
        tool.update(run_compare(args.bin, archive, args.out.resolve()))
        archive_length = archive.stat().st_size
    startup, counts = None, None
    if not args.skip_startup:
        sample = args.sample or args.out / "sample" / "portal.dat"
        if not sample.exists():
            sample.parent.mkdir(parents=True, exist_ok=True)
            subprocess.run([str(args.bin / "portal_dat_sample"), str(sample)], check=True,
                           stdout=sys.stderr)
        audit = str(args.bin / "shield_stance_backhand_audit")
        commands = {"audit": audit, "yardstick": str(args.bin / "four_empty_tests")}
        if not args.no_breakdown:
            for name, audit_args, _ in STARTUP_PARTS:
                commands[name] = audit + " " + audit_args
        startup, counts = run_startup(commands, sample, args.out, args.rounds, args.runs)

    try:
        cores = subprocess.run(["nproc"], capture_output=True, text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        cores = str(os.cpu_count() or "?")
    header = "Machine: %s cores (nproc), %s; %s; medians of %d repetitions." % (
        cores, cpu_model(), datetime.date.today().isoformat(), args.repetitions)
    text = header + "\n\n" + table(medians, startup, counts, tool, archive_length) + "\n"
    (args.out / "table.md").write_text(text)
    print(text)


if __name__ == "__main__":
    main()
