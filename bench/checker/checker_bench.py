#!/usr/bin/env python3
"""The frame checker against layers whose truth is known: the checker's presenter run
through tools/run.sh (headless), on each of Wine's renderers, and a table of what the checker
said against what was true. A benchmark of the checker, not a test: it asserts nothing and
prints the figures.

    bench/checker/checker_bench.py [--runs N] [--renderer gl|vulkan]... [--build DIR]

Rows, each on each renderer:
  correct layer      one box a frame, presented into the top-level window (Wine 8.0 shows
                     those frames): the runs the checker called "no bug", discarded grabs per
                     1,000, coverage (whole frames judged / frames the presenter presented while
                     the checker watched, from the presenter's own log of its presents) and the
                     presenter's frame rate while watched / its rate in the three seconds after
                     the checker ended (ONEBOX_RUN_IDLE), in the same run;
  one bad in 25      every 25th frame skips its clear, so shows two boxes: the runs called BUG;
  one bad in 3       every third frame so: the share of judged frames found bad (a third when
                     every frame is judged), lowest and highest over a quarter of the runs.
--runs (default 20) runs of the first two rows, 300 frames each.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import results  # noqa: E402
IDLE = 3.0  # seconds the presenter runs unwatched after the checker, for the rate without it


def run(build, renderer, args, folder):
    """One headless run: the checker's results, run.sh's, and the times of every present."""
    log = os.path.join(folder, "presents.txt")
    env = dict(os.environ, ONEBOX_BUILD_DIR=build, ONEBOX_CHECK_DIR=folder,
               ONEBOX_RUN_EXE=os.path.join(build, "checker", "presenter.exe"),
               ONEBOX_RUN_ARGS=f"{args} log=Z:{log.replace('/', chr(92))}",
               ONEBOX_CHECK_ARGS="--frames 300", ONEBOX_RUN_IDLE=str(IDLE))
    subprocess.run([os.path.join(ROOT, "tools", "run.sh"), "--renderer", renderer],
                   env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    check = results.read_check(folder)
    try:
        presents = [float(line) for line in open(log)]
    except (OSError, ValueError):
        return None
    if check is None:
        return None
    return check, presents


def rates(check, presents):
    """Coverage, and the frame rate while watched over the rate just after."""
    start, end = check["started"], check["ended"]
    watched = sum(1 for t in presents if start <= t <= end)
    # The close comes at the end of the idle time; the margins keep it and the checker's
    # exit out of the count.
    after = sum(1 for t in presents if end + 0.3 <= t <= end + IDLE - 0.2)
    coverage = check["frames"]["judged"] / watched if watched else 0
    ratio = (watched / (end - start)) / (after / (IDLE - 0.5)) if after else 0
    return coverage, ratio, watched / (end - start)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--renderer", action="append", choices=["gl", "vulkan"])
    parser.add_argument("--build", default=None)
    options = parser.parse_args()
    renderers = options.renderer or ["gl", "vulkan"]
    build = options.build
    if not build:
        # The tree whose Wine runs on this host: the i686 one where 32-bit code runs.
        build = os.path.join(ROOT, "build", "mingw64")
    build = os.path.abspath(build)
    if not os.path.exists(os.path.join(build, "checker", "presenter.exe")):
        sys.exit(f"checker_bench: no presenter.exe in {build}: build the tree first")

    work = tempfile.mkdtemp(prefix="checker-bench-")
    rows = []
    began = time.time()
    for renderer in renderers:
        good = [run(build, renderer, "good toplevel", os.path.join(work, f"{renderer}-good-{i}"))
                for i in range(options.runs)]
        bad25 = [run(build, renderer, "skipclear=25 toplevel",
                     os.path.join(work, f"{renderer}-25-{i}")) for i in range(options.runs)]
        bad3 = [run(build, renderer, "skipclear=3 toplevel",
                    os.path.join(work, f"{renderer}-3-{i}"))
                for i in range(max(1, options.runs // 4))]
        good_done = [r for r in good if r]
        no_bug = sum(1 for c, _ in good_done if c["verdict"] == "no-bug")
        grabs = sum(c["frames"]["judged"] + c["frames"]["discarded"] for c, _ in good_done)
        discarded = sum(c["frames"]["discarded"] for c, _ in good_done)
        measured = [rates(c, p) for c, p in good_done]
        coverage = [m[0] for m in measured]
        ratio = [m[1] for m in measured]
        fps = [m[2] for m in measured]
        bugs = sum(1 for r in bad25 if r and r[0]["verdict"] == "bug")
        shares = [c["frames"]["bad"] / c["frames"]["judged"] for c, _ in filter(None, bad3)
                  if c["frames"]["judged"]]
        rows.append((renderer, f"{no_bug} of {options.runs}",
                     f"{1000 * discarded / grabs:.1f}" if grabs else "-",
                     f"{min(coverage):.3f} / {statistics.median(coverage):.3f}" if coverage
                     else "-",
                     f"{min(ratio):.3f} / {statistics.median(ratio):.3f}" if ratio else "-",
                     f"{statistics.median(fps):.0f}" if fps else "-",
                     f"{bugs} of {options.runs}",
                     f"{min(shares):.3f}..{max(shares):.3f}" if shares else "-"))
    header = ("renderer", "correct: no bug", "discarded per 1,000 grabs",
              "coverage (lowest / median)", "frame rate watched / not (lowest / median)",
              "presents/s watched", "1 bad in 25: BUG", "1 bad in 3: share bad")
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    for row in rows:
        print("| " + " | ".join(row) + " |")
    print(f"\n{options.runs} runs of 300 frames a row ({max(1, options.runs // 4)} of the last),"
          f" {time.time() - began:.0f} s; results in {work}")


if __name__ == "__main__":
    main()
