"""Support for end-to-end tests of a full-screen program on a virtual X display.

Python 3 standard library only; the outside tools it drives are Xvfb, xdotool,
xwininfo and ImageMagick (import, convert), and libX11 with libXfixes through
ctypes for the pointer. What it offers:

- Xvfb(display, width, height, depth): start and stop a virtual screen
  (a context manager); env() gives an environment whose DISPLAY points at it.
  Xvfb.first_free(numbers, ...) starts one on the first of several display
  numbers that is free. XorgDummy is the same with Xorg's dummy driver, for
  the XFree86-VidModeExtension's gamma ramp (as root).
- Image: width, height and tightly packed 8-bit RGB bytes, with pixel(),
  crop() and save(); save_image(image, folder, name) keeps one for a look.
- screenshot(display): the root window as an Image.
- load_png(path): any image file ImageMagick reads, as an Image.
- compare_images / assert_images_equal: pixel for pixel, with optional masked
  rectangles; a mismatch says how many pixels differ, where, and the first ones.
- send_keys / key_down / key_up: keyboard input through xdotool;
  find_windows(display, name): the ids of the windows with a matching title;
  window_rect, press_key_in_window: where a window is, a key pressed in it.
- move_pointer(display, x, y) and pointer_visible(display): the mouse pointer
  moved, and whether the server shows it (XFixes' cursor image).
- wait_for_screen(display, expected, timeout): poll screenshots (of an X
  display, or of anything with a screenshot() method) until the screen shows
  the expected image; on timeout the message describes the last
  difference and, when asked, both images are saved for a look.
- wait_for_exit(process, timeout): the exit code, or a clear failure.
- cpu_seconds(pid) and measure_cpu(pids, seconds): processor time from /proc.
- neutral(), Reference: the nine values as the tests hold them, and
  veltrane-render's picture of a page at a size with those values, cached.
- ADJUSTMENT_STEPS: the walk through the adjustment keys every program's
  suite takes, with the value each key changes.
"""

import ctypes
import ctypes.util
import os
import re
import select
import shutil
import subprocess
import tempfile
import time
from dataclasses import dataclass
from typing import Iterable, List, Optional, Sequence, Tuple

Rect = Tuple[int, int, int, int]  # x, y, width, height


def display_numbers(default: Sequence[int]) -> List[int]:
    """The X display numbers a suite may use: those VELTRANE_E2E_DISPLAYS
    lists ("96-99", "91,92,93", "180-184 190"), else `default`."""
    return parse_display_numbers(os.environ.get("VELTRANE_E2E_DISPLAYS", ""), default)


def parse_display_numbers(listed: str, default: Sequence[int]) -> List[int]:
    """Display numbers written as VELTRANE_E2E_DISPLAYS writes them, else `default`."""
    numbers: List[int] = []
    for part in re.split(r"[,\s]+", listed.strip()):
        if part:
            low, _, high = part.partition("-")
            numbers.extend(range(int(low), int(high or low) + 1))
    return numbers or list(default)


class E2EError(Exception):
    """A test step could not be carried out (as opposed to a wrong result)."""


