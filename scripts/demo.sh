#!/usr/bin/env bash
# Demo: drenvalisk.exe, the tool as it ships, on a machine made for the
# purpose. Installs what is missing (scripts/install-deps.sh), builds the
# program, makes a throw-away Wine prefix that cannot reach this machine (its
# Z: drive, the host's root, is removed; the user folders are real folders)
# and plants harmless synthetic samples in C:\Demo (three carrying a
# signature, one of them read-only, and a start-up value naming one). Then:
#   - with a display ($DISPLAY): the program opens on it; press SCAN, and OK
#     when you have read the report. The report list is printed here too.
#   - without one (or DRENVALISK_DEMO_HEADLESS=1): it runs under Xvfb,
#     SCAN is pressed for you, and once the scan has finished the script saves
#     a screenshot of the window and prints the report list.
# The prefix is deleted at the end; nothing outside it is changed.
#
# Usage: scripts/demo.sh
#   DRENVALISK_DEMO_SHOT=FILE      where the screenshot goes (default
#                                  <build root>/demo/drenvalisk-demo.png)
#   DRENVALISK_DEMO_DISPLAY=:94    the Xvfb display when there is no screen
#   DRENVALISK_WINE_ARCH, DRENVALISK_BUILD_ROOT: as for the tests
set -uo pipefail
cd "$(dirname "$0")/.."

say() { printf '%s\n' "$*" >&2; }
die() {
  say "demo: $*"
  exit 1
}

bash scripts/install-deps.sh || die "could not install the packages it needs"
source scripts/presets.sh
source scripts/wine/prefix.sh
source scripts/wine/display.sh
wine_choose

headless=1
if [ "${DRENVALISK_DEMO_HEADLESS:-0}" != 1 ] && [ -n "${DISPLAY:-}" ] &&
  xwd -root -silent >/dev/null 2>&1; then
  headless=0
fi
shot="${DRENVALISK_DEMO_SHOT:-$(preset_dir demo)/drenvalisk-demo.png}"

say "== building drenvalisk.exe ($shipped_preset) and the demo's helpers"
preset_build host --target drenvalisk-make-samples || die "the host build failed"
preset_build "$shipped_preset" --target drenvalisk || die "the $shipped_preset build failed"
preset_build "$tests_preset" --target gui-remote || die "the $tests_preset build failed"

work=$(mktemp -d /tmp/drenvalisk-demo.XXXXXX) || die "mktemp failed"
gui_pid=
cleanup() {
  [ -n "$gui_pid" ] && kill -9 "$gui_pid" 2>/dev/null
  wine_end_prefix "$work"
  display_stop
  case "$work" in /tmp/drenvalisk-demo.*) rm -rf "$work" ;; esac
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ "$headless" = 1 ]; then
  display_start "${DRENVALISK_DEMO_DISPLAY:-:94}"
  say "== no screen to show it on: a virtual one ($DISPLAY)"
fi
say "== a throw-away Wine prefix ($arch) in $work"
wine_make_prefix "$work"
[ "$headless" = 1 ] && display_unmanaged_windows
c="$WINEPREFIX/drive_c"
mkdir -p "$c/Drenvalisk"
cp "$(preset_dir "$shipped_preset")/drenvalisk.exe" "$(preset_dir "$tests_preset")/gui-remote.exe" \
  "$c/Drenvalisk/"

from_c() { (cd "$c" && "$wine_loader" "$@") 2>>"$work/logs/wine.txt"; }
remote() {
  from_c 'C:\Drenvalisk\gui-remote.exe' "$@" >"$work/remote.txt"
  local status=$?
  sed 's/\r$//' "$work/remote.txt"
  return "$status"
}

say "== harmless samples in C:\\Demo"
"$(preset_dir host)/drenvalisk-make-samples" demo "$c/Demo" 2>"$work/samples.txt" ||
  die "cannot write the samples: $(cat "$work/samples.txt")"
(cd "$c/Demo" && find . -type f | sort | sed 's|^\./|  C:\\Demo\\|; s|/|\\|g') >&2
from_c reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v InvoiceHelper \
  /d 'C:\Demo\Users\alice\Downloads\invoice.exe' /f >/dev/null
say "  start-up value Run\\InvoiceHelper = C:\\Demo\\Users\\alice\\Downloads\\invoice.exe"

(cd "$c" && exec "$wine_loader" 'C:\Drenvalisk\drenvalisk.exe') >>"$work/logs/wine.txt" 2>&1 &
gui_pid=$!
remote wait-window 60000 >/dev/null || die "drenvalisk.exe showed no window"

# Waits for the scan's end; a question (a restart, which this demo's samples
# never need) is answered No or Cancel in the virtual screen's case.
wait_for_report() {
  local outcome
  while :; do
    outcome=$(remote wait-end 3600000) || return 1
    case "$outcome" in
      finished*) return 0 ;;
      gone) return 1 ;;
      question)
        if [ "$headless" = 1 ]; then
          remote question >&2
          remote answer IDC_NO_BUTTON >/dev/null 2>&1 || remote answer IDCANCEL >/dev/null
        else
          sleep 1
        fi
        ;;
    esac
  done
}

print_report() {
  say "== the report list"
  remote list
  say "== status: $(remote status)"
}

if [ "$headless" = 0 ]; then
  say "== drenvalisk.exe is on your screen ($DISPLAY): press SCAN, then OK when you are done"
  if wait_for_report; then
    print_report
    wait "$gui_pid"
  else
    say "== the program was closed without a scan"
  fi
  gui_pid=
  exit 0
fi

say "== pressing SCAN"
remote click IDC_SCAN_BUTTON >/dev/null || die "could not press SCAN"
wait_for_report || die "the scan did not finish"
mkdir -p "$(dirname "$shot")"
read -r left top width height < <(remote rect)
import -window root -crop "${width}x${height}+${left}+${top}" +repage "$shot" ||
  die "could not take the screenshot"
print_report
say "== screenshot of the finished report: $shot"
remote click IDC_OK_BUTTON >/dev/null
wait "$gui_pid"
gui_pid=
