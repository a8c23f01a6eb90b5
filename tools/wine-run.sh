#!/usr/bin/env bash
# Runs a Win32 executable under Wine and passes its exit code through; also starts and ends the
# Wine session that a test run shares between its Win32 cases.
#
#   wine-run.sh PROGRAM.exe [ARGS...]
#   wine-run.sh --session-start BUILD_TREE    start the shared session (CTest fixture setup)
#   wine-run.sh --session-end BUILD_TREE      end it (CTest fixture cleanup)
#   wine-run.sh --session-status BUILD_TREE   print live, stale or none
#   wine-run.sh --beside PROGRAM.exe [ARGS...]  run beside a run already going on (see below)
#
# Every build tree gets its own prefix (build/<preset>/wine-prefix, or ONEBOX_WINEPREFIX), of the
# tree's width: 32-bit for the i686 tree, 64-bit for the x86_64 one (the file wine-arch that
# CMake writes at the top of the tree says which; outside a build tree, the program's own PE
# header). It is made once, with Wine's virtual desktop at 1024x768 so that screen size and window placement
# are the same on every machine, and with the Mono/Gecko installers disabled so that no prompt
# can block a headless run. The prefix counts as made only when every step of making it worked.
#
# A session is an Xvfb, the prefix's wineserver kept up and Wine's desktop, started detached from
# the test run, with their process ids recorded next to the prefix (wine-prefix.session). CTest
# starts it through a fixture, or the first program CTest runs starts it. A run of PROGRAM joins
# a session whose recorded processes are all still the ones recorded: starting a program then
# takes a tenth of a second instead of over one. Otherwise it works alone: without
# a display (or with ONEBOX_HEADLESS=1) it starts a private Xvfb, and it ends its wineserver and
# its Xvfb afterwards. Runs in one prefix are serialised either way: they would share one
# wineserver, and a window from one run must not take focus or input meant for another.
#
# Whatever a joined run started (the program, its children, a crash handler) is ended when the
# run ends, also when the run itself is killed, so the next run finds the session as it was.
# The session ends itself when the process that started it (the test run) is gone, so an
# interrupted test run leaves nothing behind. With ONEBOX_DISPLAY_FILE set, the display the
# program runs on is written into that file before the program starts.
# ONEBOX_RENDERER=vulkan runs Direct3D on Vulkan, in the prefix build/<preset>/wine-prefix-vulkan.
# ONEBOX_WINE names the Wine loader to use instead of the one for the prefix's width.
#
# --beside runs a second program in the prefix of a run of the same build tree that is going on,
# on that run's display (DISPLAY, and ONEBOX_RENDERER as for that run), without the prefix lock
# the run holds and without ending anything afterwards: another program acting on the first, as
# a task manager posts a window WM_CLOSE. Its exit code is passed through.
set -u

# Changing how a prefix is made changes this, so older prefixes are made again.
prefix_recipe="onebox prefix 2: desktop 1024x768, no crash dialog"

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
    session_log="$WINEPREFIX.session.log"
    prefix_log="$WINEPREFIX.log"
    # Set in the environment of a case's program only; every process it starts inherits it,
    # which is how the processes of a case are found again, whatever became of their parents.
    case_marker="ONEBOX_WINE_CASE=$WINEPREFIX:"
}

fail() {
    echo "wine-run: $*" >&2
    exit 1
}

# --- Processes -------------------------------------------------------------------------------

# Sets start_time to the start time of a live process (clock ticks since boot); fails when the
# process is gone or a zombie. Together with the id the start time names a process for good:
# an id alone may have been given to another process since.
read_start_time() {
    local line fields
    start_time=
    read -r line 2>/dev/null </proc/"$1"/stat || return 1
    # The command name in parentheses may hold spaces; the fields after it do not.
    read -r -a fields <<<"${line##*) }"
    case ${fields[0]} in Z | X) return 1 ;; esac
    start_time=${fields[19]}
}

# Sets command_line to a process's arguments joined by spaces.
read_command_line() {
    local -a args=()
    command_line=
    mapfile -d '' args 2>/dev/null </proc/"$1"/cmdline || return 1
    command_line="${args[*]}"
}

# True when PID is alive, started at START and (when a pattern is given) runs a command that
# matches PATTERN.
is_process() {
    local pid=$1 start=$2 pattern=${3:-}
    [ -n "$pid" ] && [ -n "$start" ] || return 1
    read_start_time "$pid" && [ "$start_time" = "$start" ] || return 1
    [ -z "$pattern" ] && return 0
    read_command_line "$pid" || return 1
    # shellcheck disable=SC2053 # the pattern is a glob on purpose
    [[ $command_line == $pattern ]]
}

