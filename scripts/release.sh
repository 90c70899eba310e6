#!/usr/bin/env bash
# Builds every release artifact into dist/ at the repository's root:
#   drenvalisk-<version>-win32.zip       drenvalisk.exe, drenvalisk-scan.exe, README.txt
#   drenvalisk-scan_<version>-1_amd64.deb the native scanner, its manual page, copyright
#   SHA256SUMS                            the checksums of both
# CPack packs both (presets release-win32 and release-host); Debian's
# strip-nondeterminism then puts the zip's entries in name order with the
# commit's time. Every date in the artifacts is the commit's
# (SOURCE_DATE_EPOCH), so two builds of one commit give the same bytes
# (scripts/check-reproducible.sh checks it; scripts/check-release.sh checks the
# packages themselves).
#
# Usage: scripts/release.sh
#   SOURCE_DATE_EPOCH  overrides the commit's time (needed outside a git checkout)
#   DRENVALISK_BUILD_ROOT: see scripts/presets.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/presets.sh

say() { printf 'release: %s\n' "$*" >&2; }
die() { say "$*"; exit 1; }

bash scripts/install-deps.sh

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) ||
    die "not a git checkout: set SOURCE_DATE_EPOCH to the release's time (seconds since 1970)"
fi
export SOURCE_DATE_EPOCH
# Nothing of the builder's machine goes into the artifacts: not its time zone,
# its language or its umask.
export TZ=UTC LC_ALL=C.UTF-8
umask 022
if git rev-parse --git-dir >/dev/null 2>&1; then
  commit=$(git rev-parse --short HEAD)
  [ -z "$(git status --porcelain --untracked-files=no)" ] ||
    say "warning: the checkout has uncommitted changes; the artifacts are not those of $commit"
  say "building commit $commit (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH, $(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S UTC'))"
fi

version=$(sed -n 's/^project(drenvalisk VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || die "no version in CMakeLists.txt"
zip_name=drenvalisk-$version-win32.zip
deb_name=drenvalisk-scan_${version}-1_amd64.deb

say "building the Win32 executables (preset release-win32)"
preset_build release-win32 --target drenvalisk drenvalisk-scan || die "the Win32 build failed"
say "building the native scanner (preset release-host)"
preset_build release-host --target drenvalisk-scan drenvalisk-scan-docs || die "the native build failed"

rm -rf dist
mkdir -p dist
for preset in release-win32 release-host; do
  dir=$(preset_dir "$preset")
  rm -rf "$dir/packages"
  (cd "$dir" && cpack -B "$(pwd)/packages" >packages.log 2>&1) ||
    { cat "$dir/packages.log" >&2; die "cpack failed in $dir"; }
done
cp "$(preset_dir release-win32)/packages/$zip_name" dist/ || die "CPack made no $zip_name"
cp "$(preset_dir release-host)/packages/$deb_name" dist/ || die "CPack made no $deb_name"
# CPack's zip lists files in the order the file system returns them and with
# their build times: name order and the commit's time instead.
strip-nondeterminism --type zip --timestamp "$SOURCE_DATE_EPOCH" "dist/$zip_name" >/dev/null

(cd dist && sha256sum "$zip_name" "$deb_name" >SHA256SUMS)
say "artifacts in dist/:"
(cd dist && for f in "$zip_name" "$deb_name" SHA256SUMS; do
  printf '  %-36s %9d bytes\n' "$f" "$(stat -c %s "$f")"
done) >&2
sed 's/^/  /' dist/SHA256SUMS >&2
