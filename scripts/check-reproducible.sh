#!/usr/bin/env bash
# Builds the release of one commit twice, in two fresh clones in different
# folders, one after the other (so at different times), with different time
# zones and umasks, and checks that the two dist/ folders are byte for byte
# the same: both executables of the zip, the zip, the Debian package and
# SHA256SUMS. Takes a few minutes (two whole builds); it is not part of
# scripts/test-all.sh.
#
# Usage: scripts/check-reproducible.sh [COMMIT]   (default HEAD; uncommitted
#            changes are not built)
#   DRENVALISK_KEEP=1 keeps the two clones (printed at the end).
set -uo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
commit=$(git rev-parse --verify "${1:-HEAD}^{commit}") || exit 2
[ -n "$(git status --porcelain --untracked-files=no)" ] &&
  echo "reproducible: note: uncommitted changes are not part of the check; building $commit" >&2

work=$(mktemp -d /tmp/drenvalisk-reproducible.XXXXXX) || exit 1
[ "${DRENVALISK_KEEP:-0}" = 1 ] || trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT

# build NAME FOLDER TZ UMASK: a clone of the commit in FOLDER, and its release.
build() {
  local name=$1 folder=$2 zone=$3 mask=$4 started
  started=$(date +%s)
  git clone -q --no-checkout "$repo" "$folder" && git -C "$folder" checkout -q --detach "$commit" ||
    { echo "reproducible: cannot clone $commit into $folder" >&2; return 1; }
  (cd "$folder" && umask "$mask" && TZ=$zone bash scripts/release.sh) >"$work/$name.log" 2>&1 ||
    { cat "$work/$name.log" >&2; echo "reproducible: the $name build failed" >&2; return 1; }
  echo "reproducible: $name build in $folder: $(( $(date +%s) - started )) s" >&2
}
build first "$work/a" UTC 022 || exit 1
build second "$work/second-checkout/of/the/same/commit" Pacific/Auckland 002 || exit 1

first=$work/a/dist
second=$work/second-checkout/of/the/same/commit/dist
status=0
# The executables inside the zip, then every artifact.
mkdir -p "$work/unzip1" "$work/unzip2"
for f in "$first"/*.zip; do unzip -q "$f" -d "$work/unzip1"; done
for f in "$second"/*.zip; do unzip -q "$f" -d "$work/unzip2"; done
compare() {  # compare LABEL A B
  if cmp -s "$2" "$3"; then
    printf 'reproducible: same    %s  %s\n' "$(sha256sum <"$2" | cut -c1-64)" "$1"
  else
    printf 'reproducible: DIFFERS %s\n  first:  %s\n  second: %s\n' "$1" \
      "$(sha256sum <"$2" | cut -c1-64)" "$(sha256sum <"$3" | cut -c1-64)"
    status=1
  fi
}
for f in "$work/unzip1"/*.exe; do compare "zip: $(basename "$f")" "$f" "$work/unzip2/$(basename "$f")"; done
names=$(cd "$first" && ls)
[ "$names" = "$(cd "$second" && ls)" ] || { echo "reproducible: DIFFERS: the artifacts' names"; status=1; }
for name in $names; do compare "$name" "$first/$name" "$second/$name"; done
[ "${DRENVALISK_KEEP:-0}" = 1 ] && echo "reproducible: clones kept in $work" >&2
if [ "$status" -eq 0 ]; then
  echo "reproducible: two builds of $commit are byte-identical"
else
  echo "reproducible: two builds of $commit differ (diffoscope, from Debian, shows where)"
fi
exit "$status"
