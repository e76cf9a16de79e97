"""What the Windows end-to-end test needs around the program under Wine: a
private Wine prefix on a private X server, the program's process and its
wineserver, registry access, the headless reference renderer, and the
comparison of a screenshot with a reference page that allows for the caption
band GDI draws. Everything is cleaned up when the session ends.

The generic parts (Xvfb, screenshots, images, keys, process CPU time) come from
tests/e2e/common/e2e_support.py, which the caller puts on sys.path."""

import os
import shutil
import subprocess
import tempfile

import e2e_support as e2e

SCREEN_WIDTH, SCREEN_HEIGHT = 1366, 768  # uneven block edges: 1366 / 16 and 768 / 16 are not both whole
CAPTION_ROWS = 18
CAPTION_FONT = "DejaVu Sans"  # from fonts-dejavu-core
GREEN = b"\x00\xff\x00"
BLACK = b"\x00\x00\x00"


class Session:
    """An X server on the first free one of the displays given (Xvfb, or
    e2e_support's XorgDummy where the tests need a gamma ramp), and a fresh
    Wine prefix."""

    def __init__(self, width, height, displays, artifacts, server=e2e.Xvfb):
        self.width = width
        self.height = height
        self.artifacts = artifacts
        self.xvfb = None
        self.prefix = None
        self._displays = displays
        self._server = server

    def __enter__(self):
        try:
            self.xvfb = self._server.first_free(self._displays, self.width, self.height, 24)
            self._make_prefix()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()

    @property
    def display(self):
        return self.xvfb.name

    def env(self, **extra):
        env = self.xvfb.env()
        env.update(WINEPREFIX=self.prefix, WINEDEBUG="-all",
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
        # The caption is drawn in the screen's default font, for which Wine
        # stands in whatever host font it finds first; naming DejaVu Sans (as
        # scripts/wine-prefix.sh does) keeps the caption the same whichever
        # font packages the machine has.
        font = self.wine("reg", "add", r"HKCU\Software\Wine\Fonts\Replacements", "/v", "System", "/t",
                         "REG_SZ", "/d", CAPTION_FONT, "/f")
        if font.returncode != 0:
            raise RuntimeError(f"could not name the caption font {CAPTION_FONT}: {font.stderr}")
        # Wine's DirectDraw draws through OpenGL by default (Mesa's software
        # renderer under Xvfb); on an X server without GLX it needs its GDI
        # renderer, chosen here as a user would, never by the program.
        # A program that crashes under Wine would otherwise wait for ever in
        # the crash dialog.
        crash = self.wine("reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog", "/t",
                          "REG_DWORD", "/d", "0", "/f")
        if crash.returncode != 0:
            raise RuntimeError(f"could not turn off Wine's crash dialog: {crash.stderr}")
        renderer = os.environ.get("VELTRANE_WINE_RENDERER")
        if renderer:
            chosen = self.wine("reg", "add", r"HKCU\Software\Wine\Direct3D", "/v", "renderer", "/t",
                               "REG_SZ", "/d", renderer, "/f")
            if chosen.returncode != 0:
                raise RuntimeError(f"could not choose Wine's {renderer} renderer: {chosen.stderr}")
            print(f"Wine's DirectDraw renderer: {renderer}")

    def close(self):
        if self.prefix is not None and self.xvfb is not None:
            # Ends the processes of our own prefix only.
            subprocess.run(["wineserver", "-k"], env=self.env(), stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=60, check=False)
            subprocess.run(["wineserver", "-w"], env=self.env(), timeout=60, check=False)
        if self.xvfb is not None:
            self.xvfb.stop()
            self.xvfb = None
        if self.prefix is not None:
            shutil.rmtree(self.prefix, ignore_errors=True)
            self.prefix = None

    # --- X input and output ---------------------------------------------------

    def keys(self, *names, delay_ms=40):
        e2e.send_keys(self.xvfb, *names, delay_ms=delay_ms)

    def windows_named(self, pattern):
        return e2e.find_windows(self.xvfb, pattern, visible_only=True)

    def screenshot(self):
        """The whole screen, which must be the size the session was made with."""
        shot = e2e.screenshot(self.xvfb)
        if (shot.width, shot.height) != (self.width, self.height):
            raise RuntimeError(f"screenshot is {shot.width}x{shot.height}, expected {self.width}x{self.height}")
        return shot

    def save_png(self, image, name):
        return e2e.save_image(image, self.artifacts, name)

    # --- Wine -------------------------------------------------------------------

    def wine(self, *args, **extra_env):
        return subprocess.run(["wine", *args], env=self.env(**extra_env), capture_output=True, text=True,
                              timeout=120)

    def run(self, *args, timeout=60, **extra_env):
        """A Windows program run to its end, its output through files (Wine's
        background processes would keep a pipe open): a CompletedProcess
        with the text of both."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            completed = subprocess.run(["timeout", str(timeout), "wine", *args], env=self.env(**extra_env),
                                       stdin=subprocess.DEVNULL, stdout=out, stderr=err, check=False)
            out.seek(0)
            err.seek(0)
            completed.stdout = out.read().decode(errors="replace").replace("\r\n", "\n")
            completed.stderr = err.read().decode(errors="replace").replace("\r\n", "\n")
        if completed.returncode == 124:
            raise RuntimeError(f"wine {' '.join(args)} did not end within {timeout} s")
        return completed

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


class Reference:
    """Pages drawn by the core's headless renderer, without the caption, as
    e2e_support Images."""

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
            self._cache[key] = e2e.load_png(png)
            os.remove(png)
        return self._cache[key]


class CaptionComparison:
    """A screenshot against a reference (both e2e_support Images): every pixel
    below the caption rows must be equal; the band is the columns of rows
    0..17 up to the last one that differs from the page, and holds only pure
    green and black."""

    def __init__(self, shot, reference):
        width = shot.width
        row = width * 3
        below = e2e.compare_images(shot.crop(0, CAPTION_ROWS, width, shot.height - CAPTION_ROWS),
                                   reference.crop(0, CAPTION_ROWS, width, reference.height - CAPTION_ROWS))
        self.page_ok = below.equal
        self.mismatched_below = below.differing
        shot, reference = shot.data, reference.data
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


def band_region(shot, columns):
    """Rows 0..17, columns 0..columns-1 of a screenshot, to compare captions."""
    return shot.crop(0, 0, columns, CAPTION_ROWS)
