#!/usr/bin/env python3
"""The results of a run, defined once for the scripts: check.json, the frame checker's (written
by checker/results.cpp); run.json, how onebox behaved (written by tools/run.sh through this
module); report.json, the layer report's (tools/report.py). Their fields, the verdict words with
their display text, and the functions that read and write them.

    results.py field FILE KEY...
        Prints the value at KEY... of the JSON file (nested keys one after the other; a list's
        items by number); exit 1 when the file cannot be read or has no such field.
    results.py write-run FILE KEY=VALUE...
        Writes run.json with the fields given (the others null); exit 2 on a field it does not
        define.
    results.py layer-verdict CHECK_FILE
        Prints the verdict on the layer under test for a person: its display text, and after a
        fault, its first bad frame's picture. Prints nothing when the file holds no verdict.

The checker's words are checker/verdict.cpp's table; tests/checker/golden/ holds what the
checker writes, and tests/checker/results_agree_test.py holds this module's reader to it.
"""
import json
import os
import sys

# word, display text, the checker's exit code: in the order of checker/verdict.cpp's table.
VERDICTS = (
    ("no-bug", "no bug", 0),
    ("bug", "BUG", 1),
    ("tears", "tears", 1),
    ("nothing-shown", "nothing shown", 1),
    ("no-screen", "no screen", 3),
    ("out-of-order", "out of order", 1),
)
VERDICT_WORDS = tuple(word for word, _, _ in VERDICTS)
VERDICT_TEXT = {word: text for word, text, _ in VERDICTS}
# The verdicts that say the layer under test is at fault, or showed nothing to judge.
FAULTS = tuple(word for word, _, code in VERDICTS if code != 0)

# A field's kind: a Python type, a dict (a JSON object of those fields), a one-item list (a list
# of that kind), or a tuple of kinds it may be, None for JSON null.
PATH = (str, None)
NUMBER = (int, float)
FRAMES = {"judged": int, "good": int, "bad": int, "discarded": int, "blank": int,
          "flashes": int, "torn": int, "no_box": int}
FIRST_BAD = {"index": int, "description": str, "picture": PATH}
PICTURES = {"last": PATH, "positions": PATH, "first_bad": PATH, "around_first_bad": [str]}
PRESENTED = {"verdict": str, "frames": FRAMES, "distinct_positions": int,
             "first_bad": (FIRST_BAD, None), "last_picture": PATH}
WINDOW = {"verdict": str, "frames": FRAMES, "distinct_positions": int,
          "first_bad": (FIRST_BAD, None)}
LATENCY = {k: (NUMBER, None) for k in ("median", "p95", "max", "low_median", "low_p95",
                                        "low_max", "slack")}
ACCOUNTING = {"presented": int, "shown": int, "dropped": int, "repeated": int, "stale": int,
              "drawn_over": int, "out_of_order": int, "unmatched": int, "unread": int,
              "latency_ms": LATENCY, "line": str, "named": [dict]}
CHECK = {"checker": int, "mode": str, "verdict": str, "line": str, "cpu_seconds": NUMBER,
         "seconds": NUMBER, "started": NUMBER, "ended": NUMBER, "frames": FRAMES,
         "distinct_positions": int, "changes_per_second": NUMBER, "longest_still_ms": int,
         "first_bad": (FIRST_BAD, None), "pictures": PICTURES, "presented": (PRESENTED, None),
         "compositor": (str, None), "window": (WINDOW, None), "accounting": (ACCOUNTING, None),
         "timeline": PATH}
RUN = {"exe": str, "arch": str, "renderer": str, "desktop": (str, None), "onebox": str,
       "failure": (str, None), "exit_code": (int, None), "close_ms": (int, None),
       "closed_by": (str, None), "wine_version": (str, None), "check": (str, None)}
REPORT = {"report": int, "platform": (str, None), "seconds": NUMBER,
          "expected_file": (str, None), "columns": [dict], "unexpected": [str]}


class Fields(dict):
    """A JSON object whose keys also read as attributes."""

    def __getattr__(self, key):
        try:
            return self[key]
        except KeyError:
            raise AttributeError(key) from None


def mismatches(value, kind, where="results"):
    """Where VALUE differs from KIND: missing, unknown or mistyped fields, one line each."""
    if isinstance(kind, tuple):
        if any(not mismatches(value, k, where) if k is not None else value is None
               for k in kind):
            return []
        return [f"{where}: {json.dumps(value)[:60]} is none of its kinds"]
    if isinstance(kind, dict):
        if not isinstance(value, dict):
            return [f"{where}: not an object"]
        found = [f"{where}.{k}: missing" for k in kind if k not in value]
        found += [f"{where}.{k}: not a field of it" for k in value if k not in kind]
        for k in kind:
            if k in value:
                found += mismatches(value[k], kind[k], f"{where}.{k}")
        return found
    if isinstance(kind, list):
        if not isinstance(value, list):
            return [f"{where}: not a list"]
        return [m for i, v in enumerate(value) for m in mismatches(v, kind[0], f"{where}[{i}]")]
    # JSON's true and false are no numbers.
    if isinstance(value, bool) or not isinstance(value, kind):
        return [f"{where}: {json.dumps(value)[:60]} is not {kind.__name__}"]
    return []


