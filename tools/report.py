#!/usr/bin/env python3
"""The layer report: runs onebox on each screen layer given, and writes one page comparing them.

    report.py [--out DIR] [--runs DIR] [--expected FILE] [--only REGEX] [--desktop NAME]...
              [--presenter ARGS]...
              [--target ARCH=BUILD_DIR]... [--cannot-run ARCH=WHY]... [--d3d9 PATH]...
    report.py --check-d3d9 [--runs-target ARCH]... [--d3d9 PATH]...
    report.py --results DIR [--out DIR] [--expected FILE]

tools/report.sh builds what is needed and calls the first form; read its header for what runs.
Each configuration runs once through tools/run.sh headless, one at a time (Wine runs in one
prefix serialise), into its own check folder under --runs (default: --out's name + -runs), where
column.json records what ran beside run.json and check.json. The second form only writes the
page again from such a folder. The third only checks that each --d3d9 PATH is a Windows DLL of a
target that runs here (exit 2 and one line naming it and why otherwise), before anything is built. The page goes to --out (default build/report): index.html,
report.json and report.md (the same table as text), each column's pictures in a folder of its
own beside them, with relative links and no scripts, so the folder can be attached to a bug
report. Each result is marked expected or unexpected against tests/expected/<wine>.txt
(tools/expected.py); the exit status is 1 when any is unexpected, 0 otherwise.
"""
import argparse
import html
import json
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import expected  # noqa: E402
import results as result_files  # noqa: E402
import runs  # noqa: E402

ROOT = expected.ROOT
RUN_TIMEOUT_S = 300
VERDICT_TEXT = result_files.VERDICT_TEXT
STATUS_TEXT = {"expected": "expected", "flake": "expected (known flake)",
               "unexpected": "UNEXPECTED", "none": "no expectation", "not-run": "not run"}
RENDERER_TEXT = {"gl": "Wine's Direct3D 9 on OpenGL", "vulkan": "Wine's Direct3D 9 on Vulkan"}
DESKTOPS = ("wine", "x", "x+xcompmgr", "x+picom")
DESKTOP_TEXT = {"wine": "Wine's virtual desktop", "x": "Wine's windows on the X server",
                "x+xcompmgr": "Wine's windows on the X server, composited by xcompmgr",
                "x+picom": "Wine's windows on the X server, composited by picom (xrender)"}
PE_MACHINES = {0x14C: "i686", 0x8664: "x86_64"}


def slug(config):
    return re.sub(r"[^A-Za-z0-9]+", "-", config).strip("-")


def pe_machine(path):
    """The target of a Windows DLL, from its PE header, or None when it is not one."""
    try:
        with open(path, "rb") as f:
            head = f.read(4096)
    except OSError:
        return None
    if head[:2] != b"MZ" or len(head) < 64:
        return None
    at = int.from_bytes(head[60:64], "little")
    if head[at:at + 4] != b"PE\0\0":
        return None
    return PE_MACHINES.get(int.from_bytes(head[at + 4:at + 6], "little"))


def d3d9_refusal(path, runnable):
    """Why a --d3d9 path cannot be a column here, or None when it can."""
    if not os.path.exists(path):
        return f"{path}: no such file"
    machine = pe_machine(path)
    if machine is None:
        return f"{path}: not a Windows DLL of i686 or x86_64"
    if machine not in runnable:
        return f"{path}: an {machine} DLL, and this host runs no {machine} target"
    return None


def config_name(program, arch, layer, desktop):
    return f"{program} {arch} {layer}" + ("" if desktop == "wine" else f" {desktop}")


