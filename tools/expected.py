#!/usr/bin/env python3
"""Expected results of a screen layer, one plain text file per platform, and the judge of a run.

    expected.py verdict CONFIG [--file FILE]
        Prints the verdict FILE expects of CONFIG (default: the file of the installed Wine), with
        "presented VERDICT" after it where one is expected; exit 1 when FILE has no line for it.
    expected.py judge CONFIG DIR [--file FILE]
        Judges the check.json and run.json of a run already made, in the check folder DIR,
        against the file of the Wine that ran (or FILE); exit codes as for run.
    expected.py run CONFIG [--file FILE] -- COMMAND [ARGS...]
        Runs COMMAND (tools/run.sh headless, as a test does), then judges the check.json and
        run.json it wrote into ONEBOX_CHECK_DIR against the file of the Wine that ran (or FILE).
        Exit 0 when the result is expected, also as a known flake; 1 when it is unexpected or the
        run gave no result, with a line naming the configuration and its picture.

A configuration is "PROGRAM TARGET LAYER [DESKTOP]": PROGRAM onebox or presenter:ARGS, TARGET
i686 or x86_64, LAYER gl or vulkan (Wine's renderers) or d3d9:NAME (a d3d9.dll loaded as a native
override, NAME the name of its folder), DESKTOP where Wine's windows live: wine (its virtual
desktop, the default), x (managed on the X server) or x+MANAGER (with that compositing manager). The file's format is written at the top of
tests/expected/wine-8.0.txt. This module owns the rule of what counts as expected; the report
(tools/report.py) imports it.
"""
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import results  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
VERDICTS = results.VERDICT_WORDS
# "flake killed N/M": the program killed by Wine's server as it exits (exit code 137), its frames
# judged as the line expects. Wine's server sends SIGKILL to a process whose Unix side is still
# there a second after its last thread ended; on a busy host the Unix side's teardown (Mesa's,
# under the OpenGL renderer) now and then takes that long.
KILLED = "killed"
DESKTOP = re.compile(r"wine|x|x\+[a-z]+")
DEFAULT_DESKTOP = "wine"


def split_config(config):
    """(program, target, layer, desktop) of a configuration, or None when it is not one."""
    words = config.split()
    if len(words) == 3:
        words.append(DEFAULT_DESKTOP)
    if len(words) != 4 or not DESKTOP.fullmatch(words[3]):
        return None
    return tuple(words)
WINE64 = "/usr/lib/wine/wine64"


class Entry:
    """What one line of an expectations file says of one configuration."""

    def __init__(self, program, target, layer, desktop, verdict, presented, flakes, line_number,
                 window=None):
        self.program, self.target, self.layer, self.desktop = program, target, layer, desktop
        self.verdict, self.presented, self.window = verdict, presented, window
        self.flakes = flakes  # [(verdict, seen, runs, note)]
        self.line_number = line_number

    def matches(self, config):
        program, target, layer, desktop = split_config(config)
        return ((program, layer, desktop) == (self.program, self.layer, self.desktop)
                and self.target in ("*", target))

    def text(self):
        return (self.verdict + (" presented " + self.presented if self.presented else "")
                + (" window " + self.window if self.window else ""))


class ExpectedFileError(Exception):
    pass


def parse(text, name="expectations"):
    """The entries of an expectations file; a line it cannot read is an error, never skipped."""
    entries = []
    for number, raw in enumerate(text.splitlines(), 1):
        line, _, note = raw.partition("#")
        words = line.split()
        if not words:
            continue
        where = f"{name}:{number}"
        if len(words) < 4:
            raise ExpectedFileError(f"{where}: want PROGRAM TARGET LAYER VERDICT, got {raw!r}")
        desktop = DEFAULT_DESKTOP
        if len(words) >= 5 and DESKTOP.fullmatch(words[3]):
            desktop = words.pop(3)
        program, target, layer, verdict, rest = *words[:4], words[4:]
        if target not in ("i686", "x86_64", "*"):
            raise ExpectedFileError(f"{where}: target {target!r} is not i686, x86_64 or *")
        if not re.fullmatch(r"gl|vulkan|d3d9:\S+", layer):
            raise ExpectedFileError(f"{where}: layer {layer!r} is not gl, vulkan or d3d9:NAME")
        presented, window, flakes = None, None, []
        while rest:
            if rest[0] == "presented" and len(rest) >= 2:
                presented, rest = rest[1], rest[2:]
            elif rest[0] == "window" and len(rest) >= 2:
                window, rest = rest[1], rest[2:]
            elif rest[0] == "flake" and len(rest) >= 3 and re.fullmatch(r"\d+/\d+", rest[2]):
                seen, runs = (int(n) for n in rest[2].split("/"))
                flakes.append((rest[1], seen, runs, note.strip()))
                rest = rest[3:]
            else:
                raise ExpectedFileError(f"{where}: cannot read {' '.join(rest)!r}")
        for v in [verdict, presented, window] + [f[0] for f in flakes if f[0] != KILLED]:
            if v is not None and v not in VERDICTS:
                raise ExpectedFileError(f"{where}: {v!r} is not one of {', '.join(VERDICTS)}")
        entries.append(Entry(program, target, layer, desktop, verdict, presented, flakes, number,
                             window))
    return entries


def platform_of(wine_version):
    """'wine-8.0 (Debian 8.0~repack-4)' -> 'wine-8.0', the name of the platform's file."""
    return (wine_version or "").split(" ")[0]


