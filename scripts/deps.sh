#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, when any is missing.
set -euo pipefail
pkgs=(cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev libgmock-dev
      libbenchmark-dev mingw-w64 wine64 imagemagick xvfb binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
      fonts-dejavu-core fonts-wqy-microhei fonts-wine xdotool x11-utils zip unzip
      wine32:i386)
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "deps: installing ${missing[*]}"
  # The i686 product runs under Debian's 32-bit Wine, a package of the i386 architecture.
  if [ "$(dpkg --print-architecture)" != i386 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "deps: adding the i386 architecture (for wine32:i386)"
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
