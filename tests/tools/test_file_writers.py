"""Every program that writes a file follows one rule, checked from outside with
each program run as a user runs it: a table of what can stand at the name
(a regular file, a write-protected one, links, a FIFO, a device, a folder, an
unwritable folder, a full disk) crossed with every writer, each asserting the
same outcome and the same kind of message.

Run as root, the table runs twice: as root, and as the unprivileged user
65534 (through setpriv) on fixtures that user owns, since for root the
system itself refuses nothing and only the programs' own checks stand.

A new writer joins with one Writer entry in WRITERS: its name, where it writes
inside a case's folder, its command line for that path, a test of whether
bytes are a whole file of its kind, and, when the place is not given on the
command line, the environment that puts it there; where its rule departs for
a target, the phrase it refuses that target with; and what it needs.

veltrane-lut install writes its profile where the desktop reads it
($XDG_DATA_HOME/icc) and hands it to colord, so it runs against a real colord
on a private bus (tests/e2e/colord/private_colord.py), as root only (colord
takes changes without polkit only from root). It refuses a FIFO or a device:
the desktop reads the profile again from its file at every login.

Environment: VELTRANE_RENDER, VELTRANE_LUT and VELTRANE_SETTINGS_DRIVER name
the built veltrane-render, veltrane-lut and tests/xdg's settings save driver
(which links the Linux program's settings store and saves as the program does
at exit).
"""

import dataclasses
import os
import re
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import threading
import typing
import unittest

from test_veltrane_render import png_size

for folder in ("colord", "common"):
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e", folder))
from private_colord import PrivateColord  # noqa: E402

RENDER = os.environ.get("VELTRANE_RENDER", "")
LUT = os.environ.get("VELTRANE_LUT", "")
DRIVER = os.environ.get("VELTRANE_SETTINGS_DRIVER", "")

NOBODY = 65534
OLD = b"old contents\n"
UMASK = 0o022
MOUNT_FAILED = 97
SETTINGS_NAMES = ("MonRG", "MonGG", "MonBG", "MonRB", "MonGB", "MonBB", "MonRC", "MonGC", "MonBC")


# --------------------------------------------------------------- the writers

def whole_settings(data):
    text = data.decode("utf-8", "replace")
    return text.endswith("\n") and all(re.search(r"^%s = -?\d+$" % n, text, re.M) for n in SETTINGS_NAMES)


def whole_png(data):
    return png_size(data) == (32, 18)


def whole_icc(data):
    """A profile whose header, tag table and every tag lie within its bytes, with a 'vcgt'."""
    if len(data) < 132 or struct.unpack(">I", data[:4])[0] != len(data) or data[36:40] != b"acsp":
        return False
    (count,) = struct.unpack(">I", data[128:132])
    tags = set()
    for i in range(count):
        entry = data[132 + 12 * i:144 + 12 * i]
        if len(entry) != 12:
            return False
        signature, offset, size = struct.unpack(">4sII", entry)
        if offset + size > len(data):
            return False
        tags.add(signature)
    return b"vcgt" in tags


def whole_cal(data):
    text = data.decode("ascii", "replace")
    if not text.startswith("CAL") or not text.endswith("END_DATA\n"):
        return False
    rows = text.split("BEGIN_DATA\n", 1)[-1].split("END_DATA\n", 1)[0].splitlines()
    return len(rows) == 256


@dataclasses.dataclass
class Writer:
    name: str
    target: str  # where it writes, relative to a case's folder (what stands there is made beside it)
    command: typing.Callable[[str], list]  # its command line for the absolute target
    whole: typing.Callable[[bytes], bool]  # whether bytes are a whole file of its kind
    env: typing.Callable[[str], dict] = lambda target: {}  # for a writer that finds its place itself
    refuses: typing.Dict[str, str] = dataclasses.field(default_factory=dict)  # case name -> phrase
    needs: str = ""  # "colord": a private colord, as root


# The private colord veltrane-lut install registers its profile with (root only).
COLORD: typing.Optional[PrivateColord] = None
COLORD_DEVICE = "xrandr-Test-screen"


def install_env(target):
    """The case's folder as $XDG_DATA_HOME (the profile goes to its icc/), the private colord's bus."""
    return {"XDG_DATA_HOME": os.path.dirname(os.path.dirname(target)), "DBUS_SYSTEM_BUS_ADDRESS": COLORD.address}


