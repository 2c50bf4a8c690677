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
# A mirror caught mid-sync fails one index now and then: try again, then go on with the
# lists that did arrive (an install that still lacks a package fails below, naming it).
for attempt in 1 2 3; do
  apt-get update -qq && break
  [ "$attempt" -lt 3 ] && sleep 20
done
if ! apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
  # The 32-bit Wine needs every i386 library at its amd64 twin's version; a mirror that is
  # missing one index cannot give that for a while. The rest still installs, and the tests
  # then run the x86_64 build end to end, saying so.
  rest=()
  for p in "${missing[@]}"; do [ "$p" = wine32:i386 ] || rest+=("$p"); done
  echo "note: the 32-bit Wine could not be installed now; installing the rest" >&2
  apt-get install -y -qq --no-install-recommends "${rest[@]}" >/dev/null
fi