# Waits up to $1 tenths of a second until none of the processes ("PID START" pairs) is alive.
wait_gone() {
    local tenths=$1 pid start alive p
    shift
    while :; do
        alive=0
        for p in "$@"; do
            read -r pid start <<<"$p"
            is_process "$pid" "$start" && alive=1
        done
        [ "$alive" = 0 ] && return 0
        tenths=$((tenths - 1))
        [ "$tenths" -gt 0 ] || return 1
        sleep 0.1
    done
}

# Ends one process named by id and start time: TERM, then KILL if it is still there after $4
# tenths of a second. Nothing happens to a process that is not the one named.
end_process() {
    local pid=$1 start=$2 pattern=$3 tenths=${4:-30}
    is_process "$pid" "$start" "$pattern" || return 0
    kill -TERM "$pid" 2>/dev/null
    wait_gone "$tenths" "$pid $start" && return 0
    kill -KILL "$pid" 2>/dev/null
    wait_gone 30 "$pid $start"
}

# Prints the ids of the processes with an environment entry that contains the given text.
processes_with_env() {
    local f
    grep -lzF -- "$1" /proc/[0-9]*/environ 2>/dev/null | while read -r f; do
        f=${f#/proc/}
        echo "${f%/environ}"
    done
}

# Ends every process of a case run in this prefix: the program, the processes it started and
# Wine's crash handler. They are killed outright, as a crash or a timeout would end them; the
# wineserver then releases their windows.
end_case_processes() {
    local pid pairs=()
    for pid in $(processes_with_env "$case_marker"); do
        read_start_time "$pid" || continue
        kill -KILL "$pid" 2>/dev/null && pairs+=("$pid $start_time")
    done
    [ "${#pairs[@]}" -eq 0 ] || wait_gone 50 "${pairs[@]}"
}

# Closes every descriptor above 2 in the current (sub)shell. A daemon must not keep one of
# CTest's output pipes open: CTest would wait for it.
close_inherited_fds() {
    local fd
    for fd in /proc/"$BASHPID"/fd/*; do
        fd=${fd##*/}
        [ "$fd" -gt 2 ] 2>/dev/null && eval "exec $fd>&-"
    done
}

# --- Prefix ----------------------------------------------------------------------------------

# Runs one step of making the prefix; a failure names the step.
prefix_step() {
    local what=$1
    shift
    "$@" >>"$prefix_log" 2>&1 && return 0
    echo "wine-run: making the prefix $WINEPREFIX failed at: $what (exit code $?; see $prefix_log)" >&2
    return 1
}

make_prefix() {
    local ready
    read -r ready 2>/dev/null <"$WINEPREFIX/.onebox-ready"
    [ "${ready:-}" = "$prefix_recipe" ] && return 0
    # An unfinished prefix is made again from nothing. ONEBOX_WINEPREFIX may name any folder,
    # so only one that looks like a Wine prefix (or holds nothing) is removed.
    if [ -d "$WINEPREFIX" ] && [ -n "$(ls -A "$WINEPREFIX")" ] &&
        [ ! -e "$WINEPREFIX/system.reg" ] && [ ! -e "$WINEPREFIX/drive_c" ] &&
        [ ! -e "$WINEPREFIX/dosdevices" ]; then
        echo "wine-run: $WINEPREFIX is not a Wine prefix; not removing it" >&2
        return 1
    fi
    rm -rf "$WINEPREFIX"
    if ! mkdir -p "$(dirname "$WINEPREFIX")" || ! : >"$prefix_log"; then
        echo "wine-run: cannot make the prefix's folder $(dirname "$WINEPREFIX")" >&2
        return 1
    fi
    if ! prefix_step "wineboot -i" "$wine" wineboot -i; then
        # The usual reason on a host without 32-bit code; said here, where it shows.
        if [ "$wine_arch" = win32 ] && . "${BASH_SOURCE[0]%/*}/host.sh" && ! host_runs_i686; then
            echo "wine-run: $host_i686_why: build and run the x86_64 tree (preset mingw64) instead" >&2
        fi
        return 1
    fi
    prefix_step "wineserver -w after wineboot" wineserver -w || return 1
    # Virtual desktop: "wine prog.exe" then returns the program's own exit code, and the
    # screen is 1024x768 whatever X server it runs on.
    prefix_step "reg add Explorer Desktop" \
        "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f || return 1
    prefix_step "reg add Explorer Desktops Default" \
        "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f || return 1
    # A crash must end the process, not wait on a dialog nobody will see.
    prefix_step "reg add WineDbg ShowCrashDialog" \
        "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f ||
        return 1
    if [ "${ONEBOX_RENDERER:-gl}" = vulkan ]; then
        prefix_step "reg add Direct3D renderer vulkan" \
            "$wine" reg add 'HKCU\Software\Wine\Direct3D' /v renderer /d vulkan /f || return 1
    fi
    # The registry reaches the disk only when the wineserver ends.
    prefix_step "wineserver -w after the registry" wineserver -w || return 1
    prefix_step "marking the prefix ready" \
        bash -c 'echo "$1" >"$2"' - "$prefix_recipe" "$WINEPREFIX/.onebox-ready"
}