WRITERS = [
    Writer("settings save", "Orlith.conf", lambda target: [DRIVER, "save", target], whole_settings),
    Writer("veltrane-render", "page.png",
           lambda target: [RENDER, "--page", "3", "--width", "32", "--height", "18", "--no-caption",
                           "--output", target], whole_png),
    Writer("veltrane-lut icc", "display.icc", lambda target: [LUT, "icc", target], whole_icc),
    Writer("veltrane-lut cal", "display.cal", lambda target: [LUT, "cal", target], whole_cal),
    Writer("veltrane-lut install", "icc/veltrane-%s.icc" % COLORD_DEVICE, lambda target: [LUT, "install"], whole_icc,
           env=install_env, refuses={"FIFO with a reader": "it is a FIFO", "character device": "it is a character device"},
           needs="colord"),
]


# ----------------------------------------------------------------- the cases

def entries(folder):
    """Every name below `folder`: (type and bits, owner, bytes or link text)."""
    found = {}
    for top, folders, files in os.walk(folder):
        for name in folders + files:
            path = os.path.join(top, name)
            info = os.lstat(path)
            what = None
            if stat.S_ISREG(info.st_mode):
                with open(path, "rb") as f:
                    what = f.read()
            elif stat.S_ISLNK(info.st_mode):
                what = os.readlink(path)
            found[os.path.relpath(path, folder)] = (info.st_mode, info.st_uid, what)
    return found


def write_old(path, mode):
    with open(path, "wb") as f:
        f.write(OLD)
    os.chmod(path, mode)


@dataclasses.dataclass
class Case:
    name: str
    make: typing.Callable[[str, str], None]  # (case folder, target path): builds what stands there
    refused: str = ""  # the phrase a refusal names; empty: the write succeeds
    written_at: typing.Optional[str] = "TARGET"  # the file that gets the bytes; None: written into a FIFO or device
    mode: int = 0  # the bits that file has afterwards
    needs: str = ""  # "root" (mknod), "a refusing folder" (not root), "a disk" (a private tmpfs)


def make_regular(folder, target):
    write_old(target, 0o640)


def make_read_only(folder, target):
    write_old(target, 0o444)


def make_link(folder, target):
    folder = os.path.dirname(target)
    os.mkdir(os.path.join(folder, "real"))
    write_old(os.path.join(folder, "real", os.path.basename(target)), 0o600)
    os.symlink(os.path.join("real", os.path.basename(target)), target)


def make_chain(folder, target):
    folder = os.path.dirname(target)
    os.mkdir(os.path.join(folder, "real"))
    os.mkdir(os.path.join(folder, "links"))
    write_old(os.path.join(folder, "real", os.path.basename(target)), 0o600)
    os.symlink(os.path.join("..", "real", os.path.basename(target)), os.path.join(folder, "links", "middle"))
    os.symlink(os.path.join(folder, "links", "middle"), target)


def make_dangling(folder, target):
    folder = os.path.dirname(target)
    os.mkdir(os.path.join(folder, "real"))
    os.symlink(os.path.join("real", os.path.basename(target)), target)


def make_loop(folder, target):
    folder = os.path.dirname(target)
    os.symlink("loop-b", os.path.join(folder, "loop-a"))
    os.symlink("loop-a", os.path.join(folder, "loop-b"))
    os.symlink("loop-a", target)


def make_fifo(folder, target):
    os.mkfifo(target, 0o644)


def make_device(folder, target):
    os.mknod(target, 0o666 | stat.S_IFCHR, os.makedev(1, 3))  # what /dev/null is


def make_folder(folder, target):
    os.mkdir(target)
    with open(os.path.join(target, "inside"), "wb") as f:
        f.write(b"kept")


def make_unwritable_folder(folder, target):
    write_old(target, 0o666)  # the file could be written; its folder cannot
    os.chmod(os.path.dirname(target), 0o555)


