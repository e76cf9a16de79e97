"""Fixtures of the browser edition's end-to-end tests (pytest).

Environment:
  VELTRANE_WEB_BUILD_DIR     the web preset's build folder, holding site/ (default build/web)
  VELTRANE_LINUX_BUILD_DIR   the linux preset's, holding veltrane-render and veltrane-lut (default build/linux)
  VELTRANE_E2E_PORTS         ports for the site and chromedriver, FIRST-LAST (default 8100-8199)
  VELTRANE_WEB_RATIOS        the device scale factors to run at (default 1,1.5,2)
  VELTRANE_E2E_ARTIFACTS     a folder for the pictures of failed comparisons (default: none kept)
  VELTRANE_WEB_REPORT        where the measurements are written (default <web build>/e2e-web-report.txt)

Fixtures:
  site        the built site served on 127.0.0.1 (chromium_session.SiteServer)
  reference   veltrane-render's picture of a page with the site's caption font
  lut_tool    veltrane-lut
  browser     one Chromium per ratio for the whole session (chromium_session.Chromium),
              parametrised over the ratios, so every test that takes it runs at each
  new_browser starts further browsers (another profile, storage switched off), ended after the test
  report      report(line): a line for the measurements' report, printed at the end
"""

import os
import shutil
import sys
import tempfile

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "common"))
sys.path.insert(0, HERE)
import e2e_support as e2e  # noqa: E402
from chromium_session import Chromium, SiteServer  # noqa: E402

ROOT = os.path.abspath(os.path.join(HERE, "..", "..", ".."))
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
_REPORT = []


def _folder(variable, default):
    folder = os.environ.get(variable, default)
    return folder if os.path.isabs(folder) else os.path.join(ROOT, folder)


def _ports():
    first, _, last = os.environ.get("VELTRANE_E2E_PORTS", "8100-8199").partition("-")
    return list(range(int(first), int(last or first) + 1))


def _ratios():
    return [float(r) if "." in r else int(r) for r in os.environ.get("VELTRANE_WEB_RATIOS", "1,1.5,2").split(",")]


@pytest.fixture(scope="session")
def web_build():
    return _folder("VELTRANE_WEB_BUILD_DIR", "build/web")


@pytest.fixture(scope="session")
def site_dir(web_build):
    folder = os.path.join(web_build, "site")
    for name in ("index.html", "veltrane.js", "veltrane.wasm", "DejaVuSans.ttf"):
        if not os.path.exists(os.path.join(folder, name)):
            pytest.fail(f"{folder}/{name} is missing: build the site with cmake --build --preset web")
    return folder


@pytest.fixture(scope="session")
def ports():
    return _ports()


@pytest.fixture(scope="session")
def site(site_dir, ports):
    server = SiteServer(site_dir, ports)
    yield server
    server.close()


@pytest.fixture(scope="session")
def work_dir():
    folder = tempfile.mkdtemp(prefix="veltrane-web-e2e-")
    yield folder
    shutil.rmtree(folder, ignore_errors=True)


@pytest.fixture(scope="session")
def linux_build():
    return _folder("VELTRANE_LINUX_BUILD_DIR", "build/linux")


@pytest.fixture(scope="session")
def reference(linux_build, work_dir):
    tool = os.path.join(linux_build, "tools", "veltrane-render")
    if not os.access(tool, os.X_OK):
        pytest.fail(f"{tool} is missing: build it with cmake --build --preset linux --target veltrane-render")
    return e2e.Reference(tool, work_dir, 0, 0, extra=["--font", FONT])


@pytest.fixture(scope="session")
def lut_tool(linux_build):
    tool = os.path.join(linux_build, "tools", "veltrane-lut")
    if not os.access(tool, os.X_OK):
        pytest.fail(f"{tool} is missing: build it with cmake --build --preset linux --target veltrane-lut")
    return tool


@pytest.fixture(scope="session")
def artifacts():
    return os.environ.get("VELTRANE_E2E_ARTIFACTS") or None


@pytest.fixture(scope="session", params=_ratios(), ids=lambda ratio: f"ratio-{ratio}")
def browser(request, site, ports, work_dir):
    profile = tempfile.mkdtemp(prefix=f"profile-{request.param}-", dir=work_dir)
    downloads = tempfile.mkdtemp(prefix=f"downloads-{request.param}-", dir=work_dir)
    chromium = Chromium(request.param, profile, downloads, [p for p in ports if p != site.port])
    chromium.site_url = site.url
    yield chromium
    chromium.quit()


@pytest.fixture
def new_browser(site, ports, work_dir):
    started = []

    def start(ratio, **options):
        profile = options.pop("profile", None) or tempfile.mkdtemp(prefix="profile-", dir=work_dir)
        downloads = tempfile.mkdtemp(prefix="downloads-", dir=work_dir)
        chromium = Chromium(ratio, profile, downloads, [p for p in ports if p != site.port], **options)
        chromium.site_url = site.url
        started.append(chromium)
        return chromium

    yield start
    for chromium in started:
        chromium.quit()


@pytest.fixture(scope="session")
def report():
    return _REPORT.append


def pytest_terminal_summary(terminalreporter):
    if not _REPORT:
        return
    terminalreporter.section("browser edition: measurements")
    for line in _REPORT:
        terminalreporter.write_line(line)
    path = os.environ.get("VELTRANE_WEB_REPORT") or os.path.join(_folder("VELTRANE_WEB_BUILD_DIR", "build/web"),
                                                                 "e2e-web-report.txt")
    try:
        with open(path, "w") as f:
            f.write("\n".join(_REPORT) + "\n")
        terminalreporter.write_line(f"(also in {path})")
    except OSError as error:
        terminalreporter.write_line(f"(the report could not be written to {path}: {error})")
