#!/usr/bin/env bash
# A run joins a Wine session only when every process its record names is alive and still the
# process recorded; a record left by an interrupted run must read as stale. Records made from
# this test run's live session, each altered one way, are read through the runner; reading them
# ends nothing, so the live session must still read as live afterwards.
#
#   session_record_test.sh WINE_RUN BUILD_TREE
set -u
run=$1
tree=$2
live=${ONEBOX_WINEPREFIX:-$tree/wine-prefix}.session
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/tree"

status() { ONEBOX_WINEPREFIX=$1 "$run" --session-status "$scratch/tree"; }

if [ "$(status "${live%.session}")" != live ]; then
    echo "FAILED: this test run's own session does not read as live ($live)"
    exit 1
fi

# A process id that was in use and no longer is, and this shell's id and start time: a live
# process that is none of the session's.
(exit 0) &
dead=$!
wait "$dead"
read -r line </proc/$$/stat
read -r -a fields <<<"${line##*) }"
me="$$ ${fields[19]}"

# Replaces the id and start time of one role.
swap() { sed -E "s/^$1 .*/$1 $2/" "$live"; }
# Adds one to the start time of one role: the same id, given to a later process.
later() { awk -v role="$1" '$1 == role { $3 = $3 + 1 } { print }' "$live"; }

# case name | record made by | expected status
cases=(
    "the session as recorded|cat $live|live"
    "no record|-|none"
    "an ended X server|swap xvfb '$dead 1'|stale"
    "the test run gone|swap owner '$dead 1'|stale"
    "a wineserver id given to a later process|later wineserver|stale"
    "a desktop holder id held by another program|swap holder '$me'|stale"
    "a desktop id held by another program|swap desktop '$me'|stale"
    "a watchdog id held by another program|swap watchdog '$me'|stale"
    "no display|grep -v ^display $live|stale"
    "no desktop line|grep -v ^desktop $live|stale"
    "an empty record|true|stale"
)

failures=0
n=0
for entry in "${cases[@]}"; do
    IFS='|' read -r name make expected <<<"$entry"
    n=$((n + 1))
    prefix=$scratch/prefix-$n
    [ "$make" = - ] || eval "$make" >"$prefix.session"
    actual=$(status "$prefix")
    if [ "$actual" != "$expected" ]; then
        echo "FAILED: $name: read as $actual, expected $expected"
        failures=$((failures + 1))
    fi
done

if [ "$(status "${live%.session}")" != live ]; then
    echo "FAILED: reading the altered records disturbed the live session"
    failures=$((failures + 1))
fi
echo "session records: ${#cases[@]} cases, $failures failed"
[ "$failures" -eq 0 ]
