#!/usr/bin/env bash
# Runs the Win32 build's tests under Wine, in a throw-away prefix that cannot
# reach the host: its Z: drive (the host's root) is removed and the user
# folders that Wine links to $HOME are replaced by real folders. The test
# executable runs once per Windows version Wine reports; then the console
# front end scans a folder of the prefix. Ends with one summary line,
# "wine: N passed, M failed", and a non-zero status when anything failed.
#
# Usage: scripts/wine-tests.sh
#   DRENVALISK_WINE_ARCH=win32|win64  force the build to test (default: win32,
#       or win64 when this kernel cannot run 32-bit programs, and so no 32-bit
#       Wine: the same sources built as 64-bit PE, run by wine64).
# Builds: win32 the shipped executables (build/win32) and win32-tests the test
# executables and helpers (build/win32-tests, the posix-threads toolchain that
# GoogleTest needs); win64 builds both kinds into build/win64.
# DRENVALISK_BUILD_ROOT: see scripts/presets.sh.
set -uo pipefail
cd "$(dirname "$0")/.."
source_dir=$(pwd)

versions=(win98 nt40 win2k winxp win7)
started=$(date +%s)

say() { printf '%s\n' "$*"; }
die() {
  say "wine-tests: $*" >&2
  say "wine: 0 passed, 1 failed"
  exit 1
}

# Which Wine and which build.
source scripts/wine/prefix.sh
wine_choose
[ "$arch" = win64 ] && [ -z "${DRENVALISK_WINE_ARCH:-}" ] &&
  say "wine-tests: this machine runs no 32-bit Wine; testing the 64-bit build of the same sources under wine64 instead"
source scripts/presets.sh
[ "$arch" = win64 ] && ! command -v x86_64-w64-mingw32-g++-posix >/dev/null &&
  die "g++-mingw-w64-x86-64-posix is not installed (needed where 32-bit Wine cannot run)"
for preset in "$shipped_preset" "$tests_preset"; do
  preset_build "$preset" || die "the $preset build failed"
done
shipped_dir=$(realpath "$(preset_dir "$shipped_preset")")
tests_dir=$(realpath "$(preset_dir "$tests_preset")")
shipped=(drenvalisk-scan.exe)
helpers=(drenvalisk_win32_tests.exe write-sample.exe sleeper.exe drvtest-service.exe version-info.exe)
for exe in "${shipped[@]}"; do
  [ -f "$shipped_dir/$exe" ] || die "missing $shipped_dir/$exe"
done
for exe in "${helpers[@]}"; do
  [ -f "$tests_dir/$exe" ] || die "missing $tests_dir/$exe"
done

# The throw-away prefix (scripts/wine/prefix.sh), no display.
work=$(mktemp -d /tmp/drenvalisk-wine.XXXXXX) || die "mktemp failed"
cleanup() {
  wine_end_prefix "$work"
  case "$work" in /tmp/drenvalisk-wine.*) rm -rf "$work" ;; esac
}
trap cleanup EXIT
trap 'exit 130' INT TERM
unset DISPLAY WAYLAND_DISPLAY
t0=$(date +%s)
wine_make_prefix "$work"
bin="$WINEPREFIX/drive_c/drvbin"
mkdir -p "$bin"
for exe in "${shipped[@]}"; do cp "$shipped_dir/$exe" "$bin/"; done
for exe in "${helpers[@]}"; do cp "$tests_dir/$exe" "$bin/"; done
say "wine-tests: prefix ready in $(( $(date +%s) - t0 )) s ($arch)"

passed=0
failed=0
skipped=0

# Each version runs the tests that do not depend on it, and its own family's.
filter_for() {
  case "$1" in
    win98) echo "-RemovalAtRestart.Nt*" ;;
    *) echo "-RemovalAtRestart.Win9x*" ;;
  esac
}

for version in "${versions[@]}"; do
  wine reg add 'HKCU\Software\Wine' /v Version /d "$version" /f >/dev/null 2>&1 ||
    die "could not select Windows version $version"
  log="$work/logs/tests-$version.txt"
  t0=$(date +%s)
  (cd "$WINEPREFIX/drive_c" &&
    DRENVALISK_WINE_VERSION="$version" timeout 300 "$wine_loader" \
      'C:\drvbin\drenvalisk_win32_tests.exe' --gtest_filter="$(filter_for "$version")" \
      --gtest_color=no) >"$log" 2>&1
  status=$?
  p=$(summary_count "$log" PASSED)
  f=$(summary_count "$log" FAILED)
  s=$(summary_count "$log" SKIPPED)
  p=${p:-0}; f=${f:-0}; s=${s:-0}
  if [ "$status" -ne 0 ] && [ "$f" -eq 0 ]; then
    f=1  # crashed, hung or refused to run: no summary to trust
  fi
  say "wine-tests: $version: $p passed, $f failed, $s skipped ($(( $(date +%s) - t0 )) s, exit $status)"
  if [ "$f" -ne 0 ]; then
    sed 's/\r$//' "$log" | grep -v '^\[       OK \]\|^\[ RUN      \]'
  fi
  passed=$((passed + p))
  failed=$((failed + f))
  skipped=$((skipped + s))
