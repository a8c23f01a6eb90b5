#!/usr/bin/env bash
# The commands' options and usage: a wrong or unfinished command line ends at once with the
# command's usage (its whole header) or a line saying what is wrong, and exit code 2. Nothing is
# built or run: the program each command would run does not exist, and Wine is /bin/false.
#
#   commands_test.sh SOURCE_TREE
set -u
root=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export XDG_CACHE_HOME=$tmp ONEBOX_WINE=/bin/false ONEBOX_HEADLESS=1
export ONEBOX_RUN_EXE=$tmp/none.exe ONEBOX_SOAK_EXE=$tmp/none.exe
unset DISPLAY

# The last line of a script's header comment, without its comment mark.
header_end() {
    awk 'NR > 1 && !/^#/ { print last; exit } { last = $0 }' "$1" | sed -E 's/^# ?//'
}

# script | arguments | a line that must be printed ("usage": the header's last line)
cases=(
    "tools/run.sh|--arch|run.sh: --arch needs a value"
    "tools/run.sh|--arch|usage"
    "tools/run.sh|--renderer gl --renderer|run.sh: --renderer needs a value"
    "tools/run.sh|--renderer dx|onebox: --renderer takes gl or vulkan"
    "tools/run.sh|--arch arm|onebox: --arch takes i686 or x86_64"
    "tools/run.sh|--help|usage"
    "tools/soak.sh|--closes|soak.sh: --closes needs a value"
    "tools/soak.sh|--renderer|usage"
    "tools/soak.sh|--renderer dx|onebox: --renderer takes gl or vulkan"
    "tools/soak.sh|--frames many|soak: --frames and --closes take a whole number above 0"
    "tools/soak.sh|--colour red|usage"
    "tools/wine-run.sh|--help|usage"
    "tests/app/person_test.sh|no_such_case|usage"
    "tools/run.sh|--colour red|run.sh: unknown option --colour"
    "tools/soak.sh|--colour red|soak.sh: unknown option --colour"
    "tools/report.sh|--colour|report: unknown option --colour"
    "tools/report.sh|--colour|usage"
    "tools/test.sh|--quick|test.sh: unknown option --quick"
    "tools/setup.sh|--yes|setup.sh: unknown option --yes"
    "tools/setup.sh|--help|usage"
)
failed=0
for c in "${cases[@]}"; do
    IFS='|' read -r script args want <<<"$c"
    [ "$want" = usage ] && want=$(header_end "$root/$script")
    # shellcheck disable=SC2086 # the arguments are meant to split
    out=$(timeout -k 2 10 bash "$root/$script" $args 2>&1)
    rc=$?
    if [ "$rc" -ne 2 ] || ! grep -qxF -- "$want" <<<"$out"; then
        echo "FAIL: $script $args: exit code $rc (want 2), want the line \"$want\"; got:"
        printf '%s\n' "$out" | tail -n 5 | sed 's/^/    /'
        failed=$((failed + 1))
    fi
done
echo "${#cases[@]} command lines, $failed failed"
[ "$failed" -eq 0 ]
