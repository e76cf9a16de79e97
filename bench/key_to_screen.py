#!/usr/bin/env python3
"""How long a key press takes to reach the screen, and the program's start to
reach it: for each screen size the program runs on an X server of its own
(Xvfb); this process times

- exec to first page: from just before the program is started until the X
  server's pixel at the centre of the screen shows the first page (pure red);
- key to screen: N page keys sent one at a time through XTEST from this
  process ("n" for the next page, "b" for the one before, so the screen goes
  red, green, red, ... at its centre), each from the moment it is sent until
  the X server's own pixel at the centre shows the new page (polled with
  XGetImage of one pixel), with a pause between presses so that each one
  starts from a screen at rest;
- value key to screen: as many presses of the brightness keys (Delete, then
  Insert, in turn, so the red of page 0 goes down a step and back), each until
  the centre pixel changes. These keys type no character and leave the page
  to the regular presentation rather than forcing one, so they show whether a
  change waits for the paint loop; "r" then puts the values back;
- a memcpy of one 32-bit frame of that size in this same process, as a yard-
  stick for the machine's memory speed at the moment.

It measures the Linux program (--build-dir, the default) or the Windows
program under Wine (--windows-build-dir: `wine veltrane.exe` with
WINEDEBUG=-all, in a prefix prepared as scripts/wine-prefix.sh prepares one,
with its wineserver started before the first run so that start-up times the
program rather than Wine's own server). It prints the load average before and
after and a markdown table. A measurement beside the benchmark, not a test:
it fails only when a step cannot be carried out.

Usage: key_to_screen.py [--build-dir DIR | --windows-build-dir DIR]
                        [--display N] [--size WxH ...] [--presses N] [--starts N]
"""

import argparse
import ctypes
import ctypes.util
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(REPO, "tests", "e2e", "common"))
import e2e_support as e2e  # noqa: E402

DEFAULT_SIZES = ["1920x1080", "3840x2160", "7680x4320"]
# Page 0 is pure red and page 1 pure green at every size, so "n" and "b"
# turn the centre pixel from one to the other and back.
PAGE_COLOURS = (0xFF0000, 0x00FF00)
PAGE_KEYS = ("n", "b")  # from page 0 to page 1, and back
VALUE_KEYS = ("Delete", "Insert")  # red brightness down a step, and back up
POLL_PAUSE = 0.0002  # between two reads of the pixel, so the X server is not kept busy answering them
REST_BETWEEN_PRESSES = 0.05
TIMEOUT = 30.0


class XServerProbe:
    """One connection to the X server through libX11 and libXtst: key presses
    sent with XTEST, and the root window's pixel read back with XGetImage."""

    ALL_PLANES = ctypes.c_ulong(0xFFFFFFFF)
    Z_PIXMAP = 2

    def __init__(self, display_name):
        x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XGetImage.restype = ctypes.c_void_p
        x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                  ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x11.XGetPixel.restype = ctypes.c_ulong
        x11.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
        x11.XDestroyImage.argtypes = [ctypes.c_void_p]
        x11.XStringToKeysym.restype = ctypes.c_ulong
        x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x11.XFlush.argtypes = [ctypes.c_void_p]
        x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        xtst.XTestQueryExtension.argtypes = [ctypes.c_void_p] + [ctypes.POINTER(ctypes.c_int)] * 4
        self._x11 = x11
        self._xtst = xtst
        self._display = x11.XOpenDisplay(display_name.encode())
        if not self._display:
            raise e2e.E2EError(f"cannot open the X display {display_name}")
        numbers = [ctypes.c_int() for _ in range(4)]
        if not xtst.XTestQueryExtension(self._display, *(ctypes.byref(n) for n in numbers)):
            raise e2e.E2EError(f"the X server {display_name} has no XTEST extension")
        self._root = x11.XDefaultRootWindow(self._display)

    def close(self):
        if self._display:
            self._x11.XCloseDisplay(self._display)
            self._display = None

    def pixel(self, x, y):
        """The screen's pixel at (x, y) as 0xRRGGBB (on a 24-bit screen)."""
        image = self._x11.XGetImage(self._display, self._root, x, y, 1, 1, self.ALL_PLANES, self.Z_PIXMAP)
        if not image:
            raise e2e.E2EError("XGetImage of the root window failed")
        value = self._x11.XGetPixel(image, 0, 0) & 0xFFFFFF
        self._x11.XDestroyImage(image)
        return value

    def keycode(self, name):
        code = self._x11.XKeysymToKeycode(self._display, self._x11.XStringToKeysym(name.encode()))
        if code == 0:
            raise e2e.E2EError(f"the X server has no key for {name!r}")
        return code

    def tap(self, keycode):
        """A press and release, handed to the server at once."""
        self._xtst.XTestFakeKeyEvent(self._display, keycode, 1, 0)
        self._xtst.XTestFakeKeyEvent(self._display, keycode, 0, 0)
        self._x11.XFlush(self._display)

    def wait_for_pixel(self, x, y, colour, timeout, what, alive=lambda: True, equal=True):
        """Polls until the pixel is `colour` (or, with equal=False, is not);
        the time that was first seen."""
        deadline = time.monotonic() + timeout
        while True:
            if (self.pixel(x, y) == colour) == equal:
                return time.monotonic()
            now = time.monotonic()
            if now > deadline:
                raise e2e.E2EError(f"{what}: the centre pixel stayed 0x{self.pixel(x, y):06x}, "
                                   f"{'not ' if equal else ''}0x{colour:06x}, for {timeout} s")
            if not alive():
                raise e2e.E2EError(f"{what}: the program ended first")
            time.sleep(POLL_PAUSE)


