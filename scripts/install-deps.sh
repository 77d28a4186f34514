#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and runs with (as root).
# Runs apt-get update once, and only when something is missing.
set -euo pipefail
packages=(g++ cmake ninja-build pkg-config
  libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev
  libgtest-dev libgmock-dev libbenchmark-dev imagemagick
  qt6-base-dev libqt6svg6 xvfb xauth fonts-dejavu-core dbus)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
