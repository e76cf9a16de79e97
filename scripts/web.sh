#!/usr/bin/env bash
# Runs the browser edition on this machine: installs what is missing, builds
# the static site (web preset: build/web/site), serves it on 127.0.0.1 at the
# first free port from 8000, prints the address, and opens it with xdg-open
# when a desktop is there. Ctrl+C stops the server. The site needs nothing
# but a static web server: cpack --preset web zips it for any other.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset web >/dev/null
cmake --build --preset web --target veltrane_site

exec /usr/bin/python3 - build/web/site <<'PYTHON'
import functools
import http.server
import os
import shutil
import subprocess
import sys

folder = sys.argv[1]


class Handler(http.server.SimpleHTTPRequestHandler):
    # WebAssembly is compiled while it downloads only when it comes as application/wasm.
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map, ".wasm": "application/wasm"}

    def end_headers(self):
        # A rebuilt site is what the next reload shows.
        self.send_header("Cache-Control", "no-cache")
        super().end_headers()


server = None
for port in range(8000, 9000):
    try:
        server = http.server.ThreadingHTTPServer(("127.0.0.1", port), functools.partial(Handler, directory=folder))
        break
    except OSError:
        continue
if server is None:
    sys.exit("web.sh: no free port between 8000 and 8999 on 127.0.0.1")

url = f"http://127.0.0.1:{server.server_address[1]}/"
print(f"Veltrane in a browser: {url}  (Ctrl+C stops it)", flush=True)
desktop = os.environ.get("DISPLAY") or os.environ.get("WAYLAND_DISPLAY")
if desktop and shutil.which("xdg-open"):
    subprocess.Popen(["xdg-open", url], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
try:
    server.serve_forever()
except KeyboardInterrupt:
    print()
PYTHON
