#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, run and test the menu.
# Safe to run again: only missing packages are installed.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-webengine-dev qt6-webengine-dev-tools
  libsqlcipher-dev sqlcipher libssl-dev
  libpq-dev postgresql
  libsodium-dev
  xvfb xauth x11-utils libxcb1-dev
  fonts-wqy-zenhei
  qt6-translations-l10n
  clang libclang-rt-14-dev clang-format
  dpkg-dev file desktop-file-utils appstream
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "需要以 root 身份安装: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
