#!/usr/bin/env python3
"""The layer report end to end on a layer that is faulty on purpose: the d3d9.dll double, whose
Clear does nothing on every 4th frame, so that frame shows two boxes. tools/report.sh run with
--d3d9 on it must give that column the verdict BUG, with the first bad frame's picture and the
animation of the grabs around it beside the page, and the accounting of its presents (the
recorder wraps the double) must name one present in 4 as frame K drawn over frame K-1.

    double_test.py D3D9_DLL OUT_DIR
"""
import json
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def main(dll, out):
    env = dict(os.environ, ONEBOX_D3D9_DOUBLE="skipclear=4")
    run = subprocess.run([os.path.join(ROOT, "tools", "report.sh"), "--d3d9", dll, "--only",
                          "d3d9:", "--desktop", "wine", "--out", out], env=env)
    with open(os.path.join(out, "report.json"), encoding="utf-8") as f:
        columns = [c for c in json.load(f)["columns"] if c["ran"]]
    faults = []
    if len(columns) != 1:
        faults.append(f"{len(columns)} columns ran, not the double's one")
    for c in columns:
        pictures = c.get("pictures") or {}
        if c.get("verdict") != "bug":
            faults.append(f"{c['config']}: verdict {c.get('verdict')} ({c.get('failure')}), "
                          "not bug")
        # Recorded, onebox itself has a known truth too: every 4th present is frame K drawn
        # over frame K-1.
        accounting = c.get("accounting") or {}
        if not accounting or abs(accounting["drawn_over"] - accounting["presented"] / 4) > 3 or \
                not any("was drawn over frame" in n["text"] for n in accounting["named"]):
            faults.append(f"{c['config']}: the accounting does not name one present in 4 drawn "
                          f"over its predecessor: {accounting.get('line')}")
        for key in ("first_bad", "animation", "last", "positions"):
            if not os.path.isfile(os.path.join(out, pictures.get(key) or "-")):
                faults.append(f"{c['config']}: no {key} picture beside the page")
        if not faults:
            bad = c["first_bad"] or {}
            print(f"double_test: {c['config']} with skipclear=4: BUG, first bad frame "
                  f"{bad.get('index')}: {bad.get('description')}; {c['frames']['bad']} of "
                  f"{c['frames']['judged']} frames bad; pictures {pictures['first_bad']} "
                  f"{pictures['animation']} (report exit code {run.returncode})")
    for fault in faults:
        print("double_test: " + fault)
    return 1 if faults else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__.split("\n\n")[1])
    sys.exit(main(*sys.argv[1:]))
