#!/usr/bin/env python3
"""The layer report on a d3d9.dll that wraps Wine's own, as tracing and post-processing layers
do: tests/support/d3d9_forward, which hands every call to the system's d3d9.dll. Loaded native
then builtin (d3d9=n,b), as tools/report.sh loads every --d3d9 DLL, its column must show the
real layer's frames. Loaded with d3d9=n alone, its load of the system's DLL fails and no frame
is presented: tools/run.sh must call that a failure, and the report must call such a column
unexpected though the expectations file has no line for it.

    wrapper_test.py D3D9_DLL BUILD_TREE OUT_DIR
"""
import json
import os
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import expected  # noqa: E402
import results  # noqa: E402
import runs  # noqa: E402


def main(dll, build, out):
    faults = []
    report = subprocess.run([os.path.join(ROOT, "tools", "report.sh"), "--d3d9", dll, "--only",
                             "d3d9:", "--desktop", "wine", "--out", os.path.join(out, "report")])
    with open(os.path.join(out, "report", "report.json"), encoding="utf-8") as f:
        columns = [c for c in json.load(f)["columns"] if c["ran"]]
    if len(columns) != 1:
        faults.append(f"{len(columns)} columns ran, not the wrapper's one")
    for c in columns:
        frames = c.get("frames") or {}
        if c["onebox"] != "ok" or frames.get("judged", 0) < 300:
            faults.append(f"{c['config']} (d3d9=n,b): {c['onebox']}, {c.get('failure')}; "
                          f"frames {frames}")
        else:
            print(f"wrapper_test: {c['config']} with d3d9=n,b: {frames['judged']} frames judged, "
                  f"{frames['bad']} bad; on screen {c['verdict']}")

    # The same DLL with d3d9=n alone: the program runs, but presents nothing.
    folder = os.path.join(out, "native-only")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    shutil.copy2(os.path.join(build, "app", "onebox.exe"), folder)
    shutil.copy2(dll, folder)
    check = os.path.join(out, "native-only-check")
    code = runs.run(check, env={"WINEDLLOVERRIDES": "d3d9=n"}, output=subprocess.DEVNULL,
                    build=build, program=os.path.join(folder, "onebox.exe"),
                    check_args="--frames 50 --wait 4")
    result, _, _ = results.read_result(check)
    status, sentence = expected.judge(None, result)
    if code == 0 or status != "unexpected":
        faults.append(f"d3d9=n: run.sh exit code {code}, judged {status} ({sentence})")
    else:
        print(f"wrapper_test: the same with d3d9=n: run.sh exit code {code}, "
              f"{status}: {sentence}")
    for fault in faults:
        print("wrapper_test: " + fault)
    return 1 if faults else 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__.split("\n\n")[1])
    sys.exit(main(*sys.argv[1:]))
