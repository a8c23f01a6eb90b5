#!/usr/bin/env bash
# onebox-check's exit codes and lines where there is nothing right to watch: bad arguments, no
# X display, and a display with no onebox on it (an X server of its own, nothing running).
#
#   checker_cli.sh PATH/TO/onebox-check
set -u
checker=$1

# An X server of its own, started as the Wine runner starts every one.
read -r empty xvfb < <(/usr/bin/python3 "$(dirname "$0")/../../tools/wine_session.py" \
    xvfb 1024x768x24)
[ -n "${empty:-}" ] || { echo "Xvfb did not start"; exit 1; }
trap 'kill "$xvfb" 2>/dev/null' EXIT

# arguments | exit code | a line that must be printed (stdout and stderr)
cases=(
    "--frames 0|2|usage: onebox-check"
    "--rate fast|2|usage: onebox-check"
    "--frames inf|2|usage: onebox-check"
    "--frames 1e12|2|usage: onebox-check"
    "--save|2|usage: onebox-check"
    "--json|2|usage: onebox-check"
    "--quiet 5000|2|usage: onebox-check"
    "--colour red|2|usage: onebox-check"
    "--frames abc|2|onebox-check: --frames abc: not a number from 0 to 1e9"
    "--frames 0|2|onebox-check: --frames 0: must be more than 0"
    "--save|2|onebox-check: --save needs a value"
    "--colour red|2|onebox-check: unknown option --colour"
    "--quiet 5000|2|onebox-check: --quiet 5000: more than 1000 ms"
    "--display :4095 --wait 1|2|cannot open X display :4095"
    "--display $empty --wait 0.5|3|showed a grey frame within 0.5 s; verdict: no screen"
    "--display $empty --wait 0.5 --where|3|onebox-check: no window titled"
)
failed=0
for c in "${cases[@]}"; do
    IFS='|' read -r args want_rc want_line <<<"$c"
    # shellcheck disable=SC2086 # the arguments are meant to split
    out=$("$checker" $args 2>&1)
    rc=$?
    if [ "$rc" != "$want_rc" ] || ! grep -qF -- "$want_line" <<<"$out"; then
        echo "onebox-check $args: exit code $rc, wanted $want_rc with \"$want_line\"; printed:"
        echo "$out"
        failed=1
    fi
done
# A run with nothing to watch still leaves its results for the programs that read them.
json=$(mktemp)
"$checker" --display "$empty" --wait 0.5 --json "$json" >/dev/null
if ! /usr/bin/python3 -c 'import json, sys; r = json.load(open(sys.argv[1]));
sys.exit(r["verdict"] != "no-screen" or r["frames"]["judged"] != 0)' "$json"; then
    echo "onebox-check --json: no \"no-screen\" verdict in $json:"
    cat "$json"
    failed=1
fi
rm -f "$json"
exit $failed