def end_process(process: subprocess.Popen, grace: float) -> None:
    """Asks a server to end (SIGTERM) and kills it when it has not ended
    within `grace` seconds."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=grace)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def read_display_answer(read_end: int, timeout: float) -> bool:
    """Reads an X server's -displayfd answer (its display number and a
    newline) from `read_end`, which it closes; False when the line has not
    come whole within `timeout` seconds or the server closed its end first."""
    answer = b""
    deadline = time.monotonic() + timeout
    try:
        while not answer.endswith(b"\n"):
            ready, _, _ = select.select([read_end], [], [], max(deadline - time.monotonic(), 0))
            chunk = os.read(read_end, 64) if ready else b""
            if not chunk:
                break
            answer += chunk
    finally:
        os.close(read_end)
    return answer.endswith(b"\n")


def require_tools(*names: str) -> None:
    """Fails with one clear message naming every missing outside tool."""
    missing = [n for n in names if shutil.which(n) is None]
    if missing:
        raise E2EError("missing tools: " + ", ".join(missing) +
                       " (scripts/install-deps.sh installs them)")


# ----------------------------------------------------------------- the display

class Xvfb:
    """A virtual X screen, e.g. Xvfb(95, 1366, 768, 24). Use as a context
    manager, or call start() and stop(). `font_path` replaces the server's
    core font path: "built-ins" leaves only the fonts compiled into the
    server, as on a machine without X font packages."""

    def __init__(self, display: int, width: int, height: int, depth: int = 24,
                 start_timeout: float = 15.0, font_path: Optional[str] = None):
        self.display = display
        self.width = width
        self.height = height
        self.depth = depth
        self.start_timeout = start_timeout
        self.font_path = font_path
        self.process: Optional[subprocess.Popen] = None
        self._log = None

    @property
    def name(self) -> str:
        return f":{self.display}"

    def env(self, base: Optional[dict] = None) -> dict:
        environment = dict(os.environ if base is None else base)
        environment["DISPLAY"] = self.name
        environment.pop("WAYLAND_DISPLAY", None)
        return environment

    @classmethod
    def first_free(cls, numbers: Iterable[int], width: int, height: int, depth: int = 24,
                   font_path: Optional[str] = None) -> "Xvfb":
        """A started Xvfb on the first of `numbers` that has neither a lock
        file nor a socket and whose server comes up."""
        numbers = list(numbers)
        for number in numbers:
            if os.path.exists(f"/tmp/.X{number}-lock") or os.path.exists(f"/tmp/.X11-unix/X{number}"):
                continue
            try:
                return cls(number, width, height, depth, font_path=font_path).start()
            except E2EError:
                continue
        raise E2EError(f"no X display could be started on any of {numbers}")

    def start(self) -> "Xvfb":
        require_tools("Xvfb")
        lock = f"/tmp/.X{self.display}-lock"
        if os.path.exists(lock):
            raise E2EError(f"display {self.name} is in use ({lock} exists); pick another number "
                           "or remove a stale lock file")
        # Xvfb writes the display number to this pipe once it accepts clients,
        # which is a better signal than polling for the socket.
        read_end, write_end = os.pipe()
        # The server's own output goes to a file: a pipe nobody reads could fill
        # up and stall the server in the middle of a test.
        self._log = tempfile.TemporaryFile()
        try:
            self.process = subprocess.Popen(
                ["Xvfb", self.name, "-screen", "0", f"{self.width}x{self.height}x{self.depth}",
                 "-nolisten", "tcp", "-noreset", "-displayfd", str(write_end),
                 *(["-fp", self.font_path] if self.font_path else [])],
                pass_fds=(write_end,), stdout=self._log, stderr=subprocess.STDOUT)
        finally:
            os.close(write_end)
        # The number and its newline come in two writes; closing the pipe
        # between them would make the server fail, so read up to the newline.
        if not read_display_answer(read_end, self.start_timeout):
            output = self.output()
            self.stop()
            raise E2EError(f"Xvfb {self.name} did not start within {self.start_timeout} s: "
                           + output[-500:])
        return self

    def alive(self) -> bool:
        return self.process is not None and self.process.poll() is None

    def output(self) -> str:
        """What the server has printed so far."""
        if self._log is None:
            return ""
        self._log.seek(0)
        return self._log.read().decode(errors="replace").strip()

    def stop(self) -> None:
        if self.process is not None:
            end_process(self.process, grace=5)
            self.process = None
        if self._log is not None:
            self._log.close()
            self._log = None

    def __enter__(self) -> "Xvfb":
        return self.start()

    def __exit__(self, *exc) -> None:
        self.stop()


class XorgDummy(Xvfb):
    """Xorg with the dummy video driver: a virtual screen like Xvfb's, but
    with the XFree86-VidModeExtension, whose gamma ramp Wine's GDI gamma
    functions drive (Xvfb has none). Started as root, with a configuration
    of its own that adds no input devices; the same interface as Xvfb."""

    CONFIG = """Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoEnableDevices" "false"
  Option "DontVTSwitch" "true"
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 65536
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0 - 1000.0
  VertRefresh 5.0 - 200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth {depth}
  SubSection "Display"
    Depth {depth}
    Virtual {width} {height}
  EndSubSection
