# shellcheck shell=bash disable=SC2034 # sets variables for the scripts that source it
# Sourced by setup.sh, run.sh, test.sh, soak.sh and the Wine runner: what this host can execute,
# and what the commands share: their options, the build and renderer they choose, their usage.
#
# Some Linux hosts run no 32-bit x86 code at all (the kernel's 32-bit emulation is off), and
# then no mode of Wine can run a 32-bit Windows program: wineboot itself fails with exit code
# 126. The kernel's version says nothing reliable about it, so this executes a tiny 32-bit
# program and believes its exit status.

# A static i386 ELF of 96 bytes whose only code is exit(42): mov ebx, 42; mov eax, 1; int 0x80.
host_i686_elf='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
host_i686_elf+='\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'
host_i686_elf+='\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'
host_i686_elf+='\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08'
host_i686_elf+='\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00'
host_i686_elf+='\x00\x10\x00\x00\xbb\x2a\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80'

# Returns 0 when this host runs 32-bit x86 code. Otherwise returns 1 and sets host_i686_why to
# a sentence saying what the test program got. The answer is kept for the rest of the shell.
# The program is written beside the scripts' build trees rather than in /tmp, which some
# machines mount noexec (that would read as "no 32-bit code" for the wrong reason).
host_runs_i686() {
    if [ -z "${host_i686_answer:-}" ]; then
        local dir probe rc out
        dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build
        if ! mkdir -p "$dir" || ! probe=$(mktemp "$dir/.i686-probe.XXXXXX"); then
            host_i686_answer=no
            host_i686_why="cannot write the 32-bit test program under $dir"
            return 1
        fi
        printf '%b' "$host_i686_elf" >"$probe" && chmod +x "$probe"
        out=$("$probe" 2>&1)
        rc=$?
        rm -f "$probe"
        if [ "$rc" -eq 42 ]; then
            host_i686_answer=yes
        else
            host_i686_answer=no
            out=${out##*: }
            host_i686_why="this host runs no 32-bit x86 code (a 32-bit test program gave ${out:+\"$out\", }exit code $rc)"
        fi
    fi
    [ "$host_i686_answer" = yes ]
}

# Returns 0 when this host can run the i686 build under Wine: it runs 32-bit x86 code, and the
# 32-bit Wine (Debian's wine32: its loader /usr/lib/wine/wine and its i386 libraries) is
# installed with the 32-bit libGL that its Direct3D needs. Otherwise returns 1 and sets
# host_i686_why to a sentence saying what is missing. A host that runs 32-bit code can still lack
# them, when tools/setup.sh could not install Debian's i386 packages (a mirror half way through a
# sync, say). Files are looked at, not dpkg's database: every test command asks this.
host_runs_i686_wine() {
    host_runs_i686 || return 1
    local need missing=
    local lib=/usr/lib/i386-linux-gnu
    for need in /usr/lib/wine/wine $lib/wine $lib/libGL.so.1; do
        [ -e "$need" ] || missing+=${missing:+, }$need
    done
    [ -z "$missing" ] && return 0
    host_i686_why="this host runs 32-bit x86 code but has no 32-bit Wine with its libGL (no $missing; tools/setup.sh installs them when it can)"
    return 1
}

# Sets arch (i686 or x86_64), its CMake preset and arch_why for the target asked for, or for the
# default when none is: the i686 product where this host runs it, otherwise its x86_64 twin.
host_choose_arch() {
    case ${1:-} in
    "")
        if host_runs_i686_wine; then
            arch=i686
            arch_why="the product; this host runs 32-bit x86 code and 32-bit Wine"
        else
            arch=x86_64
            arch_why="not the i686 product: $host_i686_why"
        fi
        ;;
    i686 | x86_64)
        arch=$1
        arch_why="chosen with --arch"
        ;;
    *)
        echo "onebox: --arch takes i686 or x86_64" >&2
        return 1
        ;;
    esac
    preset=mingw
    [ "$arch" = x86_64 ] && preset=mingw64
    return 0
}

# Sets renderer (gl or vulkan) and renderer_why for the renderer asked for, or for the default
# when none is: Vulkan, the one whose frames reach the window under Wine 8.0.
host_choose_renderer() {
    case ${1:-} in
    "")
        renderer=vulkan
        renderer_why="Wine's Direct3D on Vulkan: under Wine 8.0 its frames reach the window; --renderer gl presents off screen"
        ;;
    gl | vulkan)
        renderer=$1
        renderer_why="chosen with --renderer"
        ;;
    *)
        echo "onebox: --renderer takes gl or vulkan" >&2
        return 1
        ;;
    esac
}

# Prints a script's usage: its header comment, from the line after the #! line to the last line
# before the first that is not a comment, without the comment marks.
host_usage() {
    local line
    {
        read -r line
        while IFS= read -r line && [[ $line == "#"* ]]; do
            line=${line#\#}
            printf '%s\n' "${line# }"
        done
    } <"$1"
}

# host_parse_options SCRIPT NAME... -- ARGUMENTS...
# Reads each "--NAME VALUE" of the arguments into the variable NAME, its dashes underscores
# (--check-args: check_args); a NAME written +NAME is a flag, "--NAME" alone, which sets the
# variable to 1. Any other argument, or an option given as the last word without its value,
# prints a line saying which, then SCRIPT's usage, and exits with 2 at once (--help: the usage
# alone).
host_parse_options() {
    local script=$1 names=() name found
    shift
    while [ $# -gt 0 ] && [ "$1" != -- ]; do
        names+=("$1")
        shift
    done
    shift
    while [ $# -gt 0 ]; do
        found=
        for name in "${names[@]}"; do
            [ "$1" = "--$name" ] && found=$name
            if [ "$1" = "--${name#+}" ] && [ "$name" != "${name#+}" ]; then
                name=${name#+}
                printf -v "${name//-/_}" 1
                shift
                continue 2
            fi
        done
        if [ -z "$found" ] || [ $# -lt 2 ]; then
            if [ -n "$found" ]; then
                echo "${script##*/}: --$found needs a value" >&2
            elif [ "$1" != --help ] && [ "$1" != -h ]; then
                echo "${script##*/}: unknown option $1" >&2
            fi
            host_usage "$script"
            exit 2
        fi
        printf -v "${found//-/_}" '%s' "$2"
        shift 2
    done
}
