#!/usr/bin/env bash
# A compositing manager that composes the screen wrong on purpose: picom dimming every window
# that has no focus (--inactive-dim), so every picture on the screen is a darker grey than the
# program drew, while the window's own pixels stay right. The checker must say BUG of the
# composed screen, every frame bad, and no bug of the window: judged from the window's pixels
# instead, the screen would pass.
#
#   composed_test.sh BUILD_TREE PRESENTER_EXE
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$root" || exit 1
build=$1 presenter=$2
out=$build/check-tests/composed_dimmed
rm -rf "$out" && mkdir -p "$out" || exit 1

read -r DISPLAY xvfb < <(/usr/bin/python3 tools/wine_session.py xvfb 1024x768x24)
[ -n "${xvfb:-}" ] || { echo "composed: Xvfb did not start"; exit 1; }
export DISPLAY
picom --backend xrender --no-vsync --inactive-dim 0.4 >/dev/null 2>&1 &
compositor=$!
runner=
trap 'kill -TERM $runner 2>/dev/null; wait $runner 2>/dev/null; kill $compositor $xvfb 2>/dev/null' EXIT
/usr/bin/python3 tools/wine_session.py compositor 10 || exit 1

ONEBOX_DESKTOP=x ONEBOX_RENDERER=vulkan ONEBOX_HEADLESS=0 tools/wine-run.sh "$presenter" toplevel \
    >"$out/runner.txt" 2>&1 &
runner=$!
"$build/checker/onebox-check" --frames 100 --wait 120 --json "$out/check.json" >"$out/check.txt"
cat "$out/check.txt"
/usr/bin/python3 - "$out/check.json" <<'EOF'
import json, sys
c = json.load(open(sys.argv[1]))
faults = []
if c["compositor"] != "picom":
    faults.append(f"compositor {c['compositor']}, not picom")
if c["verdict"] != "bug" or c["frames"]["bad"] != c["frames"]["judged"] or c["frames"]["judged"] < 100:
    faults.append(f"the composed screen: {c['verdict']}, {c['frames']}; want bug, every frame bad")
if not c["window"] or c["window"]["verdict"] != "no-bug":
    faults.append(f"the window's own pixels: {c['window']}; want no-bug")
for f in faults:
    print("composed: " + f)
sys.exit(1 if faults else 0)
EOF
