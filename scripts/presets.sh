# Sourced by the scripts: configures and builds a CMake preset. Each preset
# builds into build/<preset> (CMakePresets.json); DRENVALISK_BUILD_ROOT puts
# them under another folder instead (build/<preset> becomes ROOT/<preset>), so
# a second checkout or a second person can build beside the usual folders.

# The build folder of preset $1.
preset_dir() { echo "${DRENVALISK_BUILD_ROOT:-build}/$1"; }

# Configures and builds preset $1 (more arguments go to the build, such as
# --target NAME); quiet unless it fails, when it shows the build's output.
preset_build() {
  local preset=$1 dir log status
  shift
  dir=$(preset_dir "$preset")
  log=$(mktemp)
  { cmake --preset "$preset" -B "$dir" && cmake --build "$dir" -j2 "$@"; } >"$log" 2>&1
  status=$?
  [ "$status" -eq 0 ] || { tail -n 60 "$log" >&2; echo "the $preset build failed ($dir)" >&2; }
  rm -f "$log"
  return "$status"
}