# --- X server --------------------------------------------------------------------------------

# Starts Xvfb on a free display: -displayfd makes it pick one and say which. With "detached",
# Xvfb runs in its own session with no descriptor of ours. Sets DISPLAY and xvfb_pid.
start_xvfb() {
    local how=${1:-} fifo num
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    if [ "$how" = detached ]; then
        (
            close_inherited_fds
            exec setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp \
                3>"$fifo" </dev/null >>"$session_log" 2>&1
        ) &
    else
        Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 9>&- &
    fi
    xvfb_pid=$!
    read -r -t 20 num <"$fifo" || num=
    rm -f "$fifo"
    if [ -z "$num" ]; then
        echo "wine-run: Xvfb did not start" >&2
        kill "$xvfb_pid" 2>/dev/null
        return 1
    fi
    export DISPLAY=":$num"
}

# --- Session record --------------------------------------------------------------------------

# Sets pattern to what each recorded process must be running; the owner (the test run) is
# checked by start time alone.
role_pattern() {
    case $1 in
    xvfb) pattern='*Xvfb *' ;;
    wineserver) pattern='*wineserver*' ;;
    holder) pattern='*wine_session_holder.exe*' ;;
    desktop) pattern='*explorer.exe /desktop*' ;;
    watchdog) pattern='* --session-watch *' ;;
    *) pattern='' ;;
    esac
}

roles=(owner xvfb wineserver holder desktop watchdog)

# Reads a session record into rec_display and rec_<role> ("PID START") variables.
read_record() {
    local key a b role
    rec_display=
    for role in "${roles[@]}"; do printf -v "rec_$role" '%s' ''; done
    [ -f "$1" ] || return 1
    while read -r key a b; do
        case $key in
        display) rec_display=$a ;;
        owner | xvfb | wineserver | holder | desktop | watchdog) printf -v "rec_$key" '%s' "$a $b" ;;
        esac
    done <"$1"
}

# True when the record read last names a session that can be joined: every recorded process is
# alive and still the one recorded. A record left by an interrupted run fails this: its
# processes are gone, or their ids now belong to other processes.
# Sets stale_reason when it fails.
record_is_live() {
    local role pair pid start pattern
    stale_reason="no display"
    [ -n "$rec_display" ] || return 1
    for role in "${roles[@]}"; do
        pair=rec_$role
        read -r pid start <<<"${!pair}"
        role_pattern "$role"
        stale_reason="the $role (${pid:-no process}) is gone"
        is_process "$pid" "$start" "$pattern" || return 1
    done
    stale_reason=
}

# Ends the session named by the record read last: exactly the recorded processes that are
# still the ones recorded, and through the recorded wineserver every Wine process of the prefix.
# The record is removed. SPARE names a role not to end (the watchdog ending its own session).
end_recorded_session() {
    local spare=${1:-} pid start pattern role pair
    if [ "$spare" != watchdog ]; then
        read -r pid start <<<"$rec_watchdog"
        role_pattern watchdog
        end_process "$pid" "$start" "$pattern" 10
    fi
    read -r pid start <<<"$rec_wineserver"
    role_pattern wineserver
    if is_process "$pid" "$start" "$pattern"; then
        # Ends every process connected to it, then the server itself.
        wineserver -k >/dev/null 2>&1
        wait_gone 50 "$pid $start" || end_process "$pid" "$start" "$pattern"
    fi
    for role in holder desktop xvfb; do
        pair=rec_$role
        read -r pid start <<<"${!pair}"
        role_pattern "$role"
        end_process "$pid" "$start" "$pattern"
    done
    rm -f "$session_record"
}

# --- Session start, end and watch -------------------------------------------------------------

# Finds the process id of the one process of this prefix whose command matches PATTERN.
find_prefix_process() {
    local pattern=$1 pid
    for pid in $(processes_with_env "WINEPREFIX=$WINEPREFIX"); do
        read_command_line "$pid" || continue
        # shellcheck disable=SC2053
        if [[ $command_line == $pattern ]] &&
            grep -qzxF "WINEPREFIX=$WINEPREFIX" /proc/"$pid"/environ 2>/dev/null; then
            echo "$pid"
            return 0
        fi
    done
    return 1
}

