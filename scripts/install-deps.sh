#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; does nothing
# when they are all present.
set -euo pipefail
packages=(cmake ninja-build g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64
          wine64 googletest clang libclang-rt-14-dev python3 file libssl-dev)
if [ "${SETUP_WITH_X:-0}" = 1 ]; then packages+=(xvfb imagemagick); fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
