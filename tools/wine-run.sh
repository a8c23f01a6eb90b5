#!/usr/bin/env bash
# Runs a Win32 executable under Wine and passes its exit code through; also starts and ends the
# Wine session that a test run shares between its Win32 cases.
#
#   wine-run.sh PROGRAM.exe [ARGS...]
#   wine-run.sh --session-start BUILD_TREE    start the shared session (CTest fixture setup)
#   wine-run.sh --session-end BUILD_TREE      end it (CTest fixture cleanup)
#   wine-run.sh --session-status BUILD_TREE   print live, stale or none
#   wine-run.sh --prepare BUILD_TREE          make the prefix now, if it is not made yet
#   wine-run.sh --beside PROGRAM.exe [ARGS...]  run beside a run already going on (see below)
#
# Every build tree gets its own prefix (build/<preset>/wine-prefix, or ONEBOX_WINEPREFIX), of the
# tree's width: 32-bit for the i686 tree, 64-bit for the x86_64 one (the file wine-arch that
# CMake writes at the top of the tree says which; outside a build tree, the prefix of the tree
# ONEBOX_BUILD_TREE names, else one of the program's own PE header's width under ~/.cache). It
# is made once, with Wine's virtual desktop at 1024x768 so that screen size and window placement
# are the same on every machine, and with the Mono/Gecko installers disabled so that no prompt can
# block a headless run. The prefix counts as made only when every step of
# making it worked.
#
# A session is an Xvfb, the prefix's wineserver kept up and Wine's desktop, started detached from
# the test run by tools/wine_session.py and recorded next to the prefix (wine-prefix.session,
# JSON: the display and each process's id and start time). CTest starts it through a fixture,
# or the first program CTest runs starts it. A run of PROGRAM joins a session whose recorded
# processes are all still the ones recorded: starting a program then takes a tenth of a second
# instead of over one. Otherwise it works alone: without a display (or with ONEBOX_HEADLESS=1) it
# starts a private Xvfb, and it ends its wineserver and its Xvfb afterwards. Runs in one prefix
# are serialised either way (the lock file wine-prefix.lock): they would share one wineserver,
# and a window from one run must not take focus or input meant for another.
#
# Whatever a joined run started (the program, its children, a crash handler) is ended when the
# run ends, also when the run itself is killed, so the next run finds the session as it was.
# The session's watchdog ends the session as soon as the process that started it (the test run)
# is gone, so an interrupted test run leaves nothing behind. With ONEBOX_DISPLAY_FILE set, the
# display the program runs on is written into that file before the program starts.
# ONEBOX_RENDERER=vulkan runs Direct3D on Vulkan, in the prefix build/<preset>/wine-prefix-vulkan.
# ONEBOX_DESKTOP=x runs without Wine's virtual desktop, each window an X window of its own
# (prefix ...-x beside the others).
# ONEBOX_WINE names the Wine loader to use instead of the one for the prefix's width.
#
# --beside runs a second program in the prefix of a run of the same build tree that is going on,
# on that run's display (DISPLAY, and ONEBOX_RENDERER as for that run), without the prefix lock
# the run holds and without ending anything afterwards: another program acting on the first, as
# a task manager posts a window WM_CLOSE. Its exit code is passed through.
set -u

