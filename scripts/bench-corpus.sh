#!/usr/bin/env bash
# Corpus benchmark: whole report-mode scans of generated trees against a bare
# traversal of the same trees (the floor), with the scanner's peak memory and
# the cost per file at two corpus sizes: the flat shape (about 40 files a
# folder, three levels) at each size and the deep shape (about 20 files a
# folder, up to eight levels), then the larger files (60,000 files of about
# 52 KB, 3.15 GB) in both shapes (the same files, hard-linked), each with warm
# caches and, run as root, with the page caches dropped before every run
# (cold). The floor is bare: getdents64 on each folder opened relative to its
# parent and fstatat of each entry, nothing printed per entry.
# Then the offline registry: a scan that finds nothing of a clean corpus with a
# planted Windows installation (its SOFTWARE and SYSTEM hives), against the
# same tree whose hives lie where no installation is looked for, and the cost
# of a first match, which loads the SOFTWARE hive. Last the offline stage of a
# delete run with six infected files on hives of a real Windows 10's size
# (66 MB SOFTWARE, 12 MB SYSTEM): time and bytes written.
# Usage: scripts/bench-corpus.sh [RUNS]   (default 5 timed runs after one warm-up)
# Environment: BUILD (default build/bench), CORPUS (default build/bench-corpus),
#              SIZES (default "15000 60000"), DEEP_FILES (default 60000, empty
#              for none), LARGE_FILES (default 60000, empty for none; the
#              larger files' corpus is deleted after the run unless
#              KEEP_LARGE=1), OFFLINE_FILES (default 15000),
#              OFFLINE_KEYS (filler keys per hive, default 10000),
#              OFFLINE_ONLY=1 (only the offline registry and stage figures).
# Cold figures need root (to write /proc/sys/vm/drop_caches); without it they
# are reported as not measured.
set -euo pipefail
cd "$(dirname "$0")/.."

runs="${1:-5}"
build="${BUILD:-build/bench}"
corpus="${CORPUS:-build/bench-corpus}"
sizes=(${SIZES:-15000 60000})
deep_files="${DEEP_FILES-60000}"
large_files="${LARGE_FILES-60000}"
[ -z "${OFFLINE_ONLY:-}" ] || { sizes=(); deep_files=; large_files=; }
offline_files="${OFFLINE_FILES:-15000}"
offline_keys="${OFFLINE_KEYS:-10000}"

# A release build of its own, brought up to date on every run.
[ -f "$build/CMakeCache.txt" ] ||
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDRENVALISK_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target drenvalisk-scan drenvalisk-make-samples drenvalisk-floor-walk \
  drenvalisk-offline-bench >/dev/null

scan="$build/drenvalisk-scan"
floor="$build/bench/drenvalisk-floor-walk"

now() { date +%s.%N; }

