#!/usr/bin/env python3
"""Turns the page benchmark's JSON output into a markdown table.

One row per case: time per page in milliseconds, throughput, and the ratio of
the time to memcpy of a buffer of the same byte size from the same run. The
ratio is the figure to compare between machines and between runs: both sides
were measured minutes apart on the same memory, so load and clock speed
largely cancel out.

Usage: bench_table.py RESULTS.json
"""

import json
import statistics
import sys
from collections import defaultdict

# Row order within one resolution and depth: the references first, then the
# pages in catalogue order, then the caption cases (measured at one size only).
KIND_ORDER = [
    "memset", "memcpy", "solid", "grid", "steps", "horizontal_lines",
    "vertical_lines", "net_dots", "gamma_check", "solid_with_caption",
    "caption_only",
]

KIND_LABELS = {
    "memset": "memset (reference)",
    "memcpy": "memcpy (reference)",
    "solid": "solid (page 0)",
    "grid": "grid (page 8)",
    "steps": "steps (page 12)",
    "horizontal_lines": "horizontal lines (page 17)",
    "vertical_lines": "vertical lines (page 18)",
    "net_dots": "net dots (page 19)",
    "gamma_check": "gamma check (page 20)",
    "solid_with_caption": "solid + caption (page 0, fake text)",
    "caption_only": "caption only (fake text, widest title)",
}

MILLISECONDS_PER_UNIT = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}


def case_key(run_name):
    """'grid/1920x1080/32bpp/min_time:0.200/repeats:3' -> ('grid', '1920x1080', 32)."""
    kind, resolution, depth = run_name.split("/")[:3]
    return kind, resolution, int(depth.removesuffix("bpp"))


def pixel_count(resolution):
    width, height = resolution.split("x")
    return int(width) * int(height)


def collect(results):
    """Median CPU time (ms) and throughput per case.

    With repetitions the JSON carries aggregates and the median is used; a run
    without them gives one entry per case (or several, whose median is taken).
    """
    entries = results["benchmarks"]
    have_medians = any(e.get("aggregate_name") == "median" for e in entries)
    times = defaultdict(list)
    rates = defaultdict(list)
    locks = {}
    for entry in entries:
        if entry.get("error_occurred"):
            continue
        if have_medians and entry.get("aggregate_name") != "median":
            continue
        if not have_medians and entry.get("run_type") == "aggregate":
            continue
        key = case_key(entry.get("run_name", entry["name"]))
        times[key].append(entry["cpu_time"] * MILLISECONDS_PER_UNIT[entry["time_unit"]])
        rates[key].append(entry.get("bytes_per_second", 0.0))
        if "locks_per_page" in entry:
            locks[key] = entry["locks_per_page"]
    return (
        {k: statistics.median(v) for k, v in times.items()},
        {k: statistics.median(v) for k, v in rates.items()},
        locks,
    )


def print_context(context):
    load = context.get("load_avg")
    load_text = ", ".join(f"{value:.2f}" for value in load) if load else "not reported"
    print(f"Run {context.get('date', '?')} on {context.get('host_name', '?')}: "
          f"{context.get('num_cpus', '?')} CPUs at {context.get('mhz_per_cpu', '?')} MHz, "
          f"load average when it began {load_text}.")
    if context.get("library_build_type") == "debug":
        print("The installed benchmark library reports a debug build of itself; "
              "the code measured is built by the preset (Release).")
    print()


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    with open(argv[1], encoding="utf-8") as handle:
        results = json.load(handle)

    times, rates, locks = collect(results)
    if not times:
        print("No benchmark results in " + argv[1], file=sys.stderr)
        return 1

    print_context(results.get("context", {}))
    print("| page kind | resolution | bpp | time per page (ms) | GB/s | locks | × memcpy |")
    print("|---|---|---|---:|---:|---:|---:|")
    sizes = sorted({(res, depth) for _, res, depth in times},
                   key=lambda size: (pixel_count(size[0]), size[1]))
    for resolution, depth in sizes:
        memcpy_time = times.get(("memcpy", resolution, depth))
        for kind in KIND_ORDER:
            key = (kind, resolution, depth)
            if key not in times:
                continue
            ratio = f"{times[key] / memcpy_time:.2f}" if memcpy_time else "–"
            lock_text = f"{locks[key]:.0f}" if key in locks else "–"
            print(f"| {KIND_LABELS[kind]} | {resolution} | {depth} | {times[key]:.3f} | "
                  f"{rates[key] / 1e9:.1f} | {lock_text} | {ratio} |")
    print()
    print("Time is the median CPU time of the repetitions. GB/s counts the surface's "
          "bytes once per page (memcpy: the bytes written; caption only: the band's bytes). "
          "× memcpy divides by memcpy of a buffer of the surface's byte size from the same run.")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
