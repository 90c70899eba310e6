#!/usr/bin/env bash
# Checks that the shipped Win32 executables start on Windows 98 SE and NT 4.0:
# every function each one imports must be on the allow-list of functions both
# systems export (scripts/win32-imports.allow), and the image must be a PE32
# marked for OS and subsystem version 4.0. Wine exports everything, so no test
# under Wine notices an import those systems lack; this reads the import
# tables instead (objdump from binutils-mingw-w64-i686), on any machine.
#
# Usage: scripts/check-imports.sh [BUILD_DIR]   the executables listed in
#            scripts/shipped-executables.txt, in BUILD_DIR (default build/win32)
#        scripts/check-imports.sh --files EXE...   these executables
#        scripts/check-imports.sh --self-test   a program built with the
#            posix-threads toolchain must fail the check, a win32-threads one pass
# Exit status: 0 when every executable passes, 1 otherwise.
set -uo pipefail
caller_dir=$(pwd)
cd "$(dirname "$0")/.."

# A path given on the command line, relative to where the script was called.
from_caller() { case "$1" in /*) echo "$1" ;; *) echo "$caller_dir/$1" ;; esac; }

allow_list=scripts/win32-imports.allow
shipped_list=scripts/shipped-executables.txt
objdump=i686-w64-mingw32-objdump

say() { printf 'imports: %s\n' "$*"; }

# "DLL FUNCTION" per import of the PE file $1, DLL upper-cased; an import by
# ordinal reads "DLL #ORDINAL".
imports_of() {
  "$objdump" -p "$1" | awk '
    /^\tDLL Name: / { dll = toupper($3); next }
    /^\t[0-9a-f]+\t +[0-9]+ +<none>/ && dll != "" { print dll, "#" $2; next }
    /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+$/ && dll != "" { print dll, $3; next }
    /^$/ { dll = "" }'
}

# "DLL FUNCTION" per allowed function.
allowed() {
  awk '
    { sub(/#.*/, ""); gsub(/[ \t\r]/, "") }
    /^\[.*\]$/ { dll = toupper(substr($0, 2, length($0) - 2)); next }
    $0 != "" && dll != "" { print dll, $0 }' "$allow_list"
}

# Checks one executable; prints what is wrong, one line per fault.
check_one() {  # check_one PATH
  local exe=$1 name header bad=0
  name=$(basename "$exe")
  header=$("$objdump" -p "$exe" 2>&1) || { say "FAILED: $name: objdump cannot read it: $header"; return 1; }
  if ! grep -q 'file format pei-i386' <<<"$header"; then
    say "FAILED: $name is not a 32-bit PE (i386) image"
    bad=1
  fi
  local field want have
  for field in MajorOSystemVersion:4 MinorOSystemVersion:0 MajorSubsystemVersion:4 MinorSubsystemVersion:0; do
    want=${field#*:}
    have=$(awk -v f="${field%%:*}" '$1 == f { print $2 + 0; exit }' <<<"$header")
    if [ "$have" != "$want" ]; then
      say "FAILED: $name: ${field%%:*} is ${have:-missing}, must be $want for the Windows 98 and NT 4.0 loaders"
      bad=1
    fi
  done
  local list count dlls missing
  list=$(imports_of "$exe" | sort -u)
  count=$(grep -c . <<<"$list")
  dlls=$(cut -d' ' -f1 <<<"$list" | sort -u | tr '\n' ' ')
  missing=$(comm -23 <(printf '%s\n' "$list") <(allowed | sort -u))
  if [ -n "$missing" ]; then
    while read -r dll function; do
      say "FAILED: $name imports $function from $dll, which is not on the list of functions" \
        "Windows 98 SE and NT 4.0 both export ($allow_list)"
    done <<<"$missing"
    say "a function newer systems alone export must be loaded by name at run time" \
      "(LoadLibraryA + GetProcAddress); add one to the list only with the source that shows both export it"
    bad=1
  fi
  [ "$bad" -eq 0 ] && say "$name: $count functions from ${dlls% }, all on the allow-list; OS and subsystem version 4.0"
  return "$bad"
}

self_test() {
  local work status=0 source
  work=$(mktemp -d /tmp/drenvalisk-imports.XXXXXX) || return 1
  source="$work/hello.cpp"
  # C++ exceptions draw in the thread library of the posix-threads variant.
  printf '%s\n' '#include <stdexcept>' \
    'int main(int argc, char**) {' \
    '  try { if (argc > 8) throw std::runtime_error("many"); } catch (const std::exception&) { return 1; }' \
    '  return 0;' '}' >"$source"
  i686-w64-mingw32-g++-posix -static -O1 "$source" -o "$work/posix.exe" &&
    i686-w64-mingw32-g++-win32 -static -O1 "$source" -o "$work/win32.exe" \
      -Wl,--major-subsystem-version,4,--minor-subsystem-version,0,--major-os-version,4,--minor-os-version,0 ||
    { say "self-test: cannot build the sample programs"; rm -rf "$work"; return 1; }
  if check_one "$work/posix.exe" >"$work/posix.txt"; then
    say "self-test FAILED: a posix-threads program passed"; status=1
  elif ! grep -q 'imports GetTickCount64 from KERNEL32.DLL' "$work/posix.txt"; then
    say "self-test FAILED: the posix-threads program's GetTickCount64 import was not named"
    cat "$work/posix.txt"; status=1
  fi
  if ! check_one "$work/win32.exe" >"$work/win32.txt"; then
    say "self-test FAILED: a win32-threads program failed"; cat "$work/win32.txt"; status=1
  fi
  rm -rf "$work"
  [ "$status" -eq 0 ] && say "self-test: the check rejects a posix-threads program and accepts a win32-threads one"
  return "$status"
}

command -v "$objdump" >/dev/null ||
  { say "FAILED: $objdump not found (binutils-mingw-w64-i686, scripts/install-deps.sh)"; exit 1; }

status=0
case "${1:-}" in
  --self-test)
    self_test || status=1
    ;;
  --files)
    shift
    for exe in "$@"; do check_one "$(from_caller "$exe")" || status=1; done
    ;;
  *)
    build_dir=build/win32
    [ -z "${1:-}" ] || build_dir=$(from_caller "$1")
    while read -r name need; do
      # In the build folder, or in a subfolder's (app/drenvalisk.exe).
      exe=$(find "$build_dir" -maxdepth 2 -name "$name" -not -path '*/CMakeFiles/*' 2>/dev/null | sort | head -n1)
      if [ -n "$exe" ]; then
        check_one "$exe" || status=1
      elif [ "$need" = required ]; then
        say "FAILED: $build_dir/$name is missing (a required shipped executable)"
        status=1
      else
        say "$name: skipped, not built yet ($build_dir/$name)"
      fi
    done < <(sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$shipped_list")
    ;;
esac
exit "$status"
