#!/usr/bin/env python3
"""Makes a Wine prefix, and starts, ends, reports on (live, stale or none) and watches the Wine
session a test run shares between its Win32 cases; tools/wine-run.sh runs it with the prefix's
environment set up.

The record, $WINEPREFIX.session, is one line of JSON: the display, and each process of the
session as [id, start time]. It outlives the processes that wrote it, so a process counts as the
one recorded only while its start time (and but for the owner, the test run, its command) still
match. Before a case joins the session, wine-run.sh asks this (live) whether it may.
"""
import fcntl
import fnmatch
import json
import os
import select
import shutil
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PREFIX = os.environ.get("WINEPREFIX", "")
RECORD = PREFIX + ".session"
ROLES = {"owner": None, "xvfb": "*Xvfb *", "wineserver": "*wineserver*",
         "holder": "*wine_session_holder.exe*", "desktop": "*explorer.exe /desktop*",
         "watchdog": "*wine_session.py watch *"}


# The X screen of a session, and of a prefix made ahead of one.
SESSION_SCREEN = "1280x1024x24"

# Changing how a prefix is made changes this, so older prefixes are made again.
PREFIX_RECIPE = "onebox prefix 2: desktop 1024x768, no crash dialog"
# The registry of every prefix, a step each. Wine's virtual desktop: "wine prog.exe" then returns
# the program's own exit code, and the screen is 1024x768 whatever X server it runs on. No crash
# dialog: a crash must end the process, not wait on a dialog nobody will see.
REGISTRY = (
    ("Explorer Desktop", "Explorer", "/v Desktop /d Default"),
    ("Explorer Desktops Default", "Explorer\\Desktops", "/v Default /d 1024x768"),
    ("WineDbg ShowCrashDialog", "WineDbg", "/v ShowCrashDialog /t REG_DWORD /d 0"),
)
VULKAN = ("Direct3D renderer vulkan", "Direct3D", "/v renderer /d vulkan")
# Without Wine's desktop (ONEBOX_DESKTOP=x) each top-level window is an X window of its own,
# placed and decorated by whatever window manager the display has.
NO_DESKTOP = ("Explorer Desktop", "Explorer", "/v Desktop")


class Failed(Exception):
    pass


