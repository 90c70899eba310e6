# Sourced by the scripts that run the Windows programs under Wine: which Wine
# this machine runs, and a throw-away prefix that cannot reach the host. The
# caller defines die MESSAGE (which must not return).

# Sets arch and wine_loader, and the presets that build for that Wine:
# shipped_preset (drenvalisk.exe, drenvalisk-scan.exe) and tests_preset (the
# test programs and helpers). DRENVALISK_WINE_ARCH=win32|win64 forces the
# choice; otherwise 32-bit Wine where this kernel runs 32-bit programs, else
# the 64-bit build of the same sources under wine64 (WINELOADER exported).
wine_choose() {
  arch="${DRENVALISK_WINE_ARCH:-}"
  if [ -z "$arch" ]; then
    if command wine --version >/dev/null 2>&1; then arch=win32; else arch=win64; fi
  fi
  case "$arch" in
    win32)
      wine_loader=$(type -P wine) || die "wine is not installed (scripts/install-deps.sh)"
      shipped_preset=win32 tests_preset=win32-tests
      ;;
    win64)
      wine_loader=/usr/lib/wine/wine64
      [ -x "$wine_loader" ] || die "wine64 is not installed (needed where 32-bit Wine cannot run)"
      export WINELOADER="$wine_loader"
      shipped_preset=win64 tests_preset=win64
      ;;
    *) die "unknown DRENVALISK_WINE_ARCH '$arch'" ;;
  esac
}

wine() { "$wine_loader" "$@"; }

# Makes WORK/prefix, with its own HOME and XDG folders under WORK so nothing
# Wine writes lands outside it, and exports WINEPREFIX and the rest. Drive Z:
# (the host's root) is removed and the user folders that Wine links to $HOME
# become real, empty folders, so a walk of C: reaches nothing of the host. No
# browser and no menu entries. Starts one Wine server for the whole run.
wine_make_prefix() {
  local work=$1 link
  mkdir -p "$work/home" "$work/xdg/config" "$work/xdg/data" "$work/xdg/cache" "$work/logs"
  export WINEPREFIX="$work/prefix" WINEARCH="$arch" WINEDEBUG=-all HOME="$work/home"
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winebrowser.exe=d"
  export XDG_CONFIG_HOME="$work/xdg/config" XDG_DATA_HOME="$work/xdg/data"
  export XDG_CACHE_HOME="$work/xdg/cache"
  wine wineboot -i >"$work/logs/wineboot.txt" 2>&1 && wineserver -w ||
    { cat "$work/logs/wineboot.txt" >&2; die "wineboot failed"; }
  rm -f "$WINEPREFIX/dosdevices/z:"
  [ -e "$WINEPREFIX/dosdevices/z:" ] && die "could not remove drive Z:"
  while IFS= read -r -d '' link; do
    rm -f "$link" && mkdir "$link" || die "could not replace $link"
  done < <(find "$WINEPREFIX/drive_c" -type l -print0)
  if find "$WINEPREFIX/drive_c" -type l | grep -q .; then
    find "$WINEPREFIX/drive_c" -type l >&2
    die "symbolic links left under drive_c"
  fi
  wineserver -p
}

# Ends every Wine process of WORK/prefix and waits for them (for cleanup).
wine_end_prefix() {
  local work=$1
  [ -d "$work/prefix" ] || return 0
  WINEPREFIX="$work/prefix" wineserver -k >/dev/null 2>&1
  WINEPREFIX="$work/prefix" wineserver -w >/dev/null 2>&1
}

# Runs one check, counting it in passed or failed; a failure is said under
# LABEL. Each script defines its own short name for it.
count_check() {  # count_check LABEL NAME CONDITION...
  local label=$1 name=$2
  shift 2
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    say "$label: FAILED: $name"
  fi
}

# The count GoogleTest prints on a summary line such as "[  PASSED  ] 11 tests."
summary_count() {  # summary_count LOG TAG
  sed -n "s/^\[  $2 *\] \([0-9]*\) tests\{0,1\}[.,].*/\1/p" "$1" | tail -n1
}