EndSection
"""

    def __init__(self, display: int, width: int, height: int, depth: int = 24,
                 start_timeout: float = 30.0, font_path: Optional[str] = None):
        super().__init__(display, width, height, depth, start_timeout, font_path)
        self._folder: Optional[str] = None

    def start(self) -> "XorgDummy":
        require_tools("Xorg")
        if os.geteuid() != 0:
            raise E2EError("Xorg with the dummy driver must be started as root")
        if os.path.exists(f"/tmp/.X{self.display}-lock"):
            raise E2EError(f"display {self.name} is in use")
        self._folder = tempfile.mkdtemp(prefix="veltrane-xorg-")
        config = os.path.join(self._folder, "xorg.conf")
        with open(config, "w") as f:
            f.write(self.CONFIG.format(depth=self.depth, width=self.width, height=self.height))
        read_end, write_end = os.pipe()
        self._log = tempfile.TemporaryFile()
        try:
            self.process = subprocess.Popen(
                ["Xorg", self.name, "-config", config, "-noreset", "-nolisten", "tcp",
                 "-logfile", os.path.join(self._folder, "xorg.log"), "-displayfd", str(write_end)],
                pass_fds=(write_end,), stdout=self._log, stderr=subprocess.STDOUT,
                stdin=subprocess.DEVNULL)
        finally:
            os.close(write_end)
        if not read_display_answer(read_end, self.start_timeout):
            output = self.output()
            self.stop()
            raise E2EError(f"Xorg {self.name} did not start within {self.start_timeout} s: " + output[-500:])
        return self

    def stop(self) -> None:
        super().stop()
        if self._folder is not None:
            shutil.rmtree(self._folder, ignore_errors=True)
            self._folder = None


# -------------------------------------------------------------------- images

@dataclass
class Image:
    width: int
    height: int
    data: bytes  # RGB, 3 bytes per pixel, rows without padding

    def pixel(self, x: int, y: int) -> Tuple[int, int, int]:
        i = (y * self.width + x) * 3
        return self.data[i], self.data[i + 1], self.data[i + 2]

    def crop(self, x: int, y: int, width: int, height: int) -> "Image":
        rows = [self.data[((y + r) * self.width + x) * 3:((y + r) * self.width + x + width) * 3]
                for r in range(height)]
        return Image(width, height, b"".join(rows))

    def to_ppm(self) -> bytes:
        return b"P6\n%d %d\n255\n" % (self.width, self.height) + self.data

    def save(self, path: str) -> None:
        """Writes the image; the format follows the file name (.png, .ppm, ...)."""
        if path.endswith(".ppm"):
            with open(path, "wb") as f:
                f.write(self.to_ppm())
            return
        subprocess.run(["convert", "ppm:-", path], input=self.to_ppm(), check=True)


def save_image(image: Image, folder: str, name: str) -> str:
    """Writes `image` as folder/name.png, making the folder, and returns the path."""
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, name + ".png")
    image.save(path)
    return path


def parse_ppm(blob: bytes) -> Image:
    """Reads a binary 8-bit PPM (P6), as ImageMagick writes it."""
    fields: List[bytes] = []
    pos = 0
    while len(fields) < 4:
        while pos < len(blob) and blob[pos:pos + 1].isspace():
            pos += 1
        if blob[pos:pos + 1] == b"#":
            pos = blob.index(b"\n", pos) + 1
            continue
        start = pos
        while pos < len(blob) and not blob[pos:pos + 1].isspace():
            pos += 1
        fields.append(blob[start:pos])
    pos += 1  # the single whitespace byte before the pixels
    if fields[0] != b"P6" or fields[3] != b"255":
        raise E2EError(f"not an 8-bit binary PPM: header {fields!r}")
    width, height = int(fields[1]), int(fields[2])
    data = blob[pos:pos + width * height * 3]
    if len(data) != width * height * 3:
        raise E2EError(f"PPM of {width}x{height} holds only {len(data)} bytes")
    return Image(width, height, bytes(data))


def load_png(path: str) -> Image:
    """Any image ImageMagick reads, as 8-bit RGB (alpha dropped)."""
    result = subprocess.run(["convert", path, "-alpha", "off", "-depth", "8", "ppm:-"],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if result.returncode != 0:
        raise E2EError(f"cannot read {path}: {result.stderr.decode(errors='replace').strip()}")
    return parse_ppm(result.stdout)


def screenshot(display: str, timeout: float = 20.0) -> Image:
    """The whole root window of `display` (":95" or an Xvfb) as RGB."""
    name = display.name if isinstance(display, Xvfb) else display
    result = subprocess.run(["import", "-display", name, "-window", "root", "-depth", "8", "ppm:-"],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
    if result.returncode != 0:
        raise E2EError(f"screenshot of {name} failed: {result.stderr.decode(errors='replace').strip()}")
    return parse_ppm(result.stdout)


# ---------------------------------------------------------------- comparison

@dataclass
class Comparison:
    equal: bool
    message: str
    differing: int = 0


def _inside(x: int, y: int, rects: Sequence[Rect]) -> bool:
    return any(rx <= x < rx + rw and ry <= y < ry + rh for rx, ry, rw, rh in rects)


def compare_images(actual: Image, expected: Image, masks: Iterable[Rect] = (),
                   show: int = 8) -> Comparison:
    """Pixel-for-pixel comparison. Pixels inside any of the `masks` rectangles
    (x, y, width, height) are not compared."""
    if (actual.width, actual.height) != (expected.width, expected.height):
        return Comparison(False, f"size differs: actual {actual.width}x{actual.height}, "
                                 f"expected {expected.width}x{expected.height}", -1)
    masks = list(masks)
    if not masks and actual.data == expected.data:
        return Comparison(True, "identical")
    width = actual.width
    row_bytes = width * 3
    differing = 0
    first: List[str] = []
    box = [width, actual.height, -1, -1]
    for y in range(actual.height):
        a_row = actual.data[y * row_bytes:(y + 1) * row_bytes]
        e_row = expected.data[y * row_bytes:(y + 1) * row_bytes]
        if a_row == e_row:
            continue
        for x in range(width):
            i = x * 3
            if a_row[i:i + 3] == e_row[i:i + 3] or (masks and _inside(x, y, masks)):
                continue
            differing += 1
            box = [min(box[0], x), min(box[1], y), max(box[2], x), max(box[3], y)]
            if len(first) < show:
                first.append(f"({x},{y}) actual {tuple(a_row[i:i + 3])} expected {tuple(e_row[i:i + 3])}")
    if differing == 0:
        return Comparison(True, "identical outside the masked area")
    message = (f"{differing} of {width * actual.height} pixels differ, within x {box[0]}..{box[2]}, "
               f"y {box[1]}..{box[3]}; first: " + "; ".join(first))
    return Comparison(False, message, differing)


def assert_images_equal(actual: Image, expected: Image, masks: Iterable[Rect] = (),
                        what: str = "image") -> None:
    result = compare_images(actual, expected, masks)
    if not result.equal:
        raise AssertionError(f"{what}: {result.message}")


def wait_for_screen(display, expected: Image, timeout: float = 10.0, masks: Iterable[Rect] = (),
                    what: str = "screen", save_dir: Optional[str] = None,
                    interval: float = 0.1) -> Image:
    """Takes screenshots until one equals `expected` (outside `masks`) and
    returns it. On timeout raises AssertionError with the last difference,
    after saving the last screenshot and the expected image into `save_dir`.
    `display` is an X display, or anything with a screenshot() method (a
    Wayland compositor of the Wayland tests)."""
    masks = list(masks)
    deadline = time.monotonic() + timeout
    while True:
        shot = display.screenshot() if hasattr(display, "screenshot") else screenshot(display)
        result = compare_images(shot, expected, masks)
        if result.equal:
            return shot
        if time.monotonic() >= deadline:
            if save_dir:
                stem = "".join(c if c.isalnum() or c in "-_" else "_" for c in what)
                save_image(shot, save_dir, stem + "-actual")
                save_image(expected, save_dir, stem + "-expected")
            raise AssertionError(f"{what}: not shown within {timeout} s: {result.message}")
        time.sleep(interval)


# ------------------------------------------------------------------ keyboard

def _xdotool(display, *args: str) -> None:
    name = display.name if isinstance(display, Xvfb) else display
    require_tools("xdotool")
    result = subprocess.run(["xdotool", *args], env={**os.environ, "DISPLAY": name},
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=30)
    if result.returncode != 0:
        raise E2EError(f"xdotool {' '.join(args)} failed: {result.stderr.decode(errors='replace').strip()}")


def send_keys(display, *keys: str, delay_ms: int = 20) -> None:
    """Presses and releases each key in turn, X keysym names with xdotool's
    modifiers: "Next", "Prior", "ctrl+Prior", "shift+ctrl+Home", "space"."""
    if keys:
        _xdotool(display, "key", "--delay", str(delay_ms), *keys)


def key_down(display, key: str) -> None:
    _xdotool(display, "keydown", key)


def key_up(display, key: str) -> None:
    _xdotool(display, "keyup", key)


_TREE_LINE = re.compile(r'^\s*(0x[0-9a-fA-F]+) (?:"(.*)"|\(has no name\)):')


def find_windows(display, name_pattern: str, visible_only: bool = False) -> List[str]:
    """The ids of the windows whose title matches `name_pattern` (a regular
    expression); none found is an empty list, not an error. Titles are read
    by xwininfo, which also understands titles stored as UTF8_STRING (as SDL
    stores them), which xdotool's name search passes over."""
    name = display.name if isinstance(display, Xvfb) else display
    require_tools("xwininfo")
    tree = subprocess.run(["xwininfo", "-root", "-tree"], env={**os.environ, "DISPLAY": name},
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                          errors="replace", timeout=30)
    pattern = re.compile(name_pattern)
    found = []
    for line in tree.stdout.splitlines():
        match = _TREE_LINE.match(line)
        if match and match.group(2) is not None and pattern.search(match.group(2)):
            window = match.group(1)
            if not visible_only or window_attributes(name, window).get("Map State") == "IsViewable":
                found.append(window)
    return found