def plan(targets, cannot_run, d3d9s, desktops=DESKTOPS, presenters=()):
    """The configurations, in the page's order: per target and desktop Wine's two renderers and
    each d3d9.dll of its width, then the control on the first target that runs on each desktop,
    then the presenter in each mode asked for (a layer of known truth beside the control), then
    the targets that cannot run."""
    columns = []
    for arch, build in targets:
        onebox = os.path.join(build, "app", "onebox.exe")
        for desktop in desktops:
            for renderer in ("gl", "vulkan"):
                columns.append(dict(config=config_name("onebox", arch, renderer, desktop),
                                    program="onebox", target=arch, layer=renderer,
                                    renderer=renderer, desktop=desktop, exe=onebox, args="",
                                    env={}, build=build, record=True))
        names = set()
        for dll in d3d9s:
            machine = pe_machine(dll)
            if machine != arch:
                continue
            name = os.path.basename(os.path.dirname(os.path.abspath(dll))) or "d3d9"
            while name in names:
                name += "-2"
            names.add(name)
            # run.sh puts it beside a copy of the program, loaded native then builtin, with the
            # recorder around it.
            env = {}
            if os.environ.get("ONEBOX_D3D9_DOUBLE"):
                env["ONEBOX_D3D9_DOUBLE"] = os.environ["ONEBOX_D3D9_DOUBLE"]
            for desktop in desktops:
                columns.append(dict(config=config_name("onebox", arch, f"d3d9:{name}", desktop),
                                    program="onebox", target=arch, layer=f"d3d9:{name}",
                                    renderer="vulkan", desktop=desktop,
                                    d3d9=os.path.relpath(os.path.abspath(dll), ROOT),
                                    exe=onebox, args="", env=env, build=build, record=True))
    if targets:
        arch, build = targets[0]
        presenter = os.path.join(build, "checker", "presenter.exe")
        # The control on every desktop: a layer known right, which shows that the checker reads
        # each desktop's screen right; then the modes asked for, whose truth is known too.
        for args in ("toplevel",) + tuple(presenters):
            program = "presenter:" + "+".join(args.split())
            for desktop in desktops:
                for renderer in ("gl", "vulkan"):
                    columns.append(dict(config=config_name(program, arch, renderer, desktop),
                                        program=program, target=arch, layer=renderer,
                                        renderer=renderer, desktop=desktop, exe=presenter,
                                        args=args, env={}, build=build,
                                        control=args == "toplevel", record=True))
    for arch, why in cannot_run:
        columns.append(dict(config=f"onebox {arch} *", program="onebox", target=arch, layer="*",
                            why_not_run=why))
    return columns


def run_one(column, folder):
    """Runs one configuration through tools/run.sh headless into folder; returns its seconds."""
    start = time.monotonic()
    with open(os.path.join(folder, "run.log"), "w", encoding="utf-8") as log:
        column["exit_code"] = runs.run(
            folder, env=column["env"], output=log, timeout=RUN_TIMEOUT_S,
            renderer=column["renderer"], arch=column["target"], desktop=column["desktop"],
            program=column["exe"], args=column["args"], build=column["build"],
            record=bool(column.get("record")),
            d3d9=os.path.join(ROOT, column["d3d9"]) if column.get("d3d9") else None)
        if column["exit_code"] is None:
            log.write(f"\nreport: ended after {RUN_TIMEOUT_S} s\n")
    return time.monotonic() - start


def run_all(columns, runs):
    shutil.rmtree(runs, ignore_errors=True)
    os.makedirs(runs)
    start = time.monotonic()
    for number, column in enumerate(columns, 1):
        column["order"] = number
        folder = os.path.join(runs, slug(column["config"]))
        os.makedirs(folder)
        head = f"report: [{number}/{len(columns)}] {column['config']}"
        if "why_not_run" in column:
            outcome = " not run: " + column["why_not_run"]
        else:
            print(f"{head} ...", end=" ", flush=True)
            head = ""
            column["seconds"] = round(run_one(column, folder), 1)
            result, _, check = result_files.read_result(folder)
            outcome = (result_text(result) + counts_text(check)
                       + f" ({column['seconds']:.0f} s)")
        left = len(columns) - number
        print(f"{head}{outcome}; {time.monotonic() - start:.0f} s elapsed, {left} left", flush=True)
        with open(os.path.join(folder, "column.json"), "w", encoding="utf-8") as f:
            json.dump(column, f, indent=1)


def result_text(result):
    if result["onebox"] != "ok":
        return "onebox FAILED: " + (result["failure"] or "no result")
    text = "on screen " + VERDICT_TEXT.get(result["verdict"], str(result["verdict"]))
    if result["presented"]:
        text += ", presented " + VERDICT_TEXT.get(result["presented"], result["presented"])
    if result["window"]:
        text += ", in the window " + VERDICT_TEXT.get(result["window"], result["window"])
    return text


