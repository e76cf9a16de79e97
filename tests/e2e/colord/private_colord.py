"""A real colord of our own, on a private system bus, for one test.

colord keeps its databases in /var/lib/colord, a path compiled into it: the
daemon runs in a private mount namespace (unshare -m) with a temporary folder
bound over that path, so the machine's colord state is never touched. The bus
is a dbus-daemon of type "system" on a socket in the same temporary folder,
with the system bus's default policy and the services' policy files; no
service is started by the bus. Callers reach it through
DBUS_SYSTEM_BUS_ADDRESS. Root callers may change colord's state without
polkit; anyone else is refused, as on a machine where polkit says no.

Starting it and making devices needs only dbus-daemon, colord and gdbus, so
any Python runs it; the test's own view of colord goes through GIO
(python3-gi, Debian's /usr/bin/python3), one D-Bus call at a time,
independent of veltrane's C++ client:

    with PrivateColord(tmp_path) as colord:
        device = colord.create_device("xrandr-screen", {"XRANDR_name": "screen"})
        colord.device(device)["Profiles"]
"""

import os
import signal
import subprocess
import time
from typing import Dict, List, Optional

import e2e_support as e2e


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


def gvariant_string(text: str) -> str:
    return "'" + text.replace("\\", "\\\\").replace("'", "\\'") + "'"


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
        self._connection = None

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
        deadline = time.monotonic() + 10
        while self.gdbus(MANAGER, "org.freedesktop.DBus.Properties.Get", NAME, "DaemonVersion").returncode != 0:
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise ColordSetupError("colord did not answer: " + self.log_text()[-800:])
            time.sleep(0.05)
        return self

    def stop(self) -> None:
        if self._connection is not None:
            self._connection.close_sync(None)
            self._connection = None
        if self.process is not None:
            e2e.end_process(self.process, grace=5)
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

    def gdbus(self, path: str, method: str, *args: str) -> subprocess.CompletedProcess:
        """One call through gdbus; the arguments in GVariant text."""
        return subprocess.run(["gdbus", "call", "--system", "--dest", NAME, "--object-path", path,
                               "--method", method, *args], env=self.env(os.environ), stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True, timeout=20)

    def create_device(self, device_id: str, metadata: Dict[str, str]) -> str:
        """A display device as a session makes it; its object path."""
        properties = {"Kind": "display", "Colorspace": "rgb", **metadata}
        text = "{" + ", ".join(f"{gvariant_string(k)}: {gvariant_string(v)}" for k, v in properties.items()) + "}"
        result = self.gdbus(MANAGER, NAME + ".CreateDevice", gvariant_string(device_id), gvariant_string("normal"), text)
        if result.returncode != 0:
            raise ColordSetupError(f"CreateDevice {device_id}: {result.stderr}")
        return result.stdout.split("'")[1]

    def call(self, path: str, interface: str, method: str, signature: Optional[str] = None, *args):
        from gi.repository import Gio, GLib
        if self._connection is None:
            self._connection = Gio.DBusConnection.new_for_address_sync(
                self.address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
                Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
        parameters = GLib.Variant(f"({signature})", args) if signature else None
        reply = self._connection.call_sync(NAME, path, interface, method, parameters, None,
                                           Gio.DBusCallFlags.NONE, 10000, None)
        return reply.unpack() if reply is not None else ()

    def properties(self, path: str, interface: str) -> Dict:
        return self.call(path, "org.freedesktop.DBus.Properties", "GetAll", "s", interface)[0]

    def device(self, path: str) -> Dict:
        return self.properties(path, DEVICE_INTERFACE)

    def profile(self, path: str) -> Optional[Dict]:
        """The profile's properties; None for an entry that does not answer."""
        from gi.repository import GLib
        try:
            return self.properties(path, PROFILE_INTERFACE)
        except GLib.Error as error:
            if "UnknownMethod" in error.message or "does not exist" in error.message:
                return None
            raise

    def create_profile(self, profile_id: str, filename: str) -> str:
        """As another tool registers a profile; raises GLib.Error when colord refuses."""
        return self.call(MANAGER, NAME, "CreateProfile", "ssa{ss}", profile_id, "normal",
                         {"Filename": filename})[0]

    def find_profile(self, profile_id: str) -> Optional[str]:
        from gi.repository import GLib
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
        """What a session's look-up ('*') gets: the profile path, or None."""
        from gi.repository import GLib
        try:
            return self.call(device, DEVICE_INTERFACE, "GetProfileForQualifiers", "as", ["*"])[0]
        except GLib.Error:
            return None

    def state(self) -> Dict:
        """Every profile colord lists and every device's profiles, in order."""
        devices = self.call(MANAGER, NAME, "GetDevices")[0]
        return {"profiles": sorted(self.profiles()),
                "devices": {path: list(self.device(path)["Profiles"]) for path in devices}}