def window_attributes(display, window: str) -> dict:
    """xwininfo's description of one window ("Absolute upper-left X",
    "Width", "Map State", ...) as text values; empty when it is gone."""
    name = display.name if isinstance(display, Xvfb) else display
    info = subprocess.run(["xwininfo", "-id", window], env={**os.environ, "DISPLAY": name},
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                          errors="replace", timeout=30)
    attributes = {}
    for line in info.stdout.splitlines():
        key, colon, value = line.strip().partition(":")
        if colon:
            attributes[key.strip()] = value.strip()
    return attributes


def window_rect(display, window: str) -> Optional[Rect]:
    """The window's rectangle on the screen, or None when it is gone."""
    attributes = window_attributes(display, window)
    try:
        return (int(attributes["Absolute upper-left X"]), int(attributes["Absolute upper-left Y"]),
                int(attributes["Width"]), int(attributes["Height"]))
    except (KeyError, ValueError):
        return None


def press_key_in_window(display, window: str, key: str) -> bool:
    """Gives `window` the keyboard focus and presses `key` there; false when
    the window could not take the focus (not mapped yet, or gone)."""
    name = display.name if isinstance(display, Xvfb) else display
    result = subprocess.run(["xdotool", "windowfocus", window, "key", key], env={**os.environ, "DISPLAY": name},
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
    return result.returncode == 0


def move_pointer(display, x: int, y: int) -> None:
    _xdotool(display, "mousemove", str(x), str(y))


class _CursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short),
                ("width", ctypes.c_ushort), ("height", ctypes.c_ushort),
                ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("cursor_serial", ctypes.c_ulong), ("pixels", ctypes.POINTER(ctypes.c_ulong)),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


