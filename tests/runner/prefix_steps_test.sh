#!/usr/bin/env bash
# Making a prefix stops at the first step that fails, says which step it was, fails the run and
# leaves the prefix unmarked, so that the next run makes it again instead of using a broken one.
# Wine's tools are replaced on PATH by stand-ins that fail at the step the table names. Also
# the runner's part in the end of a run: the exit code it gives a program that Wine says crashed.
#
#   prefix_steps_test.sh WINE_RUN
set -u
run=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Stand-ins: each call is numbered per command line; the one named by STUB_FAIL
# ("<command line>#<call>") fails with code 7.
mkdir -p "$scratch/bin"
for tool in wine wineserver; do
    cat >"$scratch/bin/$tool" <<EOF
#!/usr/bin/env bash
line="$tool \$*"
count_file="\$STUB_DIR/\$(echo "\$line" | md5sum | cut -c1-8)"
n=\$((\$(cat "\$count_file" 2>/dev/null || echo 0) + 1))
echo "\$n" >"\$count_file"
# Like the real wineboot, the first step makes the prefix's folder.
[ "\$line" = "wine wineboot -i" ] && mkdir -p "\$WINEPREFIX"
[ "\$line#\$n" = "\${STUB_FAIL:-}" ] && exit 7
# The width and loader each program of the prefix was started with.
[ "$tool" = wine ] && echo "\$WINEARCH \${WINELOADER:-none}" >>"\$STUB_DIR/arch"
# The program itself, where a case says what it writes to stderr and ends with.
if [ "$tool" = wine ] && [ -n "\${STUB_EXIT:-}" ] && [ "\$1" != reg ] && [ "\$1" != wineboot ]; then
    printf '%s' "\${STUB_STDERR:-}" >&2
    exit "\$STUB_EXIT"
fi
exit 0
EOF
    chmod +x "$scratch/bin/$tool"
done
touch "$scratch/program.exe"

desktop='wine reg add HKCU\Software\Wine\Explorer /v Desktop /d Default /f'
desktops='wine reg add HKCU\Software\Wine\Explorer\Desktops /v Default /d 1024x768 /f'
crash='wine reg add HKCU\Software\Wine\WineDbg /v ShowCrashDialog /t REG_DWORD /d 0 /f'

# failing call | expected message ("" for a run that succeeds)
cases=(
    "wine wineboot -i#1|failed at: wineboot -i (exit code 7"
    "wineserver -w#1|failed at: wineserver -w after wineboot (exit code 7"
    "$desktop#1|failed at: reg add Explorer Desktop (exit code 7"
    "$desktops#1|failed at: reg add Explorer Desktops Default (exit code 7"
    "$crash#1|failed at: reg add WineDbg ShowCrashDialog (exit code 7"
    "wineserver -w#2|failed at: wineserver -w after the registry (exit code 7"
    "|"
)

