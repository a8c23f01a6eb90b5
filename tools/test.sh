#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test: the native build under
# AddressSanitizer and UndefinedBehaviorSanitizer, both Windows builds (the i686 product and its
# x86_64 twin) under Wine of their width, the decoder's fuzz target for a bounded time, and a
# build of the benchmarks. A Windows build this host cannot run (no 32-bit x86 code here, or no
# 32-bit Wine installed) gets its static checks instead, and a line that says so.
#
# The steps that need no Wine (the native build and its tests, the fuzzing, the benchmarks' build,
# and a Windows build that gets static checks only) run beside the Windows builds and their Wine
# tests, at the lowest CPU priority. The Wine tests leave a core idle for much of their time,
# waiting on X, Wine and frames; what runs beside them at that priority gets the idle time and
# hardly any other, so their frames are timed as when they run alone. It takes a session of its
# own with the scheduler's group of that session at nice 19: with autogrouping (Linux's default
# on desktops and here) a plain nice weighs only within a session, and the steps beside would
# take half the CPU from the Wine session's X server and wineserver, which run in another. What
# those steps print comes after the Wine tests, and their times are marked "beside".
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 1
. tools/host.sh
# It takes no options: any argument is named, with the usage.
host_parse_options "$0" -- "$@"

bash tools/setup.sh || exit 1

passed=0
failed=0
status=0

# Runs one ctest invocation, echoing its output, and adds its counts to the totals.
run_ctest() {
    local log
    log=$(mktemp)
    ctest "$@" 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]}
    local line total bad
    line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
    if [ -n "$line" ]; then
        bad=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
        total=$(sed -E 's/.* tests failed out of ([0-9]+).*/\1/' <<<"$line")
        passed=$((passed + total - bad))
        failed=$((failed + bad))
    fi
    if [ "$rc" -ne 0 ]; then
        status=1
        [ -z "$line" ] && failed=$((failed + 1))
    fi
    rm -f "$log"
}

# Each step's name and time, for the summary at the end.
times=()
step_name=
step_start=0
step_done() {
    [ -n "$step_name" ] && times+=("$(printf '%5d s  %s' $((SECONDS - step_start)) "$step_name")")
    step_name=
}
step() {
    step_done
    step_name=$*
    step_start=$SECONDS
    printf '\n== %s\n' "$*"
}

# configure PRESET: the tree of the preset, made or brought up to date.
configure() {
    # A new tree is made for Ninja: a sixth faster than Make on the Windows build here. A tree
    # made before keeps its generator (CMake refuses to change it).
    local generator=()
    [ -f "build/$1/CMakeCache.txt" ] || generator=(-G Ninja)
    cmake --preset "$1" "${generator[@]}" >/dev/null
}

# build PRESET [TARGET...]: the whole tree, or only the targets named.
build() {
    local preset=$1
    shift
    configure "$preset" || return 1
    cmake --build --preset "$preset" ${1:+--target "$@"}
}

step "format"
if git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror; then
    passed=$((passed + 1))
else
    echo "clang-format: the files above need formatting"
    failed=$((failed + 1))
    status=1
fi


