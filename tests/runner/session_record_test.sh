#!/usr/bin/env bash
# A run joins a Wine session only when every process its record names is alive and still the
# process recorded; a record left by an interrupted run must read as stale. Records made from
# this test run's live session, each altered one way, are read through the runner twice: by
# --session-status (tools/wine_session.py), and by a run of a stand-in program, which joins the
# session only when the runner's own check of the record passes. Reading them ends nothing, so
# the live session must still read as live afterwards.
#
#   session_record_test.sh WINE_RUN BUILD_TREE
set -u
run=$1
tree=$2
live=${ONEBOX_WINEPREFIX:-$tree/wine-prefix}.session
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/tree" "$scratch/bin"

status() { ONEBOX_WINEPREFIX=$1 "$run" --session-status "$scratch/tree"; }

# The stand-in for Wine says whether the runner ran it in the session; a prefix marked ready
# keeps a run alone from making one. Headless, as the runs that join are (alone, such a run
# brings up an X server of its own).
# shellcheck disable=SC2016 # expanded by the stand-in
printf '#!/bin/sh\necho "$ONEBOX_WINE_SESSION"\n' >"$scratch/bin/wine"
printf '#!/bin/sh\nexit 0\n' >"$scratch/bin/wineserver"
chmod +x "$scratch/bin/wine" "$scratch/bin/wineserver"
touch "$scratch/program.exe"
joins() {
    mkdir -p "$1"
    cp "${live%.session}/.onebox-ready" "$1/"
    PATH="$scratch/bin:$PATH" ONEBOX_WINEPREFIX=$1 ONEBOX_HEADLESS=1 \
        XDG_CACHE_HOME=$scratch/cache "$run" "$scratch/program.exe"
}

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

# The live record (one line of JSON) with one role's [id, start time] replaced, its start time
# one later (the same id, given to a later process), or one key left out.
edit() {
    local record re
    read -r record <"$live"
    re="\"$2\": (\\[([0-9]+), ([0-9]+)\\]|\"[^\"]*\")(, )?"
    [[ $record =~ $re ]] || return 1
    case $1 in
    swap) echo "${record/"${BASH_REMATCH[1]}"/[$3, $4]}" ;;
    later) echo "${record/"${BASH_REMATCH[1]}"/[${BASH_REMATCH[2]}, $((BASH_REMATCH[3] + 1))]}" ;;
    drop) record=${record/"${BASH_REMATCH[0]}"/} && echo "${record/, \}/\}}" ;;
    esac
}

# case name | record made by | expected status
cases=(
    "the session as recorded|cat $live|live"
    "no record|-|none"
    "an ended X server|edit swap xvfb $dead 1|stale"
    "the test run gone|edit swap owner $dead 1|stale"
    "a wineserver id given to a later process|edit later wineserver|stale"
    "a desktop holder id held by another program|edit swap holder $me|stale"
    "a desktop id held by another program|edit swap desktop $me|stale"
    "a watchdog id held by another program|edit swap watchdog $me|stale"
    "no display|edit drop display|stale"
    "no desktop line|edit drop desktop|stale"
    "an empty record|true|stale"
)

failures=0
n=0
for entry in "${cases[@]}"; do
    IFS='|' read -r name make expected <<<"$entry"
    n=$((n + 1))
    prefix=$scratch/prefix-$n
    # shellcheck disable=SC2086 # the command and its arguments
    [ "$make" = - ] || $make >"$prefix.session"
    actual=$(status "$prefix")
    ran=$(joins "$prefix")
    wanted=alone
    [ "$expected" = live ] && wanted=joined
    if [ "$actual" != "$expected" ] || [ "$ran" != "$wanted" ]; then
        echo "FAILED: $name: read as $actual, expected $expected; a run ran $ran, expected $wanted"
        failures=$((failures + 1))
    fi
done

# A run on a display of its own (a person's) never joins, and never runs in a prefix whose
# session is live: its window would go to the session's X server.
prefix=$scratch/prefix-display
cat "$live" >"$prefix.session"
mkdir -p "$prefix" && cp "${live%.session}/.onebox-ready" "$prefix/"
said=$(PATH="$scratch/bin:$PATH" ONEBOX_WINEPREFIX=$prefix ONEBOX_HEADLESS=0 DISPLAY=:99 \
    XDG_CACHE_HOME=$scratch/cache "$run" "$scratch/program.exe" 2>&1)
if [ $? -eq 0 ] || [[ $said != *"serves a test run's session"* ]]; then
    echo "FAILED: a run on its own display in a prefix with a live session: $said"
    failures=$((failures + 1))
fi

if [ "$(status "${live%.session}")" != live ]; then
    echo "FAILED: reading the altered records disturbed the live session"
    failures=$((failures + 1))
fi
echo "session records: ${#cases[@]} cases, $failures failed"
[ "$failures" -eq 0 ]