def memcpy_ms(width, height, repeats=15):
    """The median time of a memcpy of one 32-bit frame, both buffers touched first."""
    size = width * height * 4
    libc = ctypes.CDLL(None)
    libc.memcpy.restype = ctypes.c_void_p
    libc.memcpy.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t]
    source = (ctypes.c_ubyte * size)()
    target = (ctypes.c_ubyte * size)()
    ctypes.memset(source, 1, size)
    ctypes.memset(target, 2, size)
    times = []
    for _ in range(repeats):
        started = time.perf_counter()
        libc.memcpy(target, source, size)
        times.append(time.perf_counter() - started)
    return 1000 * statistics.median(times)


def percentile(values, fraction):
    """The nearest-rank percentile."""
    ordered = sorted(values)
    rank = max(1, -(-len(ordered) * fraction // 1))
    return ordered[int(rank) - 1]


def load_average():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


class LinuxProgram:
    label = "Linux program (SDL)"

    def __init__(self, build_dir):
        self.executable = os.path.join(os.path.abspath(build_dir), "veltrane")
        if not os.access(self.executable, os.X_OK):
            raise e2e.E2EError(f"no program at {self.executable} (build it with cmake --build --preset linux)")
        self._work = tempfile.mkdtemp(prefix="veltrane-key-to-screen-")

    def prepare(self, xvfb):
        pass

    def start(self, xvfb):
        env = xvfb.env()
        # Fresh settings every run, so each starts on page 0 with the neutral values.
        config = tempfile.mkdtemp(dir=self._work)
        env["XDG_CONFIG_HOME"] = config
        return subprocess.Popen([self.executable], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def finish(self, xvfb):
        pass

    def close(self):
        shutil.rmtree(self._work, ignore_errors=True)


class WindowsProgramUnderWine:
    label = "Windows program under Wine"

    def __init__(self, build_dir, prefix):
        e2e.require_tools("wine", "wineserver")
        self.executable = os.path.join(os.path.abspath(build_dir), "veltrane.exe")
        if not os.path.isfile(self.executable):
            raise e2e.E2EError(f"no program at {self.executable} "
                               "(build it with cmake --build --preset windows --target veltrane)")
        self.prefix = os.path.abspath(prefix)
        env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all")
        subprocess.run([os.path.join(REPO, "scripts", "wine-prefix.sh")], env=env, check=True)

    def env(self, xvfb):
        env = xvfb.env()
        env.update(WINEPREFIX=self.prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        return env

    def prepare(self, xvfb):
        # A wineserver that stays between runs: the program's start, not the
        # server's, is timed (the processes it keeps belong to this prefix only).
        subprocess.run(["wineserver", "-p"], env=self.env(xvfb), check=False)
        # One run that is not timed, so Wine's own first start on this X
        # server (its fonts, its display driver) is not counted either.
        subprocess.run(["timeout", "60", "wine", "cmd", "/c", "exit"], env=self.env(xvfb),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)

    def start(self, xvfb):
        return subprocess.Popen(["wine", self.executable], env=self.env(xvfb), stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, cwd=os.path.dirname(self.executable))

    def finish(self, xvfb):
        subprocess.run(["wineserver", "-k"], env=self.env(xvfb), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=False)
        subprocess.run(["wineserver", "-w"], env=self.env(xvfb), check=False)

    def close(self):
        pass


def stop_program(process, probe_keys):
    """Escape, then the exit awaited; killed when it does not come."""
    try:
        probe_keys()
        process.wait(timeout=20)
    except subprocess.TimeoutExpired:
        pass
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()


def measure(program, display, width, height, presses, starts):
    centre_x, centre_y = width // 2, height // 2
    with e2e.Xvfb(display, width, height, 24) as xvfb:
        program.prepare(xvfb)
        probe = XServerProbe(xvfb.name)
        escape = probe.keycode("Escape")
        reset = probe.keycode("r")
        keys = [probe.keycode(name) for name in PAGE_KEYS]
        value_keys = [probe.keycode(name) for name in VALUE_KEYS]
        try:
            start_times = []
            delays = []
            value_delays = []
            for run in range(starts):
                # The screen must not show the first page already (a window left over).
                probe.wait_for_pixel(centre_x, centre_y, PAGE_COLOURS[0], TIMEOUT, "before the start", equal=False)
                started = time.monotonic()
                process = program.start(xvfb)
                try:
                    shown = probe.wait_for_pixel(centre_x, centre_y, PAGE_COLOURS[0], TIMEOUT,
                                                 "the first page", alive=lambda: process.poll() is None)
                    start_times.append(1000 * (shown - started))
                    if run == starts - 1:
                        # Keys only once the start is over (a window shown
                        # takes its focus as it maps).
                        time.sleep(0.5)
                        for press in range(presses):
                            time.sleep(REST_BETWEEN_PRESSES)
                            sent = time.monotonic()
                            probe.tap(keys[press % 2])
                            seen = probe.wait_for_pixel(centre_x, centre_y, PAGE_COLOURS[(press + 1) % 2],
                                                        TIMEOUT, f"press {press + 1}",
                                                        alive=lambda: process.poll() is None)
                            delays.append(1000 * (seen - sent))
                        # Back on page 0 (an even number of page keys or one more "b").
                        if presses % 2 == 1:
                            probe.tap(keys[1])
                            probe.wait_for_pixel(centre_x, centre_y, PAGE_COLOURS[0], TIMEOUT, "back to page 0")
                        for press in range(presses):
                            time.sleep(REST_BETWEEN_PRESSES)
                            before = probe.pixel(centre_x, centre_y)
                            sent = time.monotonic()
                            probe.tap(value_keys[press % 2])
                            seen = probe.wait_for_pixel(centre_x, centre_y, before, TIMEOUT,
                                                        f"value press {press + 1}",
                                                        alive=lambda: process.poll() is None, equal=False)
                            value_delays.append(1000 * (seen - sent))
                        # The values as they were, so the next run starts alike.
                        probe.tap(reset)
                        probe.wait_for_pixel(centre_x, centre_y, PAGE_COLOURS[0], TIMEOUT, "the values reset")
                finally:
                    stop_program(process, lambda: probe.tap(escape))
        finally:
            probe.close()
            program.finish(xvfb)
    return {
        "start": statistics.median(start_times),
        "starts": start_times,
        "median": statistics.median(delays),
        "p90": percentile(delays, 0.9),
        "worst": max(delays),
        "value_median": statistics.median(value_delays),
        "value_p90": percentile(value_delays, 0.9),
        "memcpy": memcpy_ms(width, height),
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    which = parser.add_mutually_exclusive_group()
    which.add_argument("--build-dir", help="the Linux build (default build/linux)")
    which.add_argument("--windows-build-dir", help="the Windows build, run under Wine (e.g. build/windows)")
    parser.add_argument("--wine-prefix", default=os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine")),
                        help="the Wine prefix (default $WINEPREFIX, else ~/.wine); prepared if need be")
    parser.add_argument("--display", type=int, default=int(os.environ.get("VELTRANE_E2E_DISPLAY", 97)))
    parser.add_argument("--size", action="append", help="WxH (default: " + ", ".join(DEFAULT_SIZES) + ")")
    parser.add_argument("--presses", type=int, default=60)
    parser.add_argument("--starts", type=int, default=3, help="starts timed per size (the median is shown)")
    args = parser.parse_args()
    if args.presses < 1 or args.starts < 1:
        parser.error("--presses and --starts must be at least 1")
    e2e.require_tools("Xvfb")
    if args.windows_build_dir:
        program = WindowsProgramUnderWine(args.windows_build_dir, args.wine_prefix)
    else:
        program = LinuxProgram(args.build_dir or os.path.join(REPO, "build", "linux"))
    sizes = args.size or DEFAULT_SIZES
    print(f"{program.label}: {program.executable}")
    print(f"Load average before: {load_average()}")
    print(f"| screen | exec to first page (ms) | key to screen, median (ms) | p90 (ms) | p90 / median | "
          f"worst (ms) | value key, median (p90) (ms) | presses | memcpy of one 32-bit frame (ms) |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|")
    try:
        for size in sizes:
            width, height = (int(v) for v in size.lower().split("x"))
            try:
                r = measure(program, args.display, width, height, args.presses, args.starts)
            except e2e.E2EError as failure:
                # One size the program cannot show does not hide the others.
                print(f"| {width}x{height} | not measured: {failure} | | | | | | | |", flush=True)
                continue
            print(f"| {width}x{height} | {r['start']:.0f} | {r['median']:.1f} | {r['p90']:.1f} | "
                  f"{r['p90'] / r['median']:.2f} | {r['worst']:.1f} | "
                  f"{r['value_median']:.1f} ({r['value_p90']:.1f}) | {args.presses} | {r['memcpy']:.2f} |",
                  flush=True)
            print(f"  starts (ms): {', '.join(f'{t:.0f}' for t in r['starts'])}", file=sys.stderr)
    finally:
        program.close()
    print(f"Load average after: {load_average()}")


if __name__ == "__main__":
    main()
