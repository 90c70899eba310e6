#!/usr/bin/env bash
# Installs every Debian package the scripts need: the builds (native, Win32
# and Win64 cross builds, fuzz), the tests under Wine and Xvfb, screenshots,
# the benchmarks, the registry-hive libraries and the release tools. Safe to
# run again: it does nothing when all are present.
set -euo pipefail

packages=(
  # Native build, tests, benchmarks, fuzzing (clang with its sanitizer and
  # libFuzzer runtimes).
  cmake ninja-build pkg-config g++ clang libclang-rt-14-dev
  libgtest-dev googletest libbenchmark-dev
  # Win32 cross build: the shipped executables use the win32-threads variant,
  # the tests the posix-threads one (GoogleTest); objdump reads import tables.
  g++-mingw-w64-i686-win32 g++-mingw-w64-i686-posix mingw-w64-tools binutils-mingw-w64-i686
  # The 64-bit fallback for machines without 32-bit Wine.
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  # Wine, a virtual display, screenshots and input for the window tests.
  wine wine32:i386 wine64 xvfb xauth x11-apps imagemagick xdotool
  # Tools the scripts call: time(1) and bc for the corpus benchmark.
  time bc
  # Reading and writing registry hive files.
  libhivex-dev libregf-utils
  # The release (scripts/release.sh, scripts/check-release.sh): the Debian
  # package's dependencies (dpkg-shlibdeps), the zip's entry order and times,
  # the package and manual page checks.
  dpkg-dev strip-nondeterminism lintian man-db
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "installing: ${missing[*]}" >&2
$sudo dpkg --add-architecture i386
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
