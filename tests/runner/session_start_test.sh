#!/usr/bin/env bash
# A start of the Wine session that fails, or is interrupted, ends what it started, leaves no
# record and says why in its last line. Wine is replaced on PATH by a stand-in that fails at
# once or takes its time making the prefix; the X server is a real Xvfb.
#
#   session_start_test.sh WINE_RUN
set -u
session_py=${1%/*}/wine_session.py
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/bin" "$scratch/tree"
# shellcheck disable=SC2016 # expanded by the stand-in
printf '#!/bin/sh\n[ -n "$SLOW_WINE" ] && exec sleep 5\nexit 7\n' >"$scratch/bin/wine"
printf '#!/bin/sh\nexit 0\n' >"$scratch/bin/wineserver"
chmod +x "$scratch/bin/wine" "$scratch/bin/wineserver"
unset ONEBOX_WINE

# case | the tree has a desktop holder | Wine is slow | TERM after (s) | the last line's end
cases=(
    "no desktop holder|no||-|failed: no desktop holder at $scratch/tree/wine_session_holder.exe (build the tree first)"
    "a prefix that cannot be made|yes||-|failed: no prefix"
    "interrupted while the prefix is made|yes|1|1.5|failed: interrupted"
)
failed=0
n=0
for c in "${cases[@]}"; do
    IFS='|' read -r name holder slow term want <<<"$c"
    n=$((n + 1))
    rm -f "$scratch/tree/wine_session_holder.exe"
    [ "$holder" = yes ] && touch "$scratch/tree/wine_session_holder.exe"
    prefix=$scratch/prefix-$n
    PATH="$scratch/bin:$PATH" WINEPREFIX=$prefix SLOW_WINE=$slow \
        /usr/bin/python3 "$session_py" start $$ "$scratch/tree" wine 2>"$scratch/err" &
    pid=$!
    if [ "$term" != - ]; then
        sleep "$term"
        kill -TERM "$pid"
    fi
    wait "$pid"
    rc=$?
    last=$(tail -n 1 "$scratch/err")
    if [ "$rc" -eq 0 ] || [[ $last != *"$want" ]] || [ -e "$prefix.session" ]; then
        echo "FAILED: $name: exit code $rc, last line \"$last\"; want it to end \"$want\"," \
            "and no record"
        failed=$((failed + 1))
    fi
done
echo "session starts: ${#cases[@]} cases, $failed failed"
[ "$failed" -eq 0 ]
