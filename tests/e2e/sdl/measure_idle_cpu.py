"""Measures the processor time the Linux program uses while it shows a page
and nothing happens: starts it on its own Xvfb, waits for the first page,
moves the mouse once (the pointer shows, then hides after a second of
stillness), then reads its user and system time from /proc over a quiet
interval. A
figure to report, not a test: it asserts nothing.

Usage: measure_idle_cpu.py --build-dir DIR [--display N] [--seconds S] [--size WxH]
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
import e2e_support as e2e  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--display", type=int, default=95)
    parser.add_argument("--seconds", type=float, default=10.0)
    parser.add_argument("--size", default="1920x1080")
    args = parser.parse_args()
    width, height = (int(v) for v in args.size.split("x"))
    program = os.path.join(args.build_dir, "veltrane")
    render = os.path.join(args.build_dir, "tools", "veltrane-render")
    with tempfile.TemporaryDirectory() as work, e2e.Xvfb(args.display, width, height, 24) as xvfb:
        expected_path = os.path.join(work, "page-00.png")
        subprocess.run([render, "--page", "0", "--width", str(width), "--height", str(height),
                        "--output", expected_path], check=True)
        env = xvfb.env()
        env["XDG_CONFIG_HOME"] = work
        process = subprocess.Popen([program], env=env)
        try:
            e2e.wait_for_screen(xvfb, e2e.load_png(expected_path), timeout=15, what="first page")
            # A mouse movement shows the pointer and starts its one-second
            # hiding clock; the measurement starts once it has run out.
            e2e.move_pointer(xvfb, width // 3, height // 3)
            time.sleep(2.0)
            wall, (used, xvfb_used) = e2e.measure_cpu([process.pid, xvfb.process.pid], args.seconds)
            print(f"idle at {width}x{height} over {wall:.1f} s: veltrane {used:.2f} s CPU "
                  f"({100 * used / wall:.2f} % of one core), "
                  f"Xvfb {100 * xvfb_used / wall:.2f} %")
            e2e.send_keys(xvfb, "Escape")
            print(f"exit code {e2e.wait_for_exit(process)}")
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()


if __name__ == "__main__":
    main()
