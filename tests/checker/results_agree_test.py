#!/usr/bin/env python3
"""The results' writers and readers of the two languages agree: tools/results.py's definition of
check.json reads the files checker/results.cpp writes (tests/checker/golden/, held against the
C++ writer by results_test.cpp) field by field, with the same verdict words; and run.json as
run.sh writes it through results.py's command line reads back as written."""
import json
import os
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
GOLDEN = os.path.join(ROOT, "tests", "checker", "golden")
RESULTS = os.path.join(ROOT, "tools", "results.py")
sys.path.insert(0, os.path.join(ROOT, "tools"))
import results  # noqa: E402


def cli(*args):
    done = subprocess.run([sys.executable, RESULTS, *args], capture_output=True, text=True)
    return done.returncode, done.stdout.strip()


class Agree(unittest.TestCase):
    def test_check_json_of_the_cpp_writer(self):
        for name in ("check.json", "check-no-screen.json"):
            check = results.read_check(GOLDEN, name)
            self.assertIsNotNone(check, name)
            self.assertEqual(results.mismatches(check, results.CHECK, name), [])
            self.assertIn(check.verdict, results.VERDICT_WORDS, name)
            if check.presented:
                self.assertIn(check.presented.verdict, results.VERDICT_WORDS, name)

    def test_verdict_words_and_texts(self):
        with open(os.path.join(GOLDEN, "verdicts.txt"), encoding="utf-8") as f:
            table = [tuple(line.rstrip("\n").split("|")) for line in f]
        self.assertEqual(table, [(w, t, str(c)) for w, t, c in results.VERDICTS])

    def test_command_line(self):
        with tempfile.TemporaryDirectory() as folder:
            run = os.path.join(folder, "run.json")
            check = os.path.join(GOLDEN, "check.json")
            # command | exit code | what it prints
            cases = [
                (["write-run", run, "exe=a b.exe", "arch=x86_64", "renderer=gl", "onebox=ok",
                  "failure=", "exit_code=0", "close_ms=285", "check=check.json"], 0, ""),
                (["field", run, "close_ms"], 0, "285"),
                (["field", run, "failure"], 0, ""),
                (["field", run, "exe"], 0, "a b.exe"),
                (["field", check, "frames", "good"], 0, "5"),
                (["field", check, "pictures", "around_first_bad", "1"], 0,
                 "run/around-first-bad-01.png"),
                (["field", check, "frames", "nothing"], 1, ""),
                (["field", os.path.join(folder, "none.json"), "verdict"], 1, ""),
                (["layer-verdict", check], 0, "BUG, its first bad frame: run/first-bad-frame.png"),
                (["layer-verdict", os.path.join(GOLDEN, "check-no-screen.json")], 0, ""),
                (["write-run", run, "colour=red"], 2, ""),
                (["write-run", run, "exit_code=two"], 2, ""),
            ]
            for args, code, out in cases:
                self.assertEqual(cli(*args), (code, out), args)
            # What write-run wrote is a run.json by the definition.
            cli("write-run", run, "exe=x", "arch=i686", "renderer=vulkan", "onebox=failed",
                "failure=no window")
            written = results.read_run(folder)
            self.assertEqual(results.mismatches(written, results.RUN), [])
            self.assertEqual((written.failure, written.exit_code), ("no window", None))


if __name__ == "__main__":
    unittest.main()