# Median of the arguments.
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END{print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

# "WALL CPU" seconds of one command (CPU = user + system), its output
# discarded. On a busy machine the CPU figures are the steadier ones.
timed() {
  local TIMEFORMAT='%3R %3U %3S' line
  line=$({ time "$@" >/dev/null 2>&1; } 2>&1) || true  # the scanner exits 1 on finds
  echo "$line" | awk '{printf "%s %.3f\n", $1, $2 + $3}'
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

# Stamps a generated tree as last changed an hour ago, as most folders of a
# disk in use are: the scanner uses listings read ahead on its second thread
# only for folders unchanged for a few seconds, and a tree measured right
# after it was written would measure the newest folders only.
age_tree() { find "$@" -exec touch -h -d "@$(($(date +%s) - 3600))" {} +; }

# Drops the page, dentry and inode caches; fails where that is not allowed.
drop_caches() { [ "$(id -u)" = 0 ] && sync && { echo 3 >/proc/sys/vm/drop_caches; } 2>/dev/null; }

# Alternating cold runs of the floor and the scanner over a tree, the caches
# dropped before each: prints the medians "FLOOR_WALL FLOOR_CPU SCAN_WALL
# SCAN_CPU", or nothing when the caches cannot be dropped.
cold_runs() {
  local tree=$1 i wall cpu fw=() fc=() sw=() sc=()
  drop_caches || return 0
  for ((i = 0; i < runs; i++)); do
    drop_caches
    read -r wall cpu < <(timed "$floor" "$tree")
    fw+=("$wall") fc+=("$cpu")
    drop_caches
    read -r wall cpu < <(timed "$scan" --action report --no "$tree")
    sw+=("$wall") sc+=("$cpu")
  done
  echo "$(median "${fw[@]}") $(median "${fc[@]}") $(median "${sw[@]}") $(median "${sc[@]}")"
}

shapes=()
for n in "${sizes[@]}"; do shapes+=("corpus $n"); done
[ -z "$deep_files" ] || shapes+=("deep $deep_files")
[ -z "$large_files" ] || shapes+=("large-deep $large_files" "large-flat $large_files")

declare -A per_file per_file_cpu warm_ratio cold_ratio
for shape in "${shapes[@]}"; do
  read -r kind n <<<"$shape"
  case $kind in
    large-*)  # both shapes of the larger files come from one generation
      made="$corpus/large$n"
      tree="$made/${kind#large-}"
      make=(large "$made" "$n")
      ;;
    *)
      made="$corpus/${kind:0:1}$n"  # c15000, c60000, d60000
      tree=$made
      make=("$kind" "$made" "$n")
      ;;
  esac
  if [ ! -f "$made.done" ]; then
    chmod -R u+w "$made" 2>/dev/null || true
    rm -rf "$made"
    "$build/drenvalisk-make-samples" "${make[@]}"
    age_tree "$made"
    touch "$made.done"
  fi
  files=$(find "$tree" -type f | wc -l)

  # One warm-up of each, then alternating timed runs, each second pair the
  # other way round: a run right after the other program is slower now and
  # then, and neither should always be the one.
  timed "$floor" "$tree" >/dev/null
  timed "$scan" --action report --no "$tree" >/dev/null
  floor_wall=() floor_cpu=() scan_wall=() scan_cpu=()
  time_floor() {
    read -r wall cpu < <(timed "$floor" "$tree")
    floor_wall+=("$wall") floor_cpu+=("$cpu")
  }
  time_scan() {
    read -r wall cpu < <(timed "$scan" --action report --no "$tree")
    scan_wall+=("$wall") scan_cpu+=("$cpu")
  }
  for ((i = 0; i < runs; i++)); do
    if ((i % 2)); then time_scan; time_floor; else time_floor; time_scan; fi
  done
  fw=$(median "${floor_wall[@]}") fc=$(median "${floor_cpu[@]}")
  sw=$(median "${scan_wall[@]}") sc=$(median "${scan_cpu[@]}")
  peak=$(peak_kb "$scan" --action report --no "$tree")
  found=$("$scan" --action report --no "$tree" 2>/dev/null | grep -c 'as per user' || true)

  rate() { echo "$files / $1" | bc -l; }
  per_file[$kind$n]=$(echo "$sw * 1000000 / $files" | bc -l)
  per_file_cpu[$kind$n]=$(echo "$sc * 1000000 / $files" | bc -l)
  echo "== $kind shape, $files files in $(find "$tree" -type d | wc -l) folders ($tree), median of $runs runs (wall / CPU seconds)"
  printf '  floor walk  %7.3f s %9.0f files/s | CPU %7.3f s %9.0f files/s\n' \
    "$fw" "$(rate "$fw")" "$fc" "$(rate "$fc")"
  printf '  scanner     %7.3f s %9.0f files/s | CPU %7.3f s %9.0f files/s\n' \
    "$sw" "$(rate "$sw")" "$sc" "$(rate "$sc")"
  warm_ratio[$kind]=$(echo "$fw / $sw" | bc -l)
  printf '  ratio scanner/floor  wall %.2f  CPU %.2f   (goal >= 0.95)\n' \
    "${warm_ratio[$kind]}" "$(echo "$fc / $sc" | bc -l)"
  printf '  scanner peak RSS     %.1f MB   (goal < 16 MB)\n' "$(echo "$peak / 1024" | bc -l)"
  printf '  scanner cost per file  wall %.2f us  CPU %.2f us; infected files reported: %s\n' \
    "${per_file[$kind$n]}" "${per_file_cpu[$kind$n]}" "$found"
  read -r cfw cfc csw csc < <(cold_runs "$tree"; echo)
  if [ -n "$cfw" ]; then
    printf '  cold, caches dropped before each run: floor %.3f s (CPU %.3f s), scanner %.3f s (CPU %.3f s)\n' \
      "$cfw" "$cfc" "$csw" "$csc"
    cold_ratio[$kind]=$(echo "$cfw / $csw" | bc -l)
    printf '  ratio scanner/floor, cold  wall %.2f  CPU %.2f   (goal >= 0.95)\n' \
      "${cold_ratio[$kind]}" "$(echo "$cfc / $csc" | bc -l)"
  else
    echo "  cold caches: not measured (dropping the page caches needs root)"
  fi
done

