# shellcheck shell=bash disable=SC2034 # sets variables for the scripts that source it
# Sourced by tools/run.sh, tools/soak.sh and the person's-actions test: a program started
# headless under the Wine runner, its window found by title, driven with real X input (XTEST,
# through xdotool) and closed with Alt+F4. Run from the repository's root.

# The start of onebox's window title, from app/title.h through the file CMake writes into each
# build tree (the sourcing script sets build). headless_title becomes the whole title of the
# window found.
# shellcheck disable=SC2154 # the sourcing script sets build
headless_title_start=
IFS= read -r headless_title_start <"$build/title-start" ||
    echo "onebox: no $build/title-start: configure the build tree first" >&2
headless_title=
headless_display_file=$(mktemp)
headless_runner=
headless_window=

# Starts the program (and its arguments) under the runner on the runner's private X server,
# or, with headless_private_x=0, on the display DISPLAY names. Environment for the run goes
# before the call (NAME=VALUE headless_start ...).
headless_private_x=1
headless_start() {
    : >"$headless_display_file"
    ONEBOX_HEADLESS=$headless_private_x ONEBOX_DISPLAY_FILE=$headless_display_file \
        tools/wine-run.sh "$@" &
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

# The program's top-level window, by its title, into headless_window, and the program's Wine
# process, which Wine names in the window's _NET_WM_PID, into headless_pid.
headless_find_window() {
    local id name
    headless_display_known || return 1
    for id in $(xdotool search --name 'OpenScreen' 2>/dev/null); do
        name=$(xdotool getwindowname "$id" 2>/dev/null)
        if [[ $name == "$headless_title_start"* ]]; then
            headless_window=$id
            headless_title=$name
            headless_pid=$(xdotool getwindowpid "$id" 2>/dev/null)
            return 0
        fi
    done
    return 1
}

# True once the program's own process has ended (or is a zombie waiting for the runner), which
# is before the runner has taken down what it started.
headless_program_ended() {
    local state=
    [ -n "${headless_pid:-}" ] || { headless_ended; return; }
    read -r _ _ state _ 2>/dev/null </proc/"$headless_pid"/stat
    [ -z "$state" ] || [ "$state" = Z ]
}

headless_ended() { ! headless_running; }

# Alt+F4 to the window, with the focus given first. Returns 0 when the program ended within
# 20 s, with its exit code in headless_code and the time from the key to its end in
# headless_end_ms; otherwise stops the run and returns 1.
headless_close() {
    headless_focus
    headless_mark
    xdotool key alt+F4
    headless_wait_end 200
}

# Notes the moment of an action that should end the program.
headless_mark() { headless_mark_ns=$(date +%s%N); }

# Waits up to $1 tenths of a second for the program to end, then for the runner. Returns 0 when
# the program ended in time, with its exit code in headless_code and the time since the last
# headless_mark in headless_end_ms; otherwise stops the run and returns 1.
headless_wait_end() {
    if ! headless_wait_for "$1" headless_program_ended && ! headless_program_ended; then
        headless_stop
        return 1
    fi
    headless_end_ms=$((($(date +%s%N) - headless_mark_ns) / 1000000))
    headless_wait_for 200 headless_ended
    wait "$headless_runner"
    headless_code=$?
}

# The window's outer rectangle on the X screen, into win_x, win_y, win_w and win_h, and where
# its parts are: caption_x/caption_y is a point on the caption clear of its buttons; close_x/
# close_y is the middle of the close button, the caption's rightmost square button. Where Wine
# puts the client area inside its frame is the checker's rule (checker/x_screen.cpp), which says
# where the window and its client area stand; the border is the same on three sides.
headless_geometry() {
    local where client_x client_y border top
    where=$("$build/checker/onebox-check" --display "$DISPLAY" --title "$headless_title" \
        --wait 5 --where) || return 1
    read -r win_x win_y win_w win_h client_x client_y <<<"$where"
    border=$((client_x - win_x))
    top=$((client_y - win_y))
    caption_x=$((win_x + win_w / 3))
    caption_y=$((win_y + (border + top) / 2))
    close_x=$((win_x + win_w - border - (top - border) / 2))
    close_y=$caption_y
}

# A left click at a point on the X screen.
headless_click() { xdotool mousemove --sync "$1" "$2" click 1; }

# Drags with the left button from a point by DX, DY in STEPS even steps, then releases.
headless_drag() {
    local x=$1 y=$2 dx=$3 dy=$4 steps=$5 i
    xdotool mousemove --sync "$x" "$y" mousedown 1
    for ((i = 1; i <= steps; i++)); do
        sleep 0.02
        xdotool mousemove --sync $((x + dx * i / steps)) $((y + dy * i / steps))
    done
    xdotool mouseup 1
}

# Gives the window the keyboard: focus passes through the desktop window first so that Wine
# sees the window gain the focus.
headless_focus() {
    local desktop
    desktop=$(xdotool search --name 'Wine desktop' | head -n 1)
    xdotool windowfocus --sync "$desktop"
    sleep 0.05
    xdotool windowfocus --sync "$headless_window"
    sleep 0.05
}

headless_cleanup() { rm -f "$headless_display_file"; }