def counts_text(check):
    """"; 12 of 300 bad, 3 discarded; in the window 13 of 300 bad; 0.98 of 312 presents judged":
    the figures behind the verdicts, where the run gave them."""
    if not check:
        return ""
    frames = check.get("frames") or {}
    text = (f"; {frames.get('bad', 0)} of {frames.get('judged', 0)} bad, "
            f"{frames.get('discarded', 0)} discarded")
    window = (check.get("window") or {}).get("frames")
    if window:
        text += f"; in the window {window.get('bad', 0)} of {window.get('judged', 0)} bad"
    presented = (check.get("accounting") or {}).get("presented")
    if presented:
        text += f"; {frames.get('judged', 0) / presented:.2f} of {presented} presents judged"
    return text


def find_picture(path, check_dir):
    """A picture path as the checker wrote it: absolute, from the repository's root (where run.sh
    runs), or from the check folder."""
    if not path:
        return None
    for candidate in (path, os.path.join(ROOT, path), os.path.join(check_dir, path)):
        if os.path.isfile(candidate):
            return candidate
    return None


def collect(results, out, entries):
    """Reads each run folder under results, copies its pictures into out, judges it."""
    columns = []
    for name in os.listdir(results):
        path = os.path.join(results, name, "column.json")
        if os.path.isfile(path):
            with open(path, encoding="utf-8") as f:
                columns.append((json.load(f), os.path.join(results, name)))
    columns.sort(key=lambda c: c[0].get("order", 0))
    made = []
    for column, check_dir in columns:
        col = {k: column.get(k) for k in ("config", "program", "target", "layer", "renderer",
                                          "desktop", "d3d9", "args", "env", "seconds",
                                          "why_not_run")}
        col["control"] = bool(column.get("control"))
        col["folder"] = slug(column["config"])
        if column.get("why_not_run"):
            col.update(ran=False, status="not-run", judgement=column["why_not_run"])
            made.append(col)
            continue
        result, run, check = result_files.read_result(check_dir)
        col.update(ran=True, verdict=result["verdict"], presented_verdict=result["presented"],
                   window_verdict=result["window"], onebox=result["onebox"] or "failed",
                   failure=result["failure"])
        run = run or {}
        col.update({k: run.get(k) for k in ("exit_code", "close_ms", "wine_version", "arch")})
        check = check or {}
        col.update({k: check.get(k) for k in ("mode", "line", "frames", "distinct_positions",
                                              "changes_per_second", "longest_still_ms",
                                              "first_bad")})
        presented = check.get("presented") or {}
        col["presented_frames"] = presented.get("frames")
        window = check.get("window") or {}
        col["window_frames"] = window.get("frames")
        col["compositor"] = check.get("compositor")
        dest = os.path.join(out, col["folder"])
        os.makedirs(dest, exist_ok=True)
        pictures = {}

        def copy(key, source, name):
            found = find_picture(source, check_dir)
            if found:
                shutil.copyfile(found, os.path.join(dest, name))
                pictures[key] = f"{col['folder']}/{name}"

        shown = check.get("pictures") or {}
        copy("first_bad", shown.get("first_bad"), "first-bad-frame.png")
        copy("last", shown.get("last"), "last-frame.png")
        copy("positions", shown.get("positions"), "positions.png")
        copy("presented_last", presented.get("last_picture"), "presented-last-frame.png")
        copy("timeline", check.get("timeline"), "timeline.svg")
        col["accounting"] = check.get("accounting")
        around = [p for p in (find_picture(p, check_dir) for p in
                              shown.get("around_first_bad") or []) if p]
        if around:
            # A fifth of a second a grab, so a reader sees each of them, looping.
            gif = os.path.join(dest, "around-first-bad.gif")
            made_gif = subprocess.run(["convert", "-delay", "20", "-loop", "0", *around, gif],
                                      capture_output=True)
            if made_gif.returncode == 0 and os.path.isfile(gif):
                pictures["animation"] = f"{col['folder']}/around-first-bad.gif"
        col["pictures"] = pictures
        if os.path.isfile(os.path.join(check_dir, "run.log")):
            shutil.copyfile(os.path.join(check_dir, "run.log"), os.path.join(dest, "run.log"))
        if os.path.isfile(os.path.join(dest, "run.log")):
            col["log"] = f"{col['folder']}/run.log"
        col["status"], col["judgement"] = expected.judge(expected.lookup(entries, col["config"]),
                                                         result)
        made.append(col)
    return made


