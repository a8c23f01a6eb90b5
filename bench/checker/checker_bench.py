#!/usr/bin/env python3
"""The frame checker against layers whose truth is known: the checker's presenter run
through tools/run.sh (headless), on each of Wine's renderers and each desktop, and a table of
what the checker said against what was true. A benchmark of the checker, not a test: it asserts
nothing and prints the figures.

    bench/checker/checker_bench.py [--runs N] [--renderer gl|vulkan]... [--desktop NAME]...
                                   [--build DIR]

Rows, one per desktop (wine, x, x+xcompmgr, x+picom: tools/run.sh --desktop) and renderer:
  correct layer      one box a frame, presented into the top-level window (Wine 8.0 shows
                     those frames): the runs the checker called "no bug", discarded grabs per
                     1,000, coverage (whole frames judged / frames the presenter presented while
                     the checker watched, from the presenter's own log of its presents; under a
                     compositing manager for the composed screen and for the window's own
                     pixels) and the presenter's frame rate while watched / its rate unwatched
                     in the three seconds before the checker started and after it ended
                     (run.sh --idle), in the same run;
  one bad in 25      every 25th frame skips its clear, so shows two boxes: the runs called BUG,
                     and the runs with 10 to 14 of their 300 frames bad;
  one bad in 3       every third frame so: the share of judged frames found bad (a third when
                     every frame is judged), lowest and highest over a quarter of the runs.
--runs (default 20) runs of the first two rows, 300 frames each.

--accounting gives, instead, the accounting of every present against its known truth, each
layer recorded (run.sh --record) on each renderer, --runs runs each: the correct layer (every
picture its own present's, in order), one bad frame in 25 (frame K drawn over frame K-1, one
present in 25), a stale buffer every 10th present (frame K-3 back, out of order) and a present
undrawn every 10th (it repeats its predecessor); the runs named right, and the median figures.
"""
import argparse
import os
import statistics
import sys
import tempfile
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import results  # noqa: E402
import runs  # noqa: E402
IDLE = 3.0  # seconds the presenter runs unwatched before and after the watch, for its rate without


def run(build, renderer, desktop, args, folder, record=False):
    """One headless run: the checker's results, run.sh's, and the times of every present.
    What run.sh printed is kept in the folder's run.log, for a run that ended without results."""
    log = os.path.join(folder, "presents.txt")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "run.log"), "w") as output:
        runs.run(folder, output=output, renderer=renderer, desktop=desktop, build=build,
                 program=os.path.join(build, "checker", "presenter.exe"),
                 args=f"{args} log=Z:{log.replace('/', chr(92))}", check_args="--frames 300",
                 idle=IDLE, record=record)
    check = results.read_check(folder)
    try:
        presents = [float(line) for line in open(log)]
    except (OSError, ValueError):
        return None
    if check is None:
        return None
    return check, presents


def rates(check, presents):
    """Coverage of the screen and of the window's own pixels (None without a compositing
    manager), and the frame rate while watched over the rate on both sides of the watch, and
    while watched."""
    start, end = check["started"], check["ended"]
    watched = sum(1 for t in presents if start <= t <= end)
    # The program's rate still climbs for a few seconds after its first frame, so the rate
    # without the checker is taken from both sides of the watch, in the same run: the climb
    # lifts the second as much as it lowers the first. The margins leave out the first second
    # of the idle time before the watch, the checker's start, and the close and the checker's
    # exit after it.
    before = (start - IDLE + 1.0, start - 0.5)
    after = (end + 0.3, end + IDLE - 0.2)
    unwatched = sum(1 for t in presents if before[0] <= t <= before[1] or after[0] <= t <= after[1])
    span = before[1] - before[0] + after[1] - after[0]
    coverage = check["frames"]["judged"] / watched if watched else 0
    window = check.get("window")
    window_coverage = window["frames"]["judged"] / watched if window and watched else None
    ratio = (watched / (end - start)) / (unwatched / span) if unwatched else 0
    return coverage, window_coverage, ratio, watched / (end - start)


def low_median(values, digits=3):
    return f"{min(values):.{digits}f} / {statistics.median(values):.{digits}f}" if values else "-"


# layer | the presenter's arguments | whether a run's accounting (a) names it right
KNOWN = (
    ("correct", "good toplevel",
     lambda a: a["out_of_order"] == 0 and a["stale"] == 0 and a["drawn_over"] == 0),
    ("1 bad in 25", "skipclear=25 toplevel",
     lambda a: abs(a["drawn_over"] - a["presented"] / 25) <= 2 and
     any("was drawn over frame" in n["text"] for n in a["named"])),
    ("stale buffer, 1 in 10", "stale=10 toplevel",
     lambda a: abs(a["stale"] - a["presented"] / 10) <= 2 and a["out_of_order"] >= 1),
    ("undrawn, 1 in 10", "nodraw=10 toplevel",
     lambda a: abs(a["repeated"] - a["presented"] / 10) <= 2 and a["out_of_order"] == 0),
)


