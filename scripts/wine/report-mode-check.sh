# Report mode changes nothing: the console front end's whole-machine scan with
# --action report, over infections planted in the throw-away prefix, leaves
# every file, registry value and key and process as it found them, and lists
# what it found. Run once with the NT family's version (winxp) and once with
# win98.
#
# Sourced by scripts/wine-tests.sh inside its prepared prefix (Z: removed, user
# folders made real); uses its check, has_line, last_line_is, say,
# $wine_loader, $WINEPREFIX and $work, and the helpers it copied to C:\drvbin.

report_software='HKLM\Software\Microsoft\Windows\CurrentVersion'
report_services='HKLM\SYSTEM\ControlSet001\Services'
report_memory_line='System Memory    W32/Tarvolinex.Trojan  found'
report_found_prefix="System Registry     W32/Tarvolinex.Trojan found: $report_software"
report_left="not disinfected as per user's selection"

# A Wine command from C:\, its complaints kept in a log.
in_prefix() {
  (cd "$WINEPREFIX/drive_c" && "$wine_loader" "$@") 2>>"$work/logs/report-wine.txt"
}

# The sleeper's entry in the prefix's process list: its id and image name.
running_sleeper() {
  in_prefix winedbg --command "info proc" | sed 's/\r$//' |
    awk "/'tsleeper.exe'/ {print \$1, \$NF}"
}
sleeper_running() { running_sleeper | grep -q .; }

# Files (size and checksum) of the planted folder and the hosts folder, the
# registry keys the tool could change, and the running sleeper.
take_snapshot() {  # take_snapshot LABEL
  local label=$1 key index=0 export_file
  (cd "$WINEPREFIX/drive_c" &&
    find drvplant windows/system32/drivers/etc -type f -printf '%s %p\n' | sort &&
    find drvplant windows/system32/drivers/etc -type f -print0 | sort -z | xargs -0 sha256sum) \
    >"$report_snapshots/$label.files"
  : >"$report_snapshots/$label.registry"
  for key in "$report_software" "$report_services"; do
    index=$((index + 1))
    export_file="$WINEPREFIX/drive_c/drvsnap/$label-$index.reg"
    in_prefix regedit /E "C:\\drvsnap\\$label-$index.reg" "${key/HKLM/HKEY_LOCAL_MACHINE}"
    if [ -f "$export_file" ]; then
      cat "$export_file" >>"$report_snapshots/$label.registry"
    else
      echo "no export of $key" >>"$report_snapshots/$label.registry"
    fi
  done
  running_sleeper >"$report_snapshots/$label.processes"
}

# The whole-machine report scan, run from the sleeper's folder: Wine's 9x
# process list names each process by its file name alone, which the memory
# stage examines in the current folder.
report_scan() {
  (cd "$WINEPREFIX/drive_c/drvplant" &&
    timeout 120 "$wine_loader" 'C:\drvbin\drenvalisk-scan.exe' --action report --no \
      >"$work/logs/report-out.txt" 2>"$work/logs/report-err.txt")
  scan_status=$?
  scan_out=$(sed 's/\r$//' "$work/logs/report-out.txt")
  scan_err=$(sed 's/\r$//' "$work/logs/report-err.txt")
}

# The memory stage's two lines for the running sleeper, one after the other.
# The 9x process list gives the image's file name, the NT one its path.
memory_pair_listed() {  # memory_pair_listed VERSION SLEEPER_RECORD_NAME
  local image='C:\drvplant\tsleeper.exe'
  [ "$1" = win98 ] && image='tsleeper.exe'
  grep -A1 -xF -- "$report_memory_line" <<<"$scan_out" | sed -n 2p |
    grep -qxF -- "$image     $2 $report_left"
}

no_removal_line() { ! grep -qE ' (removed|renamed)$' <<<"$scan_out"; }

