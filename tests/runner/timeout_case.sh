#!/usr/bin/env bash
# Runs a CTest run whose only case hangs until CTest's timeout kills it, and passes when that
# is how the case ended. What the killed case left in the Wine session is for the next case of
# the outer run to find.
#
#   timeout_case.sh CTEST TEST_DIR
ctest=$1
dir=$2
output=$("$ctest" --test-dir "$dir" 2>&1)
echo "$output"
if ! grep -q 'runner_hang .*\*\*\*Timeout' <<<"$output"; then
    echo "timeout_case: the hanging case did not end by CTest's timeout"
    exit 1
fi
