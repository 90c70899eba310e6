#!/usr/bin/env bash
# Corpus benchmark: whole report-mode scans of generated trees against a bare
# traversal of the same trees (the floor), with the scanner's peak memory and
# the cost per file at two corpus sizes.
# Usage: scripts/bench-corpus.sh [RUNS]   (default 5 timed runs after one warm-up)
# Environment: BUILD (default build/bench), CORPUS (default build/bench-corpus),
#              SIZES (default "15000 60000").
# Page caches are not dropped (that needs root): every figure is a warm-cache one.
set -euo pipefail
cd "$(dirname "$0")/.."

runs="${1:-5}"
build="${BUILD:-build/bench}"
corpus="${CORPUS:-build/bench-corpus}"
sizes=(${SIZES:-15000 60000})

if [ ! -x "$build/drenvalisk-scan" ] || [ ! -x "$build/drenvalisk-make-samples" ] ||
   [ ! -x "$build/bench/drenvalisk-floor-walk" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
# A changed source glob makes the first build re-run CMake and stop; build again.
targets=(drenvalisk-scan drenvalisk-make-samples drenvalisk-floor-walk)
cmake --build "$build" --target "${targets[@]}" >/dev/null 2>&1 ||
  cmake --build "$build" --target "${targets[@]}" >/dev/null

scan="$build/drenvalisk-scan"
floor="$build/bench/drenvalisk-floor-walk"

now() { date +%s.%N; }

# Median of the arguments.
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END{print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

# Seconds one command takes, its output discarded.
timed() {
  local start end
  start=$(now)
  "$@" >/dev/null 2>&1 || [ $? -eq 1 ]  # the scanner exits 1 when it finds something
  end=$(now)
  echo "$end - $start" | bc -l
}

# Peak resident set of one scan, in kB.
peak_kb() {
  if [ -x /usr/bin/time ]; then
    { /usr/bin/time -v "$@" 2>&1 >/dev/null || true; } |
      sed -n 's/.*Maximum resident set size (kbytes): //p'
  else
    # No time(1): poll the high-water mark the kernel keeps for the process.
    "$@" >/dev/null 2>&1 &
    local pid=$! hwm=0 value
    while kill -0 "$pid" 2>/dev/null; do
      value=$(sed -n 's/^VmHWM: *\([0-9]*\) kB/\1/p' "/proc/$pid/status" 2>/dev/null || true)
      [ -n "$value" ] && hwm=$value
      sleep 0.01
    done
    wait "$pid" || true
    echo "$hwm"
  fi
}

declare -A per_file
for n in "${sizes[@]}"; do
  tree="$corpus/c$n"
  if [ ! -f "$tree.done" ]; then
    chmod -R u+w "$tree" 2>/dev/null || true
    rm -rf "$tree"
    "$build/drenvalisk-make-samples" corpus "$tree" "$n"
    touch "$tree.done"
  fi
  files=$(find "$tree" -type f | wc -l)

  # One warm-up of each, then alternating timed runs.
  timed "$floor" "$tree" >/dev/null
  timed "$scan" --action report --no "$tree" >/dev/null
  floor_times=()
  scan_times=()
  for ((i = 0; i < runs; i++)); do
    floor_times+=("$(timed "$floor" "$tree")")
    scan_times+=("$(timed "$scan" --action report --no "$tree")")
  done
  floor_s=$(median "${floor_times[@]}")
  scan_s=$(median "${scan_times[@]}")
  peak=$(peak_kb "$scan" --action report --no "$tree")
  found=$("$scan" --action report --no "$tree" 2>/dev/null | grep -c 'as per user' || true)

  floor_rate=$(echo "$files / $floor_s" | bc -l)
  scan_rate=$(echo "$files / $scan_s" | bc -l)
  ratio=$(echo "$scan_rate / $floor_rate" | bc -l)
  per_file[$n]=$(echo "$scan_s * 1000000 / $files" | bc -l)
  echo "== corpus of $files files ($tree), median of $runs runs"
  printf '  floor walk   %8.3f s  %9.0f files/s   (runs: %s)\n' "$floor_s" "$floor_rate" "${floor_times[*]}"
  printf '  scanner      %8.3f s  %9.0f files/s   (runs: %s)\n' "$scan_s" "$scan_rate" "${scan_times[*]}"
  printf '  ratio scanner/floor  %.2f   (goal >= 0.80)\n' "$ratio"
  printf '  scanner peak RSS     %.1f MB (goal < 16 MB)\n' "$(echo "$peak / 1024" | bc -l)"
  printf '  scanner cost per file %.2f us; infected files reported: %s\n' "${per_file[$n]}" "$found"
done

if [ ${#sizes[@]} -ge 2 ]; then
  small=${sizes[0]}
  large=${sizes[${#sizes[@]} - 1]}
  printf '== linearity: cost per file %s vs %s files: %.2f us vs %.2f us (ratio %.2f)\n' \
    "$small" "$large" "${per_file[$small]}" "${per_file[$large]}" \
    "$(echo "${per_file[$large]} / ${per_file[$small]}" | bc -l)"
fi