# Runs a command in its own session with no descriptor of ours, its output in the session log.
detach() {
    (
        close_inherited_fds
        exec setsid "$@" </dev/null >>"$session_log" 2>&1
    ) &
    detached_pid=$!
}

# Notes a step of starting the session in its log, for when it fails.
note() { echo "wine-run: $(date +%T.%N | cut -c1-12) $*" >>"$session_log"; }

# Ends whatever a failed start had started, and fails.
start_failed() {
    echo "wine-run: starting the Wine session failed: $*" >&2
    end_recorded_session
    wineserver -k >/dev/null 2>&1
    exit 1
}

# Starts a session for the test run OWNER (a process id). The caller holds the prefix lock.
session_start() {
    local owner=$1 holder=$build_tree/wine_session_holder.exe pid start tenths role pair
    if read_record "$session_record"; then
        if record_is_live; then
            read -r pid start <<<"$rec_owner"
            # Started already for this run, by an earlier program of it.
            [ "$pid" = "$owner" ] && return 0
            fail "the Wine session of $WINEPREFIX belongs to another test run (process $pid)"
        fi
        # Left by a run that ended without its cleanup: end what is still ours, start afresh.
        echo "wine-run: replacing the stale session record $session_record" >&2
        end_recorded_session
    fi
    rm -f "$session_record"
    # A wineserver of this prefix left by a run that was killed outright.
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
    : >"$session_log"
    note "starting a session for $WINEPREFIX"
    [ -f "$holder" ] || start_failed "no desktop holder at $holder (build the tree first)"

    rec_display='' rec_xvfb='' rec_wineserver='' rec_holder='' rec_desktop='' rec_watchdog=''
    rec_owner=''
    start_xvfb detached || start_failed "no X server"
    read_start_time "$xvfb_pid" || start_failed "Xvfb ended at once"
    rec_xvfb="$xvfb_pid $start_time"
    rec_display=$DISPLAY

    note "X server on $DISPLAY"
    make_prefix || start_failed "no prefix"
    note "prefix ready"

    # Persistent: the server stays when the last program ends, so the next one starts at once.
    detach wineserver -p
    wait "$detached_pid" || start_failed "wineserver -p failed (see $session_log)"
    pid=$(find_prefix_process '*wineserver*') && read_start_time "$pid" ||
        start_failed "the wineserver did not stay (see $session_log)"
    rec_wineserver="$pid $start_time"
    note "wineserver $pid"

    # Wine's desktop starts for the first program that needs it and closes soon after the last
    # one ends; the holder keeps it open for the whole session.
    note "starting the desktop holder"
    detach "$wine" "$holder"
    local found_window=no
    pid=
    for ((tenths = 0; tenths < 300; tenths++)); do
        found_window=no
        xdotool search --name ' - Wine desktop$' >/dev/null 2>&1 && found_window=yes
        pid=$(find_prefix_process '*explorer.exe /desktop*') && [ "$found_window" = yes ] && break
        sleep 0.1
    done
    note "desktop process ${pid:-none}, desktop window $found_window"
    [ -n "$pid" ] && [ "$found_window" = yes ] && read_start_time "$pid" ||
        start_failed "Wine's desktop did not start (see $session_log)"
    rec_desktop="$pid $start_time"
    role_pattern holder
    pid=$(find_prefix_process "$pattern") && read_start_time "$pid" ||
        start_failed "the desktop holder did not stay (see $session_log)"
    rec_holder="$pid $start_time"

    read_start_time "$owner" || start_failed "the test run $owner is gone"
    rec_owner="$owner $start_time"
    detach "${BASH_SOURCE[0]}" --session-watch "$session_record" "$owner" "$start_time"
    read_start_time "$detached_pid" || start_failed "the watchdog ended at once"
    rec_watchdog="$detached_pid $start_time"

    # Written whole and then renamed: a run never reads half a record.
    {
        echo "display $rec_display"
        for role in "${roles[@]}"; do
            pair=rec_$role
            echo "$role ${!pair}"
        done
    } >"$session_record.new" && mv "$session_record.new" "$session_record" ||
        start_failed "cannot write $session_record"
    echo "wine-run: Wine session on display $rec_display for test run $owner"
}

# The tree's test run, when CTest runs this script: from a test case, or when it lists the tests
# of a program before running them.
test_run_owner() {
    local name
    read -r name 2>/dev/null </proc/"$PPID"/comm || return 1
    [ "$name" = ctest ] && echo "$PPID"
}

