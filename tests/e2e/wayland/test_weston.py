"""The Linux program on a second compositor (pytest): Weston 10 on its X11
backend inside an Xvfb, at whole scales (its headless backend has no seat,
which SDL 2.26 does not survive). The output is Weston's X window; each page
is compared pixel for pixel with veltrane-render's picture at its size."""

import pytest

import e2e_support as e2e
from conftest import TUNED_SETTINGS, extra_displays, run_command
import wayland_session as ws

WIDTH, HEIGHT = 1280, 800
PAGES = (0, 8, 17, 18, 19, 20)


@pytest.mark.parametrize("scale", [1, 2])
def test_every_page_exact_on_weston(scale, program_path, start_program, tuned_settings, artifacts):
    xvfb = e2e.Xvfb.first_free(extra_displays(), WIDTH + 64, HEIGHT + 64)
    try:
        with ws.Weston(xvfb, scale, WIDTH // scale, HEIGHT // scale) as weston:
            code, out, err = run_command(program_path, weston, "--list-displays")
            assert code == 0, err
            # Weston's X11 backend names its output after the X screen.
            assert out == f"0: screen0 {WIDTH}x{HEIGHT} at 0,0, scale {scale} (primary)\n", out

            run = start_program(weston, TUNED_SETTINGS)
            shown = 0
            for page in PAGES:
                while shown < page:
                    weston.keys("space")
                    shown += 1
                e2e.wait_for_screen(weston, tuned_settings.page(page, WIDTH, HEIGHT), timeout=10,
                                    what=f"page {page} on Weston at scale {scale}", save_dir=artifacts)
            weston.keys("Escape")
            assert run.wait_for_exit() == 0, run.stderr()
            assert "warning" not in run.stderr(), run.stderr()
    finally:
        xvfb.stop()
