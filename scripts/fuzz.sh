#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset: clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, seeds written by fuzz/make_seeds.cpp) and runs
# each for a while.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]   (default 30 seconds, every
#        target that fuzz/CMakeLists.txt lists)
# Inputs that crash are kept as build/fuzz/artifacts/<target>-crash-*; the
# growing corpus lives in build/fuzz/corpus/<target>.
# DRENVALISK_BUILD_ROOT: see scripts/presets.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/presets.sh

seconds="${1:-30}"
shift || true

command -v clang++ >/dev/null || { echo "fuzz: clang++ not found (scripts/install-deps.sh)" >&2; exit 2; }
preset_build fuzz || exit 1
out=$(preset_dir fuzz)

# "NAME MAX_LEN" per target, as the build lists them.
declare -A max_len
while read -r name limit; do max_len[$name]=$limit; done <"$out/fuzz-targets.txt"
targets=("$@")
[ ${#targets[@]} -gt 0 ] || mapfile -t targets < <(cut -d' ' -f1 "$out/fuzz-targets.txt")

mkdir -p "$out/artifacts" "$out/corpus"
status=0
for target in "${targets[@]}"; do
  [ -n "${max_len[$target]:-}" ] || { echo "fuzz: no target $target" >&2; status=1; continue; }
  mkdir -p "$out/corpus/$target"
  echo "== fuzz $target for ${seconds}s" >&2
  if ! "$out/${target}_fuzz" -max_total_time="$seconds" -max_len="${max_len[$target]}" -timeout=10 \
       -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$out/artifacts/$target-" \
       "$out/corpus/$target" "$out/seeds/$target" 2>"$out/$target.log"; then
    echo "fuzz: $target FAILED (log: $out/$target.log)" >&2
    tail -n 40 "$out/$target.log" >&2
    status=1
  else
    grep -E '^(stat::number_of_executed_units|stat::new_units_added)|^#[0-9]+ *DONE' \
      "$out/$target.log" >&2 || true
  fi
done
exit $status