def _x_libraries():
    x11_path, xfixes_path = ctypes.util.find_library("X11"), ctypes.util.find_library("Xfixes")
    if not x11_path or not xfixes_path:
        raise E2EError("libX11 and libXfixes are needed to read the pointer's image (libxfixes3)")
    x11, xfixes = ctypes.CDLL(x11_path), ctypes.CDLL(xfixes_path)
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XFree.argtypes = [ctypes.c_void_p]
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(_CursorImage)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    return x11, xfixes


class PlainWindow:
    """An empty window of another client, mapped at (x, y): something other
    than the program under test to give the keyboard focus to. Use as a
    context manager; `id` is its window id as xdotool takes it."""

    def __init__(self, display, x: int = 0, y: int = 0, width: int = 64, height: int = 64):
        self.display_name = display.name if isinstance(display, Xvfb) else display
        self.rect = (x, y, width, height)
        self.id = ""
        self._x11 = None
        self._connection = None

    def __enter__(self) -> "PlainWindow":
        x11, _ = _x_libraries()
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XCreateSimpleWindow.restype = ctypes.c_ulong
        x11.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                            ctypes.c_uint, ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong,
                                            ctypes.c_ulong]
        x11.XMapRaised.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        connection = x11.XOpenDisplay(self.display_name.encode())
        if not connection:
            raise E2EError(f"cannot open the X display {self.display_name}")
        self._x11, self._connection = x11, connection
        x, y, width, height = self.rect
        window = x11.XCreateSimpleWindow(connection, x11.XDefaultRootWindow(connection), x, y, width, height,
                                         0, 0, 0)
        x11.XMapRaised(connection, window)
        x11.XSync(connection, 0)
        self.id = hex(window)
        deadline = time.monotonic() + 10
        while window_attributes(self.display_name, self.id).get("Map State") != "IsViewable":
            if time.monotonic() > deadline:
                raise E2EError("the plain window did not appear")
            time.sleep(0.05)
        return self

    def __exit__(self, *exc) -> None:
        if self._connection:
            self._x11.XCloseDisplay(self._connection)  # the server destroys the window with it
            self._connection = None