def verdict_text(verdict):
    return VERDICT_TEXT.get(verdict, verdict or "—")


def frames_text(frames, mode=None):
    if not frames:
        return "—"
    text = (f"{frames.get('judged', 0)} judged, {frames.get('bad', 0)} bad, "
            f"{frames.get('discarded', 0)} discarded")
    extra = [f"{n} {k}" for k, n in frames.items()
             if k not in ("judged", "good", "bad", "discarded") and n]
    return text + (" (" + ", ".join(extra) + ")" if extra else "") + (f"; {mode}" if mode else "")


def rows():
    """The table's rows: label, and per column (text for report.md, HTML or None for the same
    text escaped, CSS class or None)."""

    def picture(key, caption, width=200):
        def cell(c):
            path = (c.get("pictures") or {}).get(key)
            if not path:
                return "—", None, None
            return (path, f'<a href="{html.escape(path)}"><img src="{html.escape(path)}" '
                    f'alt="{html.escape(caption)}" width="{width}"></a>', None)
        return cell

    def named(c):
        texts = [n["text"] for n in ((c.get("accounting") or {}).get("named") or [])]
        return "; ".join(texts[:3]) + (f"; and {len(texts) - 3} more" if len(texts) > 3 else "") \
            if texts else "none"

    def plain(f):
        return lambda c: (f(c), None, None) if c["ran"] else ("—", None, None)

    def status(c):
        return STATUS_TEXT[c["status"]] + ": " + c["judgement"], None, "status " + c["status"]

    def screen(c):
        if not c["ran"]:
            return "not run", None, "verdict not-run"
        if c["onebox"] != "ok" and not c["verdict"]:
            return "no result", None, "verdict no-result"
        return verdict_text(c["verdict"]), None, "verdict " + (c["verdict"] or "")

    def second(key):
        def cell(c):
            if not c["ran"] or not c.get(key):
                return "—", None, "presented"
            return verdict_text(c[key]), None, "presented " + c[key]
        return cell

    def first_bad(c):
        bad = c.get("first_bad")
        return (f"frame {bad['index']}: {bad['description']}" if bad else "none")

    def onebox(c):
        code = "—" if c.get("exit_code") is None else str(c["exit_code"])
        close = "—" if c.get("close_ms") is None else f"{c['close_ms']} ms after Alt+F4"
        state = "OK" if c["onebox"] == "ok" else "FAILED: " + (c.get("failure") or "no result")
        return f"{state}; exit code {code}; closed {close}"

    def layer(c):
        if c.get("d3d9"):
            return f"{c['d3d9']} (native, then builtin: d3d9=n,b)" + "".join(
                f"; {k}={v}" for k, v in sorted((c.get("env") or {}).items())
                if k != "WINEDLLOVERRIDES")
        return RENDERER_TEXT.get(c.get("layer"), c.get("layer") or "—")

    def desktop(c):
        text = DESKTOP_TEXT.get(c.get("desktop") or "wine", c.get("desktop"))
        # A compositing manager the run found that its desktop did not start.
        found = c.get("compositor")
        return text + (f" (composed by {found})" if found and found not in text else "")

    def program(c):
        text = c["program"] + (" (control: frames into its top-level window)"
                               if c.get("control") else "")
        return text, None, None

    return [
        ("Result", status),
        ("Verdict on screen", screen),
        ("Verdict on the window's own pixels", second("window_verdict")),
        ("Verdict on the presented drawable", second("presented_verdict")),
        ("Frames on screen", plain(lambda c: frames_text(c.get("frames"), c.get("mode")))),
        ("Frames in the window", plain(lambda c: frames_text(c.get("window_frames")))),
        ("Frames presented", plain(lambda c: frames_text(c.get("presented_frames")))),
        ("Every present accounted for", plain(lambda c: (c.get("accounting") or {}).get("line")
                                              or "—")),
        ("Pictures named by their frames", plain(named)),
        ("Timeline", picture("timeline", "presents along time, each picture tied to its present; "
                             "dropped and bad ones in red", width=400)),
        ("Distinct positions", plain(lambda c: str(c.get("distinct_positions", "—")))),
        ("Picture changes", plain(lambda c: "—" if c.get("changes_per_second") is None else
                                  f"{c['changes_per_second']:.1f} a second")),
        ("Longest still", plain(lambda c: "—" if c.get("longest_still_ms") is None else
                                f"{c['longest_still_ms']} ms")),
        ("First bad frame", plain(first_bad)),
        ("First bad frame's picture", picture("first_bad", "first bad frame")),
        ("Grabs around the first bad frame", picture("animation", "grabs around the first bad")),
        ("Last frame", picture("last", "last frame")),
        ("Positions", picture("positions", "where the boxes landed")),
        ("Last presented frame", picture("presented_last", "last presented frame")),
        ("onebox", plain(onebox)),
        ("Program", program),
        ("Layer", lambda c: (layer(c), None, None)),
        ("Desktop", lambda c: (desktop(c), None, None)),
        ("Target", lambda c: (c["target"], None, None)),
        ("Wine", plain(lambda c: c.get("wine_version") or "—")),
        ("Checker's line", plain(lambda c: c.get("line") or "—")),
        ("Run", plain(lambda c: (f"{c['seconds']:.0f} s" if c.get("seconds") is not None
                                 else "—") + (f"; log {c['log']}" if c.get("log") else ""))),
    ]