CASES = [
    Case("regular file", make_regular, mode=0o640),
    Case("read-only file", make_read_only, refused="Permission denied"),
    Case("link", make_link, written_at="real/NAME", mode=0o600),
    Case("chain of links", make_chain, written_at="real/NAME", mode=0o600),
    Case("dangling link", make_dangling, written_at="real/NAME", mode=0o666 & ~UMASK),
    Case("link loop", make_loop, refused="Too many levels of symbolic links"),
    Case("FIFO with a reader", make_fifo, written_at=None),
    Case("character device", make_device, written_at=None, needs="root"),
    Case("folder", make_folder, refused="it is a folder"),
    Case("unwritable folder", make_unwritable_folder, refused="Permission denied", needs="a refusing folder"),
    Case("full disk", make_regular, refused="No space left on device", needs="a disk"),
]


def namespace_prefix():
    """A command that gives a child its own mount table, or None."""
    for prefix in (["unshare", "--mount", "--propagation", "private"],
                   ["unshare", "--user", "--map-root-user", "--mount", "--propagation", "private"]):
        try:
            probe = subprocess.run(prefix + ["true"], capture_output=True, timeout=30)
        except (OSError, subprocess.TimeoutExpired):
            continue
        if probe.returncode == 0:
            return prefix
    return None


class FifoReader:
    """Reads a FIFO to its end on a thread, and lets go of it if nothing writes."""

    def __init__(self, path):
        self.path, self.data = path, None
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        with open(self.path, "rb") as f:
            self.data = f.read()

    def finish(self):
        self.thread.join(timeout=10)
        if self.thread.is_alive():  # no writer came: an empty writer of our own ends the read
            os.close(os.open(self.path, os.O_WRONLY | os.O_NONBLOCK))
            self.thread.join(timeout=10)
        return self.data


