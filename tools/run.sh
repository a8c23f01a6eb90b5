#!/usr/bin/env bash
# Builds onebox.exe and the frame checker when needed, runs onebox.exe under Wine, and has the
# checker judge every frame that reaches the screen.
#
#   tools/run.sh [--renderer vulkan|gl] [--arch i686|x86_64] [--desktop wine|x|x+xcompmgr|x+picom]
#                [--headless] [--record] [--d3d9 PATH] [--program EXE] [--args "ARGS"]
#                [--out DIR] [--check-args "ARGS"] [--build DIR] [--idle S]
#
# The program is the 32-bit i686 build (preset mingw, build/mingw); on a host that runs no 32-bit
# x86 code it runs the x86_64 twin instead (preset mingw64, build/mingw64) and says why.
# --arch chooses one outright.
#
# Wine's Direct3D 9 runs on its Vulkan renderer (Mesa's lavapipe) unless --renderer gl asks for
# its OpenGL one: under Wine 8.0 only Vulkan's frames reach the window on the screen, while the
# OpenGL renderer presents into an X window of its own that is never shown.
#
# --desktop says where Wine's windows live: wine (the default) inside Wine's virtual desktop of
# 1024x768; x, each window an X window of its own, managed by the X server (and whatever window
# manager the display has), as Wine runs on most people's desktops. Headless, x+xcompmgr and
# x+picom run that compositing manager too; on a display the compositing manager, if any, is
# the display's own. Under a compositing manager the checker judges two pictures: the composed
# screen, what a person sees, and the window's own pixels, what the layer delivered.
#
# With an X display (DISPLAY set, and no --headless) the window opens there, and the checker
# watches it for as long as it is open: close the window and the checker's verdict lines, the
# paths of its pictures and the verdicts on onebox and on the layer under test are printed.
# Ctrl+C ends the program and everything this started, and still prints the verdict so far.
# Headless it runs on a private X server, the checker watches 300 frames, the window is closed
# with Alt+F4 sent as real X keyboard input, and the same verdicts are printed.
#
# The exit status is 0 when onebox behaved (its window came, it presented frames, it ended with
# exit code 0 on the close); a bug the checker finds in the layer under test is reported, not a
# failure of the run. 130 when Ctrl+C ended the run.
#
# --record accounts for every frame the program presents: the present recorder, a d3d9.dll that
# wraps Wine's own (build/<preset>/checker/recorder/), is put beside a copy of the program in
# <out>/recorded/ and loaded native then builtin (d3d9=n,b); it writes down each Present, and
# the checker matches every picture on the screen to the present it shows and says how many were
# shown, dropped and out of order, and how late (a line of its own, check.json's "accounting",
# timeline.svg). The program itself stays as it is.
#
# --d3d9 PATH runs the program on another d3d9.dll, a layer under test other than Wine's own:
# copied beside a copy of the program and loaded native then builtin (d3d9=n,b), so that a DLL
# that wraps Wine's own, as tracing layers do, reaches it; with --record the recorder wraps it.
#
# --program EXE runs another program with onebox's title instead (with --args as its arguments)
# and skips the set-up and the build (the tests and the report do this); --check-args replaces
# the checker's default arguments for a headless run; --build picks another build tree (default:
# the arch's); --idle S lets the program go on unwatched for S seconds before the checker starts
# and again before the close (the checker's benchmark compares its frame rate while watched with
# its rate on both sides of the watch). The checker's pictures and results (check.json), and
# run.json, which says how onebox behaved, go into --out (default build/<preset>/check-<renderer>,
# with -<desktop> after it for a desktop other than Wine's).
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root" || exit 1
. tools/host.sh

renderer= arch= desktop= headless= record= d3d9= program= args= out= check_args= build= idle=0
host_parse_options "$0" renderer arch desktop +headless +record d3d9 program args out \
    check-args build idle -- "$@"
host_choose_renderer "$renderer" || exit 2
export ONEBOX_RENDERER=$renderer
host_choose_arch "$arch" || exit 2
case ${desktop:=wine} in
wine | x) compositor= ;;
x+xcompmgr | x+picom) compositor=${desktop#x+} ;;
*) echo "run.sh: --desktop takes wine, x, x+xcompmgr or x+picom" >&2; exit 2 ;;
esac
# A run under the test runner's headless environment is headless whatever DISPLAY says.
[ -n "${DISPLAY:-}" ] && [ -z "$headless" ] && [ "${ONEBOX_HEADLESS:-0}" != 1 ] || headless=1
if [ -z "$headless" ] && [ -n "$compositor" ]; then
    echo "run.sh: on a display the compositing manager is the display's own: --desktop x" >&2
    exit 2