failures=0
for entry in "${cases[@]}"; do
    fail_at=${entry%%|*}
    expected=${entry#*|}
    prefix=$scratch/prefix
    rm -rf "$prefix" "$scratch/stub"
    mkdir -p "$scratch/stub"
    output=$(PATH="$scratch/bin:$PATH" STUB_DIR=$scratch/stub STUB_FAIL=$fail_at \
        ONEBOX_WINEPREFIX=$prefix ONEBOX_HEADLESS=0 DISPLAY=:99 \
        "$run" "$scratch/program.exe" 2>&1)
    rc=$?
    if [ -n "$expected" ]; then
        ok=1
        [ "$rc" -ne 0 ] || ok=0
        [[ $output == *"$expected"* ]] || ok=0
        [ ! -e "$prefix/.onebox-ready" ] || ok=0
    else
        ok=1
        [ "$rc" -eq 0 ] || ok=0
        [ -s "$prefix/.onebox-ready" ] || ok=0
    fi
    if [ "$ok" = 0 ]; then
        echo "FAILED: ${fail_at:-no failure}: exit code $rc, ready marker" \
            "$([ -e "$prefix/.onebox-ready" ] && echo present || echo absent), output: $output"
        failures=$((failures + 1))
    fi
done

# The last case left a ready OpenGL prefix: its Vulkan twin is a copy of it with the renderer
# value added, made without a wineboot.
rm -rf "$scratch/stub" && mkdir -p "$scratch/stub"
output=$(PATH="$scratch/bin:$PATH" STUB_DIR=$scratch/stub ONEBOX_RENDERER=vulkan \
    ONEBOX_WINEPREFIX=$scratch/prefix-vulkan ONEBOX_HEADLESS=0 DISPLAY=:99 \
    "$run" "$scratch/program.exe" 2>&1)
rc=$?
count() { cat "$scratch/stub/$(echo "$1" | md5sum | cut -c1-8)" 2>/dev/null || echo 0; }
renderer='wine reg add HKCU\Software\Wine\Direct3D /v renderer /d vulkan /f'
if [ "$rc" -ne 0 ] || [ "$(count 'wine wineboot -i')" != 0 ] || [ "$(count "$renderer")" != 1 ] ||
    [ ! -s "$scratch/prefix-vulkan/.onebox-ready" ]; then
    echo "FAILED: the Vulkan prefix beside a ready one: exit code $rc, wineboot ran" \
        "$(count 'wine wineboot -i') times, the renderer value was set $(count "$renderer")" \
        "times, output: $output"
    failures=$((failures + 1))
fi

# A folder that is not a prefix is not removed to make one.
mkdir -p "$scratch/notes"
echo keep >"$scratch/notes/file"
output=$(PATH="$scratch/bin:$PATH" STUB_DIR=$scratch/stub ONEBOX_WINEPREFIX=$scratch/notes \
    ONEBOX_HEADLESS=0 DISPLAY=:99 "$run" "$scratch/program.exe" 2>&1)
rc=$?
if [ "$rc" -eq 0 ] || [ "$(cat "$scratch/notes/file" 2>/dev/null)" != keep ] ||
    [[ $output != *"is not a Wine prefix"* ]]; then
    echo "FAILED: a folder that is not a prefix: exit code $rc, output: $output"
    failures=$((failures + 1))
fi

# Outside a build tree the program's PE header picks the prefix's width: a 64-bit program gets
# a 64-bit prefix, and every Wine program of it the loader named, also through WINELOADER.
# Headers of 0x48 bytes: "MZ", the offset 0x40 of "PE\0\0" at 0x3C, then the machine.
pe() { printf 'MZ%58s\x40\0\0\0PE\0\0%b' '' "$1" >"$scratch/$2.exe"; }
pe '\x4c\x01' pe32
pe '\x64\x86' pe64
# program | expected width and loader of each Wine program
widths=("pe32|win32 none" "pe64|win64 $scratch/bin/wine")
for entry in "${widths[@]}"; do
    IFS='|' read -r program expected <<<"$entry"
    rm -rf "$scratch/stub" "$scratch/cache"
    mkdir -p "$scratch/stub"
    output=$(PATH="$scratch/bin:$PATH" STUB_DIR=$scratch/stub XDG_CACHE_HOME=$scratch/cache \
        ONEBOX_WINE=$scratch/bin/wine ONEBOX_HEADLESS=0 DISPLAY=:99 WINELOADER='' \
        "$run" "$scratch/$program.exe" 2>&1)
    rc=$?
    seen=$(sort -u "$scratch/stub/arch" 2>/dev/null)
    if [ "$rc" -ne 0 ] || [ "$seen" != "$expected" ] ||
        [ ! -s "$scratch/cache/onebox/${expected% *}/wine-prefix/.onebox-ready" ]; then
        echo "FAILED: $program outside a build tree: exit code $rc, programs ran as: $seen," \
            "expected $expected, output: $output"
        failures=$((failures + 1))
    fi
done

# A crash never passes: Wine's debugger may end a crashed program with exit code 0, and the
# runner then fails the run after Wine's "Unhandled" line on stderr.
# what the program writes to stderr | its exit code | the run's
fault='wine: Unhandled page fault on write access to 0000000000000000 at address 0000000140001000'
crashes=(
    "$fault (thread 0024), starting debugger...|0|5"
    "wine: Unhandled illegal instruction at address 0000000140001000 (thread 0024)|0|1"
    "$fault (thread 0024), starting debugger...|5|5"
    "err:d3d:wined3d_debug_callback something unhandled|0|0"
    "|3|3"
)
for entry in "${crashes[@]}"; do
    IFS='|' read -r text code expected <<<"$entry"
    output=$(PATH="$scratch/bin:$PATH" STUB_DIR=$scratch/stub STUB_STDERR="$text" STUB_EXIT=$code \
        ONEBOX_WINEPREFIX=$scratch/prefix ONEBOX_HEADLESS=0 DISPLAY=:99 \
        "$run" "$scratch/program.exe" 2>&1)
    rc=$?
    if [ "$rc" -ne "$expected" ] || [[ $output != *"$text"* ]]; then
        echo "FAILED: a program writing '$text' and ending with $code: exit code $rc," \
            "expected $expected, output: $output"
        failures=$((failures + 1))
    fi
done

echo "prefix steps: ${#cases[@]} cases, the foreign folder, ${#widths[@]} widths and" \
    "${#crashes[@]} endings, $failures failed"
[ "$failures" -eq 0 ]
