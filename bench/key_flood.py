#!/usr/bin/env python3
"""How the Linux program keeps up with a flood of key presses: starts it on
its own Xvfb, waits for the first page, sends N Insert presses back to back
with xdotool, then Escape, and reports the processor time the program used
(user plus system, from /proc and the exit status) and how long after the
last press it took to exit. Also checks that the saved red brightness is
exactly one step per press. A measurement beside the benchmark, not a test.

Usage: key_flood.py --build-dir DIR [--display N] [--size WxH ...] [--presses N]
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(REPO, "tests", "e2e", "common"))
import e2e_support as e2e  # noqa: E402


def stored_red_brightness(config_home):
    for root, _, files in os.walk(config_home):
        for name in files:
            with open(os.path.join(root, name)) as f:
                for line in f:
                    line = line.split("#", 1)[0]
                    if "=" in line:
                        key, value = (part.strip() for part in line.split("=", 1))
                        if key == "MonRB":
                            return int(value)
    return None


def flood(build_dir, display, width, height, presses):
    program = os.path.join(build_dir, "veltrane")
    render = os.path.join(build_dir, "tools", "veltrane-render")
    with tempfile.TemporaryDirectory() as work, e2e.Xvfb(display, width, height, 24) as xvfb:
        first_page = os.path.join(work, "page-00.png")
        subprocess.run([render, "--page", "0", "--width", str(width), "--height", str(height),
                        "--output", first_page], check=True)
        env = xvfb.env()
        config_home = os.path.join(work, "config")
        os.mkdir(config_home)
        env["XDG_CONFIG_HOME"] = config_home
        process = subprocess.Popen([program], env=env)
        try:
            e2e.wait_for_screen(xvfb, e2e.load_png(first_page), timeout=30, what="first page")
            time.sleep(0.5)
            before = e2e.cpu_seconds(process.pid)
            started = time.monotonic()
            e2e.send_keys(xvfb, *(["Insert"] * presses), delay_ms=0)
            last_press = time.monotonic()
            e2e.send_keys(xvfb, "Escape")
            # wait4 gives the processor time of the whole run once it has ended.
            _, status, usage = os.wait4(process.pid, 0)
            ended = time.monotonic()
            process.returncode = os.waitstatus_to_exitcode(status)
            used = usage.ru_utime + usage.ru_stime - before
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
        saved = stored_red_brightness(config_home)
    return {
        "size": f"{width}x{height}",
        "presses": presses,
        "cpu": used,
        "sending": last_press - started,
        "settle": ended - last_press,
        "exit": process.returncode,
        "saved": saved,
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", default=os.path.join(REPO, "build", "linux"))
    parser.add_argument("--display", type=int, default=int(os.environ.get("VELTRANE_E2E_DISPLAY", 95)))
    parser.add_argument("--size", action="append", help="WxH (default: 1024x768 and 3840x2160)")
    parser.add_argument("--presses", type=int, default=2000)
    args = parser.parse_args()
    e2e.require_tools("Xvfb", "xdotool")
    sizes = args.size or ["1024x768", "3840x2160"]
    print(f"Load average before: {' '.join(open('/proc/loadavg').read().split()[:3])}")
    print("| screen | presses | processor time (s) | per press (ms) | sending (s) | "
          "last press to exit (s) | saved MonRB | expected |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|")
    for size in sizes:
        width, height = (int(v) for v in size.split("x"))
        r = flood(args.build_dir, args.display, width, height, args.presses)
        expected = 100 + args.presses
        print(f"| {r['size']} | {r['presses']} | {r['cpu']:.2f} | {1000 * r['cpu'] / r['presses']:.2f} | "
              f"{r['sending']:.2f} | {r['settle']:.2f} | {r['saved']} | {expected} |", flush=True)
        if r["exit"] != 0:
            print(f"  the program exited with {r['exit']}")
    print(f"Load average after: {' '.join(open('/proc/loadavg').read().split()[:3])}")


if __name__ == "__main__":
    main()
