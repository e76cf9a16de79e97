"""What the Windows end-to-end test needs around the program: a private X
server, a private Wine prefix, the program's process, screenshots and the
headless reference renderer, all cleaned up when the session ends.

Standard library only; screenshots and reference pictures are turned into raw
8-bit RGB by ImageMagick (import, convert)."""

import os
import shutil
import subprocess
import tempfile
import time

CAPTION_ROWS = 18
GREEN = b"\x00\xff\x00"
BLACK = b"\x00\x00\x00"


class Session:
    """Xvfb on one of the displays given, and a fresh Wine prefix."""

    def __init__(self, width, height, displays, artifacts):
        self.width = width
        self.height = height
        self.artifacts = artifacts
        self.xvfb = None
        self.prefix = None
        self.display = None
        self._displays = displays

    def __enter__(self):
        try:
            self._start_xvfb()
            self._make_prefix()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()

    def _start_xvfb(self):
        for number in self._displays:
            if os.path.exists(f"/tmp/.X{number}-lock") or os.path.exists(f"/tmp/.X11-unix/X{number}"):
                continue
            display = f":{number}"
            self.xvfb = subprocess.Popen(
                ["Xvfb", display, "-screen", "0", f"{self.width}x{self.height}x24", "-nolisten", "tcp", "-noreset"],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            deadline = time.monotonic() + 15
            while time.monotonic() < deadline:
                if self.xvfb.poll() is not None:
                    break
                probe = subprocess.run(["xdotool", "getdisplaygeometry"], env={**os.environ, "DISPLAY": display},
                                       capture_output=True, text=True)
                if probe.returncode == 0:
                    self.display = display
                    return
                time.sleep(0.2)
            self._stop_xvfb()
        raise RuntimeError(f"no X display could be started on any of {self._displays}")

    def _stop_xvfb(self):
        if self.xvfb is not None and self.xvfb.poll() is None:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()
        self.xvfb = None

    def env(self, **extra):
        env = dict(os.environ)
        env.update(DISPLAY=self.display, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                   # No Mono or Gecko installer dialogs while the prefix is made.
                   WINEDLLOVERRIDES="mscoree,mshtml=")
        env.update(extra)
        return env

    def _make_prefix(self):
        self.prefix = tempfile.mkdtemp(prefix="veltrane-e2e-wine-")
        # A prefix whose first set-up was cut short is updated once more.
        for attempt in ("--init", "--update"):
            subprocess.run(["wineboot", attempt], env=self.env(), stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=300, check=False)
            subprocess.run(["wineserver", "-w"], env=self.env(), timeout=300, check=False)
            if self.wine("reg", "query", r"HKCU\Software").returncode == 0:
                break
        else:
            raise RuntimeError("wineboot did not make a working Wine prefix")
        # Wine's DirectDraw draws through OpenGL by default (Mesa's software
        # renderer under Xvfb); on an X server without GLX it needs its GDI
        # renderer, chosen here as a user would, never by the program.
        renderer = os.environ.get("VELTRANE_WINE_RENDERER")
        if renderer:
            chosen = self.wine("reg", "add", r"HKCU\Software\Wine\Direct3D", "/v", "renderer", "/t",
                               "REG_SZ", "/d", renderer, "/f")
            if chosen.returncode != 0:
                raise RuntimeError(f"could not choose Wine's {renderer} renderer: {chosen.stderr}")
            print(f"Wine's DirectDraw renderer: {renderer}")

    def close(self):
        if self.prefix is not None:
            # Ends the processes of our own prefix only.
            subprocess.run(["wineserver", "-k"], env=self.env(), stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=60, check=False)
            subprocess.run(["wineserver", "-w"], env=self.env(), timeout=60, check=False)
        self._stop_xvfb()
        if self.prefix is not None:
            shutil.rmtree(self.prefix, ignore_errors=True)
            self.prefix = None

    # --- X input and output ---------------------------------------------------

    def keys(self, *names, delay_ms=40):
        subprocess.run(["xdotool", "key", "--delay", str(delay_ms), *names], env=self.env(), check=True)

    def windows_named(self, pattern):
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", pattern], env=self.env(),
                               capture_output=True, text=True)
        return found.stdout.split()

    def screenshot(self):
        """The whole screen as raw RGB bytes, rows top to bottom."""
        shot = subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"], env=self.env(),
                              capture_output=True, check=True)
        expected = self.width * self.height * 3
        if len(shot.stdout) != expected:
            raise RuntimeError(f"screenshot has {len(shot.stdout)} bytes, expected {expected}")
        return shot.stdout

    def save_png(self, rgb, name):
        os.makedirs(self.artifacts, exist_ok=True)
        path = os.path.join(self.artifacts, name + ".png")
        subprocess.run(["convert", "-size", f"{self.width}x{self.height}", "-depth", "8", "rgb:-", path],
                       input=rgb, check=True)
        return path

    # --- Wine -------------------------------------------------------------------

    def wine(self, *args, **extra_env):
        return subprocess.run(["wine", *args], env=self.env(**extra_env), capture_output=True, text=True,
                              timeout=120)

    def start(self, exe, **extra_env):
        return subprocess.Popen(["wine", exe], env=self.env(**extra_env), stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, cwd=os.path.dirname(exe))

    def wineserver_pid(self):
        """The wineserver of our prefix (found by the prefix in its environment)."""
        marker = f"WINEPREFIX={self.prefix}".encode()
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/comm") as comm:
                    if not comm.read().startswith("wineserver"):
                        continue
                with open(f"/proc/{entry}/environ", "rb") as environ:
                    if marker in environ.read().split(b"\0"):
                        return int(entry)
            except OSError:
                continue
        return None


