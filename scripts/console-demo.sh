#!/usr/bin/env bash
# Console demo: builds the native tool (an incremental build, so the scan is
# always of the current sources), writes a small harmless sample tree into a
# temporary folder and scans it in report mode (nothing is changed).
# Usage: scripts/console-demo.sh
# DRENVALISK_BUILD_ROOT: see scripts/presets.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/presets.sh

if ! command -v cmake >/dev/null || ! command -v g++ >/dev/null || ! command -v ninja >/dev/null || [ ! -d /usr/include/gtest ]; then
  bash scripts/install-deps.sh  # a machine without the build tools yet
fi
echo "== building the native tool" >&2
preset_build host --target drenvalisk-scan drenvalisk-make-samples
build=$(preset_dir host)

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