def load(path):
    """The JSON object in PATH, its objects readable by attribute; None when it cannot be read."""
    try:
        with open(path, encoding="utf-8") as f:
            value = json.load(f, object_hook=Fields)
    except (OSError, ValueError):
        return None
    return value if isinstance(value, dict) else None


def read_check(folder, name="check.json"):
    return load(os.path.join(folder, name))


def read_run(folder):
    return load(os.path.join(folder, "run.json"))


def read_result(check_dir):
    """What a run in a check folder gave, from its run.json and check.json: {"ran": True,
    "onebox": "ok"|"failed"|None, "failure", "verdict", "presented" (the presented drawable's
    verdict), "window" (the window's own pixels' verdict, under a compositing manager),
    "wine_version", "picture" (the first bad frame's, or the last frame's), "killed_at_exit"
    (ended by SIGKILL after it was closed)}, and the
    two files as read (None where one could not be)."""
    result = {"ran": True, "onebox": None, "failure": None, "verdict": None, "presented": None,
              "window": None, "wine_version": None, "picture": None, "killed_at_exit": False}
    run = read_run(check_dir)
    if run is None:
        result["failure"] = "the run wrote no run.json"
        return result, None, None
    result.update(onebox=run.get("onebox"), failure=run.get("failure"),
                  wine_version=run.get("wine_version"))
    # Ended with SIGKILL after it was closed: what Wine's server does to a process whose Unix
    # side is still there a second after its last thread ended.
    result["killed_at_exit"] = run.get("exit_code") == 137 and run.get("close_ms") is not None
    check = read_check(check_dir, run.get("check") or "check.json")
    if check is None and result["onebox"] == "ok":
        result["onebox"] = "failed"
        result["failure"] = "the checker wrote no check.json"
    if check:
        result["verdict"] = check.get("verdict")
        result["presented"] = (check.get("presented") or {}).get("verdict")
        result["window"] = (check.get("window") or {}).get("verdict")
        pictures = check.get("pictures") or {}
        result["picture"] = pictures.get("first_bad") or pictures.get("last")
    return result, run, check


def write(path, value, kind, indent=2):
    """Writes VALUE as JSON after checking it against KIND; ValueError names what is wrong."""
    wrong = mismatches(value, kind, os.path.basename(path))
    if wrong:
        raise ValueError("; ".join(wrong))
    with open(path, "w", encoding="utf-8") as f:
        json.dump(value, f, indent=indent)


def write_run(path, **given):
    """Writes run.json: the fields given, in RUN's order, the rest null."""
    unknown = [k for k in given if k not in RUN]
    if unknown:
        raise ValueError(f"run.json has no field {unknown[0]}")
    write(path, {k: given.get(k) for k in RUN}, RUN)


def layer_verdict(check):
    """The verdict on the layer under test for a person, from check.json; None without one."""
    verdict = (check or {}).get("verdict")
    if verdict not in VERDICT_TEXT or verdict == "no-screen":
        return None
    picture = ((check.get("first_bad") or {}).get("picture")) if verdict in FAULTS else None
    return VERDICT_TEXT[verdict] + (", its first bad frame: " + picture if picture else "")


def field(value, keys):
    for key in keys:
        value = value[int(key)] if isinstance(value, list) else value[key]
    return value


def main(args):
    if len(args) >= 3 and args[0] == "field":
        value = load(args[1])
        try:
            value = field(value, args[2:])
        except (KeyError, IndexError, TypeError, ValueError):
            print(f"results: {args[1]}: no field {'.'.join(args[2:])}", file=sys.stderr)
            return 1
        print("" if value is None else value if isinstance(value, str) else json.dumps(value))
        return 0
    if len(args) >= 2 and args[0] == "write-run":
        given = {}
        for pair in args[2:]:
            key, _, text = pair.partition("=")
            kind = RUN.get(key)
            # Numbers are numbers; an empty value is null.
            given[key] = (None if text == "" and kind != str else
                          int(text) if kind == (int, None) and text.lstrip("-").isdigit() else
                          text)
        try:
            write_run(args[1], **given)
        except ValueError as e:
            print(f"results: {e}", file=sys.stderr)
            return 2
        except OSError as e:
            print(f"results: cannot write {args[1]}: {e.strerror}", file=sys.stderr)
            return 1
        return 0
    if len(args) == 2 and args[0] == "layer-verdict":
        line = layer_verdict(load(args[1]))
        if line:
            print(line)
        return 0
    print(__doc__.split("\n\n")[1], file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