# windows_step PRESET WHAT RUNNABLE [WHY]
windows_step() {
    local preset=$1 what=$2 runnable=$3 why=${4:-}
    if [ "$runnable" = yes ]; then
        step "$what build ($preset), tests under Wine"
    else
        step "$what build ($preset), static checks only"
        echo "$what tests not run: $why; its program's machine, subsystem and imports are checked instead"
    fi
    # A build this host cannot run needs only the program its static checks look at.
    local targets=() prepare= built=
    [ "$runnable" = yes ] || targets=(onebox)
    if configure "$preset"; then
        if [ "$runnable" = yes ]; then
            # A new tree's Wine prefixes are made while it builds (18 s, 11 s of it CPU, that the
            # test run would otherwise wait for); a failure is left for the test run to say.
            (for renderer in gl vulkan; do
                ONEBOX_RENDERER=$renderer tools/wine-run.sh --prepare "build/$preset" || break
            done) >/dev/null 2>&1 &
            prepare=$!
        fi
        cmake --build --preset "$preset" ${targets[0]:+--target "${targets[@]}"} && built=yes
        [ -z "$prepare" ] || wait "$prepare"
    fi
    if [ -z "$built" ]; then
        failed=$((failed + 1)); status=1
    elif [ "$runnable" = yes ]; then
        rm -rf "build/$preset/person"
        run_ctest --preset "$preset"
        # What each of a person's actions did, from the cases' own lines.
        cat "build/$preset"/person/*.txt 2>/dev/null
    elif bash "build/$preset/static_checks.sh"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1)); status=1
    fi
}

# The steps beside the Wine tests, in two sessions of their own that run at once: the native
# build and its tests, and the rest (each of those is short, and the fuzzing's time is bounded by
# the clock, not by the work); one after the other, the rest ended 50 s after the Wine tests.
# Each one's counts and times come back through a file.
beside() {
    local part=$1 counts=$2
    # Where autogrouping is off, the plain nice is what counts; the idle scheduling class on top
    # lets a waking Wine test process take the CPU at once rather than at the next tick.
    echo 19 2>/dev/null >/proc/self/autogroup
    renice -n 19 -p "$BASHPID" >/dev/null
    chrt --idle -p 0 "$BASHPID" 2>/dev/null
    passed=0 failed=0 status=0 times=()
    if [ "$part" = native ]; then
        step "native build (ASan + UBSan)"
        if build native; then
            run_ctest --preset native
        else
            failed=$((failed + 1)); status=1
        fi
    else
        if [ -n "$i686_static_why" ]; then
            windows_step mingw "32-bit Windows (i686)" no "$i686_static_why"
        fi
        step "fuzzing (bounded)"
        if build fuzz; then
            run_ctest --test-dir build/fuzz --output-on-failure
        else
            failed=$((failed + 1)); status=1
        fi
        step "benchmarks build"
        if build bench && build/bench/bench/onebox-bench --benchmark_list_tests >/dev/null; then
            passed=$((passed + 1))
        else
            failed=$((failed + 1)); status=1
        fi
    fi
    step_done
    {
        echo "$passed $failed $status"
        printf '%s (beside)\n' "${times[@]}"
    } >"$counts"
}
step_done
i686_static_why=
host_runs_i686_wine || i686_static_why=$host_i686_why
# Each in a session of its own (which is also a process group, so that all of it can be ended):
# a new bash, which gets the steps' functions and settings through its environment.
export -f beside step step_done configure build run_ctest windows_step
export i686_static_why
beside_parts=(native rest)
beside_pids=()
beside_dir=$(mktemp -d)
for part in "${beside_parts[@]}"; do
    setsid bash -c 'beside "$1" "$2"' - "$part" "$beside_dir/$part.counts" </dev/null \
        >"$beside_dir/$part.log" 2>&1 &
    beside_pids+=("$!")
done
# Interrupted, the steps beside end too.
trap 'for p in "${beside_pids[@]}"; do kill -- -"$p" 2>/dev/null; done' EXIT

if host_runs_i686_wine; then
    windows_step mingw "32-bit Windows (i686)" yes
fi
windows_step mingw64 "64-bit Windows (x86_64)" yes
step_done

wait "${beside_pids[@]}"
trap - EXIT
for part in "${beside_parts[@]}"; do
    cat "$beside_dir/$part.log"
    if read -r bp bf bs 2>/dev/null <"$beside_dir/$part.counts"; then
        passed=$((passed + bp))
        failed=$((failed + bf))
        [ "$bs" = 0 ] || status=1
        mapfile -t -s 1 beside_times <"$beside_dir/$part.counts"
        times+=("${beside_times[@]}")
    else
        echo "the steps beside the Wine tests ($part) ended without their counts"
        failed=$((failed + 1)); status=1
    fi
done
rm -rf "$beside_dir"

echo
printf '%s\n' "${times[@]}"
echo "onebox tests: $passed passed, $failed failed"
exit $status
