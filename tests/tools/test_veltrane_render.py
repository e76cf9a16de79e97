"""veltrane-render run as a user runs it, where writing can fail: a disk that
fills up, a folder it may not write into, a folder where the file should go,
a picture too large for the memory it may use. Each time the old files must
be untouched, no partial or temporary file may remain, and the program must
say why and exit non-zero.

VELTRANE_RENDER names the built program; VELTRANE_RENDER_SANITIZED=1 says it
was built with the sanitizers (whose reserved address space defeats a memory
limit, so the out-of-memory test skips itself there).
"""

import os
import resource
import shutil
import stat
import struct
import subprocess
import tempfile
import unittest
import zlib

RENDER = os.environ.get("VELTRANE_RENDER", "")
SANITIZED = os.environ.get("VELTRANE_RENDER_SANITIZED", "0") == "1"
WIDTH, HEIGHT = 1920, 1080  # the program's default size
MOUNT_FAILED = 97


def png_size(data):
    """(width, height) of a complete, intact 8-bit RGB PNG; None for anything else."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    offset, size, compressed = 8, None, b""
    while offset + 12 <= len(data):
        (length,) = struct.unpack(">I", data[offset:offset + 4])
        kind = data[offset + 4:offset + 8]
        body = data[offset + 8:offset + 8 + length]
        crc_bytes = data[offset + 8 + length:offset + 12 + length]
        if len(body) != length or len(crc_bytes) != 4:
            return None
        if struct.unpack(">I", crc_bytes)[0] != zlib.crc32(kind + body):
            return None
        offset += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            if (depth, colour) != (8, 2):
                return None
            size = (width, height)
        elif kind == b"IDAT":
            compressed += body
        elif kind == b"IEND":
            if offset != len(data) or size is None:
                return None
            try:
                raw = zlib.decompress(compressed)
            except zlib.error:
                return None
            return size if len(raw) == size[1] * (1 + 3 * size[0]) else None
    return None


def listing(folder):
    """Every name in the folder, hidden ones included, with its bytes (None for a folder)."""
    result = {}
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        if os.path.isdir(path):
            result[name] = None
        else:
            with open(path, "rb") as f:
                result[name] = f.read()
    return result


def namespace_prefix():
    """The command that gives a child its own mount table (so a tmpfs mounted in
    it disappears with it), or None when this machine allows none."""
    for prefix in (["unshare", "--mount", "--propagation", "private"],
                   ["unshare", "--user", "--map-root-user", "--mount", "--propagation", "private"]):
        try:
            probe = subprocess.run(prefix + ["sh", "-c", "d=$(mktemp -d) && mount -t tmpfs -o size=64k tmpfs "
                                             "\"$d\" && umount \"$d\"; rc=$?; rmdir \"$d\"; exit $rc"],
                                   capture_output=True, timeout=30)
        except (OSError, subprocess.TimeoutExpired):
            continue
        if probe.returncode == 0:
            return prefix
    return None


class Render(unittest.TestCase):
    def setUp(self):
        if not RENDER or not os.access(RENDER, os.X_OK):
            self.fail("VELTRANE_RENDER must name the built veltrane-render, not %r" % RENDER)
        self.folder = tempfile.mkdtemp(prefix="veltrane-render-test.")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)

    def path(self, *names):
        return os.path.join(self.folder, *names)

    def run_render(self, *arguments, prefix=(), preexec_fn=None):
        return subprocess.run(list(prefix) + [RENDER, *arguments], capture_output=True, text=True,
                              timeout=300, preexec_fn=preexec_fn)

    def render_bytes(self, *arguments):
        """The bytes veltrane-render writes for one page, as a reference."""
        target = self.path("reference-%d.png" % len(os.listdir(self.folder)))
        result = self.run_render(*arguments, "--output", target)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(target, "rb") as f:
            data = f.read()
        os.unlink(target)
        return data

    def run_on_small_disk(self, size, seed, *arguments):
        """Runs veltrane-render with a tmpfs of `size` mounted at DISK, which holds
        a copy of the folder `seed` first. Returns the result and the disk's
        content (self.path("after")) as it was when the program had ended."""
        prefix = namespace_prefix()
        if prefix is None:
            self.skipTest("this machine lets no process mount a tmpfs of its own (no root, no user namespaces)")
        disk, after = self.path("disk"), self.path("after")
        os.mkdir(disk)
        os.mkdir(after)
        script = ('mount -t tmpfs -o size="$1" tmpfs "$2" || exit %d; cp -a "$3/." "$2/" || exit %d; '
                  'shift 4; "$@"; rc=$?; cp -a "$0/." "$DISK_COPY/"; exit $rc' % (MOUNT_FAILED, MOUNT_FAILED))
        env = dict(os.environ, DISK_COPY=after)
        result = subprocess.run(prefix + ["sh", "-c", script, disk, size, disk, seed, "--", RENDER,
                                          *[a.replace("DISK", disk) for a in arguments]],
                                capture_output=True, text=True, timeout=300, env=env)
        if result.returncode == MOUNT_FAILED:
            self.skipTest("could not mount a %s tmpfs: %s" % (size, result.stderr.strip()))
        return result, after

    def assert_failed_with(self, result, *phrases):
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn("veltrane-render: cannot write ", result.stderr)
        for phrase in phrases:
            self.assertIn(phrase, result.stderr)

    # --- a disk that fills up --------------------------------------------------

    def test_full_disk_keeps_the_old_file_in_single_page_mode(self):
        old = self.render_bytes("--page", "3", "--width", "320", "--height", "180")
        seed = self.path("seed")
        os.mkdir(seed)
        with open(os.path.join(seed, "p.png"), "wb") as f:
            f.write(old)
        # The gamma check page at full size is about three times the disk.
        result, after = self.run_on_small_disk("64k", seed, "--page", "20", "--output", "DISK/p.png")
        self.assert_failed_with(result, "p.png", os.strerror(28))
        self.assertEqual(listing(after), {"p.png": old})

    def test_full_disk_leaves_only_complete_pages_in_all_pages_mode(self):
        empty = self.path("empty")
        os.mkdir(empty)
        result, after = self.run_on_small_disk("64k", empty, "--output", "DISK/pages")
        self.assert_failed_with(result, os.strerror(28))
        pages = listing(os.path.join(after, "pages"))
        self.assertTrue(pages, "the disk holds a few pages before it is full")
        self.assertLess(len(pages), 21)
        for number, name in enumerate(sorted(pages)):
            self.assertEqual(name, "page-%02d.png" % number)
            self.assertEqual(png_size(pages[name]), (WIDTH, HEIGHT), name)

    def test_full_disk_keeps_each_old_page_it_cannot_replace(self):
        seed = self.path("seed")
        old_pages = os.path.join(seed, "pages")
        os.makedirs(old_pages)
        result = self.run_render("--width", "64", "--height", "36", "--output", old_pages)
        self.assertEqual(result.returncode, 0, result.stderr)
        old = listing(old_pages)
        self.assertEqual(len(old), 21)

        result, after = self.run_on_small_disk("256k", seed, "--output", "DISK/pages")
        self.assert_failed_with(result, os.strerror(28))
        pages = listing(os.path.join(after, "pages"))
        self.assertEqual(sorted(pages), sorted(old))
        replaced = [name for name in sorted(pages) if pages[name] != old[name]]
        self.assertTrue(replaced, "some pages fit before the disk is full")
        self.assertNotIn("page-20.png", replaced)
        for name in replaced:
            self.assertEqual(png_size(pages[name]), (WIDTH, HEIGHT), name)
        # The pages are written in order, so the kept ones all come after the replaced ones.
        self.assertEqual(replaced, sorted(pages)[:len(replaced)])

    # --- folders ---------------------------------------------------------------

    def test_unwritable_folder_keeps_the_old_file(self):
        prefix = []
        if os.geteuid() == 0:
            if shutil.which("setpriv") is None:
                self.skipTest("running as root, and setpriv is not there to drop to another user")
            prefix = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
        os.chmod(self.folder, 0o755)
        locked = self.path("locked")
        os.mkdir(locked)
        target = os.path.join(locked, "p.png")
        with open(target, "wb") as f:
            f.write(b"old picture")
        os.chmod(target, 0o666)  # the file itself could be written; the folder cannot
        os.chmod(locked, 0o555)
        result = self.run_render("--page", "0", "--width", "64", "--height", "36", "--output", target,
                                 prefix=prefix)
        self.assert_failed_with(result, target, "cannot create a file in the folder %s: %s" % (locked, os.strerror(13)))
        self.assertEqual(listing(locked), {"p.png": b"old picture"})

    def test_a_folder_in_the_way_is_named_and_left_alone(self):
        in_the_way = self.path("p.png")
        os.mkdir(in_the_way)
        with open(os.path.join(in_the_way, "inside"), "wb") as f:
            f.write(b"kept")
        result = self.run_render("--page", "0", "--output", in_the_way)
        self.assert_failed_with(result, in_the_way, "it is a folder")
        self.assertEqual(listing(self.folder), {"p.png": None})
        self.assertEqual(listing(in_the_way), {"inside": b"kept"})

    def test_a_folder_in_the_way_of_one_page_stops_there(self):
        pages = self.path("pages")
        os.makedirs(os.path.join(pages, "page-02.png"))
        result = self.run_render("--width", "64", "--height", "36", "--output", pages)
        self.assert_failed_with(result, "page-02.png", "it is a folder")
        found = listing(pages)
        self.assertEqual(sorted(found), ["page-00.png", "page-01.png", "page-02.png"])
        self.assertIsNone(found["page-02.png"])
        for name in ("page-00.png", "page-01.png"):
            self.assertEqual(png_size(found[name]), (64, 36), name)

    # --- permission bits -------------------------------------------------------

    def test_permission_bits_of_new_and_replaced_files(self):
        for umask, existing_mode, expected in ((0o027, None, 0o640), (0o077, None, 0o600),
                                               (0o022, 0o600, 0o600), (0o077, 0o664, 0o664)):
            with self.subTest(umask=oct(umask), existing=existing_mode):
                target = self.path("mode.png")
                if existing_mode is not None:
                    with open(target, "wb") as f:
                        f.write(b"old picture")
                    os.chmod(target, existing_mode)
                result = self.run_render("--page", "0", "--width", "64", "--height", "36", "--output", target,
                                         preexec_fn=lambda: os.umask(umask))
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(stat.S_IMODE(os.stat(target).st_mode), expected)
                os.unlink(target)

    # --- memory ----------------------------------------------------------------

    def test_too_little_memory_is_said_plainly(self):
        if SANITIZED:
            self.skipTest("a sanitized build reserves more address space than the limit this test sets")
        limit = 512 << 20  # half of what a 16384 x 16384 picture at 32 bits needs

        def limit_memory():
            resource.setrlimit(resource.RLIMIT_AS, (limit, limit))

        target = self.path("huge.png")
        result = self.run_render("--page", "0", "--width", "16384", "--height", "16384", "--output", target,
                                 preexec_fn=limit_memory)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn("veltrane-render: not enough memory to draw a 16384x16384 picture at 32 bits per pixel "
                      "(1024 MiB). Try a smaller --width and --height.", result.stderr)
        self.assertEqual(listing(self.folder), {})


if __name__ == "__main__":
    unittest.main()
