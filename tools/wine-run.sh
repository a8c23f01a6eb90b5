#!/usr/bin/env bash
# Runs a Win32 executable under Wine and passes its exit code through.
#
#   wine-run.sh PROGRAM.exe [ARGS...]
#
# Every build tree gets its own 32-bit prefix (build/<preset>/wine-prefix), made once, with
# Wine's virtual desktop at 1024x768 so that screen size and window placement are the same
# on every machine, and with the Mono/Gecko installers disabled so that no prompt can block
# a headless run. Without a display (or with ONEBOX_HEADLESS=1) a private Xvfb is started on a
# free display number. Runs in one prefix are serialised: they would share one wineserver, and
# a window from one test must not take focus or input meant for another. Each run ends its
# wineserver and its Xvfb, so nothing is left behind. With ONEBOX_DISPLAY_FILE set, the display
# the program runs on is written into that file before the program starts.
# ONEBOX_RENDERER=vulkan runs Direct3D on Vulkan, in the prefix build/<preset>/wine-prefix-vulkan.
set -u

# The build tree is the nearest folder above the executable that holds a CMakeCache.txt.
find_build_tree() {
    local d
    d=$(cd "$(dirname "$1")" 2>/dev/null && pwd) || return 1
    while [ "$d" != / ]; do
        [ -f "$d/CMakeCache.txt" ] && { echo "$d"; return 0; }
        d=$(dirname "$d")
    done
    return 1
}

setup_env() {
    local tree=$1
    # ONEBOX_RENDERER=vulkan: Wine's Direct3D on Vulkan (Mesa's lavapipe) instead of OpenGL,
    # in a prefix of its own so that both renderers' prefixes stay ready side by side.
    local suffix=
    [ "${ONEBOX_RENDERER:-gl}" = vulkan ] && suffix=-vulkan
    export WINEPREFIX=${ONEBOX_WINEPREFIX:-$tree/wine-prefix$suffix}
    export WINEARCH=win32
    export WINEDEBUG=${WINEDEBUG:--all}
    # No Mono or Gecko: their installers would ask on first start.
    export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
    lock_file="$WINEPREFIX.lock"
}

start_xvfb() {
    # -displayfd makes Xvfb pick a free display number and tell us which one.
    local fifo
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 9>&- &
    xvfb_pid=$!
    local num
    read -r -t 20 num <"$fifo" || num=
    rm -f "$fifo"
    if [ -z "$num" ]; then
        echo "wine-run: Xvfb did not start" >&2
        kill "$xvfb_pid" 2>/dev/null
        return 1
    fi
    export DISPLAY=":$num"
}

make_prefix() {
    [ -f "$WINEPREFIX/.onebox-ready" ] && return 0
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot -i >/dev/null 2>&1
    wineserver -w
    # Virtual desktop: "wine prog.exe" then returns the program's own exit code, and the
    # screen is 1024x768 whatever X server it runs on.
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
    # A crash must end the process, not wait on a dialog nobody will see.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    if [ "${ONEBOX_RENDERER:-gl}" = vulkan ]; then
        wine reg add 'HKCU\Software\Wine\Direct3D' /v renderer /d vulkan /f >/dev/null 2>&1
    fi
    wineserver -w
    touch "$WINEPREFIX/.onebox-ready"
}

case "${1:-}" in
"" | -h | --help)
    sed -n 2,13p "$0"
    exit 2
    ;;
esac

exe=$1
shift
tree=$(find_build_tree "$exe") || tree=${XDG_CACHE_HOME:-$HOME/.cache}/onebox
setup_env "$tree"
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$lock_file"
flock 9

xvfb_pid=
if [ "${ONEBOX_HEADLESS:-0}" = 1 ] || [ -z "${DISPLAY:-}" ]; then
    start_xvfb || exit 1
fi

cleanup() {
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

make_prefix
export ONEBOX_DISPLAY=$DISPLAY
# A caller that drives the program from outside (tools/run.sh) learns the display here.
if [ -n "${ONEBOX_DISPLAY_FILE:-}" ]; then
    echo "$DISPLAY" >"$ONEBOX_DISPLAY_FILE"
fi
wine "$exe" "$@"
rc=$?
exit $rc