def quietly(*args):
    return subprocess.run(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode


def start_time(pid):
    """The start time of a live process (clock ticks since boot); None when gone or a zombie."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            # The command name in parentheses may hold spaces; the fields after it do not.
            fields = f.read().rpartition(")")[2].split()
    except OSError:
        return None
    return None if fields[0] in ("Z", "X") else int(fields[19])


def runs(pid, pattern):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            line = f.read().rstrip(b"\0").replace(b"\0", b" ").decode(errors="replace")
    except OSError:
        return False
    return fnmatch.fnmatchcase(line, pattern)


def open_process(entry, pattern=None):
    """A pidfd of the recorded process [id, start time]; None when it is gone or its id now
    names another process. Checked after opening, so that the pidfd names the process checked."""
    if not (isinstance(entry, list) and len(entry) == 2 and all(type(v) is int for v in entry)):
        return None
    try:
        fd = os.pidfd_open(entry[0])
    except OSError:
        return None
    if start_time(entry[0]) == entry[1] and (pattern is None or runs(entry[0], pattern)):
        return fd
    os.close(fd)
    return None


def wait_gone(fd, seconds=None):
    """False when the process of the pidfd is still there after SECONDS."""
    poller = select.poll()
    poller.register(fd, select.POLLIN)
    return bool(poller.poll(None if seconds is None else seconds * 1000))


def end_process(fd, seconds=3):
    """TERM, then KILL when the process is still there after SECONDS."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            signal.pidfd_send_signal(fd, sig)
        except ProcessLookupError:
            return
        if wait_gone(fd, seconds):
            return


def read_record():
    """The record; None when there is none, {} when it cannot be read."""
    try:
        with open(RECORD) as f:
            record = json.load(f)
        return record if isinstance(record, dict) else {}
    except FileNotFoundError:
        return None
    except (OSError, ValueError):
        return {}


def recorded(record):
    """Pidfds of the record's processes that are still the ones recorded, None for the rest."""
    return {role: open_process(record.get(role), pattern) for role, pattern in ROLES.items()}


def stale_reason(record):
    """Why the record names no session a case can join; None when it names one."""
    if not isinstance(record.get("display"), str) or not record["display"]:
        return "no display"
    gone = [f"the {role} {record.get(role)}" for role, fd in recorded(record).items()
            if fd is None]
    return f"{gone[0]} is gone" if gone else None


def end_session(fds):
    """Ends the given processes of a session (role: pidfd or None) and removes the record: the
    watchdog, then through the wineserver every Wine process of the prefix, then the rest."""
    if fds.get("watchdog") is not None:
        end_process(fds["watchdog"], 1)
    if fds.get("wineserver") is not None:
        quietly("wineserver", "-k")
        if not wait_gone(fds["wineserver"], 5):
            end_process(fds["wineserver"])
    for role in ("holder", "desktop", "xvfb"):
        if fds.get(role) is not None:
            end_process(fds[role])
    if os.path.exists(RECORD):
        os.remove(RECORD)


# The prefix lock, which wine-run.sh holds while a case runs; held until this exits.
def lock():
    fcntl.flock(os.open(PREFIX + ".lock", os.O_WRONLY | os.O_CREAT, 0o666), fcntl.LOCK_EX)


def prefix_process(pattern):
    """The id of a process of this prefix whose command matches PATTERN, or None."""
    entry = b"WINEPREFIX=" + os.fsencode(PREFIX)
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/environ", "rb") as f:
                if entry in f.read().split(b"\0") and runs(pid, pattern):
                    return int(pid)
        except OSError:
            pass
    return None


def start(owner, tree, loader):
    lock()
    record = read_record()
    if record is not None:
        if stale_reason(record) is None:
            if record["owner"][0] == owner:
                return  # started already for this run, by an earlier program of it
            raise Failed(f"the Wine session of {PREFIX} belongs to another test run "
                         f"(process {record['owner'][0]})")
        # Left by a run that ended without its cleanup: end what is still ours, start afresh.
        print(f"wine-run: replacing the stale session record {RECORD}", file=sys.stderr)
        end_session(recorded(record))
    # A wineserver of this prefix left by a run that was killed outright.
    quietly("wineserver", "-k")
    quietly("wineserver", "-w")
    log = open(PREFIX + ".session.log", "w", buffering=1)
    record, fds = {}, {}

    # The session's processes are daemons: a session of their own, and no descriptor of ours, so
    # that CTest never waits on a pipe one of them kept open.
    def spawn(args, pass_fds=()):
        return subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                start_new_session=True, close_fds=True, pass_fds=pass_fds).pid

    # Children are known by id (their command lines may still be changing as they start).
    def remember(role, pid):
        fd = os.pidfd_open(pid) if pid else None
        if fd is None or start_time(pid) is None:
            raise Failed(f"the {role} did not stay (see {log.name})")
        fds[role], record[role] = fd, [pid, start_time(pid)]
        print(f"wine-run: {time.strftime('%T')} {role}: process {pid}", file=log)

    # Interrupted, it still ends what it started.
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    try:
        holder = os.path.join(tree, "wine_session_holder.exe")
        if not os.path.isfile(holder):
            raise Failed(f"no desktop holder at {holder} (build the tree first)")
        display, pid = start_xvfb(SESSION_SCREEN, log)
        remember("xvfb", pid)
        if not display:
            raise Failed("no X server")
        record["display"] = os.environ["DISPLAY"] = display

        if not make_prefix(loader):
            raise Failed("no prefix")
        # Persistent: the server stays when the last program ends, so the next one starts at
        # once. It goes into the background once it takes requests.
        if subprocess.run(["wineserver", "-p"], stdin=subprocess.DEVNULL, stdout=log,
                          stderr=log, start_new_session=True).returncode:
            raise Failed(f"wineserver -p failed (see {log.name})")
        remember("wineserver", prefix_process(ROLES["wineserver"]))

        # Wine's desktop starts for the first program that needs it and closes soon after the
        # last one ends; the holder keeps it open for the whole session.
        holder_pid = spawn([loader, holder])
        for _ in range(300):
            window = quietly("xdotool", "search", "--name", " - Wine desktop$") == 0
            if window and prefix_process(ROLES["desktop"]):
                break
            time.sleep(0.1)
        remember("desktop", prefix_process(ROLES["desktop"]) if window else None)
        remember("holder", holder_pid)
        remember("owner", owner)
        starter = os.pidfd_open(os.getpid())
        remember("watchdog", spawn([sys.executable, os.path.abspath(__file__), "watch",
                                    str(fds["owner"]), str(starter)], (fds["owner"], starter)))

        # Written whole and then renamed: a run never reads half a record.
        with open(RECORD + ".new", "w") as f:
            f.write(json.dumps(record) + "\n")
        os.replace(RECORD + ".new", RECORD)
    except (Failed, OSError, KeyboardInterrupt) as e:
        end_session(fds)
        quietly("wineserver", "-k")
        # KeyboardInterrupt (INT, or TERM above) carries no text of its own.
        why = "interrupted" if isinstance(e, KeyboardInterrupt) else str(e) or type(e).__name__
        raise Failed(f"starting the Wine session failed: {why}")
    print(f"wine-run: Wine session on display {record['display']} for test run {owner}")


