#!/usr/bin/env python3
"""How long veltrane-render takes to write all 21 pages: runs
`veltrane-render --width W --height H --output DIR` once to warm the caches
(fontconfig's, the page cache) and to create the files, then N more times
over the same folder, as a user exporting again does, and reports for each
size the median and the least wall-clock time, the processor time (user
plus system, from the exit status; above the wall time when the cores share
the work), the pages' total bytes, and the load average before and after.
A measurement beside the benchmark, not a test: it builds nothing and times
the veltrane-render in the build folder it is given.

Usage: export_time.py --build-dir DIR [--runs N] [--size WxH ...] [--bpp 24|32] [--folder DIR]
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PAGE_COUNT = 21


def load_average():
    return " ".join(open("/proc/loadavg").read().split()[:3])


def run_once(render, width, height, bpp, folder):
    """(wall seconds, processor seconds) of one run; exits on a failed one."""
    command = [render, "--width", str(width), "--height", str(height), "--bpp", str(bpp), "--output", folder]
    started = time.monotonic()
    process = subprocess.Popen(command, stderr=subprocess.PIPE)
    # wait4 gives the processor time of the whole run, every thread included.
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.monotonic() - started
    errors = process.stderr.read().decode(errors="replace")
    process.stderr.close()
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{' '.join(command)} failed: {errors.strip()}")
    return wall, usage.ru_utime + usage.ru_stime


def measure(render, width, height, bpp, runs, parent):
    folder = tempfile.mkdtemp(prefix="veltrane-export-time.", dir=parent)
    try:
        run_once(render, width, height, bpp, folder)
        timings = [run_once(render, width, height, bpp, folder) for _ in range(runs)]
        names = sorted(os.listdir(folder))
        expected = ["page-%02d.png" % page for page in range(PAGE_COUNT)]
        if names != expected:
            sys.exit(f"the folder holds {names}, not the {PAGE_COUNT} pages")
        total = sum(os.path.getsize(os.path.join(folder, name)) for name in names)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    walls = [wall for wall, _ in timings]
    return {
        "size": f"{width}x{height}",
        "median": statistics.median(walls),
        "least": min(walls),
        "cpu": statistics.median(cpu for _, cpu in timings),
        "bytes": total,
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", default=os.path.join(REPO, "build", "linux"))
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--size", action="append", help="WxH (default: 3840x2160 and 1920x1080)")
    parser.add_argument("--bpp", type=int, choices=(24, 32), default=32)
    parser.add_argument("--folder", help="where the pages are written (default: the system's temporary folder); "
                                         "its disk decides what the syncs cost")
    args = parser.parse_args()
    render = os.path.join(args.build_dir, "tools", "veltrane-render")
    if not os.access(render, os.X_OK):
        sys.exit(f"no veltrane-render in {args.build_dir}/tools: build it first (cmake --build --preset linux)")
    sizes = args.size or ["3840x2160", "1920x1080"]
    print(f"{render}, {args.runs} runs a size after one to warm up, {args.bpp} bits per pixel, "
          f"{os.cpu_count()} cores")
    print(f"Load average before: {load_average()}")
    print("| size | median (s) | least (s) | processor time, median (s) | all 21 pages (bytes) |")
    print("|---|---:|---:|---:|---:|")
    for size in sizes:
        width, height = (int(v) for v in size.split("x"))
        r = measure(render, width, height, args.bpp, args.runs, args.folder)
        print(f"| {r['size']} | {r['median']:.2f} | {r['least']:.2f} | {r['cpu']:.2f} | {r['bytes']} |", flush=True)
    print(f"Load average after: {load_average()}")


if __name__ == "__main__":
    main()
