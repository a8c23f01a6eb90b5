#!/usr/bin/env python3
"""One configuration run through tools/run.sh headless, for the Python callers: the layer report,
the checker's benchmarks and the cases that run a program. The one place that spells run.sh's
options; run.sh's own header says what each does."""
import os
import signal
import subprocess

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RUN_SH = os.path.join(ROOT, "tools", "run.sh")
# run.sh's options with a value, by the keyword that gives them here.
OPTIONS = (("renderer", "--renderer"), ("arch", "--arch"), ("desktop", "--desktop"),
           ("program", "--program"), ("args", "--args"), ("build", "--build"),
           ("check_args", "--check-args"), ("idle", "--idle"), ("d3d9", "--d3d9"))


def command(out, record=False, **given):
    """run.sh's command line for a headless run into the check folder OUT."""
    unknown = set(given) - {name for name, _ in OPTIONS}
    if unknown:
        raise TypeError(f"run.sh has no option for {sorted(unknown)}")
    line = [RUN_SH, "--headless", "--out", out] + (["--record"] if record else [])
    for name, option in OPTIONS:
        if given.get(name) is not None:
            line += [option, str(given[name])]
    return line


def run(out, env=None, output=None, timeout=None, **options):
    """Runs the configuration; returns run.sh's exit code, or None when it ran past TIMEOUT
    seconds, when it is ended with all it started (it runs in a session of its own). ENV adds to
    the environment (WINEDLLOVERRIDES, ONEBOX_D3D9_DOUBLE); OUTPUT is where run.sh's lines go (a
    file, or subprocess.DEVNULL; this process's own by default)."""
    process = subprocess.Popen(command(out, **options), cwd=ROOT, env=dict(os.environ, **(env or {})),
                               stdout=output, stderr=subprocess.STDOUT if output else None,
                               start_new_session=True)
    try:
        return process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGTERM)
        process.wait()
        return None
