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

if host_runs_i686; then
  packages+=("${packages_i386[@]}")
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
fi

missing=()
for p in "${packages[@]}"; do
  # dpkg-query reports "install ok installed" only for a fully installed package.
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

[ "${#missing[@]}" -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq >/dev/null
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