fi
export ONEBOX_DESKTOP=${desktop%%+*}

build=${build:-build/$preset}
exe=${program:-$build/app/onebox.exe}
checker=$build/checker/onebox-check
suffix=
[ "$desktop" = wine ] || suffix=-${desktop//+/-}
check_dir=${out:-$build/check-$renderer$suffix}
mkdir -p "$check_dir" || exit 1

# What happened to onebox, for programs (the layer report reads it): run.json beside the
# checker's check.json. Written once, at the end, whichever way the run ends.
run_onebox=failed
run_failure=
run_code=
run_close_ms=
run_closed_by=
write_run_json() {
    local loader=wine
    [ "$arch" = x86_64 ] && [ -x /usr/lib/wine/wine64 ] && loader=/usr/lib/wine/wine64
    /usr/bin/python3 tools/results.py write-run "$check_dir/run.json" "exe=$exe" "arch=$arch" \
        "renderer=$renderer" "desktop=$desktop" "onebox=$run_onebox" "failure=$run_failure" \
        "exit_code=$run_code" "close_ms=$run_close_ms" "closed_by=$run_closed_by" \
        "wine_version=$("$loader" --version 2>/dev/null)" \
        "check=$([ -f "$check_dir/check.json" ] && echo check.json)"
}

fail() {
    echo "onebox: $* — FAILED"
    run_failure=$*
    write_run_json
    exit 1
}

if [ -z "$program" ]; then
    bash tools/setup.sh >/dev/null || fail "could not install the packages (tools/setup.sh)"
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake --preset "$preset" -B "$build" >/dev/null || fail "cmake could not configure $build"
    fi
    cmake --build "$build" --target onebox onebox-check ${record:+onebox_recorder} -j2 \
        >/dev/null || fail "the build of onebox.exe or onebox-check failed"
    echo "onebox: running $exe, the $arch build ($arch_why)"
    echo "onebox: renderer $renderer ($renderer_why)"
fi

# Another layer, or the recorder, or both: a copy of the program with its d3d9.dll beside it,
# native then builtin. The recorder writes presents.log there; a layer it wraps is named in its
# recorder.txt by its Windows path.
presents_args=()
if [ -n "$record" ] || [ -n "$d3d9" ]; then
    layer_dir=$check_dir/layer
    rm -rf "$layer_dir" && mkdir -p "$layer_dir" && cp "$exe" "$layer_dir/" ||
        fail "cannot copy $exe into $layer_dir"
    if [ -n "$record" ]; then
        cp "$build/checker/recorder/d3d9.dll" "$layer_dir/" || fail "no present recorder in $build"
        if [ -n "$d3d9" ]; then
            cp "$d3d9" "$layer_dir/wrapped-d3d9.dll" || fail "cannot copy $d3d9"
            wrapped=$(cd "$layer_dir" && pwd)/wrapped-d3d9.dll
            echo "d3d9=Z:${wrapped//\//\\}" >"$layer_dir/recorder.txt"
        fi
        presents_args=(--presents "$layer_dir/presents.log")
    else
        cp "$d3d9" "$layer_dir/d3d9.dll" || fail "cannot copy $d3d9"
    fi
    exe=$layer_dir/${exe##*/}
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}d3d9=n,b
    # The copy runs in the tree's prefix, and joins its session, as the program itself would,
    # also where the results go outside the tree (the report's build/report-runs/).
    export ONEBOX_BUILD_TREE=$build
fi

. tools/headless.sh
desktop_pids=()
# Whichever way this script ends, nothing it started outlives it.
end_all() {
    headless_running && headless_stop
    [ "${#desktop_pids[@]}" -eq 0 ] || kill "${desktop_pids[@]}" 2>/dev/null
    headless_cleanup
}
trap end_all EXIT

# Headless on a desktop other than Wine's: an X server of this script's own, standing in for a
# person's, with a window manager (openbox, as on a person's desktop: it is what manages Wine's
# windows there, and without one Wine waits two seconds for each closed window's withdrawal
# that nobody confirms) and the compositing manager asked for. (Wine's desktop headless is the
# runner's own X server, or the test run's shared session.)
if [ -n "$headless" ] && [ "$desktop" != wine ]; then
    read -r DISPLAY xvfb_pid < <(/usr/bin/python3 tools/wine_session.py xvfb 1024x768x24)
    [ -n "${xvfb_pid:-}" ] || fail "Xvfb did not start"
    export DISPLAY
    desktop_pids+=("$xvfb_pid")
    openbox --sm-disable >/dev/null 2>&1 &
    desktop_pids+=($!)
    case $compositor in
    xcompmgr) xcompmgr >/dev/null 2>&1 & ;;
    # xrender: the only backend Xvfb's screen serves; no vsync on a screen without one.
    picom) picom --backend xrender --no-vsync >/dev/null 2>&1 & ;;
    esac
    [ -z "$compositor" ] || desktop_pids+=($!)
    headless_private_x=0
