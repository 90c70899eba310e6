# Sourced by the scripts that show drenvalisk.exe on a virtual screen: an Xvfb
# display of their own, and what Wine needs on a screen without a window
# manager. The caller defines die MESSAGE (which must not return).

display_pid=

# Starts Xvfb on DISPLAY (such as :93) and exports DISPLAY.
display_start() {
  local display=$1 log
  command -v Xvfb >/dev/null || die "Xvfb is not installed (scripts/install-deps.sh)"
  [ -e "/tmp/.X11-unix/X${display#:}" ] && die "display $display is in use"
  log=$(mktemp)
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$log" 2>&1 &
  display_pid=$!
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X${display#:}" ] && break
    kill -0 "$display_pid" 2>/dev/null || die "Xvfb could not start on $display ($(cat "$log"))"
    sleep 0.1
  done
  rm -f "$log"
  export DISPLAY="$display"
}

# Without a window manager, closing a captioned window otherwise stalls; run
# after wine_make_prefix (scripts/wine/prefix.sh).
display_unmanaged_windows() {
  "$wine_loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
}

display_stop() {
  [ -n "$display_pid" ] || return 0
  kill "$display_pid" 2>/dev/null
  wait "$display_pid" 2>/dev/null
  display_pid=
}
