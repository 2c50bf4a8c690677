#!/usr/bin/env bash
# Installs every build and test dependency on a Debian 12 machine (run as root).
# Does nothing when everything is already there.
set -euo pipefail

packages=(
  cmake make g++ ninja-build
  mingw-w64 g++-mingw-w64-i686-posix
  wine wine64 wine32:i386
  msitools wixl
  googletest libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev
  python3-pefile
  python3-olefile
  # signing launcher.exe, and the test certificates
  osslsigncode openssl
  # demo.sh --screenshots: a virtual X display, its screen dump, Wine's own fonts
  xvfb x11-apps fonts-wine
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]} (run this script as root to install them)" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
# wine32 is an i386 package.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
