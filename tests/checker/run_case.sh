#!/usr/bin/env bash
# A checker case: runs a program headless through tools/run.sh, RUNS times, and checks each
# run's results: its verdict against what the platform's expectations file (tests/expected/,
# read by tools/expected.py) says of CONFIG, and assertions on what the checker and run.sh wrote
# (check.json, run.json) that hold on every platform, the truth the case was made with.
#
#   run_case.sh RUNS CONFIG OUT [ASSERTION...] -- RUN_OPTION...
#
# CONFIG is the configuration as the expectations file names it ("presenter:skipclear=25+toplevel
# x86_64 gl"). An assertion is a Python expression over c (check.json) and r (run.json), with their
# keys as attributes: 'c.verdict == "no-bug"', 'c.presented.frames.bad == 0',
# '0.30 <= c.frames.bad / c.frames.judged <= 0.37'. The options after -- go to tools/run.sh as
# they are (--renderer, --program, --args, --check-args, --build, --desktop), with --headless;
# each run writes into its own folder under OUT. Every run must pass every assertion and run.sh
# must say onebox (or the program standing in for it) behaved.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
runs=$1 config=$2 base=$3
shift 3
assertions=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do
    assertions+=("$1")
    shift
done
shift
failed=0
for ((i = 1; i <= runs; i++)); do
    dir=$base/run-$i
    rm -rf "$dir"
    "$root/tools/run.sh" --headless --out "$dir" "$@"
    rc=$?
    if ! /usr/bin/python3 - "$root/tools" "$dir" "$rc" "$config" "${assertions[@]}" <<'EOF'; then
import sys
sys.path.insert(0, sys.argv[1])
import expected
from results import read_check, read_result, read_run

folder, rc, config, assertions = sys.argv[2], int(sys.argv[3]), sys.argv[4], sys.argv[5:]
# The verdict against the platform's file first, as tools/expected.py judge prints it.
if expected.judge_folder(config, folder, None, None) != 0:
    sys.exit(1)
c, r = read_check(folder), read_run(folder)
# Judged as expected, a run killed by Wine's server as the program exited is a flake the file
# knows: its frames are judged as any run's.
killed = read_result(folder)[0]["killed_at_exit"]
if (rc != 0 and not killed) or r is None or (r.onebox != "ok" and not killed) or c is None:
    print(f"case: run.sh ended with {rc} and {'no run.json' if r is None else r.failure}")
    sys.exit(1)
bad = [a for a in assertions if not eval(a, {}, {"c": c, "r": r})]
for a in bad:
    print(f"case: expected {a}; the checker said: {c.line}")
    if c.first_bad:
        print(f"case: its first bad frame: {c.first_bad.picture}")
sys.exit(1 if bad else 0)
EOF
        failed=1
        echo "case: run $i of $runs FAILED"
    else
        echo "case: run $i of $runs OK"
    fi
done
exit $failed
