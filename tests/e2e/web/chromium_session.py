"""A real Chromium for the browser edition's tests, driven through Selenium
and the DevTools protocol, and the static site it loads.

- SiteServer: the built site served on 127.0.0.1 (the first free port of a
  range), without caching, in a thread of the test process.
- Chromium(ratio, profile, ...): Debian's headless chromium at a device
  scale factor, with a window whose viewport and a screen whose full-screen
  viewport have known CSS sizes, a private profile, downloads into a folder
  and the browser console kept. open() loads the site and waits for the first
  page on the canvas; restart() ends the browser and starts a new one on the
  same profile.
- What the tests read: screenshot() in physical pixels (Page.captureScreenshot)
  as an e2e_support.Image, canvas_size(), the stored values, the control
  bar's state, the console's warnings, and the record a small script kept of
  every putImageData and key event (installed before the page's own scripts
  with Page.addScriptToEvaluateOnNewDocument, so the site needs no hooks).
- keys("ctrl+Prior", "space"): real key events through WebDriver, named as
  xdotool names them (the names e2e_support.ADJUSTMENT_STEPS uses).

Headless Chromium's viewport is its window less 143 CSS pixels in height,
its full-screen viewport the screen less 56, and --screen-info takes the
screen in physical pixels; the sizes asked for here are the viewports'.
"""

import base64
import functools
import http.server
import math
import socket
import subprocess
import threading
import time
from typing import Dict, List, Optional, Sequence, Tuple

from selenium import webdriver
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.actions.action_builder import ActionBuilder
from selenium.webdriver.common.keys import Keys

import e2e_support as e2e

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
WINDOW_CHROME_HEIGHT = 143     # CSS pixels between the window's height and the viewport's
FULL_SCREEN_CHROME_HEIGHT = 56  # the same between the screen and the full-screen viewport
NAMES = ["MonRG", "MonGG", "MonBG", "MonRB", "MonGB", "MonBB", "MonRC", "MonGC", "MonBC"]
PARAMETER_NAMES = {
    ("red", "gamma"): "MonRG", ("green", "gamma"): "MonGG", ("blue", "gamma"): "MonBG",
    ("red", "brightness"): "MonRB", ("green", "brightness"): "MonGB", ("blue", "brightness"): "MonBB",
    ("red", "contrast"): "MonRC", ("green", "contrast"): "MonGC", ("blue", "contrast"): "MonBC",
}

# Runs in every document before the page's scripts: keeps what the tests
# measure, with no help from the site.
RECORDER = r"""
(() => {
  const record = window.__veltraneRecord = {puts: [], keys: [], frame: 0, counting: false};
  const put = CanvasRenderingContext2D.prototype.putImageData;
  CanvasRenderingContext2D.prototype.putImageData = function(...args) {
    put.apply(this, args);
    record.puts.push({at: performance.now(), frame: record.frame,
                      width: this.canvas.width, height: this.canvas.height});
  };
  addEventListener('keydown', (event) => {
    record.keys.push({stamp: event.timeStamp, frame: record.frame, code: event.keyCode});
  }, true);
  // A frame counter, started by the timing test: its callback is asked for
  // before the page's, so within a frame it counts first.
  record.countFrames = () => {
    if (record.counting) return;
    record.counting = true;
    const tick = () => { record.frame += 1; if (record.counting) requestAnimationFrame(tick); };
    requestAnimationFrame(tick);
  };
  record.stopCounting = () => { record.counting = false; };
})();
"""

SELENIUM_KEYS = {
    "Prior": Keys.PAGE_UP, "Next": Keys.PAGE_DOWN, "Home": Keys.HOME, "End": Keys.END,
    "Insert": Keys.INSERT, "Delete": Keys.DELETE, "space": Keys.SPACE, "Escape": Keys.ESCAPE,
    "Tab": Keys.TAB, "Return": Keys.ENTER, "F5": Keys.F5,
}
MODIFIERS = {"shift": Keys.SHIFT, "ctrl": Keys.CONTROL, "alt": Keys.ALT}


