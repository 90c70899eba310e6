# drenvalisk.exe itself, end to end: started as a person starts it, SCAN
# pressed and its questions answered from a second process (gui-remote.exe),
# over infections planted in the throw-away prefix. Each check counts as one
# test:
#   - one machine, scanned twice: the GUI's report list holds exactly the lines
#     that `drenvalisk-scan --action delete --no` prints for the same planted
#     files and start-up values; a file held open asks the restart question in
#     the program's own dialog (answered No); a second start while the first
#     runs ends at once; OK ends the program;
#   - more than 150 report lines: the list keeps what its cap leaves of the
#     console's lines, then the whole statistics block;
#   - an infected program running: on the 9x family it is terminated and
#     removed and the scan goes on; on the NT family it is terminated and
#     removed and the program ends; one that cannot be terminated brings the
#     memory stage's restart question (answered Cancel), and the program ends.
# Restart questions are only ever answered No or Cancel (gui-remote refuses
# anything else).
#
# Sourced by scripts/gui-tests.sh inside its prepared prefix (Z: removed, user
# folders made real, display up); uses its say, $wine_loader, $WINEPREFIX and
# $work and the programs it copied to C:\drvbin, and adds to passed and failed.

e2e_software='HKLM\Software\Microsoft\Windows\CurrentVersion'
e2e_pending_key='HKLM\System\CurrentControlSet\Control\Session Manager'
e2e_dir="$work/e2e"
e2e_c="$WINEPREFIX/drive_c"

e2e_check() { count_check "gui-tests: end to end" "$@"; }

# A Wine program run from a folder of C: (FOLDER relative to C:\), its
# complaints kept in a log.
e2e_wine_in() {  # e2e_wine_in FOLDER PROGRAM ARGS...
  local folder=$1
  shift
  (cd "$e2e_c/$folder" && "$wine_loader" "$@") 2>>"$e2e_dir/wine.txt"
}

# What a Wine program printed, read back from a file: a pipe could be held
# open by the processes Wine starts beside it.
e2e_output() {  # e2e_output PROGRAM ARGS...: run from C:\
  e2e_wine_in . "$@" >"$e2e_dir/output.txt"
  local status=$?
  sed 's/\r$//' "$e2e_dir/output.txt"
  return "$status"
}

remote() { e2e_output 'C:\drvbin\gui-remote.exe' "$@"; }

# The program's own words (engine/texts.h), as gui-remote has them; line
# breaks read \n, as in what `remote question` prints.
e2e_load_texts() {
  e2e_title=$(remote text kProductTitle)
  e2e_completed=$(remote text kStatusCompleted)
  e2e_memory_line=$(remote text kMemoryRemovedLine)
  e2e_restart_question=$(remote text kRestartQuestion)
  e2e_memory_question=$(remote text kMemoryRestartQuestion)
}

# Starts drenvalisk.exe from FOLDER of C: in the background; e2e_gui_pid.
e2e_start_gui() {  # e2e_start_gui FOLDER
  (cd "$e2e_c/$1" && exec "$wine_loader" 'C:\drvbin\drenvalisk.exe') \
    >>"$e2e_dir/gui.txt" 2>&1 &
  e2e_gui_pid=$!
  remote wait-window 30000
}

