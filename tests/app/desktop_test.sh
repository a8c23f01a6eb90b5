#!/usr/bin/env bash
# tools/run.sh on a person's desktop, as the person uses it: an X server standing in for their
# display, composed by a real compositing manager (xcompmgr, as many people's are), the run
# command started there with DISPLAY set and no frame count, and then either a real click on the
# window's close box or Ctrl+C to the command's process group, as a terminal sends it.
#
#   desktop_test.sh CASE BUILD_TREE      CASE: close_box or ctrl_c
#
# close_box: run.sh must end with 0, having printed the checker's verdict line, its pictures,
# "closed by you, exit code 0 — OK" and the layer's verdict, and written check.json (with the
# composed screen and the window's own pixels judged apart) and run.json.
# ctrl_c: run.sh must end with 130, still print the verdict so far and write check.json, and
# leave nothing of the program running.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$root" || exit 1
case_name=$1 build=$2
out=$build/desktop-test/$case_name
rm -rf "$out" && mkdir -p "$out" || exit 1

fail() {
    echo "desktop: $case_name: $* — FAILED"
    sed 's/^/  run.sh: /' "$out/run.txt" 2>/dev/null
    exit 1
}

read -r DISPLAY xvfb < <(/usr/bin/python3 tools/wine_session.py xvfb 1024x768x24)
[ -n "${xvfb:-}" ] || fail "Xvfb did not start"
export DISPLAY
xcompmgr >/dev/null 2>&1 &
compositor=$!
run_group=
trap 'kill -KILL -- -$run_group 2>/dev/null; kill $compositor $xvfb 2>/dev/null' EXIT
# A person's desktop has its compositing manager up before anything runs on it.
/usr/bin/python3 tools/wine_session.py compositor 10 ||
    fail "xcompmgr did not take the screen's _NET_WM_CM_S0 within 10 s"

# A prefix of its own: the Vulkan prefix serves the test run's headless session, whose one
# wineserver would put the window on that session's X server.
export ONEBOX_WINEPREFIX=$build/wine-prefix-vulkan-desktop

# A session of its own, so that Ctrl+C can reach the whole group, as from a terminal; and
# SIGINT handled as in a terminal's foreground, not ignored as by a script's background job.
env -u ONEBOX_HEADLESS setsid /usr/bin/python3 -c '
import os, signal, sys
signal.signal(signal.SIGINT, signal.SIG_DFL)
os.execv(sys.argv[1], sys.argv[1:])' tools/run.sh --program "$build/app/onebox.exe" \
    --build "$build" --out "$out" >"$out/run.txt" 2>&1 &
run_group=$!

window=
for _ in $(seq 600); do
    window=$(xdotool search --name '^OpenScreen\(\) or ClearScreen\(\)-Bug' 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    kill -0 "$run_group" 2>/dev/null || fail "run.sh ended before the window appeared"
    sleep 0.1
done
[ -n "$window" ] || fail "no window with onebox's title appeared"
# Watched for a while, as a person would look at it.
sleep 4

if [ "$case_name" = close_box ]; then
    # The close box, the caption's rightmost button, from the window's outer rectangle: Wine
    # draws the caption itself inside its desktop, the same border on three sides.
    info=$(xwininfo -id "$window") || fail "no geometry for the window"
    get() { sed -n "s/.*$1: *//p" <<<"$info"; }
    x=$(get 'Absolute upper-left X') y=$(get 'Absolute upper-left Y')
    w=$(get Width) h=$(get Height)
    border=$(((w - 800) / 2)) top=$((h - 600 - (w - 800) / 2))
    xdotool mousemove --sync $((x + w - border - (top - border) / 2)) $((y + (border + top) / 2)) \
        click 1
    want_rc=0
else
    kill -INT -- "-$run_group"
    want_rc=130
fi

for _ in $(seq 300); do kill -0 "$run_group" 2>/dev/null || break; sleep 0.1; done
kill -0 "$run_group" 2>/dev/null && fail "run.sh still running 30 s after the $case_name"
wait "$run_group"
rc=$?
[ "$rc" -eq "$want_rc" ] || fail "run.sh ended with $rc, not $want_rc"
grep -q 'verdict: ' "$out/run.txt" || fail "no verdict line"
/usr/bin/python3 - "$out" "$case_name" <<'EOF' || fail "check.json or run.json is not what it should be"
import json, sys
out, case = sys.argv[1], sys.argv[2]
check, run = (json.load(open(f"{out}/{name}.json")) for name in ("check", "run"))
faults = []
if check["frames"]["judged"] < 10:
    faults.append(f"only {check['frames']['judged']} frames judged")
if check.get("compositor") is None or not check.get("window"):
    faults.append("the composed screen and the window's pixels were not judged apart")
if run["closed_by"] != {"close_box": "person", "ctrl_c": "ctrl-c"}[case]:
    faults.append(f"closed_by {run['closed_by']}")
for f in faults:
    print("desktop:", f)
sys.exit(1 if faults else 0)
EOF
if [ "$case_name" = close_box ]; then
    grep -q 'closed by you, exit code 0 — OK' "$out/run.txt" || fail "no verdict on onebox"
    grep -q '^pictures: ' "$out/run.txt" || fail "no pictures line"
else
    grep -q 'ended with Ctrl+C' "$out/run.txt" || fail "no line on the Ctrl+C"
    sleep 1
    [ -z "$(xdotool search --name '^OpenScreen' 2>/dev/null)" ] || fail "the window outlived the run"
fi
echo "desktop: $case_name: $(grep 'verdict: ' "$out/run.txt" | head -n 1)"
echo "desktop: $case_name: $(tail -n 1 "$out/run.txt"); run.sh exit code $rc — OK"
