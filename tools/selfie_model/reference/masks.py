#!/usr/bin/python3
"""Reference masks from the selfie segmentation package's own runtime.

    masks.py PACKAGE_DIR OUT_DIR PICTURE...

Serves page.html beside this script, the package's files (its JavaScript
loader, WebAssembly runtime and networks) and the pictures on a local port,
and opens the page in headless Chromium, whose WebGL runs on SwiftShader. The
page runs the package on each picture, with the general network (256 x 256)
and then the landscape one (144 x 256), and posts the masks back. Each lands
in OUT_DIR as <picture>_general.png and <picture>_landscape.png: 8-bit grey,
the picture's size, 255 for a probability of 1.
"""

import http.server
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
MODELS = {0: "general", 1: "landscape"}
DEADLINE_S = 300


def write_grey_png(path, width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\0" + bytes(row) for row in rows)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


class Run:
    def __init__(self, package_dir, out_dir, pictures):
        self.package_dir = package_dir
        self.out_dir = out_dir
        self.pictures = {os.path.basename(p): p for p in pictures}
        self.model = 0
        self.finished = threading.Event()
        self.error = None
        self.written = []


def handler_for(run):
    class Handler(http.server.BaseHTTPRequestHandler):
        def log_message(self, *args):
            pass

        def do_GET(self):
            path = urllib.parse.urlparse(self.path).path.lstrip("/")
            if path == "page.html":
                file = os.path.join(HERE, "page.html")
            elif path.startswith("picture/"):
                file = run.pictures.get(path[len("picture/"):])
            else:
                file = os.path.join(run.package_dir, os.path.basename(path))
            if not file or not os.path.isfile(file):
                self.send_error(404)
                return
            types = {".html": "text/html", ".js": "text/javascript",
                     ".wasm": "application/wasm", ".jpg": "image/jpeg", ".png": "image/png"}
            with open(file, "rb") as f:
                body = f.read()
            self.send_response(200)
            self.send_header("Content-Type", types.get(os.path.splitext(file)[1],
                                                       "application/octet-stream"))
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def do_POST(self):
            url = urllib.parse.urlparse(self.path)
            body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
            self.send_response(200)
            self.send_header("Content-Length", "0")
            self.end_headers()
            if url.path.startswith("/mask/"):
                self.save_mask(url, body)
            elif url.path == "/done":
                run.finished.set()
            elif url.path == "/error":
                run.error = body.decode(errors="replace")
                run.finished.set()

        def save_mask(self, url, rgba):
            name = url.path[len("/mask/"):]
            width, height = (int(v) for v in
                             urllib.parse.parse_qs(url.query)["size"][0].split("x"))
            if len(rgba) != width * height * 4:
                run.error = f"{name}: {len(rgba)} bytes for {width} x {height}"
                return
            # The mask is drawn with the probability as its alpha (the
            # colour channels are premultiplied by it).
            alpha = rgba[3::4]
            rows = [alpha[y * width:(y + 1) * width] for y in range(height)]
            stem = os.path.splitext(name)[0]
            path = os.path.join(run.out_dir, f"{stem}_{MODELS[run.model]}.png")
            write_grey_png(path, width, height, rows)
            run.written.append(path)

    return Handler


def chromium_command(url, profile):
    return ["chromium", "--headless=new", "--no-sandbox", "--no-first-run",
            "--user-data-dir=" + profile, "--use-angle=swiftshader",
            "--enable-unsafe-swiftshader", "--ignore-gpu-blocklist", url]


def main(argv):
    if len(argv) < 4:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    run = Run(argv[1], argv[2], argv[3:])
    os.makedirs(run.out_dir, exist_ok=True)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler_for(run))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    port = server.server_address[1]
    status = 0
    for model in MODELS:
        run.model = model
        run.finished.clear()
        query = urllib.parse.urlencode({"model": model, "pictures": ",".join(run.pictures)})
        profile = tempfile.mkdtemp(prefix="selfie-reference-")
        browser = subprocess.Popen(
            chromium_command(f"http://127.0.0.1:{port}/page.html?{query}", profile),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        started = time.monotonic()
        done = run.finished.wait(DEADLINE_S)
        browser.terminate()
        try:
            browser.wait(10)
        except subprocess.TimeoutExpired:
            browser.kill()
            browser.wait()
        shutil.rmtree(profile, ignore_errors=True)
        if not done:
            print(f"masks.py: no answer from the page in {DEADLINE_S} s", file=sys.stderr)
            status = 1
            break
        if run.error:
            print(f"masks.py: the page failed: {run.error}", file=sys.stderr)
            status = 1
            break
        print(f"{MODELS[model]}: {len(run.pictures)} masks in "
              f"{time.monotonic() - started:.1f} s")
    server.shutdown()
    for path in run.written:
        print(path)
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
