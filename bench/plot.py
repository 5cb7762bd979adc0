#!/usr/bin/python3
"""Plots and tabulates the job document benchmark (bench_jobs).

    plot.py TIMES.json MEMORY.csv OUT.png

TIMES.json: bench_jobs --benchmark_repetitions=N --benchmark_out=TIMES.json
            (the medians are used; CPU time of the process).
MEMORY.csv: bench_jobs --memory > MEMORY.csv (peak resident size per case,
            each case in a fresh process).
Writes the figure and prints a Markdown table of both.
Needs matplotlib (Debian: python3-matplotlib).
"""
import csv
import json
import re
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

IMPLEMENTATIONS = [("library", "KelEdsUtil", "tab:blue", "o"),
                   ("libxml2", "libxml2 direct", "tab:orange", "s"),
                   ("pugixml", "pugixml", "tab:green", "^")]
WORKS = [("build", "build a request"), ("answer", "answer it")]


def read_times(path):
    """{(implementation, work, jobs): microseconds per job} from the medians."""
    with open(path) as f:
        data = json.load(f)
    times = {}
    for run in data["benchmarks"]:
        if run.get("aggregate_name", "median") != "median":
            continue
        match = re.match(r"(\w+)/(\w+)/jobs:(\d+)", run["run_name"])
        if not match:
            continue
        scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[run["time_unit"]]
        jobs = int(match.group(3))
        times[(match.group(1), match.group(2), jobs)] = run["cpu_time"] * scale / jobs
    return times


def read_memory(path):
    """{(implementation, work, jobs): peak MiB}."""
    peaks = {}
    with open(path) as f:
        for row in csv.DictReader(f):
            implementation, work = row["case"].split("/")
            peaks[(implementation, work, int(row["jobs"]))] = int(row["peak_kb"]) / 1024.0
    return peaks


def table(times, peaks):
    sizes = sorted({key[2] for key in times})
    lines = ["| work | jobs | KelEdsUtil µs/job | libxml2 µs/job | pugixml µs/job | KelEdsUtil / libxml2 |"
             " KelEdsUtil peak MiB | libxml2 peak MiB | pugixml peak MiB | peak ratio |",
             "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for work, _ in WORKS:
        for jobs in sizes:
            t = [times.get((name, work, jobs)) for name, *_ in IMPLEMENTATIONS]
            m = [peaks.get((name, work, jobs)) for name, *_ in IMPLEMENTATIONS]
            cell = lambda v, f: f.format(v) if v is not None else "–"  # noqa: E731
            ratio = t[0] / t[1] if t[0] and t[1] else None
            mratio = m[0] / m[1] if m[0] and m[1] else None
            lines.append(f"| {work} | {jobs:,} | {cell(t[0], '{:.1f}')} | {cell(t[1], '{:.1f}')} | "
                         f"{cell(t[2], '{:.1f}')} | {cell(ratio, '{:.2f}')} | {cell(m[0], '{:.0f}')} | "
                         f"{cell(m[1], '{:.0f}')} | {cell(m[2], '{:.0f}')} | {cell(mratio, '{:.2f}')} |")
    for name, label, *_ in IMPLEMENTATIONS[:2]:
        for work, _ in WORKS:
            if (name, work, sizes[0]) in times and (name, work, sizes[-1]) in times:
                growth = times[(name, work, sizes[-1])] / times[(name, work, sizes[0])]
                lines.append(f"\n{label}, {work}: per-job time at {sizes[-1]:,} jobs = {growth:.2f} x that at "
                             f"{sizes[0]:,}")
    return "\n".join(lines)


def plot(times, peaks, out):
    sizes = sorted({key[2] for key in times})
    figure, axes = plt.subplots(1, 3, figsize=(15, 4.8))
    for axis, (work, title) in zip(axes[:2], WORKS):
        for name, label, color, marker in IMPLEMENTATIONS:
            ys = [times.get((name, work, n)) for n in sizes]
            axis.plot(sizes, ys, marker=marker, color=color, label=label)
        axis.set_xscale("log")
        axis.set_ylim(bottom=0)
        axis.set_xticks(sizes, [f"{n:,}" for n in sizes])
        axis.set_xlabel("jobs in the document (10 data elements each)")
        axis.set_ylabel("CPU time per job (µs)")
        axis.set_title(f"{title}: time per job")
        axis.grid(True, alpha=0.3)
        axis.legend()
    axis = axes[2]
    for name, label, color, marker in IMPLEMENTATIONS:
        for work, style in (("build", "--"), ("answer", "-")):
            ys = [peaks.get((name, work, n), float("nan")) * 1024.0 / n for n in sizes]
            axis.plot(sizes, ys, style, marker=marker, color=color, label=f"{label}, {work}")
    axis.set_xscale("log")
    axis.set_ylim(bottom=0)
    axis.set_xticks(sizes, [f"{n:,}" for n in sizes])
    axis.set_xlabel("jobs in the document")
    axis.set_ylabel("peak resident memory per job (KiB)")
    axis.set_title("peak memory (fresh process per case)")
    axis.grid(True, alpha=0.3)
    axis.legend(fontsize="small")
    figure.tight_layout()
    figure.savefig(out, dpi=100)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    times = read_times(sys.argv[1])
    peaks = read_memory(sys.argv[2])
    plot(times, peaks, sys.argv[3])
    print(table(times, peaks))


if __name__ == "__main__":
    main()