# Waits for a background program to end; its exit status, or 124 (and the
# program killed) when it has not ended within SECONDS.
e2e_exit_status() {  # e2e_exit_status PID SECONDS
  local waited=0
  while kill -0 "$1" 2>/dev/null && [ "$waited" -lt $(($2 * 10)) ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  if kill -0 "$1" 2>/dev/null; then
    kill -9 "$1" 2>/dev/null
    wait "$1" 2>/dev/null
    return 124
  fi
  wait "$1"
}

e2e_version() {  # e2e_version win98|winxp|default
  if [ "$1" = default ]; then
    e2e_wine_in . reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null
  else
    e2e_wine_in . reg add 'HKCU\Software\Wine' /v Version /d "$1" /f >/dev/null
  fi
}

e2e_value_exists() {  # e2e_value_exists KEY NAME
  e2e_wine_in . reg query "$1" /v "$2" >/dev/null 2>&1
}
e2e_key_exists() { e2e_wine_in . reg query "$1" >/dev/null 2>&1; }
e2e_exists() { [ -e "$e2e_c/$1" ]; }
e2e_gone() { [ ! -e "$e2e_c/$1" ]; }
e2e_equal() { [ "$1" = "$2" ]; }
e2e_same_lines() {  # e2e_same_lines EXPECTED_FILE ACTUAL_FILE
  cmp -s "$1" "$2" && return 0
  diff "$1" "$2" | head -n 20 | sed 's/^/    /'
  return 1
}

# A process of the prefix by image name, from Wine's debugger.
e2e_running() {  # e2e_running IMAGE_NAME
  e2e_output winedbg --command "info proc" | grep -q "'$1'"
}
e2e_wait_running() {  # e2e_wait_running IMAGE_NAME
  local tries=0
  until e2e_running "$1" || [ "$tries" -ge 50 ]; do
    sleep 0.2
    tries=$((tries + 1))
  done
  e2e_running "$1"
}

# Starts an infected copy of PROGRAM (sleeper.exe or locked-sleeper.exe) as
# C:\drvmem\IMAGE, running from that folder; e2e_sleeper_name is the name of
# the record it carries, e2e_sleeper_pid its process.
e2e_start_infected_program() {  # e2e_start_infected_program PROGRAM IMAGE
  rm -rf "$e2e_c/drvmem"
  mkdir -p "$e2e_c/drvmem"
  e2e_sleeper_name=$(e2e_output 'C:\drvbin\write-sample.exe' "C:\\drvmem\\$2" runnable \
    "C:\\drvbin\\$1")
  (cd "$e2e_c/drvmem" && exec "$wine_loader" "C:\\drvmem\\$2" 300000) >>"$e2e_dir/wine.txt" 2>&1 &
  e2e_sleeper_pid=$!
  [ -n "$e2e_sleeper_name" ] && e2e_wait_running "$2"
}

e2e_stop() {  # e2e_stop PID: a helper process left running
  [ -n "$1" ] || return 0
  kill -9 "$1" 2>/dev/null
  wait "$1" 2>/dev/null
  return 0
}

# ---- one machine, scanned by the GUI and by the console ----

# The planted machine: infected files (one of them held open, so that it can
# only be scheduled for removal), a clean one, start-up values naming two of
# them, and the trojan's own uninstall entry and start-up value.
e2e_plant_machine() {
  local root="$e2e_c/drvplant"
  rm -rf "$root"
  mkdir -p "$root/sub"
  e2e_name=$(e2e_output 'C:\drvbin\write-sample.exe' 'C:\drvplant\bej.exe')
  cp "$root/bej.exe" "$root/sub/autorun.exe"
  cp "$root/bej.exe" "$root/held.exe"
  e2e_wine_in . 'C:\drvbin\write-sample.exe' 'C:\drvplant\clean.exe' clean >/dev/null
  cat >"$e2e_dir/plant.reg" <<'EOF'
REGEDIT4

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run]
"DrvE2ERun"="\"C:\\drvplant\\bej.exe\" /go"
"SMrhcjg7j0e38v"="C:\\drvplant\\rhcjg7j0e38v.exe"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\RunServices]
"DrvE2EService"="C:\\drvplant\\sub\\autorun.exe"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\rhcjg7j0e38v]
"UninstallString"="C:\\drvplant\\uninstall.exe /u"
EOF
  # regedit reads the file from the host: through a folder of C: it cannot
  # be, so the file is copied in and removed again before any scan.
  cp "$e2e_dir/plant.reg" "$e2e_c/drvplant.reg"
  e2e_wine_in . regedit /S 'C:\drvplant.reg' >/dev/null
  rm -f "$e2e_c/drvplant.reg"
  (cd "$e2e_c" && exec "$wine_loader" 'C:\drvbin\hold-file.exe' 'C:\drvplant\held.exe' 600000) \
    >"$e2e_dir/hold.txt" 2>>"$e2e_dir/wine.txt" &
  e2e_holder_pid=$!
  local tries=0
  until grep -q held "$e2e_dir/hold.txt" || [ "$tries" -ge 100 ]; do
    sleep 0.1
    tries=$((tries + 1))
  done
  [ -n "$e2e_name" ] && grep -q held "$e2e_dir/hold.txt" && e2e_value_exists "$e2e_software\\Run" DrvE2ERun
}

