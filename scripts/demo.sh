#!/usr/bin/env bash
# Demo: builds the native tool when needed, writes a small harmless sample tree
# into a temporary folder and scans it in report mode (nothing is changed).
# Usage: scripts/demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/host
if ! command -v cmake >/dev/null || ! command -v ninja >/dev/null || [ ! -d /usr/include/gtest ]; then
  bash scripts/install-deps.sh  # a machine without the build tools yet
fi
if [ ! -x "$build/drenvalisk-scan" ] || [ ! -x "$build/drenvalisk-make-samples" ]; then
  echo "== building the native tool" >&2
  cmake --preset host >/dev/null
  cmake --build --preset host
fi

tree=$(mktemp -d /tmp/drenvalisk-demo-XXXXXX)
report=$(mktemp /tmp/drenvalisk-demo-report-XXXXXX)
cleanup() {
  chmod -R u+w "$tree" 2>/dev/null || true
  rm -rf "$tree" "$report"
}
trap cleanup EXIT

echo "== sample tree in $tree" >&2
"$build/drenvalisk-make-samples" demo "$tree"
(cd "$tree" && find . -type f | sort | sed 's|^\./|  |') >&2

echo "== scanning (report only; the folder is drive C:)" >&2
status=0
"$build/drenvalisk-scan" --action report --no "$tree" >"$report" || status=$?

echo "== report" >&2
cat "$report"
echo "== scanner exit status $status (0 clean, 1 infections found)" >&2
[ "$status" -eq 0 ] || [ "$status" -eq 1 ]