session_end() {
    exec 9>"$lock_file"
    flock 9
    read_record "$session_record" || return 0
    end_recorded_session
}

# The session's own guard: once the test run that started it is gone (finished without its
# cleanup case, interrupted, killed), it ends the session.
session_watch() {
    local record=$1 owner=$2 owner_start=$3 me
    trap '' INT HUP
    while is_process "$owner" "$owner_start"; do
        sleep 1
    done
    read_record "$record" || exit 0
    read -r me _ <<<"$rec_watchdog"
    # A record that does not name this watchdog belongs to another session.
    [ "$me" = "$$" ] || exit 0
    echo "wine-run: test run $owner is gone; ending its Wine session"
    end_recorded_session watchdog
}

# --- Running a program -----------------------------------------------------------------------

# The end of a run, whichever way it ends. A joined run ends what its program left running; a
# run alone ends its wineserver and its Xvfb.
finish_run() {
    if [ "$mode" = joined ]; then
        end_case_processes
    else
        wineserver -k 2>/dev/null
        wineserver -w 2>/dev/null
        if [ -n "$xvfb_pid" ]; then
            kill "$xvfb_pid" 2>/dev/null
            wait "$xvfb_pid" 2>/dev/null
        fi
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
    [ "$line" = done ] && exit 0
    finish_run
}

run_program() {
    local exe=$1
    shift
    if ! find_build_tree "$exe"; then
        read_pe_arch "$exe"
        build_tree=${XDG_CACHE_HOME:-$HOME/.cache}/onebox/$wine_arch
    fi
    setup_env "$build_tree"
    exec 9>"$lock_file"
    flock 9

    mode=alone
    xvfb_pid=
    local owner
    # Under CTest the session is started by the first program that needs it, which is usually
    # the listing of a program's tests, before the fixture that would start it otherwise.
    local live=0
    if read_record "$session_record" && record_is_live; then
        live=1
    elif owner=$(test_run_owner); then
        (session_start "$owner" >/dev/null) || true
        read_record "$session_record" && record_is_live && live=1
    fi
    if [ "$live" = 1 ]; then
        mode=joined
        export DISPLAY=$rec_display
        # Leftovers of a run whose own cleanup did not happen.
        end_case_processes
    else
        if [ "${ONEBOX_HEADLESS:-0}" = 1 ] || [ -z "${DISPLAY:-}" ]; then
            start_xvfb || exit 1
        fi
        # What making the prefix started (its wineserver, the Xvfb above) ends with the failure.
        make_prefix || {
            finish_run
            exit 1
        }
    fi

    # Bash keeps the coprocess's pipe ends out of every other child, so the runner holds the
    # only end the reaper reads from.
    coproc REAPER { reap; }
    trap 'finish_run; echo done >&"${REAPER[1]}"; exit 130' INT
    trap 'finish_run; echo done >&"${REAPER[1]}"; exit 143' TERM

    export ONEBOX_DISPLAY=$DISPLAY
    # Lets a program tell whether it ran in the shared session.
    export ONEBOX_WINE_SESSION=$mode
    # A caller that drives the program from outside (tools/run.sh) learns the display here.
    if [ -n "${ONEBOX_DISPLAY_FILE:-}" ]; then
        echo "$DISPLAY" >"$ONEBOX_DISPLAY_FILE"
    fi
    # In the background, so that a TERM or INT is handled at once rather than after the program.
    ONEBOX_WINE_CASE=${case_marker#*=}$$ "$wine" "$exe" "$@" <&0 9>&- &
    local program=$! rc
    wait "$program"
    rc=$?
    finish_run
    echo done >&"${REAPER[1]}"
    exit "$rc"
}

case "${1:-}" in
"" | -h | --help)
    sed -n 2,35p "$0"
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
--session-start | --session-end | --session-status)
    [ $# -ge 2 ] || fail "$1 needs the build tree"
    build_tree=$(cd "$2" && pwd -P) || exit 1
    setup_env "$build_tree"
    case $1 in
    --session-start)
        exec 9>"$lock_file"
        flock 9
        session_start "$PPID"
        ;;
    --session-end) session_end ;;
    --session-status)
        if ! read_record "$session_record"; then
            echo none
        elif record_is_live; then
            echo live
        else
            echo stale
            echo "wine-run: $stale_reason" >&2
        fi
        ;;
    esac
    ;;
--session-watch)
    # Started by --session-start; the environment it inherited is the session's.
    session_record=$2
    WINEPREFIX=${session_record%.session}
    session_watch "$2" "$3" "$4"
    ;;
*)
    run_program "$@"
    ;;
esac