done

# The console front end on a folder of the prefix: one infected sample, one
# clean file. Each check counts as one test.
check() { count_check "wine-tests: console front end" "$@"; }
run_scan() {  # run_scan ARGS...: sets scan_status, scan_out, scan_err
  (cd "$WINEPREFIX/drive_c" &&
    timeout 120 "$wine_loader" 'C:\drvbin\drenvalisk-scan.exe' "$@" \
      >"$work/logs/scan-out.txt" 2>"$work/logs/scan-err.txt")
  scan_status=$?
  scan_out=$(sed 's/\r$//' "$work/logs/scan-out.txt")
  scan_err=$(sed 's/\r$//' "$work/logs/scan-err.txt")
}
has_line() { grep -qxF -- "$2" <<<"$1"; }
last_line_is() { [ "$(tail -n1 <<<"$1")" = "$2" ]; }

t0=$(date +%s)
mkdir -p "$WINEPREFIX/drive_c/clitest"
name=$( (cd "$WINEPREFIX/drive_c" &&
  "$wine_loader" 'C:\drvbin\write-sample.exe' 'C:\clitest\bej.exe') | sed 's/\r$//')
(cd "$WINEPREFIX/drive_c" &&
  "$wine_loader" 'C:\drvbin\write-sample.exe' 'C:\clitest\clean.exe' clean) >/dev/null
check "samples written" test -n "$name" -a -f "$WINEPREFIX/drive_c/clitest/bej.exe" \
  -a -f "$WINEPREFIX/drive_c/clitest/clean.exe"

run_scan 'C:\clitest'
check "report scan exits 1" test "$scan_status" -eq 1
check "report line" has_line "$scan_out" \
  "C:\\clitest\\bej.exe     $name not disinfected as per user's selection"
check "report scan statistics" has_line "$scan_out" "Total files scanned"$'\t\t'":  2"
check "report scan status" last_line_is "$scan_err" "Scanning completed"
check "report scan keeps the file" test -f "$WINEPREFIX/drive_c/clitest/bej.exe"

run_scan --action delete --no 'C:\clitest'
check "delete scan exits 1" test "$scan_status" -eq 1
check "delete line" has_line "$scan_out" "C:\\clitest\\bej.exe     $name removed"
check "delete scan removes the sample" test ! -e "$WINEPREFIX/drive_c/clitest/bej.exe"
check "delete scan keeps the clean file" test -f "$WINEPREFIX/drive_c/clitest/clean.exe"

run_scan 'C:\clitest'
check "clean folder exits 0" test "$scan_status" -eq 0
run_scan 'C:\no such folder'
check "missing folder exits 2" test "$scan_status" -eq 2
check "missing folder named" last_line_is "$scan_err" \
  "drenvalisk-scan: cannot scan C:\\no such folder: no such folder"
run_scan 'C:\clitest' 'C:\drvbin'
check "two folders exit 2" test "$scan_status" -eq 2
check "two folders: usage" last_line_is "$scan_err" \
  "usage: drenvalisk-scan [--action delete|rename|report] [--yes|--no] [--log FILE] [DIR]"
run_scan --action zap 'C:\clitest'
check "unknown action named" has_line "$scan_err" \
  "drenvalisk-scan: unknown action 'zap' (delete, rename or report)"
version=$(sed -n 's/^project(drenvalisk VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
run_scan --version
check "version" test "$scan_status" -eq 0 -a "$scan_out" = "drenvalisk-scan $version"
run_scan --help
check "help on stdout" test "$scan_status" -eq 0 -a -z "$scan_err"
check "help: usage first" has_line "$scan_out" \
  "usage: drenvalisk-scan [--action delete|rename|report] [--yes|--no] [--log FILE] [DIR]"
say "wine-tests: console front end checked ($(( $(date +%s) - t0 )) s)"
source "$source_dir/scripts/wine/report-mode-check.sh"  # report mode changes nothing
source "$source_dir/scripts/wine/version-resource-check.sh"  # the executables' version information

say "wine-tests: $skipped skipped, $(( $(date +%s) - started )) s in all"
say "wine: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
