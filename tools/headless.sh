# Sourced by tools/run.sh and tools/soak.sh: a program started headless under the Wine runner,
# its window found by title, and closed with Alt+F4 as real X keyboard input. Run from the
# repository's root.

headless_title="OpenScreen() or ClearScreen()-Bug - You should not see more then one black box. If you see more - it's a bug."
headless_display_file=$(mktemp)
headless_runner=
headless_window=

# Starts the program (and its arguments) under the runner on the runner's private X server.
# Environment for the run goes before the call (NAME=VALUE headless_start ...).
headless_start() {
    : >"$headless_display_file"
    ONEBOX_HEADLESS=1 ONEBOX_DISPLAY_FILE=$headless_display_file tools/wine-run.sh "$@" &
    headless_runner=$!
}

# Ends a run that would not end by itself: on TERM the runner ends the program and what it
# started (and, when it ran alone, its Wine and X server), but never a shared test session,
# which wineserver -k on the prefix would take down too.
headless_stop() {
    kill -TERM "$headless_runner" 2>/dev/null
    wait "$headless_runner" 2>/dev/null
}

headless_running() { kill -0 "$headless_runner" 2>/dev/null; }

# Waits up to $1 tenths of a second for the command in the remaining arguments to succeed.
# Returns 0 when it did, 1 on time-out and 2 when the run ended first.
headless_wait_for() {
    local tenths=$1
    shift
    while ! "$@"; do
        headless_running || return 2
        tenths=$((tenths - 1))
        [ "$tenths" -gt 0 ] || return 1
        sleep 0.1
    done
}

# The runner says which display it started through the display file; exports it.
headless_display_known() {
    [ -s "$headless_display_file" ] || return 1
    DISPLAY=$(cat "$headless_display_file")
    export DISPLAY
}

# The program's top-level window, by its exact title, into headless_window.
headless_find_window() {
    local id
    headless_display_known || return 1
    for id in $(xdotool search --name 'OpenScreen' 2>/dev/null); do
        if [ "$(xdotool getwindowname "$id" 2>/dev/null)" = "$headless_title" ]; then
            headless_window=$id
            return 0
        fi
    done
    return 1
}

headless_ended() { ! headless_running; }

# Alt+F4 to the window; focus passes through the desktop window first so that Wine sees the
# window gain the focus. Returns 0 when the run ended within 20 s, with the program's exit code
# in headless_code and the time from the key to the end in headless_close_ms; otherwise stops
# the run and returns 1.
headless_close() {
    local desktop start
    desktop=$(xdotool search --name 'Wine desktop' | head -n 1)
    xdotool windowfocus --sync "$desktop"
    sleep 0.05
    xdotool windowfocus --sync "$headless_window"
    sleep 0.05
    start=$(date +%s%N)
    xdotool key alt+F4
    headless_wait_for 200 headless_ended
    if [ $? -eq 1 ]; then
        headless_stop
        return 1
    fi
    headless_close_ms=$((($(date +%s%N) - start) / 1000000))
    wait "$headless_runner"
    headless_code=$?
}

headless_cleanup() { rm -f "$headless_display_file"; }