def watch(owner_fd, starter_fd):
    """Ends the session once the test run that started it is gone (finished without its cleanup
    case, interrupted, killed)."""
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    signal.signal(signal.SIGHUP, signal.SIG_IGN)
    # The record that names this watchdog is complete once the process starting it has ended.
    wait_gone(starter_fd)
    wait_gone(owner_fd)
    record = read_record() or {}
    # A record that does not name this watchdog belongs to another session.
    if record.get("watchdog") == [os.getpid(), start_time(os.getpid())]:
        print("wine-run: the test run is gone; ending its Wine session", flush=True)
        end_session(dict(recorded(record), watchdog=None))


def first_line(path):
    try:
        with open(path) as f:
            return f.readline().strip()
    except OSError:
        return None


def make_prefix(loader):
    """Makes the prefix WINEPREFIX once, of WINEARCH's width, with Wine's Direct3D on Vulkan when
    ONEBOX_RENDERER says so and without Wine's virtual desktop when ONEBOX_DESKTOP=x says so. It counts as made only when every step worked; a failure says which
    step and returns False."""
    log, ready = PREFIX + ".log", os.path.join(PREFIX, ".onebox-ready")
    if first_line(ready) == PREFIX_RECIPE:
        return True

    def fail(why):
        print(f"wine-run: {why}", file=sys.stderr)
        return False

    def step(what, *args):
        with open(log, "a") as out:
            code = subprocess.run(args, stdin=subprocess.DEVNULL, stdout=out,
                                  stderr=out).returncode
        return code == 0 or fail(f"making the prefix {PREFIX} failed at: {what} (exit code "
                                 f"{code}; see {log})")

    def reg(what, key, value, verb="add"):
        return step(f"reg {verb} {what}", loader, "reg", verb, "HKCU\\Software\\Wine\\" + key,
                    *value.split(), "/f")

    # An unfinished prefix is made again from nothing. ONEBOX_WINEPREFIX may name any folder, so
    # only one that looks like a Wine prefix (or holds nothing) is removed.
    if os.path.isdir(PREFIX) and os.listdir(PREFIX) and not any(
            os.path.exists(os.path.join(PREFIX, n)) for n in ("system.reg", "drive_c",
                                                              "dosdevices")):
        return fail(f"{PREFIX} is not a Wine prefix; not removing it")
    shutil.rmtree(PREFIX, ignore_errors=True)
    try:
        os.makedirs(os.path.dirname(PREFIX), exist_ok=True)
        open(log, "w").close()
    except OSError:
        return fail(f"cannot make the prefix's folder {os.path.dirname(PREFIX)}")
    # The Vulkan prefix, one without Wine's desktop, and any other beside them (a test's own),
    # are the tree's plain one with a registry value more or less. Where one they can be made
    # from is ready, a copy of it spares a wineboot: about 15 s against 3 s on a 2-core host.
    vulkan = os.environ.get("ONEBOX_RENDERER", "gl") == "vulkan"
    no_desktop = os.environ.get("ONEBOX_DESKTOP", "wine") == "x"
    # Its twins by name (PREFIX-x from PREFIX, PREFIX-vulkan from PREFIX), then the tree's own.
    base = PREFIX.removesuffix("-x") if no_desktop else PREFIX
    folder = os.path.dirname(PREFIX)
    tree = ["wine-prefix-vulkan", "wine-prefix"] if vulkan else ["wine-prefix"]
    candidates = dict.fromkeys([base, base.removesuffix("-vulkan")] +
                               [os.path.join(folder, t) for t in tree])
    sources = [p for p in candidates if p != PREFIX and
               first_line(os.path.join(p, ".onebox-ready")) == PREFIX_RECIPE]
    copied = bool(sources) and step(f"copying {sources[0]}", "cp", "-a", sources[0], PREFIX)
    if copied:
        os.remove(ready)
    else:
        shutil.rmtree(PREFIX, ignore_errors=True)
        if not step("wineboot -i", loader, "wineboot", "-i"):
            # The usual reason on a host without 32-bit code; said here, where it shows.
            if os.environ.get("WINEARCH") == "win32":
                why = subprocess.run(["bash", "-c", '. "$1"; host_runs_i686_wine || echo '
                                      '"$host_i686_why"', "-", os.path.join(HERE, "host.sh")],
                                     capture_output=True, text=True).stdout.strip()
                if why:
                    fail(f"{why}: build and run the x86_64 tree (preset mingw64) instead")
            return False
        if not step("wineserver -w after wineboot", "wineserver", "-w") or \
                not all(reg(*entry) for entry in REGISTRY):
            return False
    if vulkan and not reg(*VULKAN):
        return False
    if no_desktop and not reg(*NO_DESKTOP, verb="delete"):
        return False
    # The registry reaches the disk only when the wineserver ends.
    if not step("wineserver -w after the registry", "wineserver", "-w"):
        return False
    try:
        with open(ready, "w") as f:
            f.write(PREFIX_RECIPE + "\n")
    except OSError as e:
        return fail(f"making the prefix {PREFIX} failed at: marking the prefix ready ({e})")
    return True


