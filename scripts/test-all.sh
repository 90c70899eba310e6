#!/usr/bin/env bash
# Runs every test: native unit tests (CTest, which also checks that the native
# drenvalisk-scan links no part of the simulated machine), the import check of
# the shipped Win32 executables, the Win32 tests under Wine in a throw-away
# prefix, the GUI tests, the checks of the release packages, and a short run of
# each fuzz target. Each step builds its CMake preset first.
# Usage: scripts/test-all.sh [FUZZ_SECONDS]   (default 20 per target)
# DRENVALISK_BUILD_ROOT: see scripts/presets.sh.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/presets.sh
fuzz_seconds="${1:-20}"

bash scripts/install-deps.sh || exit 1

passed=0
failed=0
record() {  # record PASSED FAILED
  passed=$((passed + $1))
  failed=$((failed + $2))
}

echo "== native build and tests"
if preset_build host; then
  log=$(mktemp)
  (cd "$(preset_dir host)" && ctest --output-on-failure -j2) | tee "$log"
  total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n1)
  bad=$(sed -n 's/.*, \([0-9]*\) tests failed out of.*/\1/p' "$log" | tail -n1)
  [ -n "$total" ] || { total=1; bad=1; }
  record $((total - bad)) "$bad"
  rm -f "$log"
else
  echo "native build failed"
  record 0 1
fi

# The i686 build is what ships, whichever Wine runs the tests below: its
# executables must import nothing that Windows 98 SE or NT 4.0 lacks.
echo "== shipped Win32 executables: imports and image header"
if preset_build win32; then
  if bash scripts/check-imports.sh --self-test; then record 1 0; else record 0 1; fi
  if bash scripts/check-imports.sh "$(preset_dir win32)"; then record 1 0; else record 0 1; fi
else
  echo "Win32 build failed"
  record 0 1
fi

# Runs a suite script, showing its output, and records the counts of its
# summary line "TAG: N passed, M failed" (one failure when there is none).
record_suite() {  # record_suite TAG SCRIPT
  local log line
  log=$(mktemp)
  bash "$2" | tee "$log"
  line=$(grep -E "^$1: [0-9]+ passed, [0-9]+ failed" "$log" | tail -n1)
  rm -f "$log"
  if [ -n "$line" ]; then
    record "$(echo "$line" | sed "s/$1: \([0-9]*\) passed.*/\1/")" \
           "$(echo "$line" | sed 's/.*passed, \([0-9]*\) failed.*/\1/')"
  else
    record 0 1
  fi
}

echo "== Win32 tests under Wine"
record_suite wine scripts/wine-tests.sh

echo "== GUI tests under Xvfb and Wine"
record_suite gui scripts/gui-tests.sh

# The release artifacts as scripts/release.sh makes them into dist/, checked as
# their users' systems would check them (lintian, the unpacked package run,
# the manual page, the zip's imports). The double build that proves them
# reproducible is scripts/check-reproducible.sh, run on its own.
echo "== release packages"
if bash scripts/release.sh; then
  record_suite release scripts/check-release.sh
else
  echo "release build failed"
  record 0 1
fi

echo "== fuzz smoke (${fuzz_seconds}s per target)"
if bash scripts/fuzz.sh "$fuzz_seconds"; then record 1 0; else record 0 1; fi

echo
echo "total: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