def registry_values(session, key):
    """{name: (type, value)} of the values under an HKCU key, or None without the key."""
    query = session.wine("reg", "query", key)
    if query.returncode != 0:
        return None
    values = {}
    for line in query.stdout.splitlines():
        parts = line.split()
        if len(parts) == 3 and parts[1].startswith("REG_"):
            values[parts[0]] = (parts[1], int(parts[2], 0))
    return values


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    # utime and stime are fields 14 and 15 of the line, 12 and 13 after the name.
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class Reference:
    """Pages drawn by the core's headless renderer, without the caption."""

    def __init__(self, renderer, width, height, bpp, workdir):
        self.renderer = renderer
        self.width = width
        self.height = height
        self.bpp = bpp
        self.workdir = workdir
        self._cache = {}

    def page(self, number, params):
        key = (number, tuple(sorted(params.items())))
        if key not in self._cache:
            png = os.path.join(self.workdir, f"ref-{len(self._cache)}.png")
            command = [self.renderer, "--no-caption", "--page", str(number), "--width", str(self.width),
                       "--height", str(self.height), "--bpp", str(self.bpp), "--output", png]
            for name, value in sorted(params.items()):
                command += [f"--{name}", repr(value)]
            subprocess.run(command, check=True, capture_output=True)
            raw = subprocess.run(["convert", png, "-depth", "8", "rgb:-"], check=True, capture_output=True).stdout
            os.remove(png)
            self._cache[key] = raw
        return self._cache[key]


class Comparison:
    """A screenshot against a reference: every pixel outside the caption band
    must be equal; the band is the columns of rows 0..17 up to the last one
    that differs from the page, and holds only pure green and black."""

    def __init__(self, shot, reference, width):
        row = width * 3
        self.width = width
        self.page_ok = shot[CAPTION_ROWS * row:] == reference[CAPTION_ROWS * row:]
        self.mismatched_below = 0
        if not self.page_ok:
            self.mismatched_below = sum(
                1 for i in range(CAPTION_ROWS * row, len(shot), 3) if shot[i:i + 3] != reference[i:i + 3])
        self.band_width = 0
        for y in range(CAPTION_ROWS):
            a = shot[y * row:(y + 1) * row]
            b = reference[y * row:(y + 1) * row]
            if a == b:
                continue
            x = width - 1
            while x >= 0 and a[x * 3:x * 3 + 3] == b[x * 3:x * 3 + 3]:
                x -= 1
            self.band_width = max(self.band_width, x + 1)
        self.foreign_in_band = 0
        self.green_in_band = 0
        for y in range(CAPTION_ROWS):
            for x in range(self.band_width):
                pixel = shot[y * row + x * 3:y * row + x * 3 + 3]
                if pixel == GREEN:
                    self.green_in_band += 1
                elif pixel != BLACK:
                    self.foreign_in_band += 1
        self.band = b"".join(shot[y * row:y * row + self.band_width * 3] for y in range(CAPTION_ROWS))

    def ok(self, max_band_width):
        return (self.page_ok and self.foreign_in_band == 0 and self.green_in_band > 0
                and 0 < self.band_width <= max_band_width)

    def describe(self):
        return (f"pixels differing below the band: {self.mismatched_below}; band width {self.band_width}; "
                f"band pixels neither green nor black: {self.foreign_in_band}; green: {self.green_in_band}")


def band_region(shot, width, columns):
    """Rows 0..17, columns 0..columns-1 of a screenshot, to compare captions."""
    row = width * 3
    return b"".join(shot[y * row:y * row + columns * 3] for y in range(CAPTION_ROWS))
