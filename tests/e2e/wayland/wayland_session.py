"""Real Wayland compositors for the end-to-end tests, started by the tests.

- build_screencopy(folder), build_virtual_pointer(folder): our capture
  client and our pointer device, built once: the protocol XML comes from
  Debian's wlroots source package (scripts/debian-source.sh), its code from
  wayland-scanner.
- Sway(scale, ...): headless sway 1.7 on the pixman renderer with one output,
  run as an unprivileged user (sway refuses root) in a private
  XDG_RUNTIME_DIR; root clients connect to its socket. env() is a client
  environment, swaymsg() changes the output while a client runs, keys()
  types through wtype, screenshot() captures the output at its physical size.
  With xwayland=True an XWayland server runs beside it and admits root.
- Weston(xvfb, scale, ...): Weston 10 on its X11 backend inside an Xvfb,
  integer scales only; keys through xdotool into its window, screenshots of
  that window from the Xvfb.

Settings from the environment:
  VELTRANE_E2E_RUNTIME_PREFIX  prefix of the private runtime folders
                               (default /tmp/veltrane-wayland-)
  VELTRANE_E2E_SOCKET_PREFIX   prefix of Weston's socket names
                               (default veltrane-e2e-)
"""

import json
import os
import re
import shutil
import subprocess
import tempfile
import time
from typing import Dict, List, Optional

import e2e_support as e2e

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", ".."))
NOBODY = 65534


def runtime_prefix() -> str:
    return os.environ.get("VELTRANE_E2E_RUNTIME_PREFIX", "/tmp/veltrane-wayland-")


def socket_prefix() -> str:
    return os.environ.get("VELTRANE_E2E_SOCKET_PREFIX", "veltrane-e2e-")


def _build_client(folder: str, source: str, protocol: str) -> str:
    """Builds tests/e2e/wayland/SOURCE.c with the client code of wlroots'
    PROTOCOL.xml into `folder`, and returns the program's path."""
    e2e.require_tools("wayland-scanner", "cc")
    tree = subprocess.run([os.path.join(ROOT, "scripts", "debian-source.sh"), "wlroots"],
                          check=True, stdout=subprocess.PIPE, text=True).stdout.strip()
    xml = os.path.join(tree, "protocol", protocol + ".xml")
    os.makedirs(folder, exist_ok=True)
    header = os.path.join(folder, protocol + "-client-protocol.h")
    code = os.path.join(folder, protocol + "-protocol.c")
    subprocess.run(["wayland-scanner", "client-header", xml, header], check=True)
    subprocess.run(["wayland-scanner", "private-code", xml, code], check=True)
    program = os.path.join(folder, source)
    subprocess.run(["cc", "-O2", "-Wall", "-Wextra", "-Werror", "-I", folder, "-o", program,
                    os.path.join(ROOT, "tests", "e2e", "wayland", source + ".c"), code,
                    "-lwayland-client"], check=True)
    return program


def build_screencopy(folder: str) -> str:
    """Our capture client (screencopy.c), built into `folder`."""
    return _build_client(folder, "screencopy", "wlr-screencopy-unstable-v1")


def build_virtual_pointer(folder: str) -> str:
    """Our pointer device for headless sway (virtual_pointer.c), built into `folder`."""
    return _build_client(folder, "virtual_pointer", "wlr-virtual-pointer-unstable-v1")


def _private_runtime_dir() -> str:
    folder = tempfile.mkdtemp(prefix=os.path.basename(runtime_prefix()),
                              dir=os.path.dirname(runtime_prefix()) or "/tmp")
    os.chown(folder, NOBODY, NOBODY)
    os.chmod(folder, 0o700)
    return folder


def _as_nobody(command: List[str]) -> List[str]:
    return ["setpriv", f"--reuid={NOBODY}", f"--regid={NOBODY}", "--clear-groups", *command]