report_mode_check() {
  local started name sleeper_name sleeper_pid version part waited=0 saved_version
  started=$(date +%s)
  report_snapshots="$work/report-snapshots"
  mkdir -p "$report_snapshots" "$WINEPREFIX/drive_c/drvplant" "$WINEPREFIX/drive_c/drvsnap"
  saved_version=$(in_prefix reg query 'HKCU\Software\Wine' /v Version | sed 's/\r$//' |
    awk '$1 == "Version" {print $3}')

  # The planted infections: a sample on disk, the runnable sleeper carrying a
  # shipped record, start-up values naming them, the trojan's uninstall entry
  # and a service key named after the running image.
  name=$(in_prefix 'C:\drvbin\write-sample.exe' 'C:\drvplant\bej.exe' | sed 's/\r$//')
  sleeper_name=$(in_prefix 'C:\drvbin\write-sample.exe' 'C:\drvplant\tsleeper.exe' runnable \
    'C:\drvbin\sleeper.exe' | sed 's/\r$//')
  in_prefix 'C:\drvbin\write-sample.exe' 'C:\drvplant\clean.exe' clean >/dev/null
  {
    in_prefix reg add "$report_software\\Run" /v DrvPlantRun \
      /d '"C:\drvplant\tsleeper.exe" 110000' /f
    in_prefix reg add "$report_software\\RunServices" /v DrvPlantService \
      /d 'C:\drvplant\bej.exe' /f
    in_prefix reg add "$report_software\\Run" /v SMrhcjg7j0e38v \
      /d 'C:\drvplant\rhcjg7j0e38v.exe' /f
    in_prefix reg add "$report_software\\Uninstall\\rhcjg7j0e38v" /v UninstallString \
      /d 'C:\drvplant\uninstall.exe /u' /f
    in_prefix reg add "$report_services\\tsleeper\\Enum" /f
    in_prefix reg add "$report_services\\tsleeper\\Security" /f
  } >/dev/null
  check "report mode: samples planted" test -n "$name" -a -n "$sleeper_name" \
    -a -f "$WINEPREFIX/drive_c/drvplant/bej.exe" -a -f "$WINEPREFIX/drive_c/drvplant/tsleeper.exe"

  # The infected process, running from its folder for the length of the check.
  (cd "$WINEPREFIX/drive_c/drvplant" && exec "$wine_loader" 'C:\drvplant\tsleeper.exe' 110000) \
    >/dev/null 2>>"$work/logs/report-wine.txt" &
  sleeper_pid=$!
  until sleeper_running || [ "$waited" -ge 50 ]; do
    sleep 0.2
    waited=$((waited + 1))
  done
  check "report mode: infected process running" sleeper_running

  take_snapshot before
  for version in winxp win98; do
    in_prefix reg add 'HKCU\Software\Wine' /v Version /d "$version" /f >/dev/null
    report_scan
    check "report mode ($version): exits 1" test "$scan_status" -eq 1
    check "report mode ($version): running process listed" \
      memory_pair_listed "$version" "$sleeper_name"
    check "report mode ($version): Run value listed" \
      has_line "$scan_out" "$report_found_prefix\\Run\\DrvPlantRun"
    check "report mode ($version): RunServices value listed" \
      has_line "$scan_out" "$report_found_prefix\\RunServices\\DrvPlantService"
    check "report mode ($version): uninstall command listed" has_line "$scan_out" \
      "${report_found_prefix/Software/SOFTWARE}\\Uninstall\\rhcjg7j0e38v\\UninstallString"
    check "report mode ($version): the trojan's start-up value listed" has_line "$scan_out" \
      "${report_found_prefix/Software/SOFTWARE}\\Run\\SMrhcjg7j0e38v"
    check "report mode ($version): sample listed" \
      has_line "$scan_out" "C:\\drvplant\\bej.exe     $name $report_left"
    check "report mode ($version): nothing reported removed" no_removal_line
    check "report mode ($version): statistics reached" \
      has_line "$scan_out" "Total files removed"$'\t\t'":  0"
    check "report mode ($version): status" last_line_is "$scan_err" "Scanning completed"
    take_snapshot "after-$version"
    for part in files registry processes; do
      check "report mode ($version): $part unchanged" \
        cmp -s "$report_snapshots/before.$part" "$report_snapshots/after-$version.$part"
    done
  done

  if [ -n "$saved_version" ]; then
    in_prefix reg add 'HKCU\Software\Wine' /v Version /d "$saved_version" /f >/dev/null
  else
    in_prefix reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null
  fi
  kill "$sleeper_pid" 2>/dev/null
  wait "$sleeper_pid" 2>/dev/null
  say "wine-tests: report mode checked ($(($(date +%s) - started)) s)"
}

report_mode_check