if [ ${#sizes[@]} -ge 2 ]; then
  small=${sizes[0]}
  large=${sizes[${#sizes[@]} - 1]}
  printf '== linearity, cost per file at %s vs %s files: wall %.2f vs %.2f us (x%.2f), CPU %.2f vs %.2f us (x%.2f)\n' \
    "$small" "$large" "${per_file[corpus$small]}" "${per_file[corpus$large]}" \
    "$(echo "${per_file[corpus$large]} / ${per_file[corpus$small]}" | bc -l)" \
    "${per_file_cpu[corpus$small]}" "${per_file_cpu[corpus$large]}" \
    "$(echo "${per_file_cpu[corpus$large]} / ${per_file_cpu[corpus$small]}" | bc -l)"
fi

if [ -n "$large_files" ]; then
  printf '== larger files (%s, about 52 KB each): scanner speed / bare floor, warm: deep shape %.2f, flat shape %.2f   (goal >= 0.95)\n' \
    "$large_files" "${warm_ratio[large-deep]}" "${warm_ratio[large-flat]}"
  [ -z "${cold_ratio[large-deep]:-}" ] ||
    printf '   cold: deep shape %.2f, flat shape %.2f\n' "${cold_ratio[large-deep]}" "${cold_ratio[large-flat]}"
  if [ -z "${KEEP_LARGE:-}" ]; then  # 3 GB: not left behind
    rm -rf "$corpus/large$large_files" "$corpus/large$large_files.done"
  fi
fi

# ---------------------------------------------------------------- offline registry
base="$corpus/offline$offline_files-base"  # hives under config-off: no installation
win="$corpus/offline$offline_files-win"    # the same tree, hives where Windows keeps them
hit="$corpus/offline$offline_files-hit"    # and one infected file at the drive's root
stamp="$corpus/offline$offline_files-$offline_keys.done"
if [ ! -f "$stamp" ]; then
  chmod -R u+w "$base" "$win" "$hit" 2>/dev/null || true
  rm -rf "$base" "$win" "$hit" "$corpus/offline-demo" "$corpus"/offline*.done
  "$build/drenvalisk-make-samples" corpus "$win" "$offline_files" --clean
  "$build/drenvalisk-make-samples" installation "$win" "$offline_keys"
  cp -al "$win" "$base"
  mv "$base/Windows/System32/config" "$base/Windows/System32/config-off"
  cp -al "$win" "$hit"
  "$build/drenvalisk-make-samples" demo "$corpus/offline-demo" 2>/dev/null
  cp "$corpus/offline-demo/Users/alice/Downloads/invoice.exe" "$hit/invoice.exe"
  age_tree "$base" "$win" "$hit"
  touch "$stamp"
fi
config="$win/Windows/System32/config"
mb() { echo "$(stat -c %s "$1") / 1048576" | bc -l; }

timed "$scan" --action report --no "$base" >/dev/null
timed "$scan" --action report --no "$win" >/dev/null
timed "$scan" --action report --no "$hit" >/dev/null
base_wall=() base_cpu=() win_wall=() win_cpu=() hit_wall=() hit_cpu=()
for ((i = 0; i < runs; i++)); do
  read -r wall cpu < <(timed "$scan" --action report --no "$base")
  base_wall+=("$wall") base_cpu+=("$cpu")
  read -r wall cpu < <(timed "$scan" --action report --no "$win")
  win_wall+=("$wall") win_cpu+=("$cpu")
  read -r wall cpu < <(timed "$scan" --action report --no "$hit")
  hit_wall+=("$wall") hit_cpu+=("$cpu")
done
bw=$(median "${base_wall[@]}") bc_=$(median "${base_cpu[@]}")
ww=$(median "${win_wall[@]}") wc_=$(median "${win_cpu[@]}")
hw=$(median "${hit_wall[@]}") hc=$(median "${hit_cpu[@]}")
found=$("$scan" --action report --no "$win" 2>/dev/null | grep -c 'as per user' || true)
printf '== offline registry: clean corpus of %s files with a planted installation, median of %s runs\n' \
  "$offline_files" "$runs"
printf '  hives: SOFTWARE %.1f MB, SYSTEM %.1f MB, %s filler keys each; infected files reported: %s\n' \
  "$(mb "$config/SOFTWARE")" "$(mb "$config/SYSTEM")" "$offline_keys" "$found"
printf '  scan, hives not looked for    %7.3f s | CPU %7.3f s\n' "$bw" "$bc_"
printf '  scan, installation on C:      %7.3f s | CPU %7.3f s\n' "$ww" "$wc_"
printf '  added when nothing is found   wall %+7.1f ms  CPU %+7.1f ms   (goal <= 100 ms)\n' \
  "$(echo "($ww - $bw) * 1000" | bc -l)" "$(echo "($wc_ - $bc_) * 1000" | bc -l)"
printf '  with one match (SOFTWARE loaded read-only): wall %+7.1f ms  CPU %+7.1f ms\n' \
  "$(echo "($hw - $bw) * 1000" | bc -l)" "$(echo "($hc - $bc_) * 1000" | bc -l)"

# ---------------------------------------------------------------- offline stage
# Six infected files on hives of a real Windows 10's size, delete mode: time
# and bytes written with each change written on its own and with one write
# per hive per infected file (the installation is generated once, under
# $corpus/offline-stage).
mkdir -p "$corpus/offline-stage"
"$build/bench/drenvalisk-offline-bench" "$corpus/offline-stage"
