#!/usr/bin/env python3
"""The layer report's page as a real browser shows it: headless Chromium (Debian's chromium)
loads index.html, and the verdict cells of the table it rendered must say what report.json
says, for every column, with every picture the page shows present beside it.

    browser_test.py [REPORT_DIR] [--screenshot PNG]

Without REPORT_DIR it checks a page written from the hand-made results of report_test.py.
--screenshot also saves the page as Chromium draws it (the README's docs/report.png).
"""
import html.parser
import json
import os
import shutil
import subprocess
import sys
import tempfile

import report_test

CHROMIUM = shutil.which("chromium") or "/usr/bin/chromium"
# As root Chromium runs only without its sandbox; the page is a local file of our own.
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
         "--window-size=1500,1300"]


class Cells(html.parser.HTMLParser):
    """The text of each td whose class names it a verdict cell, by kind and configuration."""

    def __init__(self):
        super().__init__()
        self.cells, self.images, self.scripts = {}, [], 0
        self._open = None

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        classes = (attrs.get("class") or "").split()
        if tag == "script":
            self.scripts += 1
        if tag == "img":
            self.images.append(attrs.get("src"))
        if tag == "td" and classes and classes[0] in ("verdict", "presented"):
            self._open = (classes[0], attrs.get("data-config"))
            self.cells[self._open] = ""

    def handle_data(self, data):
        if self._open:
            self.cells[self._open] += data

    def handle_endtag(self, tag):
        if tag == "td":
            self._open = None


def verdict_name(text):
    """A cell's words as the name report.json uses: "nothing shown" is nothing-shown."""
    text = text.strip().lower().replace(" ", "-")
    return None if text == "—" else text


def check(report_dir, screenshot=None):
    """Returns the list of faults found in the page as Chromium rendered it."""
    page = "file://" + os.path.abspath(os.path.join(report_dir, "index.html"))
    dom = subprocess.run([CHROMIUM, *FLAGS, "--dump-dom", page], capture_output=True,
                         text=True, timeout=120)
    if dom.returncode != 0 or "<table" not in dom.stdout:
        return [f"chromium rendered no table (exit code {dom.returncode}): {dom.stderr[-500:]}"]
    cells = Cells()
    cells.feed(dom.stdout)
    with open(os.path.join(report_dir, "report.json"), encoding="utf-8") as f:
        report = json.load(f)
    faults = []
    for column in report["columns"]:
        config = column["config"]
        want = {"verdict": column.get("verdict") if column["ran"] else "not-run",
                "presented": column.get("presented_verdict")}
        if column["ran"] and column["onebox"] != "ok" and not column.get("verdict"):
            want["verdict"] = "no-result"
        for kind, verdict in want.items():
            shown = cells.cells.get((kind, config))
            if shown is None:
                faults.append(f"{config}: no {kind} cell in the rendered table")
            elif verdict_name(shown) != verdict:
                faults.append(f"{config}: the {kind} cell shows {shown!r}, report.json has "
                              f"{verdict}")
    if cells.scripts:
        faults.append(f"the page has {cells.scripts} scripts")
    for src in cells.images:
        if os.path.isabs(src) or not os.path.isfile(os.path.join(report_dir, src)):
            faults.append(f"picture {src} is not beside the page")
    if screenshot:
        os.makedirs(os.path.dirname(os.path.abspath(screenshot)), exist_ok=True)
        shot = subprocess.run([CHROMIUM, *FLAGS, f"--screenshot={os.path.abspath(screenshot)}",
                               page], capture_output=True, text=True, timeout=120)
        with open(screenshot, "rb") as f:
            head = f.read(24)
        if shot.returncode != 0 or head[:8] != b"\x89PNG\r\n\x1a\n":
            faults.append(f"chromium took no screenshot (exit code {shot.returncode})")
    return faults


def main(argv):
    screenshot = None
    if "--screenshot" in argv:
        i = argv.index("--screenshot")
        screenshot = argv[i + 1]
        del argv[i:i + 2]
    with tempfile.TemporaryDirectory() as work:
        if argv:
            report_dir = argv[0]
        else:
            report_test.make_report(work)
            report_dir = os.path.join(work, "report")
        faults = check(report_dir, screenshot)
        count = len(json.load(open(os.path.join(report_dir, "report.json")))["columns"])
    for fault in faults:
        print("browser_test: " + fault)
    print(f"browser_test: {count} columns, {len(faults)} faults" +
          (f"; screenshot {screenshot}" if screenshot else ""))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
