#!/usr/bin/env bash
# Installs, from Debian's packages, everything the build and the tests need.
# Idempotent: when nothing is missing it prints nothing and touches nothing.
#
# Both Windows targets are built everywhere; 64-bit Wine runs the x86_64 build on every host.
# The 32-bit Wine and its i386 libraries are installed only where this host runs 32-bit x86
# code (tools/host.sh): elsewhere they could not run, and Debian's wine would pick the 32-bit
# loader whenever it is there.
set -euo pipefail
# shellcheck source=tools/host.sh
. "$(dirname "${BASH_SOURCE[0]}")/host.sh"
# It takes no options: any argument is named, with the usage.
host_parse_options "$0" -- "$@"

packages=(
  cmake g++ make ninja-build git clang-format
  googletest libgtest-dev libbenchmark-dev libstb-dev
  clang-14 libfuzzer-14-dev libclang-rt-14-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64
  wine wine64
  libgl1 libgl1-mesa-dri libglx-mesa0 libvulkan1 mesa-vulkan-drivers
  libxcomposite1 libxrender1 libxrandr2 libxi6 libxcursor1 libxinerama1 libxfixes3 libxxf86vm1
  libx11-dev libxcomposite-dev libxdamage-dev libxext-dev libpng-dev
  fonts-wine xvfb xauth xdotool x11-utils imagemagick procps python3
  xcompmgr picom # compositing managers: the desktops a person's screen is composed by
  openbox # the window manager of the headless desktops where Wine's windows are X windows
  chromium # the layer report's page is tested in a real browser (tests/report)
)
packages_i386=(
  wine32:i386
  libgl1-mesa-dri:i386 libglx-mesa0:i386 libxcomposite1:i386 libxrender1:i386
  libxrandr2:i386 libxi6:i386 libxcursor1:i386 libxinerama1:i386 libxfixes3:i386
  libxxf86vm1:i386
  libgl1:i386 libvulkan1:i386 mesa-vulkan-drivers:i386
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

want_i386=0
if host_runs_i686; then
  want_i386=1
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
fi

# Sets missing to those of the packages named that are not fully installed.
find_missing() {
  missing=()
  local p
  for p in "$@"; do
    # dpkg-query reports "install ok installed" only for a fully installed package.
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
      missing+=("$p")
    fi
  done
}

find_missing "${packages[@]}"
missing_main=("${missing[@]}")
missing_i386=()
if [ "$want_i386" = 1 ]; then
  find_missing "${packages_i386[@]}"
  missing_i386=("${missing[@]}")
fi

[ "${#missing_main[@]}" -eq 0 ] && [ "${#missing_i386[@]}" -eq 0 ] && exit 0

export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# A mirror part way through a sync fails some of its indexes ("File has unexpected size"); apt
# keeps the lists it had or did get, which usually still serve the install. So a failed update
# is said and the install goes on: the install itself tells whether something cannot be had.
if ! "${sudo_cmd[@]}" apt-get update -qq >/dev/null 2>"$log"; then
  echo "setup: apt-get update failed in part (a mirror being synced?); going on with the package lists apt has" >&2
fi

if [ "${#missing_main[@]}" -gt 0 ]; then
  echo "setup: installing ${missing_main[*]}" >&2
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing_main[@]}" >/dev/null ||
    exit 1
fi

# The i386 packages go alone: when their index is stale, the 32-bit libraries' versions no longer
# match the 64-bit ones and apt refuses the whole set, which must not cost the 64-bit packages.
# Without them the i686 build cannot run under Wine here; the test command then gives it its
# static checks and says why (tools/host.sh, host_runs_i686_wine).
if [ "${#missing_i386[@]}" -gt 0 ]; then
  echo "setup: installing ${missing_i386[*]}" >&2
  if ! "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing_i386[@]}" \
    >/dev/null 2>"$log"; then
    echo "setup: the 32-bit Wine packages (i386) could not be installed ($(grep -m1 '^E:' "$log")); the rest is, and the i686 build gets its static checks only" >&2
  fi
fi
exit 0
