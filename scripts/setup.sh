#!/usr/bin/env bash
# Installs the Debian packages Quexal needs to build, test, benchmark and run
# its demo. Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  clang libclang-rt-14-dev valgrind
  libopencv-dev opencv-data
  libgtest-dev libgmock-dev libbenchmark-dev
  python3-skimage-lib
  pybind11-dev python3-dev python3-numpy python3-opencv python3-pytest
  python3-tqdm python3-distributed python3-setuptools
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  libcli11-dev xvfb x11-apps imagemagick
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
