"""A real colord of our own, on a private system bus, for one test.

colord keeps its databases in /var/lib/colord, a path compiled into it: the
daemon runs in a private mount namespace (unshare -m) with a temporary folder
bound over that path, so the machine's colord state is never touched. The bus
is a dbus-daemon of type "system" on a socket in the same temporary folder,
with the system bus's default policy and the services' policy files; no
service is started by the bus. Callers reach it through
DBUS_SYSTEM_BUS_ADDRESS. Root callers may change colord's state without
polkit; anyone else is refused, as on a machine where polkit says no.

The test's own view of colord goes through GIO (python3-gi), one D-Bus call
at a time, independent of veltrane's C++ client:

    with PrivateColord(tmp_path) as colord:
        device = colord.create_device("xrandr-screen", {"XRANDR_name": "screen"})
        colord.device(device)["Profiles"]
"""

import os
import signal
import subprocess
import time
from typing import Dict, List, Optional

from gi.repository import Gio, GLib

COLORD = "/usr/libexec/colord"
NAME = "org.freedesktop.ColorManager"
MANAGER = "/org/freedesktop/ColorManager"
DEVICE_INTERFACE = "org.freedesktop.ColorManager.Device"
PROFILE_INTERFACE = "org.freedesktop.ColorManager.Profile"

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path={socket}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Introspectable"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Properties"/>
  </policy>
  <includedir>/usr/share/dbus-1/system.d</includedir>
</busconfig>
"""


class ColordSetupError(Exception):
    """The private bus or colord could not be started."""


def start_bus(folder: str):
    """A private system bus in `folder`: (address, dbus-daemon's pid)."""
    socket = os.path.join(folder, "system_bus_socket")
    config = os.path.join(folder, "bus.conf")
    with open(config, "w") as f:
        f.write(BUS_CONFIG.format(socket=socket))
    result = subprocess.run(["dbus-daemon", f"--config-file={config}", "--fork", "--print-address=1",
                             "--print-pid=1"], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                            timeout=10)
    lines = result.stdout.split()
    if result.returncode != 0 or len(lines) < 2:
        raise ColordSetupError(f"dbus-daemon did not start: {result.stderr}")
    return f"unix:path={socket}", int(lines[1])


class PrivateColord:
    def __init__(self, folder):
        self.folder = str(folder)
        self.address: Optional[str] = None
        self.bus_pid: Optional[int] = None
        self.process: Optional[subprocess.Popen] = None
        self.connection: Optional[Gio.DBusConnection] = None

    # ------------------------------------------------------------ life

    def start(self) -> "PrivateColord":
        os.makedirs(self.folder, exist_ok=True)
        self.address, self.bus_pid = start_bus(self.folder)
        state = os.path.join(self.folder, "var-lib-colord")
        os.makedirs(state, exist_ok=True)
        env = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=self.address)
        self.log = open(os.path.join(self.folder, "colord.log"), "wb")
        # sh execs colord, so the process is colord itself.
        self.process = subprocess.Popen(
            ["unshare", "-m", "--propagation", "private", "sh", "-c",
             'mount --bind "$1" /var/lib/colord && exec "$2" --verbose', "sh", state, COLORD],
            env=env, stdout=self.log, stderr=subprocess.STDOUT)
        self.connection = Gio.DBusConnection.new_for_address_sync(
            self.address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
            Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
        deadline = time.monotonic() + 10
        while True:
            try:
                self.daemon_version()
                return self
            except GLib.Error:
                if self.process.poll() is not None or time.monotonic() > deadline:
                    self.stop()
                    raise ColordSetupError("colord did not answer: " + self.log_text()[-800:])
                time.sleep(0.05)

    def stop(self) -> None:
        if self.connection is not None:
            self.connection.close_sync(None)
            self.connection = None
        if self.process is not None:
            if self.process.poll() is None:
                self.process.terminate()
                try:
                    self.process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    self.process.kill()
                    self.process.wait()
            self.process = None
            self.log.close()
        if self.bus_pid is not None:
            try:
                os.kill(self.bus_pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            self.bus_pid = None

    def __enter__(self) -> "PrivateColord":
        return self.start()

    def __exit__(self, *exc) -> None:
        self.stop()

    def env(self, base: dict) -> dict:
        return dict(base, DBUS_SYSTEM_BUS_ADDRESS=self.address)

    def log_text(self) -> str:
        with open(os.path.join(self.folder, "colord.log"), "rb") as f:
            return f.read().decode(errors="replace")

    # ------------------------------------------------------------ calls

    def call(self, path: str, interface: str, method: str, signature: Optional[str] = None, *args):
        parameters = GLib.Variant(f"({signature})", args) if signature else None
        reply = self.connection.call_sync(NAME, path, interface, method, parameters, None,
                                          Gio.DBusCallFlags.NONE, 10000, None)
        return reply.unpack() if reply is not None else ()

    def daemon_version(self) -> str:
        return self.call(MANAGER, "org.freedesktop.DBus.Properties", "Get", "ss", NAME, "DaemonVersion")[0]

    def properties(self, path: str, interface: str) -> Dict:
        return self.call(path, "org.freedesktop.DBus.Properties", "GetAll", "s", interface)[0]

    def device(self, path: str) -> Dict:
        return self.properties(path, DEVICE_INTERFACE)

    def profile(self, path: str) -> Optional[Dict]:
        """The profile's properties; None for an entry that does not answer."""
        try:
            return self.properties(path, PROFILE_INTERFACE)
        except GLib.Error as error:
            if "UnknownMethod" in error.message or "does not exist" in error.message:
                return None
            raise

    def create_device(self, device_id: str, metadata: Dict[str, str]) -> str:
        properties = {"Kind": "display", "Colorspace": "rgb", **metadata}
        return self.call(MANAGER, NAME, "CreateDevice", "ssa{ss}", device_id, "normal", properties)[0]

    def create_profile(self, profile_id: str, filename: str) -> str:
        """As another tool registers a profile; raises GLib.Error when colord refuses."""
        return self.call(MANAGER, NAME, "CreateProfile", "ssa{ss}", profile_id, "normal",
                         {"Filename": filename})[0]

    def find_profile(self, profile_id: str) -> Optional[str]:
        try:
            return self.call(MANAGER, NAME, "FindProfileById", "s", profile_id)[0]
        except GLib.Error as error:
            if "NotFound" in error.message or "does not exist" in error.message:
                return None
            raise

    def delete_profile(self, path: str) -> None:
        self.call(MANAGER, NAME, "DeleteProfile", "o", path)

    def add_profile(self, device: str, profile: str, relation: str = "hard") -> None:
        self.call(device, DEVICE_INTERFACE, "AddProfile", "so", relation, profile)

    def make_default(self, device: str, profile: str) -> None:
        self.call(device, DEVICE_INTERFACE, "MakeProfileDefault", "o", profile)

    def profiles(self) -> List[str]:
        return list(self.call(MANAGER, NAME, "GetProfiles")[0])

    def profile_for_qualifiers(self, device: str) -> Optional[str]:
        """What a session's look-up ('*') gets: the profile path, or None with colord's reason."""
        try:
            return self.call(device, DEVICE_INTERFACE, "GetProfileForQualifiers", "as", ["*"])[0]
        except GLib.Error:
            return None

    def state(self) -> Dict:
        """Every profile colord lists and every device's profiles, in order."""
        devices = self.call(MANAGER, NAME, "GetDevices")[0]
        return {"profiles": sorted(self.profiles()),
                "devices": {path: list(self.device(path)["Profiles"]) for path in devices}}