# A verdict cell is red for a fault of the layer, or a run with no result, green for no bug.
STYLE = """
body { font-family: sans-serif; margin: 1em; }
table { border-collapse: collapse; }
th, td { border: 1px solid #999; padding: 4px 6px; vertical-align: top; font-size: 13px; }
th { background: #eee; text-align: left; }
thead th { max-width: 220px; }
td.verdict, td.presented { font-weight: bold; font-size: 15px; }
""" + ", ".join(f"td.{word}" for word in result_files.FAULTS + ("no-result",)) + """ { color: #b00; }
td.no-bug { color: #070; }
td.status.expected, td.status.flake { background: #dfd; }
td.status.flake { background: #ffc; }
td.status.unexpected { background: #fcc; font-weight: bold; }
td.status.none, td.status.not-run { background: #eee; }
"""


def write_page(out, report):
    columns = report["columns"]
    table = [(label, [f(c) for c in columns]) for label, f in rows()]
    head = "".join(f'<th data-config="{html.escape(c["config"])}">{html.escape(c["config"])}</th>'
                   for c in columns)
    body = []
    for label, cells in table:
        tds = []
        for c, (text, markup, css) in zip(columns, cells):
            attrs = f' class="{css}"' if css else ""
            attrs += f' data-config="{html.escape(c["config"])}"'
            tds.append(f"<td{attrs}>{markup if markup is not None else html.escape(text)}</td>")
        body.append(f"<tr><th>{html.escape(label)}</th>{''.join(tds)}</tr>")
    unexpected = report["unexpected"]
    summary = (f"{len(columns)} configurations, {len(unexpected)} unexpected"
               + (": " + ", ".join(unexpected) if unexpected else ""))
    page = f"""<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<title>onebox layer report</title>
<style>{STYLE}</style></head>
<body>
<h1>onebox layer report</h1>
<p>Does the Direct3D 9 screen layer show more than one box? Each column is one run of onebox
(or of the control presenter) on one layer, watched by the frame checker.</p>
<p>Platform: {html.escape(report["platform"] or "unknown")}; expectations:
{html.escape(report["expected_file"] or "none")}; {html.escape(summary)};
{report["seconds"]:.0f} s.</p>
<table>
<thead><tr><th>Configuration</th>{head}</tr></thead>
<tbody>
{chr(10).join(body)}
</tbody></table>
</body></html>
"""
    with open(os.path.join(out, "index.html"), "w", encoding="utf-8") as f:
        f.write(page)
    md = ["# onebox layer report", "",
          f"Platform: {report['platform'] or 'unknown'}; expectations: "
          f"{report['expected_file'] or 'none'}; {summary}; {report['seconds']:.0f} s.", "",
          "| | " + " | ".join(c["config"] for c in columns) + " |",
          "|---" * (len(columns) + 1) + "|"]
    for label, cells in table:
        md.append(f"| {label} | " + " | ".join(t.replace("|", "\\|") for t, _, _ in cells) + " |")
    with open(os.path.join(out, "report.md"), "w", encoding="utf-8") as f:
        f.write("\n".join(md) + "\n")
    result_files.write(os.path.join(out, "report.json"), report, result_files.REPORT, indent=1)


