#!/usr/bin/env python3
"""The present recorder's own cost: onebox.exe's frame rate while the recorder reads each back
buffer, over its rate while it does not, in the same run. A benchmark, not a test: it asserts
nothing and prints the figures.

    bench/checker/recorder_bench.py [--runs N] [--renderer gl|vulkan]... [--build DIR]
                                    [--exe PATH]

Each run copies the program (onebox.exe of the build by default) beside the recorder's d3d9.dll
(checker/recorder/ of the build) with a recorder.txt that says probe=alternate: the recorder
reads the back buffer in every other half second only, and marks the records of the others. The
program runs headless through tools/run.sh (tools/runs.py) with WINEDLLOVERRIDES=d3d9=n,b: 3 s
unwatched, 300 frames watched by the checker and 3 s unwatched again; the recorder's file gives
both rates: presents a second in the half seconds with the read-back and in those without, over
whole half seconds after the first second. Both kinds of period go through the recorder's
Present; in those without it costs three QueryPerformanceCounter calls and a 64-byte copy (about
0.5 us here, against frames of several milliseconds), so their rate is the program's rate
without the recorder.

Rows, one a renderer: the ratio (with / without; lowest and median over the runs), the rates,
the read-back's cost a frame (the recorder's own timing; median and mean, medians over the
runs), how many of the records read found exactly one 20x20 box, with their indices 1, 2, 3...
without a gap, and the machine's load (its one-minute average as each run ended): the read-back
waits for Wine's command thread, and on a busy machine each wait can cost a turn of the
scheduler.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "checker", "recorder"))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import present_log  # noqa: E402
import runs  # noqa: E402

PERIOD = 0.5  # seconds: the recorder's probe=alternate period (ALTERNATE_SECONDS)
IDLE = 3.0  # seconds the program runs unwatched before the checker and after it


def run(build, exe, recorder, renderer, folder):
    """One headless run with the recorder alternating; its records."""
    os.makedirs(folder)
    shutil.copy(exe, folder)
    shutil.copy(recorder, folder)
    with open(os.path.join(folder, "recorder.txt"), "w") as config:
        config.write("probe=alternate\n")
    overrides = os.environ.get("WINEDLLOVERRIDES")
    runs.run(os.path.join(folder, "check"),
             env={"WINEDLLOVERRIDES": (overrides + ";" if overrides else "") + "d3d9=n,b"},
             output=subprocess.DEVNULL, renderer=renderer, build=build,
             program=os.path.join(folder, os.path.basename(exe)), check_args="--frames 300",
             idle=IDLE)
    try:
        return present_log.read(os.path.join(folder, "presents.log")), os.getloadavg()[0]
    except (OSError, ValueError):
        return None


def rates(presents):
    """Presents a second with the read-back and without, over whole periods after the first
    second; the read-back's median cost in us; records read with one 20x20 box, records read;
    whether the indices run 1, 2, 3... without a gap."""
    start = presents[0].time + 1.0
    periods = {}
    for p in presents:
        if p.time >= start:
            periods.setdefault(int(p.time // PERIOD), []).append(p.flags)
    whole = sorted(periods)[1:-1]  # the first and last may be cut short
    counts = {True: 0, False: 0}
    spans = {True: 0, False: 0}
    for p in whole:
        reading = sum(1 for f in periods[p] if f & present_log.READ) > len(periods[p]) // 2
        counts[reading] += len(periods[p])
        spans[reading] += PERIOD
    on = counts[True] / spans[True] if spans[True] else 0
    off = counts[False] / spans[False] if spans[False] else 0
    read = [p for p in presents if p.flags & present_log.READ]
    one = sum(1 for p in read if p.box_count == 1 and p.boxes[0][2:] == (20, 20))
    cost = ((statistics.median(p.probe_seconds * 1e6 for p in read),
             statistics.mean(p.probe_seconds * 1e6 for p in read)) if read else (0, 0))
    gapless = [p.index for p in presents] == list(range(1, len(presents) + 1))
    return on, off, cost, one, len(read), gapless


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--renderer", action="append", choices=["gl", "vulkan"])
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "mingw64"))
    parser.add_argument("--exe", default=None)
    options = parser.parse_args()
    build = os.path.abspath(options.build)
    exe = os.path.abspath(options.exe or os.path.join(build, "app", "onebox.exe"))
    recorder = os.path.join(build, "checker", "recorder", "d3d9.dll")
    for needed in (exe, recorder):
        if not os.path.exists(needed):
            sys.exit(f"recorder_bench: no {needed}: build the tree first")

    work = tempfile.mkdtemp(prefix="recorder-bench-")
    began = time.time()
    header = ("renderer", "frame rate with / without (lowest / median)",
              "presents/s with / without (median)", "read-back a frame, us (median / mean)",
              "records read with one 20x20 box", "indices without a gap", "load")
    rows = []
    for renderer in options.renderer or ["gl", "vulkan"]:
        results = [run(build, exe, recorder, renderer, os.path.join(work, f"{renderer}-{i}"))
                   for i in range(options.runs)]
        measured = [rates(r[0]) for r in results if r and r[0]]
        loads = [r[1] for r in results if r]
        ratios = [on / off for on, off, *_ in measured if off]
        rows.append((renderer,
                     f"{min(ratios):.3f} / {statistics.median(ratios):.3f}" if ratios else "-",
                     f"{statistics.median(m[0] for m in measured):.0f} / "
                     f"{statistics.median(m[1] for m in measured):.0f}" if measured else "-",
                     f"{statistics.median(m[2][0] for m in measured):.0f} / "
                     f"{statistics.median(m[2][1] for m in measured):.0f}" if measured else "-",
                     f"{sum(m[3] for m in measured)} of {sum(m[4] for m in measured)}",
                     f"{sum(1 for m in measured if m[5])} of {len(measured)} runs",
                     f"{min(loads):.1f}-{max(loads):.1f}" if loads else "-"))
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    for row in rows:
        print("| " + " | ".join(row) + " |")
    print(f"\n{options.runs} runs a renderer, {time.time() - began:.0f} s; results in {work}")


if __name__ == "__main__":
    main()
