#!/usr/bin/env bash
# Installs the Debian packages the build, the editor and the tests need,
# skipping any that are already there. Safe to run again.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  qt6-base-dev libqt6test6 qt6-tools-dev libgl-dev
  libqt6help6 qt6-documentation-tools
  libgtest-dev libbenchmark-dev
  fonts-liberation fonts-dejavu-core fonts-texgyre-math
  python3 python3-pil python3-fonttools
  clang libclang-rt-14-dev
  xvfb xauth
  openbox xdotool imagemagick netpbm x11-utils
  xclip
  desktop-file-utils shared-mime-info xdg-utils appstream man-db dpkg-dev file
  librsvg2-bin qt6-svg-dev zlib1g-dev libfontconfig-dev libfreetype-dev
  libsm-dev
  libmagickcore-6.q16-6-extra
  libfile-mimeinfo-perl
  lintian python3-debian
  texlive-latex-base dvipng
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
