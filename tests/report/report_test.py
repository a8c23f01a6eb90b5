#!/usr/bin/env python3
"""The layer report's page, written from hand-made run folders whose results are known, and the
expectations file's reader: each column must be marked as its expectation says, an unexpected
one must fail the report naming the configuration and its picture, and the pictures must sit
beside the page."""
import json
import os
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import expected  # noqa: E402

EXPECTATIONS = """\
onebox              *  gl      nothing-shown  presented no-bug
onebox              *  vulkan  bug
presenter:toplevel  *  vulkan  no-bug  flake bug 1/20  # idle host
presenter:toplevel  *  gl      no-bug
onebox              *  d3d9:broken  no-bug
"""

# Each hand-made column: its configuration, what the checker and run.sh said, and the mark and
# page text it must get. GRABS is how many grabs around the first bad frame it has.
COLUMNS = [
    # config, verdict, presented, onebox, grabs, status
    ("onebox x86_64 gl", "nothing-shown", "no-bug", "ok", 0, "expected"),
    ("onebox x86_64 vulkan", "bug", None, "ok", 3, "expected"),
    ("presenter:toplevel x86_64 vulkan", "bug", None, "ok", 2, "flake"),
    # Wrong on purpose: the file expects no bug of a presenter that showed a bug.
    ("presenter:toplevel x86_64 gl", "bug", None, "ok", 2, "unexpected"),
    ("onebox x86_64 d3d9:mine", "no-bug", None, "ok", 0, "none"),
    # The program failed: unexpected whatever the screen showed.
    ("onebox x86_64 d3d9:broken", "no-bug", None, "failed", 0, "unexpected"),
    ("onebox i686 *", None, None, None, 0, "not-run"),
]


def picture(path, box_x):
    subprocess.run(["convert", "-size", "80x60", "xc:#888888", "-fill", "black", "-draw",
                    f"rectangle {box_x},10 {box_x + 9},19", path], check=True)


def make_results(results):
    """Writes one run folder per COLUMNS row, as tools/report.py and tools/run.sh write them."""
    for order, (config, verdict, presented, onebox, grabs, _) in enumerate(COLUMNS, 1):
        folder = os.path.join(results, f"{order}")
        os.makedirs(folder)
        column = {"config": config, "order": order, "program": config.split()[0],
                  "target": config.split()[1], "layer": config.split()[2],
                  "renderer": config.split()[2], "seconds": 9.0}
        if verdict is None:
            column["why_not_run"] = "this host runs no 32-bit x86 code"
        with open(os.path.join(folder, "column.json"), "w") as f:
            json.dump(column, f)
        if verdict is None:
            continue
        # The checker writes picture paths under its check folder, here relative to it.
        pictures = {"last": "last.png", "positions": "positions.png", "first_bad": None,
                    "around_first_bad": []}
        picture(os.path.join(folder, "last.png"), 5)
        picture(os.path.join(folder, "positions.png"), 30)
        first_bad = None
        if grabs:
            pictures["first_bad"] = os.path.join(folder, "bad.png")  # and here absolute
            picture(pictures["first_bad"], 50)
            for i in range(grabs):
                picture(os.path.join(folder, f"around-{i}.png"), 10 * i)
                pictures["around_first_bad"].append(f"around-{i}.png")
            first_bad = {"index": 7, "description": "2 boxes at (5,10) and (50,10)",
                         "picture": pictures["first_bad"]}
        frames = {"judged": 300, "good": 300 - bool(grabs), "bad": int(bool(grabs)),
                  "discarded": 2, "blank": 0, "flashes": 0}
        check = {"checker": 1, "mode": "every-frame", "verdict": verdict, "line": "a line",
                 "seconds": 2.5, "frames": frames, "distinct_positions": 250,
                 "changes_per_second": 120.5, "longest_still_ms": 40, "first_bad": first_bad,
                 "pictures": pictures, "presented": None}
        if presented:
            check["presented"] = {"verdict": presented, "frames": frames,
                                  "distinct_positions": 240, "first_bad": None,
                                  "last_picture": "last.png"}
        run = {"exe": "x.exe", "arch": "x86_64", "renderer": "gl", "onebox": onebox,
               "failure": None if onebox == "ok" else "no window appeared",
               "exit_code": 0 if onebox == "ok" else None, "close_ms": 250,
               "wine_version": "wine-8.0 (Debian 8.0~repack-4)", "check": "check.json"}
        for name, data in (("check.json", check), ("run.json", run)):
            with open(os.path.join(folder, name), "w") as f:
                json.dump(data, f)


def make_report(work):
    """Writes the hand-made results' report into work/report; returns the report's run."""
    results, out = os.path.join(work, "results"), os.path.join(work, "report")
    make_results(results)
    with open(os.path.join(work, "expected.txt"), "w") as f:
        f.write(EXPECTATIONS)
    return subprocess.run([sys.executable, os.path.join(ROOT, "tools", "report.py"), "--results",
                           results, "--out", out, "--expected",
                           os.path.join(work, "expected.txt")],
                          capture_output=True, text=True)


