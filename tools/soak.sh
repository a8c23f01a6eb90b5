#!/usr/bin/env bash
# Soak and random closes for onebox.exe, headless under the Wine runner (not part of the tests).
#
#   tools/soak.sh [--renderer vulkan|gl] [--arch i686|x86_64] [--frames N] [--closes N]
#
# 1. Runs onebox.exe for 20,000 presented frames (--frames) and reports the resident memory
#    (VmRSS) of its Wine process at 1,000 frames, half way and at the end, then closes it with
#    Alt+F4.
#    Frames are counted exactly, not estimated: Wine's Direct3D 9 traces each Present call
#    (WINEDEBUG=trace+d3d9), and the trace is counted as it comes. Tracing costs the program
#    some speed, which the printed frame rate includes.
# 2. Ten runs (--closes) closed by a real Alt+F4 at a random moment 0.3 to 3 s after the
#    window appeared; each must end with exit code 0.
# The build and the renderer are chosen as tools/run.sh chooses them: i686 where the host runs
# 32-bit code and 32-bit Wine, else x86_64; Wine's Vulkan renderer unless --renderer gl.
# ONEBOX_BUILD_DIR picks the build tree (default: the arch's); ONEBOX_SOAK_EXE runs another
# program with the same title (the checker's test presenter, say) instead of onebox.exe, with
# ONEBOX_SOAK_ARGS as its arguments: a baseline for the memory figures.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root" || exit 1
. tools/host.sh

renderer=
arch=
frames=20000
closes=10
host_parse_options "$0" renderer arch frames closes -- "$@"
host_choose_renderer "$renderer" || exit 2
export ONEBOX_RENDERER=$renderer
for count in "$frames" "$closes"; do
    [[ $count =~ ^[1-9][0-9]*$ ]] || {
        echo "soak: --frames and --closes take a whole number above 0" >&2
        exit 2
    }
done

host_choose_arch "$arch" || exit 2
build=${ONEBOX_BUILD_DIR:-build/$preset}
exe=${ONEBOX_SOAK_EXE:-$build/app/onebox.exe}
early=1000
[ "$frames" -gt $((early + 1)) ] || early=$((frames / 3))

if [ -z "${ONEBOX_SOAK_EXE:-}" ]; then
    cmake --build "$build" --target onebox -j2 >/dev/null || {
        echo "soak: the build of onebox.exe failed"
        exit 1
    }
fi

work=$(mktemp -d)
. tools/headless.sh
trap 'rm -rf "$work"; headless_cleanup' EXIT

# The program under the runner, with the run's extra environment before the call.
# shellcheck disable=SC2086 # the arguments are meant to split
start() { headless_start "$exe" ${ONEBOX_SOAK_ARGS:-}; }

# The runner's display and the program's window, within 3 min (the first run makes the prefix).
wait_window() {
    headless_wait_for 1800 headless_display_known && headless_wait_for 600 headless_find_window
}

# Ends the long run on a failure.
give_up() {
    echo "soak: $* — FAILED"
    headless_stop
    exit 1
}

# The resident memory of the program's own Wine process (the one its window names), in KiB.
rss_kib() {
    local kib
    kib=$(awk '/^VmRSS:/ {print $2}' "/proc/$headless_pid/status" 2>/dev/null)
    echo "${kib:-0}"
}

status=0

# 1. The long run. The trace goes to the runner's standard error; awk counts the presents and
#    says when the two marks are reached.
mkfifo "$work/marks"
# Three distinct marks: awk says each once.
middle=$((frames / 2))
[ "$middle" -gt "$early" ] || middle=$(((early + frames) / 2))
WINEDEBUG=-all,trace+d3d9 start 2> >(awk -v a="$early" -v b="$middle" -v c="$frames" '
    /:d3d9_device_Present / { n++; if (n == a || n == b || n == c) { print n; fflush() } }' \
    >"$work/marks") >/dev/null
exec 7<"$work/marks"
wait_window || give_up "no window appeared"
read -r -t 120 _ <&7 || give_up "fewer than $early frames presented in 120 s (is there a screen?)"
early_time=$(date +%s.%N)
early_rss=$(rss_kib)
# Half way as well, so that memory that settles after a while can be told from a steady leak.
read -r -t 1800 _ <&7
middle_rss=$(rss_kib)
read -r -t 1800 _ <&7 || give_up "fewer than $frames frames presented in 30 min"
end_time=$(date +%s.%N)
end_rss=$(rss_kib)
headless_close && rc=$headless_code || rc=124
exec 7<&-
rate=$(awk -v a="$early_time" -v b="$end_time" -v n=$((frames - early)) \
    'BEGIN { printf "%.0f", n / (b - a) }')
growth=$(awk -v a="$early_rss" -v b="$end_rss" 'BEGIN { printf "%+.1f", (b - a) / 1024 }')
echo "soak ($renderer): resident memory $((early_rss / 1024)) MiB at $early frames," \
    "$((middle_rss / 1024)) MiB at $middle, $((end_rss / 1024)) MiB at $frames ($growth MiB);" \
    "$rate frames/s between the two, with the trace on; closed by Alt+F4 with exit code $rc"
[ "$rc" -eq 0 ] || status=1

# 2. Random closes.
codes=()
for _ in $(seq 1 "$closes"); do
    delay=$(awk -v s="$RANDOM" 'BEGIN { srand(s); printf "%.2f", 0.3 + 2.7 * rand() }')
    start
    if ! wait_window; then
        # The runner may still be waiting for the prefix or the program: end this run.
        headless_stop
        codes+=("no window")
        status=1
        continue
    fi
    sleep "$delay"
    headless_close && rc=$headless_code || rc=124
    codes+=("${delay}s:$rc")
    [ "$rc" -eq 0 ] || status=1
done
echo "soak ($renderer): $closes runs closed by Alt+F4 after a random 0.3-3 s (delay:exit code):" \
    "${codes[*]}"
[ "$status" -eq 0 ] && echo "soak: OK" || echo "soak: FAILED"
exit $status
