#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; does nothing
# when they are all present.
set -euo pipefail
packages=(cmake ninja-build g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64
          wine64 googletest clang libclang-rt-14-dev python3 file libssl-dev locales)
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

# Wine takes the ANSI code page (1250) from LC_ALL=cs_CZ.UTF-8 on its own, but
# converts file names through the C library's locale: without cs_CZ.UTF-8
# generated, a name with Czech letters can be neither made nor found.
if ! locale -a 2>/dev/null | grep -qix 'cs_CZ\.utf-\?8'; then
  echo "Generating the locale cs_CZ.UTF-8"
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  [ ! -f /etc/locale.gen ] || $SUDO sed -i 's/^# *\(cs_CZ\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -qsx 'cs_CZ.UTF-8 UTF-8' /etc/locale.gen || echo 'cs_CZ.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
