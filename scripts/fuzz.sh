#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) straight from the
# sources, no CMake needed, and runs each for a while.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]   (default 30 seconds, every target)
# Inputs that crash are kept as build/fuzz/artifacts/<target>-crash-*; the
# growing corpus lives in build/fuzz/corpus/<target>.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-30}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(pe_matcher uu_matcher wininit perf_data)

CXX="${CXX_FUZZ:-clang++}"
command -v "$CXX" >/dev/null || { echo "fuzz: $CXX not found" >&2; exit 2; }

out=build/fuzz
mkdir -p "$out/obj" "$out/embedded" "$out/artifacts" "$out/corpus"
flags=(-std=c++17 -O1 -g -fno-omit-frame-pointer -I.
       -fsanitize=address,undefined -fno-sanitize-recover=undefined)

# The signature tables as C++ arrays (the same symbols the CMake build makes).
embed() {  # embed INPUT SYMBOL QUALIFIER
  local output="$out/embedded/$2.cpp"
  [ "$output" -nt "$1" ] && return 0
  {
    echo "#include <cstddef>"
    echo "alignas(8) extern $3unsigned char $2[];"
    echo "extern const size_t $2Size;"
    echo "alignas(8) $3unsigned char $2[] = {"
    od -An -v -tx1 "$1" | sed -e 's/ \([0-9a-f][0-9a-f]\)/0x\1,/g'
    echo "};"
    echo "const size_t $2Size = $(stat -c %s "$1");"
  } >"$output.tmp"
  mv "$output.tmp" "$output"
}
embed res/signatures.dat kEmbeddedSignatures "const "
embed res/uu_signature.dat kEmbeddedUuSignature ""

# Objects of the system and the native platform, rebuilt when their source or
# any header is newer.
newest_header=$(ls -t engine/*.h memory/*.h repair/*.h platform/*.h platform/host/*.h | head -n1)
sources=(engine/*.cpp memory/*.cpp repair/*.cpp platform/*.cpp platform/host/*.cpp "$out"/embedded/*.cpp)
objects=()
stale=()
for source in "${sources[@]}"; do
  object="$out/obj/$(echo "$source" | tr / _).o"
  objects+=("$object")
  if [ ! "$object" -nt "$source" ] || [ ! "$object" -nt "$newest_header" ]; then
    stale+=("$source")
  fi
done
if [ ${#stale[@]} -gt 0 ]; then
  echo "fuzz: compiling ${#stale[@]} sources" >&2
  export CXX out
  export FLAGS="${flags[*]}"
  printf '%s\n' "${stale[@]}" | xargs -P 2 -I{} sh -c \
    '$CXX $FLAGS -fsanitize=fuzzer-no-link -c "{}" -o "$out/obj/$(echo "{}" | tr / _).o"'
fi

# Seeds, written by committed code.
"$CXX" -std=c++17 -O1 -I. fuzz/make_seeds.cpp samples/pe_builder.cpp -o "$out/make_seeds"
"$out/make_seeds" "$out/seeds"

declare -A max_len=([pe_matcher]=8192 [uu_matcher]=12288 [wininit]=4096 [perf_data]=65536)
status=0
for target in "${targets[@]}"; do
  binary="$out/${target}_fuzz"
  if [ ! "$binary" -nt "fuzz/${target}_fuzz.cpp" ] || [ ! "$binary" -nt "$out/make_seeds" ] ||
     [ -n "$(find "${objects[@]}" fuzz/fuzz_support.h -newer "$binary" 2>/dev/null | head -n1)" ]; then
    echo "fuzz: linking $target" >&2
    "$CXX" "${flags[@]}" -fsanitize=fuzzer "fuzz/${target}_fuzz.cpp" "${objects[@]}" -o "$binary"
  fi
  mkdir -p "$out/corpus/$target"
  echo "== fuzz $target for ${seconds}s" >&2
  if ! "$binary" -max_total_time="$seconds" -max_len="${max_len[$target]}" -timeout=10 \
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
