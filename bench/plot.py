#!/usr/bin/python3
"""Plots and tabulates the job document benchmark (bench_jobs).

    plot.py TIMES.json MEMORY.csv OUT.png

TIMES.json: bench_jobs --benchmark_repetitions=N --benchmark_out=TIMES.json
            (the medians are used; CPU time of the process).
MEMORY.csv: bench_jobs --memory > MEMORY.csv (time and peak resident size
            of each case run in a fresh process).
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


def read_fresh(path):
    """{(implementation, work, jobs): (microseconds per job, peak MiB)}."""
    fresh = {}
    with open(path) as f:
        for row in csv.DictReader(f):
            implementation, work = row["case"].split("/")
            fresh[(implementation, work, int(row["jobs"]))] = (float(row["us_per_job"]),
                                                               int(row["peak_kb"]) / 1024.0)
    return fresh


def cell(value, form):
    return form.format(value) if value is not None else "–"


def ratio(a, b):
    return a / b if a is not None and b else None


def table(times, fresh):
    sizes = sorted({key[2] for key in times})
    names = [name for name, *_ in IMPLEMENTATIONS]
    out = ["Time per job, memory warm (median of the repetitions, CPU time):", "",
           "| work | jobs | KelEdsUtil µs | libxml2 µs | pugixml µs | KelEdsUtil / libxml2 | KelEdsUtil / pugixml |",
           "|---|---:|---:|---:|---:|---:|---:|"]
    for work, _ in WORKS:
        for jobs in sizes:
            t = [times.get((name, work, jobs)) for name in names]
            out.append(f"| {work} | {jobs:,} | {cell(t[0], '{:.1f}')} | {cell(t[1], '{:.1f}')} | "
                       f"{cell(t[2], '{:.1f}')} | {cell(ratio(t[0], t[1]), '{:.2f}')} | "
                       f"{cell(ratio(t[0], t[2]), '{:.2f}')} |")
    out += ["", "Fresh process per run (first touch of all memory; median of the runs):", "",
            "| work | jobs | KelEdsUtil µs | libxml2 µs | pugixml µs | KelEdsUtil / pugixml |"
            " KelEdsUtil peak MiB | libxml2 peak MiB | pugixml peak MiB | peak KelEdsUtil / pugixml |",
            "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for work, _ in WORKS:
        for jobs in sizes:
            t = [fresh.get((name, work, jobs), (None, None))[0] for name in names]
            m = [fresh.get((name, work, jobs), (None, None))[1] for name in names]
            out.append(f"| {work} | {jobs:,} | {cell(t[0], '{:.1f}')} | {cell(t[1], '{:.1f}')} | "
                       f"{cell(t[2], '{:.1f}')} | {cell(ratio(t[0], t[2]), '{:.2f}')} | {cell(m[0], '{:.0f}')} | "
                       f"{cell(m[1], '{:.0f}')} | {cell(m[2], '{:.0f}')} | {cell(ratio(m[0], m[2]), '{:.2f}')} |")
    out += ["", f"Per-job time at {sizes[-1]:,} jobs / at {sizes[0]:,} jobs:", "",
            "| implementation | work | memory warm | fresh process |", "|---|---|---:|---:|"]
    for name, label, *_ in IMPLEMENTATIONS:
        for work, _ in WORKS:
            warm = ratio(times.get((name, work, sizes[-1])), times.get((name, work, sizes[0])))
            cold = ratio(fresh.get((name, work, sizes[-1]), (None,))[0], fresh.get((name, work, sizes[0]), (None,))[0])
            out.append(f"| {label} | {work} | {cell(warm, '{:.2f}')} | {cell(cold, '{:.2f}')} |")
    return "\n".join(out)


def plot(times, fresh, out):
    sizes = sorted({key[2] for key in times})
    figure, axes = plt.subplots(1, 3, figsize=(16, 6.2))
    for axis, (work, title) in zip(axes[:2], WORKS):
        for name, label, color, marker in IMPLEMENTATIONS:
            axis.plot(sizes, [times.get((name, work, n)) for n in sizes], "-", marker=marker, color=color,
                      label=f"{label} (memory warm)")
            axis.plot(sizes, [fresh.get((name, work, n), (None,))[0] for n in sizes], ":", marker=marker,
                      color=color, alpha=0.7, label=f"{label} (fresh process)")
        axis.set_xscale("log")
        axis.set_ylim(bottom=0)
        axis.set_xticks(sizes, [f"{n:,}" for n in sizes])
        axis.set_xlabel("jobs in the document (10 data elements each)")
        axis.set_ylabel("CPU time per job (µs)")
        axis.set_title(f"{title}: time per job")
        axis.grid(True, alpha=0.3)
        axis.legend(fontsize="small", loc="upper center", bbox_to_anchor=(0.5, -0.14), ncol=2)
    axis = axes[2]
    for name, label, color, marker in IMPLEMENTATIONS:
        for work, style in (("build", "--"), ("answer", "-")):
            ys = [fresh.get((name, work, n), (None, float("nan")))[1] * 1024.0 / n for n in sizes]
            axis.plot(sizes, ys, style, marker=marker, color=color, label=f"{label}, {work}")
    axis.set_xscale("log")
    axis.set_ylim(bottom=0)
    axis.set_xticks(sizes, [f"{n:,}" for n in sizes])
    axis.set_xlabel("jobs in the document")
    axis.set_ylabel("peak resident memory per job (KiB)")
    axis.set_title("peak memory (VmHWM, fresh process per run)")
    axis.grid(True, alpha=0.3)
    axis.legend(fontsize="small", loc="upper center", bbox_to_anchor=(0.5, -0.14), ncol=2)
    figure.tight_layout()
    figure.savefig(out, dpi=100)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    times = read_times(sys.argv[1])
    fresh = read_fresh(sys.argv[2])
    plot(times, fresh, sys.argv[3])
    print(table(times, fresh))


if __name__ == "__main__":
    main()