def make_report(results, out, expected_file, seconds):
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    platform = None
    for name in sorted(os.listdir(results)):
        try:
            with open(os.path.join(results, name, "run.json"), encoding="utf-8") as f:
                platform = json.load(f).get("wine_version") or platform
        except (OSError, ValueError):
            pass
    platform = platform or expected.installed_wine_version()
    expected_file = expected_file or expected.file_for(platform)
    try:
        entries = expected.load(expected_file)
    except expected.ExpectedFileError as e:
        print(f"report: {e}", file=sys.stderr)
        sys.exit(2)
    except OSError:
        print(f"report: no expectations for {platform}: {expected_file} does not exist",
              file=sys.stderr)
        entries, expected_file = [], None
    columns = collect(results, out, entries)
    report = {"report": 1, "platform": platform, "seconds": seconds,
              "expected_file": expected_file and os.path.relpath(expected_file, ROOT),
              "columns": columns,
              "unexpected": [c["config"] for c in columns if c["status"] == "unexpected"]}
    write_page(out, report)
    return report


def main(argv):
    parser = argparse.ArgumentParser(usage=__doc__.split("\n\n")[1])
    parser.add_argument("--out", default=os.path.join(ROOT, "build", "report"))
    parser.add_argument("--runs")
    parser.add_argument("--results")
    parser.add_argument("--expected")
    parser.add_argument("--only")
    parser.add_argument("--target", action="append", default=[])
    parser.add_argument("--cannot-run", action="append", default=[])
    parser.add_argument("--d3d9", action="append", default=[])
    parser.add_argument("--presenter", action="append", default=[])
    parser.add_argument("--desktop", action="append", choices=DESKTOPS)
    parser.add_argument("--check-d3d9", action="store_true")
    parser.add_argument("--runs-target", action="append", default=[])
    args = parser.parse_args(argv)
    if args.check_d3d9:
        refused = [why for why in (d3d9_refusal(p, args.runs_target) for p in args.d3d9) if why]
        for why in refused:
            print(f"report: --d3d9 {why}", file=sys.stderr)
        return 2 if refused else 0
    for name in ("out", "runs", "results", "expected"):
        if getattr(args, name):
            setattr(args, name, os.path.abspath(getattr(args, name)))
    args.d3d9 = [os.path.abspath(p) for p in args.d3d9]
    args.runs = args.runs or args.out + "-runs"
    os.chdir(ROOT)  # the build trees and tools/run.sh are named from the repository's root
    start = time.monotonic()
    if args.results:
        results = args.results
    else:
        targets = [tuple(t.split("=", 1)) for t in args.target]
        cannot_run = [tuple(t.split("=", 1)) for t in args.cannot_run]
        columns = plan(targets, cannot_run, args.d3d9, args.desktop or DESKTOPS, args.presenter)
        if args.only:
            columns = [c for c in columns if re.search(args.only, c["config"])]
        run_all(columns, args.runs)
        results = args.runs
    report = make_report(results, args.out, args.expected, round(time.monotonic() - start, 1))
    index = os.path.relpath(os.path.join(args.out, "index.html"), os.getcwd())
    print(f"report: {index} ({len(report['columns'])} configurations, "
          f"{len(report['unexpected'])} unexpected, {report['seconds']:.0f} s)")
    for c in report["columns"]:
        if c["status"] == "unexpected":
            pictures = c.get("pictures") or {}
            picture = pictures.get("first_bad") or pictures.get("last")
            where = (f"; its picture: {os.path.relpath(os.path.join(args.out, picture))}"
                     if picture else "")
            # The accounting's first picture in words: for a rare result (an older frame
            # shown once in a run), all that a log of the run keeps of what happened.
            named = (c.get("accounting") or {}).get("named") or []
            said = f"; picture {named[0]['picture']}: {named[0]['text']}" if named else ""
            print(f"report: UNEXPECTED {c['config']}: {c['judgement']} ({report['expected_file']})"
                  f"{where}{said}")
    return 1 if report["unexpected"] else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
