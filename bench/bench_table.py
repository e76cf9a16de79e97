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
    "memset", "memcpy", "rows_cached", "rows_streaming", "solid", "grid", "steps",
    "horizontal_lines", "vertical_lines", "net_dots", "gamma_check", "gamma_check_first",
    "solid_with_caption", "solid_with_caption_freetype", "caption_only", "caption_only_freetype",
]

# The kinds that are whole pages, which the targets below are about.
PAGE_KINDS = [
    "solid", "grid", "steps", "horizontal_lines", "vertical_lines", "net_dots",
    "gamma_check", "solid_with_caption", "solid_with_caption_freetype",
]

KIND_LABELS = {
    "memset": "memset (reference)",
    "memcpy": "memcpy (reference)",
    "rows_cached": "row copies, ordinary stores (reference)",
    "rows_streaming": "row copies, streaming stores (reference)",
    "solid": "solid (page 0)",
    "grid": "grid (page 8)",
    "steps": "steps (page 12)",
    "horizontal_lines": "horizontal lines (page 17)",
    "vertical_lines": "vertical lines (page 18)",
    "net_dots": "net dots (page 19)",
    "gamma_check": "gamma check (page 20)",
    "gamma_check_first": "gamma check, first drawing (nothing kept)",
    "solid_with_caption": "solid + caption (page 0, fake text)",
    "solid_with_caption_freetype": "solid + caption (page 0, FreeType)",
    "caption_only": "caption only (fake text, widest title)",
    "caption_only_freetype": "caption only (FreeType, widest title)",
}

# The speed targets: (sizes, bits per pixel, largest ratio to memcpy).
RATIO_TARGETS = [
    (("3840x2160", "7680x4320"), 24, 0.8),
    (("3840x2160", "7680x4320"), 32, 1.0),
    (("1920x1080",), 24, 1.2),
    (("1920x1080",), 32, 1.2),
]
LARGEST_SIZE = "7680x4320"
FRAME_MS = 16.7
CAPTION_MS = 0.1

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
    print_verdicts(times)
    return 0


def case_text(key):
    kind, resolution, depth = key
    return f"{kind} {resolution} {depth} bpp"


def ratios_to_memcpy(times, wanted):
    """(ratio to memcpy, time, case) of each case `wanted(kind, resolution,
    bits)` accepts whose size and depth have a memcpy figure."""
    ratios = []
    for key, time in times.items():
        memcpy_time = times.get(("memcpy",) + key[1:])
        if wanted(*key) and memcpy_time:
            ratios.append((time / memcpy_time, time, key))
    return ratios


def print_verdict(label, measured, met, shown, missing="not measured"):
    """One target's line: `measured` holds (value, case) pairs; the worst
    value decides, `met(worst)` says whether it meets the target and
    `shown(worst)` how it is written."""
    if not measured:
        print(f"- {label}: {missing}")
        return
    worst, key = max(measured)
    verdict = "met" if met(worst) else "NOT met"
    print(f"- {label}: {verdict} (worst {shown(worst)}, {case_text(key)})")


def print_verdicts(times):
    """One line per target: met or not, and the worst case measured for it.

    A measurement, not a test: the script's exit status does not depend on it.
    """
    print()
    print("Targets:")
    for sizes, depth, limit in RATIO_TARGETS:
        ratios = [(ratio, key) for ratio, _, key in ratios_to_memcpy(
            times, lambda kind, resolution, bits: kind in PAGE_KINDS and resolution in sizes
            and bits == depth)]
        print_verdict(f"every page within {limit:.1f}x memcpy at {' and '.join(sizes)}, "
                      f"{depth} bpp", ratios, lambda worst: worst <= limit,
                      lambda worst: f"{worst:.2f}x")

    largest = [(time, key) for key, time in times.items()
               if key[0] in PAGE_KINDS and key[1] == LARGEST_SIZE]
    print_verdict(f"every page under {FRAME_MS} ms at {LARGEST_SIZE}", largest,
                  lambda worst: worst < FRAME_MS, lambda worst: f"{worst:.2f} ms")

    # Not a target: the first drawing of the gamma check in a run computes
    # every power the later ones reuse, once; shown so that cost is not hidden.
    first = ratios_to_memcpy(times, lambda kind, resolution, bits: kind == "gamma_check_first")
    if first:
        ratio, time, key = max(first)
        print(f"- not a target, once per run: the gamma check's first drawing, worst "
              f"{ratio:.2f}x memcpy ({time:.2f} ms, {case_text(key)})")

    captions = [(time, key) for key, time in times.items() if key[0] == "caption_only_freetype"]
    print_verdict(f"the FreeType caption adds under {CAPTION_MS} ms after the first page",
                  captions, lambda worst: worst < CAPTION_MS, lambda worst: f"{worst:.3f} ms",
                  missing="not measured (no font was found, or built without FreeType)")


if __name__ == "__main__":
    sys.exit(main(sys.argv))