def installed_wine_version():
    try:
        out = subprocess.run([WINE64, "--version"], capture_output=True, text=True, timeout=30)
        return out.stdout.strip()
    except OSError:
        return ""


def file_for(wine_version):
    return os.path.join(ROOT, "tests", "expected", platform_of(wine_version) + ".txt")


def shown(path):
    """A path as a person reads it: from the repository's root when it is inside it."""
    relative = os.path.relpath(path, ROOT)
    return path if relative.startswith("..") else relative


def load(path):
    with open(path, encoding="utf-8") as f:
        return parse(f.read(), shown(path))


def lookup(entries, config):
    found = [e for e in entries if e.matches(config)]
    return found[-1] if found else None  # a later line overrides a "*" line above it


def judge(entry, result):
    """Judges one run's result against its entry.

    result: what results.read_result says of the run.
    Returns (status, sentence); status is expected, flake, unexpected, none (no entry) or
    not-run.
    """
    if not result["ran"]:
        return "not-run", "not run"
    # A program that failed (no window, no frame presented, no clean end) is never an expected
    # result of a layer, whether the file knows the configuration or not.
    if result["onebox"] != "ok" and entry is None:
        why = result.get("failure") or "the run gave no result"
        return "unexpected", f"onebox failed ({why})"
    if entry is None:
        return "none", "the platform's file has no line for this configuration"
    want = entry.text()
    presented_ok = ((entry.presented is None or entry.presented == result["presented"])
                    and (entry.window is None or entry.window == result.get("window")))
    if result["onebox"] != "ok":
        why = result.get("failure") or "the run gave no result"
        for verdict, seen, runs, note in entry.flakes:
            if verdict == KILLED and result.get("killed_at_exit") and \
                    result["verdict"] == entry.verdict and presented_ok:
                measured = f"{seen} of {runs} runs" + (f", {note}" if note else "")
                return "flake", (f"killed by Wine's server as it exited (exit code 137), seen in "
                                 f"{measured}; its frames as expected: {want}")
        return "unexpected", f"onebox failed ({why}); expected {want}"
    got = (result["verdict"] + (" presented " + result["presented"] if result["presented"] else "")
           + (" window " + result["window"] if result.get("window") else ""))
    if result["verdict"] == entry.verdict and presented_ok:
        return "expected", want
    for verdict, seen, runs, note in entry.flakes:
        if result["verdict"] == verdict and presented_ok:
            measured = f"{seen} of {runs} runs" + (f", {note}" if note else "")
            return "flake", f"{verdict}, seen in {measured}; expected {want}"
    return "unexpected", f"got {got}, expected {want}"


def main(argv):
    args = list(argv)
    command = []
    if "--" in args:
        command = args[args.index("--") + 1:]
        args = args[:args.index("--")]
    path = None
    if "--file" in args:
        i = args.index("--file")
        path = args[i + 1]
        del args[i:i + 2]
    folder = args.pop() if len(args) == 3 and args[0] == "judge" else None
    if len(args) != 2 or args[0] not in ("verdict", "run", "judge") or \
            (args[0] == "run") != bool(command):
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    action, config = args
    if split_config(config) is None:
        print(f"expected: a configuration is PROGRAM TARGET LAYER [DESKTOP], not {config!r}",
              file=sys.stderr)
        return 2

    if action == "verdict":
        path = path or file_for(installed_wine_version())
        entry = lookup(load(path), config)
        if entry is None:
            print(f"expected: {shown(path)} has no line for {config}",
                  file=sys.stderr)
            return 1
        print(entry.text())
        return 0

    if action == "judge":
        return judge_folder(config, folder, path, None)
    check_dir = os.environ.get("ONEBOX_CHECK_DIR")
    if not check_dir:
        print("expected: set ONEBOX_CHECK_DIR to the check folder the command writes into",
              file=sys.stderr)
        return 2
    for name in ("run.json", "check.json"):
        if os.path.exists(os.path.join(check_dir, name)):
            os.remove(os.path.join(check_dir, name))  # never judge an earlier run's result
    rc = subprocess.call(command)
    return judge_folder(config, check_dir, path, rc)


def judge_folder(config, check_dir, path, rc):
    """Prints the judgement of the run in check_dir; 0 when expected (or a known flake)."""
    result, _, _ = results.read_result(check_dir)
    path = path or file_for(result["wine_version"] or installed_wine_version())
    try:
        entry = lookup(load(path), config)
    except OSError:
        print(f"expected: UNEXPECTED {config}: no expectations file {shown(path)}"
              " for this Wine; copy the nearest one and set what this Wine shows")
        return 1
    status, sentence = judge(entry, result)
    picture = f"; its picture: {result['picture']}" if result["picture"] else ""
    if status in ("expected", "flake"):
        print(f"expected: {config}: {sentence}")
        return 0
    code = "" if rc is None else f" [command exit code {rc}]"
    print(f"expected: UNEXPECTED {config}: {sentence} ({shown(path)}){picture}"
          f"{code}")
    return 1


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except ExpectedFileError as e:
        print(f"expected: {e}", file=sys.stderr)
        sys.exit(2)
    except OSError as e:
        print(f"expected: cannot read {shown(e.filename or '')}: {e.strerror}", file=sys.stderr)
        sys.exit(2)