# Undoes what a scan of the planted machine left: the holder, the held file
# and its scheduled removal.
e2e_unplant_machine() {
  e2e_stop "$e2e_holder_pid"
  e2e_holder_pid=
  e2e_wine_in . reg delete "$e2e_pending_key" /v PendingFileRenameOperations /f >/dev/null 2>&1
  rm -rf "$e2e_c/drvplant"
  e2e_wine_in . reg delete "$e2e_software\\Run" /v DrvE2ERun /f >/dev/null 2>&1
  e2e_wine_in . reg delete "$e2e_software\\Run" /v SMrhcjg7j0e38v /f >/dev/null 2>&1
  e2e_wine_in . reg delete "$e2e_software\\RunServices" /v DrvE2EService /f >/dev/null 2>&1
  e2e_wine_in . reg delete "$e2e_software\\Uninstall\\rhcjg7j0e38v" /f >/dev/null 2>&1
  return 0
}

e2e_console_scan() {  # e2e_console_scan OUTPUT_FILE: the whole machine, as the GUI scans it
  (cd "$e2e_c" && timeout 120 "$wine_loader" 'C:\drvbin\drenvalisk-scan.exe' --action delete --no) \
    >"$e2e_dir/console-raw.txt" 2>"$e2e_dir/console-err.txt"
  e2e_console_status=$?
  sed 's/\r$//' "$e2e_dir/console-raw.txt" >"$1"
}

# On NT 5.x, where a file that cannot be deleted goes to the restart removal
# without a message box of the system's own (the process-status method of
# finding the processes that run it is silent).
e2e_same_machine() {
  local started second_status outcome
  started=$(date +%s)
  e2e_version winxp
  e2e_check "one machine: planted" e2e_plant_machine

  e2e_start_gui .
  e2e_check "one machine: the program shows its window" e2e_equal "$?" 0
  remote click IDC_SCAN_BUTTON >/dev/null
  # A second start while the first one scans ends at once, without a window.
  (cd "$e2e_c" && exec timeout 60 "$wine_loader" 'C:\drvbin\drenvalisk.exe') >>"$e2e_dir/gui.txt" 2>&1
  second_status=$?
  e2e_check "one machine: a second start ends at once" e2e_equal "$second_status" 0
  e2e_check "one machine: one main window" e2e_equal "$(remote windows)" 1

  outcome=$(remote wait-end 60000)
  e2e_check "one machine: a file held open brings the restart question" e2e_equal "$outcome" question
  remote question >"$e2e_dir/question.txt"
  e2e_check "one machine: the restart question" e2e_equal "$(cat "$e2e_dir/question.txt")" \
    "$(printf 'caption=%s\nmessage=%s\nbuttons=YES NO\nicon=question' \
      "$e2e_title" "$e2e_restart_question")"
  remote answer IDC_NO_BUTTON >/dev/null
  outcome=$(remote wait-end 60000)
  e2e_check "one machine: the scan completes after No" e2e_equal "$outcome" "finished $e2e_completed"
  remote list >"$e2e_dir/gui-list.txt"
  remote click IDC_OK_BUTTON >/dev/null
  e2e_exit_status "$e2e_gui_pid" 30
  e2e_check "one machine: OK ends the program" e2e_equal "$?" 0

  e2e_check "one machine: the infected files are gone" e2e_gone drvplant/bej.exe
  e2e_check "one machine: the infected file in a subfolder is gone" e2e_gone drvplant/sub/autorun.exe
  e2e_check "one machine: the clean file stays" e2e_exists drvplant/clean.exe
  e2e_check "one machine: the held file waits for the restart" \
    e2e_value_exists "$e2e_pending_key" PendingFileRenameOperations
  e2e_check "one machine: the Run value is gone" \
    eval '! e2e_value_exists "$e2e_software\\Run" DrvE2ERun'
  e2e_check "one machine: the RunServices value is gone" \
    eval '! e2e_value_exists "$e2e_software\\RunServices" DrvE2EService'
  e2e_check "one machine: the trojan's start-up value is gone" \
    eval '! e2e_value_exists "$e2e_software\\Run" SMrhcjg7j0e38v'
  e2e_check "one machine: the trojan's uninstall command is gone" \
    eval '! e2e_value_exists "$e2e_software\\Uninstall\\rhcjg7j0e38v" UninstallString'

  # The same machine again, scanned by the console front end.
  e2e_unplant_machine
  e2e_check "one machine: planted again" e2e_plant_machine
  e2e_console_scan "$e2e_dir/console.txt"
  e2e_check "one machine: the console scan found them" e2e_equal "$e2e_console_status" 1
  e2e_check "one machine: the report list is the console's report" \
    e2e_same_lines "$e2e_dir/console.txt" "$e2e_dir/gui-list.txt"
  e2e_unplant_machine
  e2e_version default
  say "gui-tests: end to end: one machine, GUI and console ($(($(date +%s) - started)) s)"
}

