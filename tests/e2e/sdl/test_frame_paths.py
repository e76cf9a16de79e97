"""Both ways a page reaches an X screen: the window's own framebuffer (what
the program takes on an X server without a card, such as this Xvfb) and
SDL's renderer (taken where a card renders; SDL_FRAMEBUFFER_ACCELERATION=1
asks for it here). Each must show every pixel as veltrane-render draws it,
also once the window has gone full screen after the first page, when SDL
replaces the framebuffer the first page was drawn into."""

import time

import pytest

import e2e_support as e2e


def loaded_libraries(pid):
    with open(f"/proc/{pid}/maps") as maps:
        return {line.split()[-1].rsplit("/", 1)[-1] for line in maps if "/" in line}


def uses_opengl(pid):
    return any(name.startswith(("libGLX", "libGL.", "libEGL")) or "_dri.so" in name
               for name in loaded_libraries(pid))


@pytest.mark.parametrize("acceleration, opengl", [("0", False), ("1", True)],
                         ids=["window framebuffer", "renderer"])
def test_pages_exact_on_either_frame_path(veltrane, acceleration, opengl):
    process = veltrane.start(env={"SDL_FRAMEBUFFER_ACCELERATION": acceleration})
    veltrane.expect_screen(0, what="first page")
    # Held still past the switch to full screen: the page is drawn again into
    # SDL's new framebuffer, and the screen never shows anything else.
    deadline = time.monotonic() + 1.0
    while time.monotonic() < deadline:
        veltrane.expect_unchanged(0, what="first page held still")
    assert uses_opengl(process.pid) == opengl, sorted(loaded_libraries(process.pid))
    for key, page in (("space", 1), ("space", 2), ("b", 1), ("b", 0), ("b", 20)):
        veltrane.keys(key)
        veltrane.expect_screen(page, what=f"page {page} after {key}")
    values = e2e.neutral()
    veltrane.keys("Insert")
    values[("red", "brightness")] = e2e.step_value(values[("red", "brightness")], +1)
    veltrane.expect_screen(20, values, what="gamma check after Insert")
    veltrane.finish()
    assert "the pages go through SDL's renderer" not in veltrane.stderr(), veltrane.stderr()
