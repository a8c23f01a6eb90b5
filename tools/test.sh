#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test: the native build under
# AddressSanitizer and UndefinedBehaviorSanitizer, the 32-bit Windows build under Wine, the
# decoder's fuzz target for a bounded time, and a build of the benchmarks.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

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

step() { printf '\n== %s\n' "$*"; }

build() {
    local preset=$1
    cmake --preset "$preset" >/dev/null || return 1
    cmake --build --preset "$preset"
}

step "format"
if git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror; then
    passed=$((passed + 1))
else
    echo "clang-format: the files above need formatting"
    failed=$((failed + 1))
    status=1
fi

step "native build (ASan + UBSan)"
if build native; then
    run_ctest --preset native
else
    failed=$((failed + 1)); status=1
fi

step "32-bit Windows build, tests under Wine"
if build mingw; then
    run_ctest --preset mingw
else
    failed=$((failed + 1)); status=1
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

echo
echo "onebox tests: $passed passed, $failed failed"
exit $status
