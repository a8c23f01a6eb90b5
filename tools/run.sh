#!/usr/bin/env bash
# Builds onebox.exe and the frame checker when needed and runs onebox.exe under Wine.
#
#   tools/run.sh [--renderer vulkan|gl] [--arch i686|x86_64]
#
# The program is the 32-bit i686 build (preset mingw, build/mingw); on a host that runs no 32-bit
# x86 code it runs the x86_64 twin instead (preset mingw64, build/mingw64) and says why.
# --arch chooses one outright.
#
# Wine's Direct3D 9 runs on its Vulkan renderer (Mesa's lavapipe) unless --renderer gl asks for
# its OpenGL one: under Wine 8.0 only Vulkan's frames reach the window on the screen, while the
# OpenGL renderer presents into an X window of its own that is never shown.
#
# With an X display (DISPLAY set) the window opens there and the program runs until you close
# it. Without one it runs headless on the Wine runner's private X server: this script finds the
# window by its title, has onebox-check watch its screen for 300 frames (its verdict lines and
# the paths of its pictures, under build/<preset>/check-<renderer>/, are printed), closes the
# window with Alt+F4 sent as real X keyboard input, and prints two verdicts: how onebox behaved
# (its window, the close, exit code 0) and what the layer under test, Wine's Direct3D 9, showed.
# The exit status is 0 when onebox behaved; a bug the checker finds in the layer under test is
# reported, not a failure of the run.
# ONEBOX_BUILD_DIR picks another build tree (default: the arch's). ONEBOX_RUN_EXE runs another
# program with the same title instead of onebox.exe, with ONEBOX_RUN_ARGS as its arguments, and
# skips the set-up and the build (the tests do this); ONEBOX_CHECK_ARGS replaces the checker's
# default arguments. The checker's pictures and results (check.json), and run.json, which says
# how onebox behaved, go into ONEBOX_CHECK_DIR (default build/<preset>/check-<renderer>).
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root" || exit 1
. tools/host.sh

renderer=
arch=
host_parse_options "$0" renderer arch -- "$@"
host_choose_renderer "$renderer" || exit 2
export ONEBOX_RENDERER=$renderer

host_choose_arch "$arch" || exit 2
build=${ONEBOX_BUILD_DIR:-build/$preset}
exe=${ONEBOX_RUN_EXE:-$build/app/onebox.exe}
checker=$build/checker/onebox-check
check_dir=${ONEBOX_CHECK_DIR:-$build/check-$renderer}

# What happened to onebox, for programs (the layer report reads it): run.json beside the
# checker's check.json. Written once, at the end, whichever way the run ends.
run_onebox=failed
run_failure=
run_code=
run_close_ms=
write_run_json() {
    mkdir -p "$check_dir" || return
    local loader=wine
    [ "$arch" = x86_64 ] && [ -x /usr/lib/wine/wine64 ] && loader=/usr/lib/wine/wine64
    /usr/bin/python3 tools/results.py write-run "$check_dir/run.json" "exe=$exe" "arch=$arch" \
        "renderer=$renderer" "onebox=$run_onebox" "failure=$run_failure" "exit_code=$run_code" \
        "close_ms=$run_close_ms" "wine_version=$("$loader" --version 2>/dev/null)" \
        "check=$([ -f "$check_dir/check.json" ] && echo check.json)"
}

fail() {
    echo "onebox: $* — FAILED"
    run_failure=$*
    write_run_json
    exit 1
}

if [ -z "${ONEBOX_RUN_EXE:-}" ]; then
    bash tools/setup.sh >/dev/null || fail "could not install the packages (tools/setup.sh)"
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake --preset "$preset" -B "$build" >/dev/null || fail "cmake could not configure $build"
    fi
    cmake --build "$build" --target onebox onebox-check -j2 >/dev/null ||
        fail "the build of onebox.exe or onebox-check failed"
    echo "onebox: running $exe, the $arch build ($arch_why)"
    echo "onebox: renderer $renderer ($renderer_why)"
fi

if [ -n "${DISPLAY:-}" ] && [ "${ONEBOX_HEADLESS:-0}" != 1 ]; then
    echo "onebox: running on display $DISPLAY ($renderer renderer); close the window to end it"
    # shellcheck disable=SC2086 # the arguments are meant to split
    tools/wine-run.sh "$exe" ${ONEBOX_RUN_ARGS:-}
    rc=$?
    [ "$rc" -eq 0 ] || fail "exit code $rc"
    echo "onebox: exit code 0 — OK"
    exit 0
fi

# Headless: the runner starts its own Xvfb and says which display through a file.
. tools/headless.sh
# Whichever way this script ends, the program it started does not outlive it.
trap 'headless_running && headless_stop; headless_cleanup' EXIT
# shellcheck disable=SC2086 # the arguments are meant to split
headless_start "$exe" ${ONEBOX_RUN_ARGS:-}

# The first run also makes the Wine prefix, which takes a while.
headless_wait_for 1800 headless_display_known || {
    headless_stop
    fail "the Wine runner did not start"
}
headless_wait_for 600 headless_find_window
case $? in
0) ;;
2) wait "$headless_runner"; fail "the program ended (exit code $?) before its window appeared" ;;
*) headless_stop; fail "no window with onebox's title appeared" ;;
esac

# The checker watches the screen while the program runs. Its verdict is on what the layer under
# test showed; the window, the close and the exit code are the verdict on onebox. Its lines are
# for the person; this script reads its results from check.json.
rm -f "$check_dir/check.json"
# shellcheck disable=SC2086 # the arguments are meant to split
"$checker" --display "$DISPLAY" ${ONEBOX_CHECK_ARGS:---frames 300 --min-distinct 150} \
    --save "$check_dir" --json "$check_dir/check.json"
check_rc=$?
# ONEBOX_RUN_IDLE: seconds the program goes on unwatched before the close (the checker's
# benchmark compares its frame rate with and without the checker).
sleep "${ONEBOX_RUN_IDLE:-0}"
layer="layer under test (Wine's Direct3D 9, $renderer renderer)"
layer_verdict=$(/usr/bin/python3 tools/results.py layer-verdict "$check_dir/check.json")
headless_running || {
    wait "$headless_runner"
    fail "the program ended by itself (exit code $?) instead of waiting for the close"
}

headless_close || fail "window appeared with onebox's title, but Alt+F4 did not end the program"
run_code=$headless_code
run_close_ms=$headless_end_ms
[ "$headless_code" -eq 0 ] ||
    fail "window appeared with onebox's title, closed on Alt+F4, but exit code $headless_code"
# No frame of the program anywhere (3), or a checker that could not run, is onebox's failure.
case $check_rc in
0 | 1) [ -n "$layer_verdict" ] || fail "the frame checker wrote no results ($check_dir/check.json)" ;;
3) fail "window appeared with onebox's title, closed on Alt+F4, exit code 0, but no frame of it was presented" ;;
*) fail "the frame checker could not run (code $check_rc)" ;;
esac
run_onebox=ok
write_run_json
echo "onebox: window appeared with onebox's title, closed on Alt+F4 (the program ended ${headless_end_ms} ms after the key), exit code 0 — OK"
echo "$layer: $layer_verdict"
