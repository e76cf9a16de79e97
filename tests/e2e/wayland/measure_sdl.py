"""Measures how exactly SDL's own Wayland driver shows the pages on headless
sway: for each output scale, the pixels of pages 0, 8, 17, 18, 19 and 20
(with a tuned calibration) that differ from veltrane-render's picture at the
output's physical size, then the same across a live change of scale from 1
to 2. The figures behind the choice of the program's own Wayland
presentation; not a test.

    cmake --preset linux -B build/sdl-only -DVELTRANE_WAYLAND_PRESENTATION=OFF
    cmake --build build/sdl-only --target veltrane veltrane-render
    python3 tests/e2e/wayland/measure_sdl.py build/sdl-only

A build without our Wayland presentation shows the pages through SDL's
renderer alone, as the program did before it; given the default build
instead, the same figures show what ours does.
"""

import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "common"))
sys.path.insert(0, os.path.join(HERE, "..", "sdl"))
import e2e_support as e2e  # noqa: E402
import veltrane_run  # noqa: E402
import wayland_session as ws  # noqa: E402

PAGES = (0, 8, 17, 18, 19, 20)
SCALES = (1, 1.25, 1.5, 1.75, 2, 3)
SETTINGS = "MonRG = 180\nMonGB = -20\nMonBC = 130\nMonBG = 90\n"


def settled_shot(session, previous=None, timeout=5.0):
    """A screenshot once two in a row agree (and differ from `previous`)."""
    deadline = time.monotonic() + timeout
    last = session.screenshot()
    while time.monotonic() < deadline:
        time.sleep(0.15)
        shot = session.screenshot()
        if shot.data == last.data and (previous is None or shot.data != previous.data):
            return shot
        last = shot
    return last


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ws.ROOT, "build", "linux"))
    work = tempfile.mkdtemp(prefix="veltrane-measure-")
    screencopy = ws.build_screencopy(os.path.join(work, "screencopy"))
    reference = veltrane_run.Reference(os.path.join(build, "tools", "veltrane-render"), work)
    config = os.path.join(work, "config")
    os.makedirs(os.path.join(config, "Kardo"))
    settings = os.path.join(config, "Kardo", "Orlith.conf")

    def run(session, steps):
        with open(settings, "w") as f:
            f.write(SETTINGS)
        environment = session.env()
        environment.update(XDG_CONFIG_HOME=config)
        process = subprocess.Popen([os.path.join(build, "veltrane")], env=environment)
        try:
            time.sleep(1.5)
            steps(process)
        finally:
            process.kill()
            process.wait()

    def count(shot, page):
        expected = reference(page, {}, 1280, 800, ("--settings", settings))
        return e2e.compare_images(shot, expected).differing

    for scale in SCALES:
        with ws.Sway(screencopy, scale) as session:
            def pages(_):
                shown, figures, shot = 0, [], None
                for page in PAGES:
                    while shown < page:
                        session.keys("space")
                        shown += 1
                    shot = settled_shot(session, shot if page else None)
                    figures.append(f"page {page}: {count(shot, page)}")
                print(f"scale {scale}: " + ", ".join(figures), flush=True)
            run(session, pages)

    with ws.Sway(screencopy, 1) as session:
        def live(_):
            for _ in range(17):
                session.keys("space")
            before = settled_shot(session)
            session.set_scale(2)
            time.sleep(1.0)
            after = session.screenshot()
            print(f"live change 1 -> 2 on page 17: {count(before, 17)} before, {count(after, 17)} one second after",
                  flush=True)
        run(session, live)


if __name__ == "__main__":
    main()
