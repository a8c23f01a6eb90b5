#!/usr/bin/env bash
# Runs a command and passes when it exits with the expected code.
#
#   expect_exit.sh CODE COMMAND [ARGS...]
expected=$1
shift
"$@"
actual=$?
if [ "$actual" -ne "$expected" ]; then
    echo "expect_exit: $1 exited with code $actual, expected $expected"
    exit 1
fi
