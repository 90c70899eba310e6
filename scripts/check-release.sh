#!/usr/bin/env bash
# Checks the release artifacts in dist/ (scripts/release.sh makes them) the way
# their users' systems would:
#   - SHA256SUMS matches both files;
#   - the zip holds exactly drenvalisk.exe, drenvalisk-scan.exe and README.txt,
#     the text with CRLF line ends, and both executables pass the import check
#     (scripts/check-imports.sh: Windows 98 SE and NT 4.0);
#   - lintian reports no error on the Debian package;
#   - the package depends on libhivex, and its files, unpacked into a temporary
#     root (dpkg-deb -x), run: --version, then a report-mode scan of the demo
#     samples that finds them and changes nothing;
#   - the manual page renders without warnings (man --warnings -l), and the
#     copyright file names the holder and says no licence is granted yet.
# Ends with one summary line, "release: N passed, M failed".
#
# Usage: scripts/check-release.sh [DIST]   (default dist)
# DRENVALISK_BUILD_ROOT: see scripts/presets.sh (the sample writer comes from
# the host preset's build).
set -uo pipefail
caller_dir=$(pwd)
cd "$(dirname "$0")/.."
source scripts/presets.sh
dist=${1:-dist}
case "$dist" in /*) ;; *) dist="$caller_dir/$dist" ;; esac

passed=0
failed=0
check() {  # check NAME COMMAND...: one counted check
  local name=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'release: FAILED: %s\n' "$name"
  fi
}
finish() {
  printf 'release: %d passed, %d failed\n' "$passed" "$failed"
  [ "$failed" -eq 0 ]
  exit
}

version=$(sed -n 's/^project(drenvalisk VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
zip=$dist/drenvalisk-$version-win32.zip
deb=$dist/drenvalisk-scan_${version}-1_amd64.deb
check "artifacts present in $dist" test -f "$zip" -a -f "$deb" -a -f "$dist/SHA256SUMS"
[ "$failed" -eq 0 ] || finish

work=$(mktemp -d /tmp/drenvalisk-release-check.XXXXXX) || exit 1
cleanup() { chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

check "SHA256SUMS matches" bash -c "cd '$dist' && sha256sum --quiet -c SHA256SUMS"

# The zip.
mkdir -p "$work/zip"
unzip -q "$zip" -d "$work/zip"
entries=$(unzip -Z1 "$zip" | tr '\n' ' ')
check "zip entries (got: $entries)" test "$entries" = "README.txt drenvalisk-scan.exe drenvalisk.exe "
crlf_only() {  # every line of $1 ends in CRLF, and it has some
  [ -s "$1" ] && [ "$(grep -c $'\r$' "$1")" -eq "$(wc -l <"$1")" ]
}
check "README.txt has CRLF line ends" crlf_only "$work/zip/README.txt"
check "README.txt names the version" grep -q "Drenvalisk $version for Windows" "$work/zip/README.txt"
check "zip executables pass the import check" \
  bash scripts/check-imports.sh --files "$work/zip/drenvalisk.exe" "$work/zip/drenvalisk-scan.exe"

# The Debian package.
lintian --fail-on error "$deb" >"$work/lintian.txt" 2>&1
lintian_status=$?
lintian_out=$(grep -v '^running with root privileges' "$work/lintian.txt")
printf 'release: lintian: %s\n' "${lintian_out:-(nothing to report)}"
check "lintian reports no error" test "$lintian_status" -eq 0
depends=$(dpkg-deb -f "$deb" Depends)
check "dependencies from the binary ($depends)" grep -q 'libhivex0' <<<"$depends"
root=$work/root
dpkg-deb -x "$deb" "$root"
scan=$root/usr/bin/drenvalisk-scan
check "package's drenvalisk-scan --version" \
  test "$("$scan" --version 2>&1)" = "drenvalisk-scan $version"

if preset_build host --target drenvalisk-make-samples; then
  tree=$work/tree
  mkdir -p "$tree"
  "$(preset_dir host)/drenvalisk-make-samples" demo "$tree" >/dev/null 2>&1
  before=$(cd "$tree" && find . -type f -exec sha256sum {} + | sort)
  status=0
  "$scan" --action report --no "$tree" >"$work/report.txt" 2>"$work/status.txt" || status=$?
  check "report-mode scan of the demo samples exits 1 (found)" test "$status" -eq 1
  check "report-mode scan reports what it found" \
    grep -q "not disinfected as per user's selection" "$work/report.txt"
  check "report-mode scan ends with its status" \
    test "$(tail -n1 "$work/status.txt")" = "Scanning completed"
  check "report-mode scan changes nothing" \
    test "$before" = "$(cd "$tree" && find . -type f -exec sha256sum {} + | sort)"
else
  check "host build of the sample writer" false
fi

man_page=$root/usr/share/man/man1/drenvalisk-scan.1.gz
man_warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$man_page" 2>&1 >"$work/man.txt")
[ -z "$man_warnings" ] || printf 'release: man: %s\n' "$man_warnings"
check "manual page renders without warnings" test -z "$man_warnings"
check "manual page has its sections" bash -c \
  "grep -q '^EXIT STATUS' '$work/man.txt' && grep -q '^EXAMPLES' '$work/man.txt' && grep -q '^FILES' '$work/man.txt'"
copyright=$root/usr/share/doc/drenvalisk-scan/copyright
check "copyright file names the holder" grep -q 'Copyright (C) [0-9]* Vexmoor Software Ltd\.' "$copyright"
check "copyright file says no licence is granted" grep -q 'no licence is granted' "$copyright"
finish