class FileWriters(unittest.TestCase):
    outcomes = []

    @classmethod
    def setUpClass(cls):
        for name, program in (("VELTRANE_RENDER", RENDER), ("VELTRANE_LUT", LUT),
                              ("VELTRANE_SETTINGS_DRIVER", DRIVER)):
            if not program or not os.access(program, os.X_OK):
                raise AssertionError("%s must name the built program, not %r" % (name, program))
        cls.top = tempfile.mkdtemp(prefix="veltrane-file-writers.")
        os.chmod(cls.top, 0o755)  # the unprivileged user must reach its folders
        cls.home = os.path.join(cls.top, "home")  # no stored settings for veltrane-lut to find
        os.mkdir(cls.home, 0o755)
        cls.namespace = namespace_prefix()
        global COLORD
        if os.geteuid() == 0:
            COLORD = PrivateColord(os.path.join(cls.top, "colord")).start()
            COLORD.create_device(COLORD_DEVICE, {"XRANDR_name": "screen"})

    @classmethod
    def tearDownClass(cls):
        global COLORD
        if COLORD is not None:
            COLORD.stop()
            COLORD = None
        shutil.rmtree(cls.top, ignore_errors=True)
        print("\n%-10s %-19s %-17s %s" % ("user", "target", "writer", "outcome"), flush=True)
        for row in cls.outcomes:
            print("%-10s %-19s %-17s %s" % row, flush=True)

    def users(self):
        """(name, command prefix, uid) for each user the table runs as."""
        if os.geteuid() != 0:
            return [("user %d" % os.geteuid(), [], os.geteuid())]
        runs = [("root", [], 0)]
        if shutil.which("setpriv"):
            runs.append(("nobody", ["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY, "--clear-groups"],
                         NOBODY))
        return runs

    def test_every_writer_follows_the_one_rule(self):
        for user, prefix, uid in self.users():
            for case in CASES:
                for writer in WRITERS:
                    with self.subTest(user=user, target=case.name, writer=writer.name):
                        try:
                            outcome = self.run_case(prefix, uid, case, writer)
                        except unittest.SkipTest as skipped:
                            self.outcomes.append((user, case.name, writer.name, "skipped: %s" % skipped))
                            raise
                        self.outcomes.append((user, case.name, writer.name, outcome))

    def run_case(self, prefix, uid, case, writer):
        if writer.needs == "colord" and (COLORD is None or uid != 0):
            self.skipTest("colord takes changes without polkit only from root")
        if case.needs == "root" and os.geteuid() != 0:
            self.skipTest("only root can make a device node (mknod)")
        if case.needs == "a refusing folder" and uid == 0:
            self.skipTest("the system lets root write into any folder")
        if case.needs == "a disk" and self.namespace is None:
            self.skipTest("this machine lets no process mount a tmpfs of its own")

        folder = tempfile.mkdtemp(prefix="case.", dir=self.top)
        target = os.path.join(folder, writer.target)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        case.make(folder, target)
        if uid != os.geteuid():
            for top, folders, files in os.walk(folder):
                for name in folders + files:
                    os.lchown(os.path.join(top, name), uid, uid)
            os.lchown(folder, uid, uid)
        before = entries(folder)

        command = prefix + writer.command(target)
        env = dict(os.environ, HOME=self.home, XDG_CONFIG_HOME=self.home, **writer.env(target))
        reader = FifoReader(target) if case.make is make_fifo else None
        if case.needs == "a disk":
            result, after = self.run_on_full_disk(folder, command, env, uid)
        else:
            result = subprocess.run(command, capture_output=True, text=True, timeout=60, env=env,
                                    preexec_fn=lambda: os.umask(UMASK))
            after = entries(folder)
            os.chmod(os.path.dirname(target), 0o755)  # an unwritable folder, removable again
        received = reader.finish() if reader else None
        message = result.stderr.strip()

        refused = writer.refuses.get(case.name, case.refused)
        if refused:
            self.assertEqual(result.returncode, 1, message)
            lines = [line for line in message.splitlines() if target in line and refused in line]
            self.assertTrue(lines, "the message names neither %s nor '%s': %s" % (target, refused, message))
            self.assertEqual(after, before, "a refused write changed something")
            return "refused: " + lines[0].split(target, 1)[1].lstrip(" :").replace(folder, "CASE")

        self.assertEqual(result.returncode, 0, message)
        self.assertEqual(message, "")
        if case.written_at is None:
            self.assertEqual(after, before, "a FIFO or device was replaced, or something was left beside it")
            if reader:
                self.assertTrue(writer.whole(received or b""), "the reader did not get a whole file")
                return "written into the FIFO (%d bytes read)" % len(received)
            return "written into the device, which stays"
        written = os.path.join(os.path.dirname(writer.target),
                               case.written_at.replace("TARGET", os.path.basename(target))
                               .replace("NAME", os.path.basename(target)))
        mode, owner, data = after.pop(written)
        before.pop(written, None)
        self.assertEqual(after, before, "something besides %s changed, appeared or went" % written)
        self.assertTrue(stat.S_ISREG(mode), written)
        self.assertEqual(stat.S_IMODE(mode), case.mode, oct(stat.S_IMODE(mode)))
        self.assertEqual(owner, uid)
        self.assertTrue(writer.whole(data), "%s does not hold a whole file: %r" % (written, data[:80]))
        links = "" if written == writer.target else " through the link(s), which stay"
        return "written to %s%s, mode %o" % (written, links, stat.S_IMODE(mode))

    def run_on_full_disk(self, folder, command, env, uid):
        """Runs the command with a 64 KiB tmpfs at `folder` holding a copy of what is
        there, filled up first; returns the result and the disk's content afterwards."""
        seed, after = folder + ".seed", folder + ".after"
        os.rename(folder, seed)
        os.mkdir(folder)
        os.mkdir(after)
        script = ('mount -t tmpfs -o size=64k,mode=0755,uid=$2,gid=$2 tmpfs "$0" || exit %d; cp -a "$1/." "$0/"; '
                  'head -c 1048576 /dev/zero > "$0/.filler" 2>/dev/null; shift 2; umask %o; "$@"; rc=$?; '
                  'rm -f "$DISK/.filler"; cp -a "$DISK/." "$AFTER/"; exit $rc' % (MOUNT_FAILED, UMASK))
        # In a user namespace of its own the caller is root, and no other id is mapped.
        inner_uid = 0 if "--map-root-user" in self.namespace else uid
        result = subprocess.run(self.namespace + ["sh", "-c", script, folder, seed, str(inner_uid), *command],
                                capture_output=True, text=True, timeout=60, env=dict(env, DISK=folder, AFTER=after))
        if result.returncode == MOUNT_FAILED:
            self.skipTest("could not mount a 64 KiB tmpfs: %s" % result.stderr.strip())
        return result, entries(after)


if __name__ == "__main__":
    unittest.main()
