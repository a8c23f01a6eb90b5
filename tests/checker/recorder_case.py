#!/usr/bin/env python3
"""A case of the present recorder on the real platform: a program run headless through
tools/run.sh from a folder where it sits beside the recorder's d3d9.dll (WINEDLLOVERRIDES=d3d9=n,b),
and the recorder's file checked against the truth the program or the layer was made with.

    recorder_case.py RENDERER EXE RECORDER TRUTH [ARGS] --build TREE --out DIR [--chain DLL]

TRUTH, what every present K of the record must hold:
  one          one 20x20 box (a present with its predecessor's box is onebox's repaint)
  stale=N      the presenter's stale=N: for K a multiple of N past 3, exactly the boxes of
               present K-3; otherwise one 20x20 box; and one record for each present the
               presenter logged
  skipclear=N  the d3d9.dll double's skipclear=N, chained with --chain: for K a multiple of N,
               present K-1's box and one more, or one region around K-1's box (the new one
               landed on it), or K-1's alone (a repaint); otherwise one box
Every record must say its back buffer was read, and the indices must run 1, 2, 3... The run goes
into DIR, from the build tree TREE; the environment (ONEBOX_D3D9_DOUBLE for the double) passes
to run.sh.
"""
import os
import shutil
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "checker", "recorder"))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import present_log  # noqa: E402
import runs  # noqa: E402


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def contains(outer, inner):
    return (outer[0] <= inner[0] and outer[1] <= inner[1] and
            inner[0] + inner[2] <= outer[0] + outer[2] and inner[1] + inner[3] <= outer[1] + outer[3])


def faults(presents, truth, logged):
    """What in the record goes against the truth, one line each."""
    out = []
    if [p.index for p in presents] != list(range(1, len(presents) + 1)):
        out.append("the indices do not run 1, 2, 3...")
    kind, _, n = truth.partition("=")
    n = int(n or 0)
    for p in presents:
        before = presents[p.index - 2].boxes if p.index > 1 else ()
        one = p.box_count == 1 and p.boxes[0][2:] == (20, 20)
        if not p.flags & present_log.READ:
            ok = False
        elif kind == "stale" and p.index % n == 0 and p.index > 3:
            ok = p.boxes == presents[p.index - 4].boxes
        elif kind == "skipclear" and p.index % n == 0:
            # The new box may land on the old one: one region around both.
            ok = (p.box_count == 2 and set(before) < set(p.boxes) or p.boxes == before or
                  p.box_count == 1 and len(before) == 1 and contains(p.boxes[0], before[0]))
        else:
            # onebox presents its last frame again when its window is repainted
            ok = one and (p.boxes != before or kind != "stale")
        if not ok:
            out.append(f"present {p.index}: {p.box_count} boxes {p.boxes}, flags {p.flags}")
    if logged is not None and logged != len(presents):
        out.append(f"{len(presents)} records for {logged} presents the program logged")
    return out


def main():
    args = sys.argv[1:]
    given = {}
    for option in ("--chain", "--build", "--out"):
        if option in args:
            at = args.index(option)
            given[option] = args[at + 1]
            del args[at:at + 2]
    chain = given.get("--chain")
    renderer, exe, recorder, truth = args[:4]
    program_args = args[4] if len(args) > 4 else ""
    folder = given["--out"]
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    shutil.copy(exe, folder)
    shutil.copy(recorder, folder)
    if chain:
        with open(os.path.join(folder, "recorder.txt"), "w") as config:
            config.write(f"d3d9={windows_path(chain)}\n")
    log = os.path.join(folder, "presenter-log.txt")
    if truth.startswith("stale"):
        program_args += f" log={windows_path(log)}"
    overrides = os.environ.get("WINEDLLOVERRIDES")
    env = {"WINEDLLOVERRIDES": (overrides + ";" if overrides else "") + "d3d9=n,b"}
    rc = runs.run(os.path.join(folder, "check"), env=env, renderer=renderer,
                  build=given["--build"], program=os.path.join(folder, os.path.basename(exe)),
                  args=program_args, check_args="--frames 100")
    if rc != 0:
        sys.exit(f"recorder case: run.sh ended with {rc}")
    try:
        presents = present_log.read(os.path.join(folder, "presents.log"))
    except (OSError, ValueError) as error:
        sys.exit(f"recorder case: {error}")
    logged = sum(1 for _ in open(log)) if os.path.exists(log) else None
    found = faults(presents, truth, logged)
    print(f"recorder case: {len(presents)} presents recorded, {len(found)} against {truth}")
    for line in found[:10]:
        print("  " + line)
    sys.exit(1 if found or not presents else 0)


if __name__ == "__main__":
    main()