def accounting_table(build, renderers, runs, work):
    print("| renderer | layer | named right | presented | shown | dropped | out of order | "
          "latency median / p95 / max (ms) |")
    print("|---|---|---|---|---|---|---|---|")
    for renderer in renderers:
        for name, args, right in KNOWN:
            done = [r[0].get("accounting") for r in
                    (run(build, renderer, "wine", args,
                         os.path.join(work, f"acc-{renderer}-{args.split()[0]}-{i}"), True)
                     for i in range(runs)) if r]
            done = [a for a in done if a]
            med = lambda key: statistics.median(a[key] for a in done) if done else "-"
            lat = lambda key: statistics.median(a["latency_ms"][key] for a in done
                                                if a["latency_ms"][key] is not None) \
                if done else "-"
            print(f"| {renderer} | {name} | {sum(1 for a in done if right(a))} of {runs} | "
                  f"{med('presented')} | {med('shown')} | {med('dropped')} | "
                  f"{med('out_of_order')} | {lat('median')} / {lat('p95')} / {lat('max')} |",
                  flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--renderer", action="append", choices=["gl", "vulkan"])
    parser.add_argument("--desktop", action="append",
                        choices=["wine", "x", "x+xcompmgr", "x+picom"])
    parser.add_argument("--build", default=None)
    parser.add_argument("--accounting", action="store_true")
    options = parser.parse_args()
    renderers = options.renderer or ["gl", "vulkan"]
    desktops = options.desktop or ["wine", "x", "x+xcompmgr", "x+picom"]
    build = options.build
    if not build:
        # The tree whose Wine runs on this host: the i686 one where 32-bit code runs.
        build = os.path.join(ROOT, "build", "mingw64")
    build = os.path.abspath(build)
    if not os.path.exists(os.path.join(build, "checker", "presenter.exe")):
        sys.exit(f"checker_bench: no presenter.exe in {build}: build the tree first")

    work = tempfile.mkdtemp(prefix="checker-bench-")
    if options.accounting:
        began = time.time()
        accounting_table(build, renderers, options.runs, work)
        print(f"\n{options.runs} runs a row, {time.time() - began:.0f} s; results in {work}")
        return
    rows = []
    began = time.time()
    for desktop in desktops:
        for renderer in renderers:
            def runs(args, count, tag):
                return [run(build, renderer, desktop, args,
                            os.path.join(work, f"{desktop}-{renderer}-{tag}-{i}"))
                        for i in range(count)]
            good = runs("good toplevel", options.runs, "good")
            bad25 = runs("skipclear=25 toplevel", options.runs, "25")
            bad3 = runs("skipclear=3 toplevel", max(1, options.runs // 4), "3")
            good_done = [r for r in good if r]
            no_bug = sum(1 for c, _ in good_done if c["verdict"] == "no-bug")
            grabs = sum(c["frames"]["judged"] + c["frames"]["discarded"] for c, _ in good_done)
            discarded = sum(c["frames"]["discarded"] for c, _ in good_done)
            measured = [rates(c, p) for c, p in good_done]
            coverage = [m[0] for m in measured]
            window_coverage = [m[1] for m in measured if m[1] is not None]
            ratio = [m[2] for m in measured]
            fps = [m[3] for m in measured]
            bad25_done = [c for c, _ in filter(None, bad25)]
            bugs = sum(1 for c in bad25_done if c["verdict"] == "bug")
            in_range = sum(1 for c in bad25_done if 10 <= c["frames"]["bad"] <= 14)
            counts = [c["frames"]["bad"] for c in bad25_done]
            shares = [c["frames"]["bad"] / c["frames"]["judged"] for c, _ in filter(None, bad3)
                      if c["frames"]["judged"]]
            rows.append((desktop, renderer, f"{no_bug} of {options.runs}",
                         f"{1000 * discarded / grabs:.1f}" if grabs else "-",
                         low_median(coverage), low_median(window_coverage), low_median(ratio),
                         f"{statistics.median(fps):.0f}" if fps else "-",
                         f"{bugs} of {options.runs}",
                         f"{in_range} of {options.runs}"
                         + (f" ({min(counts)}..{max(counts)})" if counts else ""),
                         f"{min(shares):.3f}..{max(shares):.3f}" if shares else "-"))
    header = ("desktop", "renderer", "correct: no bug", "discarded per 1,000 grabs",
              "coverage (lowest / median)", "window coverage (lowest / median)",
              "frame rate watched / not (lowest / median)", "presents/s watched",
              "1 bad in 25: BUG", "1 bad in 25: 10..14 of 300 bad", "1 bad in 3: share bad")
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    for row in rows:
        print("| " + " | ".join(row) + " |")
    print(f"\n{options.runs} runs of 300 frames a row ({max(1, options.runs // 4)} of the last),"
          f" {time.time() - began:.0f} s; results in {work}")
    # A run without results counts against its row's verdicts: said here, so that it is not
    # taken for a wrong one.
    for folder in sorted(os.listdir(work)):
        if results.read_check(os.path.join(work, folder)) is None:
            run_json = results.read_run(os.path.join(work, folder)) or {}
            print(f"{folder}: no results ({run_json.get('failure') or 'run.sh wrote none'});"
                  " its run.log has what run.sh printed")


if __name__ == "__main__":
    main()