class ReportPage(unittest.TestCase):
    def test_columns_are_marked_and_pictured_as_their_results_say(self):
        with tempfile.TemporaryDirectory() as work:
            run = make_report(work)
            out = os.path.join(work, "report")
            with open(os.path.join(out, "report.json")) as f:
                report = json.load(f)
            self.assertEqual(run.returncode, 1, run.stdout + run.stderr)
            self.assertEqual(len(report["columns"]), len(COLUMNS))
            for i, (row, column) in enumerate(zip(COLUMNS, report["columns"])):
                config, verdict, _, _, grabs, status = row
                with self.subTest(i=i, config=config):
                    self.assertEqual(column["status"], status, column["judgement"])
                    pictures = column.get("pictures", {})
                    for path in pictures.values():
                        self.assertFalse(os.path.isabs(path))
                        self.assertTrue(os.path.isfile(os.path.join(out, path)), path)
                    if verdict and grabs:
                        frames = subprocess.run(
                            ["identify", "-format", "%n\n",
                             os.path.join(out, pictures["animation"])],
                            capture_output=True, text=True).stdout.split()[0]
                        self.assertEqual(int(frames), grabs)
                        self.assertIn("first_bad", pictures)
                    if verdict:
                        self.assertIn("last", pictures)
            # Each unexpected column is named with its picture, and nothing else is.
            named = [line for line in run.stdout.splitlines() if "UNEXPECTED" in line]
            self.assertEqual(len(named), 2, run.stdout)
            self.assertIn("presenter:toplevel x86_64 gl: got bug, expected no-bug", named[0])
            self.assertIn("first-bad-frame.png", named[0])
            self.assertIn("onebox failed (no window appeared)", named[1])
            with open(os.path.join(out, "index.html")) as f:
                self.assertNotIn("<script", f.read().lower())
            with open(os.path.join(out, "report.md")) as f:
                verdict_row = [line for line in f if line.startswith("| Verdict on screen |")]
            self.assertEqual(verdict_row, ["| Verdict on screen | nothing shown | BUG | BUG | BUG "
                                           "| no bug | no bug | not run |\n"])


class ExpectationsFile(unittest.TestCase):
    def test_a_line_it_cannot_read_is_an_error(self):
        for line in ["onebox x86_64 gl",  # no verdict
                     "onebox amd64 gl no-bug",  # no such target
                     "onebox x86_64 gl no-bugs",  # no such verdict
                     "onebox x86_64 gl bug flake no-bug 1 of 20",  # rate not N/M
                     "onebox x86_64 dx9 bug"]:  # no such layer
            with self.subTest(line=line), self.assertRaises(expected.ExpectedFileError):
                expected.parse(line)

    def test_a_later_line_overrides_and_star_matches_either_target(self):
        entries = expected.parse("onebox * gl bug\nonebox i686 gl no-bug\n")
        self.assertEqual(expected.lookup(entries, "onebox x86_64 gl").verdict, "bug")
        self.assertEqual(expected.lookup(entries, "onebox i686 gl").verdict, "no-bug")
        self.assertIsNone(expected.lookup(entries, "onebox i686 vulkan"))

    def test_each_desktop_has_its_own_line_and_the_window_its_own_verdict(self):
        entries = expected.parse("onebox * vulkan no-bug\n"
                                 "onebox * vulkan x+xcompmgr no-bug window no-bug\n")
        composed = {"ran": True, "onebox": "ok", "verdict": "no-bug", "presented": None}
        # config | the run's window verdict | status
        cases = [("onebox x86_64 vulkan", None, "expected"),
                 ("onebox x86_64 vulkan wine", None, "expected"),
                 ("onebox x86_64 vulkan x+xcompmgr", "no-bug", "expected"),
                 ("onebox x86_64 vulkan x+xcompmgr", "bug", "unexpected"),
                 ("onebox x86_64 vulkan x+picom", "no-bug", "none")]
        for config, window, status in cases:
            with self.subTest(config=config, window=window):
                got, _ = expected.judge(expected.lookup(entries, config),
                                        dict(composed, window=window))
                self.assertEqual(got, status)
        # A program that failed is unexpected even where the file has no line for it.
        failed = dict(composed, onebox="failed", failure="no frame of it was presented")
        self.assertEqual(expected.judge(None, failed)[0], "unexpected")

    def test_a_kill_at_exit_is_a_flake_only_where_the_line_knows_it(self):
        entries = expected.parse("onebox * gl nothing-shown presented no-bug flake killed 1/10\n"
                                 "onebox * vulkan no-bug\n")
        killed = {"ran": True, "onebox": "failed", "failure": "but exit code 137",
                  "verdict": "nothing-shown", "presented": "no-bug", "killed_at_exit": True}
        # config | the run | status
        cases = [("onebox x86_64 gl", killed, "flake"),
                 ("onebox x86_64 vulkan", dict(killed, verdict="no-bug"), "unexpected"),
                 ("onebox x86_64 gl", dict(killed, killed_at_exit=False), "unexpected"),
                 ("onebox x86_64 gl", dict(killed, presented="bug"), "unexpected")]
        for config, run, status in cases:
            with self.subTest(config=config, run=run):
                got, _ = expected.judge(expected.lookup(entries, config), run)
                self.assertEqual(got, status)

    def test_the_command_names_the_file_the_line_and_why_in_one_line(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "wine-9.txt")
            with open(path, "w") as f:
                f.write("onebox * gl no-bug\nonebox x86 gl bug\n")
            # command | the one line it must print
            cases = [(["verdict", "onebox x86_64 gl", "--file", path],
                      f"expected: {path}:2: target 'x86' is not i686, x86_64 or *"),
                     (["judge", "onebox x86_64 gl", folder, "--file", path],
                      f"expected: {path}:2: target 'x86' is not i686, x86_64 or *"),
                     (["verdict", "onebox x86_64 gl", "--file", path + ".none"],
                      f"expected: cannot read {path}.none: No such file or directory")]
            for args, line in cases:
                done = subprocess.run([sys.executable, os.path.join(ROOT, "tools", "expected.py"),
                                       *args], capture_output=True, text=True)
                self.assertEqual((done.returncode, done.stdout, done.stderr), (2, "", line + "\n"),
                                 args)


if __name__ == "__main__":
    unittest.main()