# ---- more lines than the list keeps ----

# What the list keeps of a report: until the statistics block (which begins
# with the blank line when something was found) the list is emptied whenever
# a line arrives while it holds 150; the block is kept whole.
e2e_capped() {  # e2e_capped REPORT_FILE
  awk '{ line[NR] = $0 }
       $0 == "Scanning statistics" { block = NR }
       END {
         if (!block) exit 1
         if (block > 1 && line[block - 1] == " ") block--
         n = block - 1
         keep = n ? (n - 1) % 150 + 1 : 0
         for (i = n - keep + 1; i <= NR; i++) print line[i]
       }' "$1"
}

e2e_plant_many() {  # e2e_plant_many COUNT
  local root="$e2e_c/drvcap" i
  rm -rf "$root"
  mkdir -p "$root"
  e2e_wine_in . 'C:\drvbin\write-sample.exe' 'C:\drvcap\f000.exe' >/dev/null
  for i in $(seq 1 "$(($1 - 1))"); do cp "$root/f000.exe" "$(printf '%s/f%03d.exe' "$root" "$i")"; done
}

e2e_long_report() {
  local started outcome
  started=$(date +%s)
  e2e_plant_many 160
  e2e_start_gui .
  remote click IDC_SCAN_BUTTON >/dev/null
  outcome=$(remote wait-end 120000)
  e2e_check "long report: the scan completes" e2e_equal "$outcome" "finished $e2e_completed"
  remote list >"$e2e_dir/gui-long.txt"
  remote click IDC_OK_BUTTON >/dev/null
  e2e_exit_status "$e2e_gui_pid" 30
  e2e_check "long report: OK ends the program" e2e_equal "$?" 0
  e2e_check "long report: every sample removed" e2e_equal "$(ls "$e2e_c/drvcap" | wc -l)" 0

  e2e_plant_many 160
  e2e_console_scan "$e2e_dir/console-long.txt"
  e2e_check "long report: more than 150 lines" \
    test "$(wc -l <"$e2e_dir/console-long.txt")" -gt 150
  e2e_capped "$e2e_dir/console-long.txt" >"$e2e_dir/console-long-capped.txt"
  e2e_check "long report: the list keeps what the cap leaves, then the statistics" \
    e2e_same_lines "$e2e_dir/console-long-capped.txt" "$e2e_dir/gui-long.txt"
  rm -rf "$e2e_c/drvcap"
  say "gui-tests: end to end: long report ($(($(date +%s) - started)) s)"
}

# ---- an infected program running ----

e2e_running_9x() {
  local outcome
  e2e_version win98
  e2e_check "9x: infected program running" e2e_start_infected_program sleeper.exe tsleeper.exe
  # Wine's 9x process list names a process by its file name alone, which the
  # memory stage looks for in the current folder: start where the program is.
  e2e_start_gui drvmem
  remote click IDC_SCAN_BUTTON >/dev/null
  outcome=$(remote wait-end 60000)
  e2e_check "9x: the scan goes on to the end" e2e_equal "$outcome" "finished $e2e_completed"
  remote list >"$e2e_dir/gui-9x.txt"
  e2e_check "9x: the memory stage's lines" e2e_equal \
    "$(grep -A1 -xF -- "$e2e_memory_line" "$e2e_dir/gui-9x.txt")" \
    "$(printf '%s\n%s' "$e2e_memory_line" 'tsleeper.exe     W32/Tarvolinex.Trojan  removed')"
  e2e_check "9x: the drives scanned after it" \
    grep -qxF "Total files removed"$'\t\t'":  1" "$e2e_dir/gui-9x.txt"
  e2e_exit_status "$e2e_sleeper_pid" 10
  e2e_check "9x: the program was terminated" test "$?" -ne 124
  e2e_check "9x: its file is gone" e2e_gone drvmem/tsleeper.exe
  remote click IDC_OK_BUTTON >/dev/null
  e2e_exit_status "$e2e_gui_pid" 30
  e2e_check "9x: OK ends the program" e2e_equal "$?" 0
}