# Sets build_tree to the nearest folder above the executable that holds a CMakeCache.txt. In
# this shell, without subshells: every Win32 test case pays for what the runner does.
find_build_tree() {
    local here=$PWD d
    case $1 in */*) d=${1%/*} ;; *) d=. ;; esac
    cd -P "$d" 2>/dev/null || return 1
    d=$PWD
    cd "$here" || return 1
    while [ -n "$d" ]; do
        [ -f "$d/CMakeCache.txt" ] && { build_tree=$d; return 0; }
        d=${d%/*}
    done
    return 1
}

# Sets wine_arch to win32 or win64 from the PE header of a Windows program: the machine field
# of the COFF header that the header's offset at 0x3C points to.
read_pe_arch() {
    local offset machine
    wine_arch=win32
    offset=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null) || return 0
    machine=$(od -An -tx2 -j$((offset + 4)) -N2 "$1" 2>/dev/null) || return 0
    [ "${machine// /}" = 8664 ] && wine_arch=win64
}

setup_env() {
    local tree=$1
    # Debian's /usr/bin/wine runs the 32-bit loader whenever wine32 is installed, even on a host
    # that cannot execute it, so the loader is named outright. A 64-bit loader that starts other
    # Wine processes finds itself through WINELOADER.
    [ -n "${wine_arch:-}" ] || read -r wine_arch 2>/dev/null <"$tree/wine-arch" || wine_arch=win32
    if [ "$wine_arch" = win64 ]; then
        wine=${ONEBOX_WINE:-/usr/lib/wine/wine64}
        export WINELOADER=$wine
    else
        wine=${ONEBOX_WINE:-wine}
    fi
    # ONEBOX_RENDERER=vulkan: Wine's Direct3D on Vulkan (Mesa's lavapipe) instead of OpenGL,
    # in a prefix of its own so that both renderers' prefixes stay ready side by side.
    local suffix=
    [ "${ONEBOX_RENDERER:-gl}" = vulkan ] && suffix=-vulkan
    # ONEBOX_DESKTOP=x: Wine's windows managed on the X server itself, as on a person's own
    # desktop, instead of inside Wine's virtual desktop; a prefix of its own again.
    [ "${ONEBOX_DESKTOP:-wine}" = x ] && suffix+=-x
    export WINEPREFIX=${ONEBOX_WINEPREFIX:-$tree/wine-prefix$suffix}
    export WINEARCH=$wine_arch
    export WINEDEBUG=${WINEDEBUG:--all}
    # No Mono or Gecko: their installers would ask on first start.
    export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
    build_tree=$tree
    lock_file="$WINEPREFIX.lock"
    [ -d "${WINEPREFIX%/*}" ] || mkdir -p "${WINEPREFIX%/*}"
    # Everything about a prefix's session lives beside it, so two prefixes can each have one.
    session_record="$WINEPREFIX.session"
    # Set in the environment of a case's program only; every process it starts inherits it,
    # which is how the processes of a case are found again, whatever became of their parents.
    case_marker="ONEBOX_WINE_CASE=$WINEPREFIX:"
    # "running" while a joined case runs, "ended" once all it started is gone.
    case_state="$WINEPREFIX.case"
}

fail() {
    echo "wine-run: $*" >&2
    exit 1
}

# --- Processes -------------------------------------------------------------------------------

# Ends every process of a case run in this prefix: the program, the processes it started and
# Wine's crash handler, found by the case marker in their environment whatever became of their
# parents. They are killed outright, as a crash or a timeout would end them; the wineserver then
# releases their windows. A killed process shows no environment any more, not even as a zombie.
# Fails when one is still there after five seconds.
end_case_processes() {
    local pids tenths=50
    # Some processes' environments cannot be read, so grep's status says nothing.
    pids=$(grep -lzF -- "$case_marker" /proc/[0-9]*/environ 2>/dev/null)
    [ -n "$pids" ] || return 0
    pids=${pids//\/proc\//}
    # shellcheck disable=SC2086 # one id a word
    kill -KILL ${pids//\/environ/} 2>/dev/null
    while grep -qzF -- "$case_marker" /proc/[0-9]*/environ 2>/dev/null; do
        ((--tenths > 0)) || return 1
        sleep 0.1
    done
}

# --- X server --------------------------------------------------------------------------------

# Starts Xvfb on a free display for a run alone, as wine_session.py starts every X server of
# the runner and the tests. Sets DISPLAY and xvfb_pid.
start_xvfb() {
    local display
    read -r display xvfb_pid < <("$python" "$session_py" xvfb 9>&-)
    [ -n "$display" ] || return 1
    export DISPLAY=$display
}

# Ends the Xvfb of a run alone; it is no child of this shell, so its end is watched for. Once it
# has exited it stays a zombie until the process that adopted it reaps it, which a container's
# init does only now and then (1.5 s after the exit, measured here): a zombie has ended.
end_xvfb() {
    local tenths=50 stat
    kill "$xvfb_pid" 2>/dev/null || return 0
    while read -r stat 2>/dev/null </proc/"$xvfb_pid"/stat && ((--tenths > 0)); do
        # The state is the first field after the command's closing parenthesis.
        stat=${stat##*) }
        [ "${stat%% *}" = Z ] && return 0
        sleep 0.1
    done
}

# --- Session ---------------------------------------------------------------------------------

# Starting, ending and watching the session is tools/wine_session.py's. It runs on Debian's
# python3 (tools/setup.sh installs it): a python3 found first on PATH may be a version manager's
# shim, which takes half a second to start.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
session_py=${BASH_SOURCE[0]%/*}/wine_session.py

# True when the session record names a session a case can join: wine_session.py's rule, every
# process it names alive and still the one recorded. Sets rec_display.
session_is_live() { [ -f "$session_record" ] && rec_display=$("$python" "$session_py" live 9>&-); }

# Sets owner to the tree's test run when CTest runs this script: from a test case, or when it
# lists the tests of a program before running them.
test_run_owner() {
    local name
    read -r name 2>/dev/null </proc/"$PPID"/comm && [ "$name" = ctest ] && owner=$PPID
}

# --- Running a program -----------------------------------------------------------------------

# The end of a run, whichever way it ends. A joined run ends what its program left running; a
# run alone ends its wineserver and its Xvfb.
finish_run() {
    if [ "$mode" = joined ]; then
        end_case_processes && echo ended >"$case_state"
    else
        wineserver -k 2>/dev/null
        wineserver -w 2>/dev/null
        [ -z "$xvfb_pid" ] || end_xvfb
    fi
}

# Does finish_run when the runner is killed outright (CTest kills a case that times out with
# SIGKILL): it reads the pipe the runner holds the only writing end of, and sees its end when
# the runner is gone. It keeps the prefix lock until it is done, so the next run waits for it.
reap() {
    trap '' INT TERM HUP PIPE
    exec >/dev/null 2>&1
    local line
    read -r line
    [ "$line" = "done" ] && exit 0
    finish_run
    rm -f "$stderr_copy"
}

# The exit code of a run whose program ended with code $1, its stderr copied to $2. Wine reports
# an unhandled exception with a line "wine: Unhandled ..." and starts its debugger, which prints
# the backtrace and ends the process, with the exception's code (0xC0000005, exit code 5, for an
# access violation) when it has taken the exception in by then, else with 0: seen under load, in
# 5 of 15 crashes beside two busy loops. A crash must never pass, so it fails the run then.
crash_code() {
    local rc=$1 line
    if [ "$rc" = 0 ] && line=$(grep -m1 -a '^wine: Unhandled ' "$2" 2>/dev/null); then
        case $line in
        "wine: Unhandled page fault"*) rc=5 ;;
        *) rc=1 ;;
        esac
        echo "wine-run: a process of the run crashed (${line%%,*}) but ended with exit code 0;" \
            "the run fails with $rc" >&2
    fi
    echo "$rc"
}

run_program() {
    local exe=$1
    shift
    if ! find_build_tree "$exe"; then
        # Outside any build tree: the tree ONEBOX_BUILD_TREE names (run.sh's copy of a program
        # beside a layer's d3d9.dll), else a prefix of the program's width of its own. Without
        # the first, each such run made a session of its own, in a prefix never used otherwise.
        if [ -n "${ONEBOX_BUILD_TREE:-}" ] && [ -f "$ONEBOX_BUILD_TREE/CMakeCache.txt" ]; then
            build_tree=$(cd -P "$ONEBOX_BUILD_TREE" && pwd)
        else
            read_pe_arch "$exe"
            build_tree=${XDG_CACHE_HOME:-$HOME/.cache}/onebox/$wine_arch
        fi
    fi
    setup_env "$build_tree"
    exec 9>"$lock_file"
    flock 9

    mode=alone
    xvfb_pid=
    local live=0 owner
    # Under CTest the session is started by the first program that needs it, which is usually
    # the listing of a program's tests, before the fixture that would start it otherwise. The
    # start takes the prefix lock itself. Only a headless run joins: one on a display of its own
    # (a person's, or a test's stand-in for one) stays there.
    if [ "${ONEBOX_HEADLESS:-0}" != 1 ] && [ -n "${DISPLAY:-}" ]; then
        # The prefix's one wineserver would put the window under the session's desktop, on the
        # session's X server.
        if session_is_live; then
            fail "the prefix $WINEPREFIX serves a test run's session on display $rec_display;" \
                "a run on $DISPLAY cannot share it: wait for the test run to end, or give this" \
                "run a prefix of its own (ONEBOX_WINEPREFIX)"
        fi
    elif session_is_live; then
        live=1
    elif test_run_owner; then
        flock -u 9
        "$python" "$session_py" start "$owner" "$build_tree" "$wine" >/dev/null 9>&-
        flock 9
        session_is_live && live=1
    fi
    if [ "$live" = 1 ]; then
        mode=joined
        export DISPLAY=$rec_display
        # Leftovers of a case whose own cleanup did not happen (its runner and reaper were killed
        # together). Looking for them costs every case a search of all processes, so only then.
        local state=
        read -r state 2>/dev/null <"$case_state"
        [ "$state" = ended ] || end_case_processes
        echo running >"$case_state"
    else
        if [ "${ONEBOX_HEADLESS:-0}" = 1 ] || [ -z "${DISPLAY:-}" ]; then
            start_xvfb || exit 1
        fi
        # Made once, by wine_session.py; what making it started (its wineserver, the Xvfb above)
        # ends with the failure.
        "$python" "$session_py" prefix "$wine" 9>&- || {
            finish_run
            exit 1
        }
    fi

    # What the program and the processes it starts write to stderr, for crash_code.
    stderr_copy=$(mktemp "${TMPDIR:-/tmp}/onebox-stderr.XXXXXX") || fail "no temporary file"
    # Bash keeps the coprocess's pipe ends out of every other child, so the runner holds the
    # only end the reaper reads from.
    coproc REAPER { reap; }
    trap 'finish_run; rm -f "$stderr_copy"; echo "done" >&"${REAPER[1]}"; exit 130' INT
    trap 'finish_run; rm -f "$stderr_copy"; echo "done" >&"${REAPER[1]}"; exit 143' TERM

    export ONEBOX_DISPLAY=$DISPLAY
    # Lets a program tell whether it ran in the shared session.
    export ONEBOX_WINE_SESSION=$mode
    # A caller that drives the program from outside (tools/run.sh) learns the display here.
    if [ -n "${ONEBOX_DISPLAY_FILE:-}" ]; then
        echo "$DISPLAY" >"$ONEBOX_DISPLAY_FILE"
    fi
    local program shower rc
    # In the background, so that a TERM or INT is handled at once rather than after the program.
    # Its stderr goes to the copy, which is complete when it has ended (a copy made through a
    # pipe would be complete only once every process holding the pipe had ended, which may be
    # never), and is shown from there as it grows, until a tenth of a second after its end.
    ONEBOX_WINE_CASE=${case_marker#*=}$$ "$wine" "$exe" "$@" <&0 9>&- 2>>"$stderr_copy" &
    program=$!
    tail -c +1 -s 0.1 --pid="$program" -f "$stderr_copy" >&2 9>&- &
    shower=$!
    wait "$program"
    rc=$?
    wait "$shower"
    finish_run
    rc=$(crash_code "$rc" "$stderr_copy")
    rm -f "$stderr_copy"
    echo "done" >&"${REAPER[1]}"
    exit "$rc"
}

case "${1:-}" in
"" | -h | --help)
    # shellcheck source=tools/host.sh
    . "${BASH_SOURCE[0]%/*}/host.sh"
    host_usage "$0"
    exit 2
    ;;
--beside)
    shift
    [ $# -ge 1 ] || fail "--beside needs a program"
    [ -n "${DISPLAY:-}" ] || fail "--beside needs the display of the run it goes beside"
    find_build_tree "$1" || fail "--beside: $1 is not in a build tree"
    setup_env "$build_tree"
    exec "$wine" "$@"
    ;;
--session-start | --session-end | --session-status | --prepare)
    [ $# -ge 2 ] || fail "$1 needs the build tree"
    build_tree=$(cd "$2" && pwd -P) || exit 1
    setup_env "$build_tree"
    # The test run that starts the session is CTest, this script's parent.
    case $1 in
    --session-start) set -- start "$PPID" "$build_tree" "$wine" ;;
    --prepare) set -- prepare "$wine" ;;
    *) set -- "${1#--session-}" ;;
    esac
    exec "$python" "$session_py" "$@"
    ;;
*)
    run_program "$@"
    ;;
esac