elif [ -z "$headless" ]; then
    headless_private_x=0
    echo "onebox: running on display $DISPLAY ($renderer renderer, $desktop desktop);" \
        "the checker watches until you close the window (Ctrl+C ends it too)"
fi

# shellcheck disable=SC2086 # the arguments are meant to split
headless_start "$exe" $args
# The first run also makes the Wine prefix, which takes a while.
headless_wait_for 1800 headless_display_known || fail "the Wine runner did not start"
headless_wait_for 600 headless_find_window
case $? in
0) ;;
2) wait "$headless_runner"; fail "the program ended (exit code $?) before its window appeared" ;;
*) headless_stop; fail "no window with onebox's title appeared" ;;
esac

# The checker watches the screen while the program runs. Its verdict is on what the layer under
# test showed; the window, the close and the exit code are the verdict on onebox. Its lines are
# for the person; this script reads its results from check.json. It runs in the background so
# that Ctrl+C reaches this script's trap while it watches.
rm -f "$check_dir/check.json"
# The checker finds the compositing manager this script started by its selection, when it
# starts: the manager must own it by then, which on a busy host can take longer than the
# program takes to show its window.
if [ -n "$headless" ] && [ -n "$compositor" ]; then
    /usr/bin/python3 tools/wine_session.py compositor 10 ||
        fail "$compositor did not take the screen's _NET_WM_CM_S0 within 10 s"
fi
if [ -n "$headless" ]; then
    sleep "$idle"
    watch_args=(${check_args:---frames 300 --min-distinct 150})
else
    # A person may move the window while it is watched; the watch ends with the window.
    watch_args=(--until-closed --follow)
fi
interrupted=
trap 'interrupted=1; kill -INT "$checker_pid" 2>/dev/null' INT
"$checker" --display "$DISPLAY" "${watch_args[@]}" "${presents_args[@]}" --save "$check_dir" \
    --json "$check_dir/check.json" &
checker_pid=$!
# A trap ends a wait early; the checker then writes what it saw so far and ends. The status is
# the one of the wait that found it ended.
check_rc=
while [ -z "$check_rc" ]; do
    wait "$checker_pid"
    rc=$?
    kill -0 "$checker_pid" 2>/dev/null || check_rc=$rc
done
trap - INT
layer="layer under test (Wine's Direct3D 9, $renderer renderer)"
layer_verdict=$(/usr/bin/python3 tools/results.py layer-verdict "$check_dir/check.json")

if [ -n "$interrupted" ]; then
    headless_stop
    run_onebox=interrupted
    run_closed_by=ctrl-c
    run_failure="ended with Ctrl+C before the window was closed"
    write_run_json
    echo "onebox: ended with Ctrl+C before the window was closed; the program was stopped"
    [ -z "$layer_verdict" ] || echo "$layer (so far): $layer_verdict"
    exit 130
fi

if [ -n "$headless" ]; then
    sleep "$idle"
    headless_running || {
        wait "$headless_runner"
        fail "the program ended by itself (exit code $?) instead of waiting for the close"
    }
    headless_close || fail "window appeared with onebox's title, but Alt+F4 did not end the program"
    closed="closed on Alt+F4 (the program ended ${headless_end_ms} ms after the key)"
    run_close_ms=$headless_end_ms
    run_closed_by=alt-f4
else
    # The person closed the window: the program ends by itself.
    headless_mark
    headless_wait_end 200 || fail "the window went away, but the program did not end"
    closed="closed by you"
    run_closed_by=person
fi
run_code=$headless_code
[ "$headless_code" -eq 0 ] || fail "window appeared with onebox's title, $closed, but exit code $headless_code"
# No frame of the program anywhere (3), or a checker that could not run, is onebox's failure.
case $check_rc in
0 | 1) [ -n "$layer_verdict" ] || fail "the frame checker wrote no results ($check_dir/check.json)" ;;
3) fail "window appeared with onebox's title, $closed, exit code 0, but no frame of it was presented" ;;
*) fail "the frame checker could not run (code $check_rc)" ;;
esac
run_onebox=ok
write_run_json
echo "onebox: window appeared with onebox's title, $closed, exit code 0 — OK"
echo "$layer: $layer_verdict"