# On Wine the first termination ends the process and the second one finds
# it still there and succeeds: the image is removed and the program ends
# without a question.
e2e_running_nt() {
  e2e_version winxp
  e2e_check "NT: infected program running" e2e_start_infected_program sleeper.exe tsleeper.exe
  e2e_start_gui .
  remote click IDC_SCAN_BUTTON >/dev/null
  e2e_exit_status "$e2e_gui_pid" 60
  e2e_check "NT: the program ends after the memory stage" e2e_equal "$?" 0
  e2e_exit_status "$e2e_sleeper_pid" 10
  e2e_check "NT: the infected program was terminated" test "$?" -ne 124
  e2e_check "NT: its file is gone" e2e_gone drvmem/tsleeper.exe
}

# A program that refuses termination: both attempts fail, no service of its
# name stops, so its service keys are removed and the memory stage asks for a
# restart in the program's own dialog; Cancel, and the program ends.
e2e_unstoppable_nt() {
  local outcome
  e2e_version winxp
  e2e_check "NT, unstoppable: infected program running" \
    e2e_start_infected_program locked-sleeper.exe tlocked.exe
  e2e_wine_in . reg add 'HKLM\SYSTEM\ControlSet001\Services\tlocked\Enum' /f >/dev/null
  e2e_start_gui .
  remote click IDC_SCAN_BUTTON >/dev/null
  outcome=$(remote wait-end 60000)
  e2e_check "NT, unstoppable: a question" e2e_equal "$outcome" question
  remote question >"$e2e_dir/question.txt"
  e2e_check "NT, unstoppable: the memory stage's restart question" \
    e2e_equal "$(cat "$e2e_dir/question.txt")" \
    "$(printf 'caption=%s\nmessage=%s\nbuttons=OK Cancel\nicon=information' \
      "$e2e_title" "$e2e_memory_question")"
  remote list >"$e2e_dir/gui-nt.txt"
  e2e_check "NT, unstoppable: no drive scanned" eval '! grep -qx "Scanning statistics" "$e2e_dir/gui-nt.txt"'
  remote answer IDCANCEL >/dev/null
  e2e_exit_status "$e2e_gui_pid" 30
  e2e_check "NT, unstoppable: Cancel ends the program" e2e_equal "$?" 0
  e2e_check "NT, unstoppable: its service keys are gone" \
    eval '! e2e_key_exists "HKLM\\SYSTEM\\ControlSet001\\Services\\tlocked"'
  e2e_check "NT, unstoppable: the program it could not end keeps its file" \
    e2e_exists drvmem/tlocked.exe
  e2e_stop "$e2e_sleeper_pid"
}

e2e_infected_programs() {
  local started
  started=$(date +%s)
  e2e_running_9x
  e2e_stop "$e2e_sleeper_pid"
  e2e_running_nt
  e2e_stop "$e2e_sleeper_pid"
  e2e_unstoppable_nt
  e2e_version default
  rm -rf "$e2e_c/drvmem"
  say "gui-tests: end to end: infected programs running ($(($(date +%s) - started)) s)"
}

mkdir -p "$e2e_dir"
e2e_load_texts
e2e_check "the program's texts" test -n "$e2e_title" -a -n "$e2e_memory_question"
e2e_same_machine
e2e_long_report
e2e_infected_programs
# Nothing of ours may outlive the checks.
e2e_stop "$e2e_gui_pid"
e2e_stop "$e2e_holder_pid"
e2e_stop "$e2e_sleeper_pid"
