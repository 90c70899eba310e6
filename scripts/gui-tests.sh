#!/usr/bin/env bash
# Runs the GUI tests (drenvalisk_gui_tests.exe: the dialogs driven in-process
# by their messages) under Xvfb and Wine, in a throw-away prefix whose Z:
# drive is removed and whose user folders are real folders, so that the
# scans the tests start reach nothing of the host. The tests run at 96
# logical pixels per inch; those whose names say LargeFonts or
# AtEveryResolution run again at 120 and at 144. Between the 96 and 120 dpi
# runs, drenvalisk.exe
# itself is driven end to end from a second process over planted infections
# (scripts/wine/gui-scan-check.sh). Their screenshots end up as PNGs
# in <tests build>/gui-screenshots/. Ends with one summary line,
# "gui: N passed, M failed", and a non-zero status when anything failed.
#
# Usage: scripts/gui-tests.sh
#   DRENVALISK_WINE_ARCH=win32|win64  as for scripts/wine-tests.sh
#   DRENVALISK_GUI_DISPLAY=:91        the Xvfb display to use
#   DRENVALISK_GUI_TESTS_DIR=DIR      test an existing build in DIR instead
#       of building the win32-tests (or win64) preset
#   DRENVALISK_GUI_FILTER=PATTERN     the GoogleTest filter of the 96 dpi run
#   DRENVALISK_GUI_E2E=0              leave out the end-to-end checks
#   DRENVALISK_BUILD_ROOT: see scripts/presets.sh.
set -uo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)
display="${DRENVALISK_GUI_DISPLAY:-:91}"

say() { printf '%s\n' "$*"; }
die() {
  say "gui-tests: $*" >&2
  say "gui: 0 passed, 1 failed"
  exit 1
}

for tool in Xvfb convert; do
  command -v "$tool" >/dev/null || die "$tool is not installed (scripts/install-deps.sh)"
done

source scripts/wine/prefix.sh
wine_choose
# The tests, the programs as they ship (for the tests that start them), and
# the helpers of the end-to-end checks.
shipped=(drenvalisk.exe drenvalisk-scan.exe)
helpers=(gui-remote.exe hold-file.exe locked-sleeper.exe sleeper.exe write-sample.exe)
if [ -n "${DRENVALISK_GUI_TESTS_DIR:-}" ]; then
  tests_dir=$(realpath "$DRENVALISK_GUI_TESTS_DIR")
  shipped_dir=$tests_dir
else
  source scripts/presets.sh
  preset_build "$tests_preset" --target drenvalisk_gui_tests "${helpers[@]%.exe}" ||
    die "the $tests_preset build failed"
  preset_build "$shipped_preset" --target "${shipped[@]%.exe}" ||
    die "the $shipped_preset build failed"
  tests_dir=$(realpath "$(preset_dir "$tests_preset")")
  shipped_dir=$(realpath "$(preset_dir "$shipped_preset")")
fi
for exe in drenvalisk_gui_tests.exe "${helpers[@]}"; do
  [ -f "$tests_dir/$exe" ] || die "missing $tests_dir/$exe"
done
for exe in "${shipped[@]}"; do
  [ -f "$shipped_dir/$exe" ] || die "missing $shipped_dir/$exe"
done

work=$(mktemp -d /tmp/drenvalisk-gui.XXXXXX) || die "mktemp failed"
xvfb_pid=
cleanup() {
  wine_end_prefix "$work"
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  case "$work" in /tmp/drenvalisk-gui.*) rm -rf "$work" ;; esac
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The display: a screen of our own, nothing else on it.
[ -e "/tmp/.X11-unix/X${display#:}" ] && die "display $display is in use (DRENVALISK_GUI_DISPLAY picks another)"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.txt" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X${display#:}" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || die "Xvfb could not start on $display ($(cat "$work/xvfb.txt"))"
  sleep 0.1
done
export DISPLAY="$display"

t0=$(date +%s)
wine_make_prefix "$work"
# Without a window manager, closing a captioned window otherwise stalls.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
bin="$WINEPREFIX/drive_c/drvbin"
mkdir -p "$bin"
cp "$tests_dir/drenvalisk_gui_tests.exe" "${shipped[@]/#/$shipped_dir/}" \
  "${helpers[@]/#/$tests_dir/}" "$bin/"
say "gui-tests: prefix ready in $(( $(date +%s) - t0 )) s ($arch, display $display)"

passed=0
failed=0
run_tests() {  # run_tests NAME FILTER
  local log="$work/logs/gui-${1// /-}.txt" status p f s
  t0=$(date +%s)
  (cd "$WINEPREFIX/drive_c" &&
    timeout 600 "$wine_loader" 'C:\drvbin\drenvalisk_gui_tests.exe' --gtest_filter="$2" \
      --gtest_color=no) >"$log" 2>&1
  status=$?
  p=$(summary_count "$log" PASSED); f=$(summary_count "$log" FAILED); s=$(summary_count "$log" SKIPPED)
  p=${p:-0}; f=${f:-0}; s=${s:-0}
  [ "$status" -ne 0 ] && [ "$f" -eq 0 ] && f=1
  say "gui-tests: $1: $p passed, $f failed, $s skipped ($(( $(date +%s) - t0 )) s, exit $status)"
  sed 's/\r$//' "$log" | grep '^\[   INFO   \]'
  [ "$f" -ne 0 ] && sed 's/\r$//' "$log" | grep -v '^\[       OK \]\|^\[ RUN      \]'
  passed=$((passed + p))
  failed=$((failed + f))
}

run_tests "96 dpi" "${DRENVALISK_GUI_FILTER:--*LargeFonts*}"
[ "${DRENVALISK_GUI_E2E:-1}" = 0 ] || source scripts/wine/gui-scan-check.sh  # drenvalisk.exe end to end
# Large fonts: the screen reports 120, then 144 logical pixels per inch.
for dpi in 120 144; do
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  run_tests "$dpi dpi" "*LargeFonts*:*AtEveryResolution*"
done

shots="$tests_dir/gui-screenshots"
rm -rf "$shots"
mkdir -p "$shots"
for bmp in "$WINEPREFIX"/drive_c/guishots/*.bmp; do
  [ -f "$bmp" ] || continue
  convert "$bmp" "$shots/$(basename "${bmp%.bmp}").png" || failed=$((failed + 1))
done
say "gui-tests: screenshots in $shots ($(ls "$shots" | wc -l) files)"
say "gui-tests: $(( $(date +%s) - started )) s in all"
say "gui: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