class SiteServer:
    """The site folder over HTTP on 127.0.0.1, on the first free port of `ports`."""

    def __init__(self, folder: str, ports: Sequence[int]):
        handler = functools.partial(_QuietHandler, directory=folder)
        self.server = None
        for port in ports:
            try:
                self.server = http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)
                break
            except OSError:
                continue
        if self.server is None:
            raise e2e.E2EError(f"no free port among {ports[0]}..{ports[-1]} for the site")
        self.port = self.server.server_address[1]
        self.url = f"http://127.0.0.1:{self.port}/"
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()


class _QuietHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map, ".wasm": "application/wasm"}

    def end_headers(self):
        self.send_header("Cache-Control", "no-store")
        super().end_headers()

    def log_message(self, *args):
        pass


def free_port(ports: Sequence[int], taken: Sequence[int] = ()) -> int:
    for port in ports:
        if port in taken:
            continue
        with socket.socket() as probe:
            try:
                probe.bind(("127.0.0.1", port))
                return port
            except OSError:
                continue
    raise e2e.E2EError(f"no free port among {ports[0]}..{ports[-1]} for chromedriver")


class Chromium:
    def __init__(self, ratio: float, profile: str, downloads: str, driver_ports: Sequence[int],
                 window: Tuple[int, int] = (1366, 768), screen: Tuple[int, int] = (1920, 1080),
                 preferences: Optional[Dict] = None):
        self.ratio = ratio
        self.profile = profile
        self.downloads = downloads
        self.driver_ports = driver_ports
        self.window = window
        self.screen = screen
        self.preferences = preferences or {}
        self.driver = None
        self.site_url = None
        self.console: List[dict] = []
        self.start()

    # ----------------------------------------------------------- the browser
    def start(self):
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        screen_w = round(self.screen[0] * self.ratio)
        screen_h = round((self.screen[1] + FULL_SCREEN_CHROME_HEIGHT) * self.ratio)
        for argument in ["--headless=new", "--no-sandbox", f"--force-device-scale-factor={self.ratio}",
                         "--force-color-profile=srgb", "--hide-scrollbars", f"--user-data-dir={self.profile}",
                         f"--window-size={self.window[0]},{self.window[1] + WINDOW_CHROME_HEIGHT}",
                         "--screen-info={%dx%d}" % (screen_w, screen_h),
                         "--no-first-run", "--no-default-browser-check", "--disable-extensions",
                         "--disable-background-networking", "--disable-component-update"]:
            options.add_argument(argument)
        prefs = {"download.default_directory": self.downloads, "download.prompt_for_download": False}
        prefs.update(self.preferences)
        options.add_experimental_option("prefs", prefs)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        service = Service(CHROMEDRIVER, port=free_port(self.driver_ports))
        self.driver = webdriver.Chrome(service=service, options=options)
        self.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": RECORDER})
        self.driver.execute_cdp_cmd("Browser.setDownloadBehavior",
                                    {"behavior": "allow", "downloadPath": self.downloads})

    def quit(self):
        if self.driver is not None:
            try:
                self.driver.quit()
            except WebDriverException:
                pass
            self.driver = None

    def restart(self):
        """A new browser on the same profile, as a user opening it again."""
        self.quit()
        self.start()

    # ------------------------------------------------------------- the page
    def open(self, url: str, timeout: float = 10.0):
        """Loads `url` and waits until the first page is on the canvas."""
        self.console.clear()
        self.driver.get(url)
        self.wait_for(lambda: self.run("return __veltraneRecord.puts.length") > 0, timeout, "the first page")
        self.settle()

    def reload(self, timeout: float = 10.0):
        self.driver.refresh()
        self.wait_for(lambda: self.run("return __veltraneRecord.puts.length") > 0, timeout, "the first page")
        self.settle()

    def run(self, script: str, *args):
        return self.driver.execute_script(script, *args)

    def wait_for(self, condition, timeout: float, what: str, interval: float = 0.02):
        deadline = time.monotonic() + timeout
        while True:
            result = condition()
            if result:
                return result
            if time.monotonic() >= deadline:
                raise AssertionError(f"{what}: not within {timeout} s")
            time.sleep(interval)

    def settle(self):
        """Until every animation frame asked for has run and been painted."""
        self.driver.execute_async_script(
            "const done = arguments[arguments.length - 1];"
            "requestAnimationFrame(() => requestAnimationFrame(() => done(true)));")

    def puts(self) -> int:
        return self.run("return __veltraneRecord.puts.length")

    def after_input(self, before: int, timeout: float = 5.0, expect_put: bool = True):
        """Waits for the page to put a new picture on the canvas (or, when
        none is expected, for two frames), then for it to be painted."""
        if expect_put:
            self.wait_for(lambda: self.puts() > before, timeout, "a new picture on the canvas")
        self.settle()

    # --------------------------------------------------------------- input
    def keys(self, *combos: str, expect_put: bool = True):
        """Each combination ("ctrl+Prior", "b", "space") pressed and released."""
        for combo in combos:
            before = self.puts()
            *modifiers, key = combo.split("+")
            actions = ActionChains(self.driver)
            for modifier in modifiers:
                actions.key_down(MODIFIERS[modifier])
            if key in MODIFIERS:
                actions.key_down(MODIFIERS[key]).key_up(MODIFIERS[key])
            else:
                actions.send_keys(SELENIUM_KEYS.get(key, key))
            for modifier in reversed(modifiers):
                actions.key_up(MODIFIERS[modifier])
            actions.perform()
            self.after_input(before, expect_put=expect_put)

    def move_pointer(self, x: int = 300, y: int = 200):
        """The mouse moved to (x, y) in CSS pixels of the viewport."""
        builder = ActionBuilder(self.driver)
        builder.pointer_action.move_to_location(x, y)
        builder.perform()

    def click(self, element_id: str, expect_put: bool = False):
        before = self.puts()
        self.driver.find_element("id", element_id).click()
        self.after_input(before, expect_put=expect_put)

    # -------------------------------------------------------------- reading
    def screenshot(self) -> e2e.Image:
        shot = self.driver.execute_cdp_cmd("Page.captureScreenshot", {"format": "png", "optimizeForSpeed": True})
        result = subprocess.run(["convert", "png:-", "-alpha", "off", "-depth", "8", "ppm:-"],
                                input=base64.b64decode(shot["data"]), stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, check=True)
        return e2e.parse_ppm(result.stdout)

    def canvas_size(self) -> Tuple[int, int]:
        return tuple(self.run("const c = document.getElementById('pages'); return [c.width, c.height];"))

    def full_screen(self) -> bool:
        return self.run("return !!document.fullscreenElement")

    def stored(self) -> Dict[str, str]:
        return self.run("const out = {}; for (let i = 0; i < localStorage.length; ++i) {"
                        " const k = localStorage.key(i); out[k] = localStorage.getItem(k); } return out;")

    def set_stored(self, values: Dict[str, str]):
        self.run("localStorage.clear(); for (const [k, v] of Object.entries(arguments[0])) localStorage.setItem(k, v);",
                 values)

    def bar_shown(self) -> bool:
        return not self.run("return document.getElementById('bar').hidden")

    def bar_rect(self) -> Tuple[int, int, int, int]:
        """The bar's box in physical pixels, rounded outwards."""
        left, top, right, bottom = self.run(
            "const r = document.getElementById('bar').getBoundingClientRect();"
            "return [r.left, r.top, r.right, r.bottom].map(v => v * devicePixelRatio);")
        x, y = int(left), int(top)
        return x, y, int(right + 0.999) - x, int(bottom + 0.999) - y

    def text_of(self, element_id: str) -> str:
        return self.run("return document.getElementById(arguments[0]).textContent", element_id)

    def warnings(self) -> List[str]:
        """The console's warnings and errors since the last call, as text."""
        for entry in self.driver.get_log("browser"):
            self.console.append(entry)
        messages = [entry["message"] for entry in self.console if entry["level"] in ("WARNING", "SEVERE")]
        return messages

    def record(self) -> dict:
        return self.run("const r = __veltraneRecord; return {puts: r.puts, keys: r.keys};")


def stored_percent(values) -> Dict[str, str]:
    """The nine values as the store keeps them: whole hundredths, as text,
    rounded half away from zero as the program rounds."""
    def percent(value):
        hundredths = math.floor(abs(value) * 100.0 + 0.5)
        return -hundredths if value < 0 else hundredths
    return {PARAMETER_NAMES[key]: str(percent(value)) for key, value in values.items()}


def from_percent(stored: Dict[str, str]):
    """The values a page loads from stored hundredths, as the program divides them."""
    values = e2e.neutral()
    for key, name in PARAMETER_NAMES.items():
        if name in stored:
            values[key] = int(stored[name]) / 100.0
    return values