def focus_window(display, window: str) -> None:
    _xdotool(display, "windowfocus", "--sync", window)


def pointer_visible(display) -> bool:
    """Whether the mouse pointer the X server shows now has any opaque pixel,
    from the XFixes extension's copy of the current cursor image (a
    screenshot never includes the pointer). A hidden pointer is a blank
    cursor, all of whose pixels are transparent."""
    name = display.name if isinstance(display, Xvfb) else display
    x11, xfixes = _x_libraries()
    connection = x11.XOpenDisplay(name.encode())
    if not connection:
        raise E2EError(f"cannot open the X display {name}")
    try:
        image = xfixes.XFixesGetCursorImage(connection)
        if not image:
            raise E2EError(f"{name} gives no cursor image (no XFIXES extension?)")
        try:
            cursor = image.contents
            # Each pixel is ARGB in an unsigned long; alpha is bits 24 to 31.
            return any((cursor.pixels[i] >> 24) & 0xFF for i in range(cursor.width * cursor.height))
        finally:
            x11.XFree(image)
    finally:
        x11.XCloseDisplay(connection)


def read_settings_values(path: str) -> dict:
    """The `name = value` lines of a Linux settings file, comments left out.
    A save keeps the lines it could not read, garbage bytes included."""
    values = {}
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.split("#", 1)[0]
            if "=" in line:
                name, value = (part.strip() for part in line.split("=", 1))
                values[name] = int(value)
    return values


def describe_threads(pid: int) -> str:
    """Where each thread of a live process waits, from /proc: its name, state,
    the kernel function it sleeps in and the system call it is in (number and
    first arguments), one line per thread; for a failure that a hang caused,
    which cannot be reproduced at will."""
    lines = []
    try:
        threads = sorted(os.listdir(f"/proc/{pid}/task"), key=int)
    except OSError as error:
        return f"(no threads to show: {error})"
    for tid in threads:
        def read(name):
            try:
                with open(f"/proc/{pid}/task/{tid}/{name}") as f:
                    return f.read().strip()
            except OSError:
                return "?"
        state = read("stat").rsplit(")", 1)[-1].split()[:1]
        lines.append(f"  thread {tid} {read('comm')!r}: state {' '.join(state)}, waits in {read('wchan')}, "
                     f"system call {' '.join(read('syscall').split()[:3])}")
    return "\n".join(lines)


