#!/usr/bin/env bash
# Runs every test: native unit tests (CTest), the Win32 build's tests under
# Wine in a throw-away prefix, and a short run of each fuzz target.
# Usage: scripts/test-all.sh [FUZZ_SECONDS]   (default 20 per target)
set -uo pipefail
cd "$(dirname "$0")/.."
fuzz_seconds="${1:-20}"

bash scripts/install-deps.sh || exit 1

passed=0
failed=0
record() {  # record PASSED FAILED
  passed=$((passed + $1))
  failed=$((failed + $2))
}

echo "== native build and tests"
if cmake --preset host >/dev/null && cmake --build --preset host; then
  log=$(mktemp)
  (cd build/host && ctest --output-on-failure -j2) | tee "$log"
  total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n1)
  bad=$(sed -n 's/.*, \([0-9]*\) tests failed out of.*/\1/p' "$log" | tail -n1)
  [ -n "$total" ] || { total=1; bad=1; }
  record $((total - bad)) "$bad"
  rm -f "$log"
else
  echo "native build failed"
  record 0 1
fi

echo "== Win32 build and tests under Wine"
if cmake --preset win32 >/dev/null && cmake --build --preset win32; then
  log=$(mktemp)
  bash scripts/wine-tests.sh | tee "$log"
  line=$(grep -E '^wine: [0-9]+ passed, [0-9]+ failed' "$log" | tail -n1)
  if [ -n "$line" ]; then
    record "$(echo "$line" | sed 's/wine: \([0-9]*\) passed.*/\1/')" \
           "$(echo "$line" | sed 's/.*passed, \([0-9]*\) failed.*/\1/')"
  else
    record 0 1
  fi
  rm -f "$log"
else
  echo "Win32 build failed"
  record 0 1
fi

echo "== fuzz smoke (${fuzz_seconds}s per target)"
if [ -f scripts/fuzz.sh ]; then
  if bash scripts/fuzz.sh "$fuzz_seconds"; then record 1 0; else record 0 1; fi
fi

echo
echo "total: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