def start_xvfb(screen, log):
    """Starts a detached Xvfb on a free display: -displayfd makes it pick one and say which.
    Returns the display (":N", empty when none was said within 20 s) and the process id. Every
    X server of the runner and the tests starts here. -noreset, as a desktop's server never
    resets: without it each client that connects and leaves while no other is connected (every
    poll for a window before Wine connects) resets the server, which then recompiles its
    keymap, an xkbcomp of about 80 ms of CPU each time."""
    read_end, write_end = os.pipe()
    pid = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", screen,
                            "-nolisten", "tcp", "-noreset"], stdin=subprocess.DEVNULL, stdout=log,
                           stderr=log, start_new_session=True, close_fds=True,
                           pass_fds=(write_end,)).pid
    os.close(write_end)
    with os.fdopen(read_end) as said:
        number = said.readline().strip() if select.select([said], [], [], 20)[0] else ""
    return (":" + number if number.isdigit() else ""), pid


def wait_for_compositor(seconds):
    """True once a compositing manager owns the screen's _NET_WM_CM_S0 selection on DISPLAY,
    within that many seconds. The checker finds the manager by that owner when it starts, so
    whatever starts one before a watch waits here first: a manager started a moment before may
    not own it yet on a busy host."""
    import ctypes
    x = ctypes.CDLL("libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XInternAtom.restype = ctypes.c_ulong
    x.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    x.XGetSelectionOwner.restype = ctypes.c_ulong
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x.XOpenDisplay(None)
    if not display:
        return False
    try:
        atom = x.XInternAtom(display, b"_NET_WM_CM_S0", 0)
        deadline = time.monotonic() + seconds
        while not x.XGetSelectionOwner(display, atom):
            if time.monotonic() >= deadline:
                return False
            time.sleep(0.05)
        return True
    finally:
        x.XCloseDisplay(display)


def main(args):
    if args[:1] == ["compositor"] and len(args) == 2:
        if not wait_for_compositor(float(args[1])):
            raise Failed(f"no compositing manager owns _NET_WM_CM_S0 on {os.environ.get('DISPLAY')}"
                         f" after {args[1]} s")
        return
    if args[:1] == ["xvfb"] and len(args) <= 2:
        # For the bash callers: "DISPLAY PID" on one line; on failure the Xvfb is ended. Without a
        # size, the session's screen (a run alone stands in for a session).
        screen = args[1] if len(args) == 2 else SESSION_SCREEN
        display, pid = start_xvfb(screen, subprocess.DEVNULL)
        if not display:
            os.kill(pid, signal.SIGTERM)
            raise Failed("Xvfb did not start")
        print(display, pid)
        return
    if not PREFIX:
        raise Failed("WINEPREFIX is not set: this runs through tools/wine-run.sh")
    if args[:1] == ["start"] and len(args) == 4:
        start(int(args[1]), args[2], args[3])
    elif args == ["end"]:
        lock()
        end_session(recorded(read_record() or {}))
    elif args == ["live"]:
        # For wine-run.sh before each case: the display of a session it may join.
        record = read_record()
        if record is None or stale_reason(record):
            sys.exit(1)
        print(record["display"])
    elif args[:1] == ["prefix"] and len(args) == 2:
        if not make_prefix(args[1]):
            sys.exit(1)
    elif args[:1] == ["prepare"] and len(args) == 2:
        # The prefix made ahead, on an X server of its own, under the prefix's lock (a session
        # started meanwhile waits for it); what making it started ends with it.
        lock()
        display, pid = start_xvfb(SESSION_SCREEN, subprocess.DEVNULL)
        try:
            if not display:
                raise Failed("Xvfb did not start")
            os.environ["DISPLAY"] = display
            if not make_prefix(args[1]):
                sys.exit(1)
        finally:
            os.kill(pid, signal.SIGTERM)
    elif args == ["status"]:
        record = read_record()
        reason = record is not None and stale_reason(record)
        print("none" if record is None else "stale" if reason else "live")
        if reason:
            print(f"wine-run: {reason}", file=sys.stderr)
    elif args[:1] == ["watch"] and len(args) == 3:
        watch(int(args[1]), int(args[2]))
    else:
        raise Failed("usage: wine_session.py start OWNER TREE LOADER | end | status | live | "
                     "prefix LOADER | prepare LOADER | xvfb [WxHxD] | compositor SECONDS")


if __name__ == "__main__":
    try:
        main(sys.argv[1:])
    except Failed as e:
        sys.exit(f"wine-run: {e}")
