#!/usr/bin/env bash
# The layer report: runs onebox headless on every screen layer this host has, one at a time,
# and writes one page that compares them, each result marked expected or unexpected.
#
#   tools/report.sh [--d3d9 PATH]... [--desktop NAME]... [--presenter ARGS]... [--expected FILE]
#                   [--only REGEX] [--out DIR]
#
# Configurations, one column each: for each target this host runs (x86_64 everywhere, i686
# where it runs 32-bit x86 code and 32-bit Wine is installed) and each desktop, onebox on Wine's
# Direct3D 9 with the OpenGL and with the Vulkan renderer, and on each d3d9.dll named with --d3d9
# (repeatable; copied beside a copy of onebox.exe and loaded with WINEDLLOVERRIDES=d3d9=n,b,
# native first and then Wine's builtin, so that a DLL that wraps Wine's own reaches it); then
# the control: the checker's presenter, which presents its frames into its top-level window (a
# correct layer on Wine 8.0), on both renderers and every desktop. The desktops (--desktop,
# repeatable; default all four): wine, Wine's virtual desktop; x, Wine's windows managed on the
# X server; x+xcompmgr and x+picom, the same under that compositing manager (tools/run.sh
# --desktop). A target that cannot run gets a column saying why; a --d3d9 path that does not
# exist, or is no DLL of a target this host runs, is refused at once (exit 2). Environment such
# as ONEBOX_D3D9_DOUBLE passes through to the program. --only runs just the configurations whose
# name matches REGEX ("onebox x86_64 gl", "onebox x86_64 d3d9:NAME", "presenter:toplevel x86_64
# vulkan x+xcompmgr"). --presenter ARGS adds the presenter in that mode on every desktop and
# renderer beside the control, a layer of known truth ("skipclear=25 toplevel": one bad frame in
# 25). Each progress line gives the verdicts and the figures behind them: bad frames of those
# judged, grabs discarded, the window's bad frames, and judged frames over the frames presented.
#
# One progress line per configuration. The page is build/report/index.html (or DIR/index.html),
# beside report.json and report.md (the same table as text) and each column's pictures; the
# folder can be attached to a bug report. The runs' own folders are kept in build/report-runs.
# Expected results: tests/expected/<wine version>.txt, or --expected FILE. The exit status is 1
# when a result is unexpected (each one named with its picture), or when a program presented no
# frame, whether the file knows its configuration or not; 0 otherwise.
set -uo pipefail
caller=$PWD
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root" || exit 1
# shellcheck source=tools/host.sh
. tools/host.sh

report_args=()
d3d9_args=()
while [ $# -gt 0 ]; do
    case $1 in
    --d3d9 | --expected | --only | --out | --desktop | --presenter)
        [ $# -ge 2 ] || { echo "report: $1 needs a value" >&2; exit 2; }
        # The report runs from the repository's root: a relative path is the caller's.
        value=$2
        case $1 in --only | --desktop | --presenter) ;; *) [[ $value == /* ]] || value=$caller/$value ;; esac
        report_args+=("$1" "$value")
        [ "$1" != --d3d9 ] || d3d9_args+=("$1" "$value")
        shift 2
        ;;
    *)
        case $1 in -h | --help) ;; *) echo "report: unknown option $1" >&2 ;; esac
        host_usage "$0"
        exit 2
        ;;
    esac
done

# Debian's python3 (tools/setup.sh installs it), as the runner's: a version manager's shim found
# first on PATH takes a third of a second to start.
python=/usr/bin/python3
[ -x "$python" ] || python=python3

# A DLL that cannot be a column here is refused before anything is installed, built or run.
runs_targets=(--runs-target x86_64)
host_runs_i686 && runs_targets+=(--runs-target i686)
"$python" tools/report.py --check-d3d9 "${runs_targets[@]}" "${d3d9_args[@]}" || exit 2

# A package that cannot be installed now (a mirror in sync, say) need not stop the targets
# whose packages are there; a target that then cannot run says why in its column.
mkdir -p build
bash tools/setup.sh >build/report-setup.log 2>&1 ||
    echo "report: tools/setup.sh could not install every package (build/report-setup.log);" \
        "going on with those installed" >&2

# Builds what a target's columns run; prints why not on failure.
build_target() {
    local build=build/$1
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake --preset "$1" >/dev/null 2>&1 || { echo "cmake could not configure $build"; return 1; }
    fi
    cmake --build "$build" -j2 --target onebox onebox-check presenter >/dev/null 2>&1 ||
        { echo "the build of onebox.exe, onebox-check or presenter.exe in $build failed"; return 1; }
}

for arch in i686 x86_64; do
    why=
    if [ "$arch" = i686 ]; then
        host_runs_i686_wine || why=$host_i686_why
    elif [ ! -x /usr/lib/wine/wine64 ]; then
        why="64-bit Wine (/usr/lib/wine/wine64) is not installed"
    fi
    host_choose_arch "$arch"
    if [ -z "$why" ]; then
        echo "report: building the $arch tree (build/$preset)"
        why=$(build_target "$preset")
    fi
    if [ -z "$why" ]; then
        report_args+=(--target "$arch=build/$preset")
    else
        report_args+=(--cannot-run "$arch=$why")
    fi
done

exec "$python" tools/report.py "${report_args[@]}"