def wait_for_exit(process: subprocess.Popen, timeout: float = 10.0) -> int:
    """The process's exit code; kills it and fails when it does not end in time,
    saying where its threads were waiting."""
    try:
        return process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        threads = describe_threads(process.pid)
        process.kill()
        process.wait()
        raise AssertionError(f"the program did not exit within {timeout} s; its threads:\n{threads}")


# ------------------------------------------------------------ processor time

def cpu_seconds(pid: int) -> float:
    """User plus system time the process has used so far, from /proc."""
    with open(f"/proc/{pid}/stat") as stat:
        # The name in parentheses may hold spaces; the fields after it do not.
        fields = stat.read().rsplit(")", 1)[1].split()
    # utime and stime are fields 14 and 15 of the line, 12 and 13 after the name.
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def measure_cpu(pids: Sequence[int], seconds: float) -> Tuple[float, List[float]]:
    """Waits `seconds` and returns the wall time that passed and the processor
    seconds each of `pids` used meanwhile."""
    before = [cpu_seconds(pid) for pid in pids]
    start = time.monotonic()
    time.sleep(seconds)
    after = [cpu_seconds(pid) for pid in pids]
    elapsed = time.monotonic() - start
    return elapsed, [a - b for a, b in zip(after, before)]


# ------------------------------------------------- values and their pictures

def neutral():
    """The nine values at 1.0, keyed by (channel, parameter)."""
    return {(c, p): 1.0 for c in ("red", "green", "blue") for p in ("brightness", "contrast", "gamma")}


class Reference:
    """veltrane-render's picture of a page at a size and with given values,
    cached per set of arguments. The values are computed by the tests with
    the same steps the programs take (1.0 + 0.01, ...) and handed over as
    repr() text, so both sides hold the identical doubles. `extra` options
    (--font FILE, --bpp 24) go to every call."""

    def __init__(self, render_tool: str, work: str, width: int, height: int, extra: Sequence[str] = ()):
        self.render_tool = render_tool
        self.work = work
        self.width = width
        self.height = height
        self.extra = list(extra)
        self.cache = {}

    def __call__(self, page, values=None, width=None, height=None, extra=()):
        values = neutral() if values is None else values
        width = self.width if width is None else width
        height = self.height if height is None else height
        args = ["--page", str(page), "--width", str(width), "--height", str(height), *self.extra, *extra]
        for (channel, parameter), value in sorted(values.items()):
            args += [f"--{channel}-{parameter}", repr(value)]
        key = tuple(args)
        if key not in self.cache:
            path = os.path.join(self.work, f"expected-{len(self.cache)}.png")
            subprocess.run([self.render_tool, *args, "--output", path], check=True)
            self.cache[key] = load_png(path)
        return self.cache[key]


# The adjustment keys, one press each, with the value each changes and the
# direction: every key, every modifier, Shift winning over Ctrl. Keys are
# named as xdotool names them; other suites map the names to their own.
ADJUSTMENT_STEPS = [
    ("Prior", ("red", "gamma"), +1), ("Next", ("red", "gamma"), -1),
    ("Home", ("red", "contrast"), +1), ("End", ("red", "contrast"), -1),
    ("Insert", ("red", "brightness"), +1), ("Delete", ("red", "brightness"), -1),
    ("ctrl+Prior", ("green", "gamma"), +1), ("ctrl+End", ("green", "contrast"), -1),
    ("ctrl+Insert", ("green", "brightness"), +1),
    ("shift+Prior", ("blue", "gamma"), +1), ("shift+Home", ("blue", "contrast"), +1),
    ("shift+Delete", ("blue", "brightness"), -1),
    ("shift+ctrl+Next", ("blue", "gamma"), -1),  # Shift wins over Ctrl
]


def step_value(value: float, sign: int) -> float:
    """One press of an adjustment key, as the programs compute it."""
    return value + 0.01 if sign > 0 else value - 0.01