class Sway:
    def __init__(self, screencopy: str, scale: float, width: int = 1280, height: int = 800,
                 xwayland: bool = False):
        self.screencopy = screencopy
        self.scale = scale
        self.width = width
        self.height = height
        self.xwayland = xwayland
        self.runtime_dir: Optional[str] = None
        self.process: Optional[subprocess.Popen] = None
        self.socket: Optional[str] = None
        self.x_display: Optional[str] = None
        self._log = None

    def start(self) -> "Sway":
        e2e.require_tools("sway", "swaymsg", "wtype", "setpriv")
        self.runtime_dir = _private_runtime_dir()
        home = os.path.join(self.runtime_dir, "home")
        os.mkdir(home)
        os.chown(home, NOBODY, NOBODY)
        config = os.path.join(self.runtime_dir, "config")
        with open(config, "w") as f:
            # No "output * bg": its helper would never be reaped here.
            f.write(f"output HEADLESS-1 mode {self.width}x{self.height} position 0 0 scale {self.scale}\n"
                    "default_border none\ndefault_floating_border none\nfocus_follows_mouse no\n"
                    f"xwayland {'force' if self.xwayland else 'disable'}\n")
        os.chmod(config, 0o644)
        self._log = open(os.path.join(self.runtime_dir, "sway.log"), "w+b")
        environment = {
            "HOME": home, "PATH": "/usr/bin:/bin", "XDG_RUNTIME_DIR": self.runtime_dir,
            "WLR_BACKENDS": "headless", "WLR_RENDERER": "pixman", "WLR_LIBINPUT_NO_DEVICES": "1",
            "WLR_HEADLESS_OUTPUTS": "1",
        }
        self.process = subprocess.Popen(_as_nobody(["env", "-i", *[f"{k}={v}" for k, v in environment.items()],
                                                    "sway", "-c", config, "-d"]),
                                        stdout=self._log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise e2e.E2EError("sway ended at start-up: " + self.log()[-1500:])
            sockets = [n for n in os.listdir(self.runtime_dir) if re.fullmatch(r"wayland-\d+", n)]
            ipc = [n for n in os.listdir(self.runtime_dir) if n.startswith("sway-ipc.")]
            if sockets and ipc and self._outputs_ready():
                self.socket = sockets[0]
                break
            time.sleep(0.05)
        else:
            self.stop()
            raise e2e.E2EError("sway did not come up within 20 s: " + self.log()[-1500:])
        if self.xwayland:
            self._admit_root_to_xwayland()
        return self

    def _outputs_ready(self) -> bool:
        try:
            return any(o.get("active") for o in self.outputs())
        except (subprocess.CalledProcessError, json.JSONDecodeError, e2e.E2EError):
            return False

    def _ipc_socket(self) -> str:
        for name in os.listdir(self.runtime_dir):
            if name.startswith("sway-ipc."):
                return os.path.join(self.runtime_dir, name)
        raise e2e.E2EError("sway has no IPC socket")

    def swaymsg(self, *args: str) -> str:
        result = subprocess.run(_as_nobody(["swaymsg", "-s", self._ipc_socket(), *args]),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=20)
        if result.returncode != 0:
            raise e2e.E2EError(f"swaymsg {' '.join(args)}: {result.stdout}{result.stderr}")
        return result.stdout

    def outputs(self) -> List[Dict]:
        return json.loads(self.swaymsg("-t", "get_outputs", "-r"))

    def set_scale(self, scale: float) -> None:
        self.swaymsg("output", "HEADLESS-1", "scale", str(scale))
        self.scale = scale

    def _admit_root_to_xwayland(self) -> None:
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            # XWayland takes the first free X display number; wlroots names it.
            log = self._read_log_bytes()
            match = re.search(rb"Starting Xwayland on (:\d+)", log)
            if match and b"Xserver is ready" in log:
                self.x_display = match.group(1).decode()
                break
            time.sleep(0.1)
        else:
            raise e2e.E2EError("XWayland did not start under sway: " + self.log()[-1500:])
        deadline = time.monotonic() + 20
        while True:
            result = subprocess.run(_as_nobody(["env", f"DISPLAY={self.x_display}", "xhost",
                                                "+si:localuser:root"]),
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            if result.returncode == 0:
                return
            if time.monotonic() > deadline:
                raise e2e.E2EError(f"xhost on {self.x_display}: {result.stdout}")
            time.sleep(0.2)

    def env(self, base: Optional[dict] = None) -> dict:
        environment = dict(os.environ if base is None else base)
        environment["XDG_RUNTIME_DIR"] = self.runtime_dir
        environment["WAYLAND_DISPLAY"] = self.socket
        environment["XDG_SESSION_TYPE"] = "wayland"
        if self.x_display:
            environment["DISPLAY"] = self.x_display
        else:
            environment.pop("DISPLAY", None)
        environment.pop("SDL_VIDEODRIVER", None)
        return environment

    def keys(self, *keys: str) -> None:
        """Types each key (xkb keysym names: space, Next, Escape); `ctrl+Prior`
        holds Ctrl, `shift+Home` Shift, as key presses of their own as a real
        keyboard sends them (wtype's -M only sets the modifier state). wtype
        drops the first key of each call, so every call starts with a pause."""
        held = {"ctrl": "Control_L", "shift": "Shift_L", "alt": "Alt_L"}
        for key in keys:
            *modifiers, name = key.split("+")
            command = ["wtype", "-s", "100"]
            for modifier in modifiers:
                command += ["-P", held[modifier]]
            command += ["-k", name]
            for modifier in reversed(modifiers):
                command += ["-p", held[modifier]]
            result = subprocess.run(command, env=self.env(), stdout=subprocess.PIPE,
                                    stderr=subprocess.STDOUT, text=True, timeout=20)
            if result.returncode != 0:
                raise e2e.E2EError(f"wtype {key}: {result.stdout}")

    def screenshot(self, cursor: bool = False) -> e2e.Image:
        """The output at its size in pixels; with `cursor`, the pointer drawn in."""
        result = subprocess.run([self.screencopy, *(["--cursor"] if cursor else [])], env=self.env(),
                                stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, timeout=20)
        if result.returncode != 0:
            raise e2e.E2EError("screencopy: " + result.stderr.decode(errors="replace").strip())
        return e2e.parse_ppm(result.stdout)

    def pointer(self, program: str) -> "VirtualPointer":
        """A pointer device of its own on this compositor's seat."""
        return VirtualPointer(program, self)

    def _read_log_bytes(self) -> bytes:
        if self._log is None:
            return b""
        self._log.flush()
        with open(self._log.name, "rb") as f:
            return f.read()

    def log(self) -> str:
        return self._read_log_bytes().decode(errors="replace")

    def alive(self) -> bool:
        return self.process is not None and self.process.poll() is None

    def stop(self) -> None:
        if self.process is not None:
            e2e.end_process(self.process, grace=10)
            self.process = None
        if self._log is not None:
            self._log.close()
            self._log = None
        if self.runtime_dir:
            shutil.rmtree(self.runtime_dir, ignore_errors=True)
            self.runtime_dir = None

    def __enter__(self) -> "Sway":
        return self.start()

    def __exit__(self, *exc) -> None:
        self.stop()


class VirtualPointer:
    """virtual_pointer.c running on a Sway: move(x, y) puts the pointer at an
    output pixel and returns once the compositor has the motion."""

    def __init__(self, program: str, sway: "Sway"):
        self.process = subprocess.Popen([program, str(sway.width), str(sway.height)], env=sway.env(),
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        if self.process.stdout.readline().strip() != "ready":
            raise e2e.E2EError("the virtual pointer did not start")

    def move(self, x: int, y: int) -> None:
        self.process.stdin.write(f"move {x} {y}\n")
        self.process.stdin.flush()
        if self.process.stdout.readline().strip() != "ok":
            raise e2e.E2EError("the virtual pointer stopped")

    def close(self) -> None:
        if self.process.poll() is None:
            self.process.stdin.close()
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


class Weston:
    """Weston 10 in a window of `xvfb`: --width and --height are logical, so
    the output has (width * scale) x (height * scale) pixels."""

    def __init__(self, xvfb: e2e.Xvfb, scale: int, width: int, height: int):
        self.xvfb = xvfb
        self.scale = scale
        self.width = width
        self.height = height
        self.runtime_dir: Optional[str] = None
        self.socket = socket_prefix() + f"weston-{os.getpid()}-{time.monotonic_ns()}"
        self.process: Optional[subprocess.Popen] = None
        self.window: Optional[str] = None
        self._log = None

    def start(self) -> "Weston":
        e2e.require_tools("weston", "xdotool")
        self.runtime_dir = tempfile.mkdtemp(prefix=os.path.basename(runtime_prefix()),
                                            dir=os.path.dirname(runtime_prefix()) or "/tmp")
        os.chmod(self.runtime_dir, 0o700)
        self._log = open(os.path.join(self.runtime_dir, "weston.log"), "w+b")
        environment = self.xvfb.env()
        environment["XDG_RUNTIME_DIR"] = self.runtime_dir
        self.process = subprocess.Popen(
            ["weston", "--backend=x11-backend.so", "--use-pixman", f"--width={self.width}",
             f"--height={self.height}", f"--scale={self.scale}", f"--socket={self.socket}",
             "--no-config", "--idle-time=0"],
            env=environment, stdout=self._log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise e2e.E2EError("weston ended at start-up: " + self.log()[-1500:])
            windows = e2e.find_windows(self.xvfb, "^Weston Compositor", visible_only=True)
            if windows and os.path.exists(os.path.join(self.runtime_dir, self.socket)):
                self.window = windows[0]
                # The X keyboard focus goes to Weston's window once, before any
                # client: Weston hands it to the window it makes active. Moving
                # the X focus later makes Weston drop its keyboard focus.
                e2e.focus_window(self.xvfb, self.window)
                return self
            time.sleep(0.1)
        self.stop()
        raise e2e.E2EError("weston did not come up within 20 s: " + self.log()[-1500:])

    def env(self, base: Optional[dict] = None) -> dict:
        environment = dict(os.environ if base is None else base)
        environment["XDG_RUNTIME_DIR"] = self.runtime_dir
        environment["WAYLAND_DISPLAY"] = self.socket
        environment["XDG_SESSION_TYPE"] = "wayland"
        environment.pop("DISPLAY", None)
        environment.pop("SDL_VIDEODRIVER", None)
        return environment

    def keys(self, *keys: str) -> None:
        e2e.send_keys(self.xvfb, *keys)

    def screenshot(self) -> e2e.Image:
        """The output as Weston drew it into its X window."""
        x, y, w, h = e2e.window_rect(self.xvfb, self.window)
        return e2e.screenshot(self.xvfb).crop(x, y, w, h)

    def log(self) -> str:
        if self._log is None:
            return ""
        self._log.flush()
        with open(self._log.name, "rb") as f:
            return f.read().decode(errors="replace")

    def alive(self) -> bool:
        return self.process is not None and self.process.poll() is None

    def stop(self) -> None:
        if self.process is not None:
            e2e.end_process(self.process, grace=10)
            self.process = None
        if self._log is not None:
            self._log.close()
            self._log = None
        if self.runtime_dir:
            shutil.rmtree(self.runtime_dir, ignore_errors=True)
            self.runtime_dir = None

    def __enter__(self) -> "Weston":
        return self.start()

    def __exit__(self, *exc) -> None:
        self.stop()
