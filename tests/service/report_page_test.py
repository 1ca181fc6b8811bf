#!/usr/bin/python3
"""The report's page as a browser shows and prints it: three sticks through
kx9calib on the virtual stick (one that keeps no write), the page rendered in
headless Chromium. The charts are drawn, nothing runs past the page's width,
each chart group prints on one A4 page, and the page asks the network for
nothing (a page that does, loaded the same way, shows the check would see it).
Exits 77 (skipped) where Chromium or Pillow is missing."""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

KX9CALIB = os.path.abspath(sys.argv[1])
CHROMIUM = shutil.which("chromium")
try:
    from PIL import Image
except ImportError:
    Image = None
if CHROMIUM is None or Image is None:
    print("chromium or python3-pil missing: skipped")
    sys.exit(77)

WALK = ("stick 0x{cx:04X} 0x7F80\nkey space\nstick 0x8000 0x0080\nkey space\n"
        "stick 0xFF00 0x8000\nkey space\nstick 0x8000 0xFFFF\nkey space\n"
        "stick 0x0000 0x8000\nkey space\n")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def chromium(folder, *args):
    # Each run in a profile of its own, so that no other browser's state
    # counts, and quiet about the browser's own background work.
    subprocess.run([CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
                    "--no-first-run", "--disable-background-networking",
                    "--user-data-dir=" + os.path.join(folder, "profile"), *args],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120, check=True)


def page_requests(folder, page):
    """URLs of the requests the page itself made (the browser's own have no origin)."""
    log = os.path.join(folder, "net.json")
    chromium(folder, "--log-net-log=" + log, "--dump-dom", "file://" + page)
    with open(log, encoding="utf-8") as f:
        net = json.load(f)
    start = net["constants"]["logEventTypes"]["URL_REQUEST_START_JOB"]
    return [e["params"].get("url") for e in net["events"]
            if e["type"] == start and e.get("params", {}).get("initiator", "not an origin")
            != "not an origin"]


with tempfile.TemporaryDirectory() as folder:
    with open(os.path.join(folder, "kx9JoystickCalibration.txt"), "w") as f:
        f.write("Edge_Size = 1024; Center_BM = 3;\n")
    for n, (cx, faults) in enumerate([(0x8000, []), (0x7E00, []),
                                      (0x8200, ["--sim-ignore-writes"])]):
        script = os.path.join(folder, "walk%d.kx9" % n)
        with open(script, "w") as f:
            f.write(WALK.format(cx=cx))
        subprocess.run([KX9CALIB, "--simulate", *faults, "--record", "record.csv", "--script",
                        script], cwd=folder, stdout=subprocess.DEVNULL, check=True, timeout=60)
    page = os.path.join(folder, "report.html")
    subprocess.run([KX9CALIB, "report", "--html", page, "record.csv"], cwd=folder, check=True,
                   timeout=60)
    with open(page, encoding="utf-8") as f:
        html = f.read()
    check(html.count("<section>") == 5, "five chart groups")
    for fetching in ("http:", "https:", "src=", "href=", "url(", "@import", "<script"):
        check(fetching not in html, "the page holds no " + fetching)

    shot = os.path.join(folder, "shot.png")
    chromium(folder, "--window-size=1000,3200", "--screenshot=" + shot, "file://" + page)
    image = Image.open(shot).convert("RGB")
    width, height = image.size
    pixels = image.load()
    bars = sum(1 for y in range(0, height, 2) for x in range(0, width, 2)
               if pixels[x, y] == (0x1F, 0x5F, 0xA8))
    gates = sum(1 for y in range(0, height, 2) for x in range(0, width, 2)
                if pixels[x, y][0] > 150 and pixels[x, y][1] < 60 and pixels[x, y][2] < 60)
    check(bars > 500, "histogram bars drawn (%d pixels)" % bars)
    check(gates > 20, "gate bounds drawn (%d pixels)" % gates)
    # The body is 186 mm (703 px) wide from 8 px in: nothing right of it.
    spill = [(x, y) for y in range(height) for x in range(730, width)
             if pixels[x, y] != (255, 255, 255)]
    check(not spill, "nothing beyond the page's width (first at %s)" % (spill[:1],))

    pdf = os.path.join(folder, "report.pdf")
    chromium(folder, "--no-pdf-header-footer", "--print-to-pdf=" + pdf, "file://" + page)
    with open(pdf, "rb") as f:
        pages = max(int(n) for n in re.findall(rb"/Count (\d+)", f.read()))
    check(pages == 5, "one A4 page per chart group (%d pages)" % pages)

    check(page_requests(folder, page) == [], "the page makes no network request")
    fetcher = os.path.join(folder, "fetcher.html")
    with open(fetcher, "w") as f:
        f.write('<!DOCTYPE html><img src="http://127.0.0.1:9/x.png">')
    check(page_requests(folder, fetcher) != [], "a page that fetches is seen to")

for failure in failures:
    print("FAILED:", failure)
print("%d checks failed" % len(failures) if failures else "report page: all checks passed")
sys.exit(1 if failures else 0)
