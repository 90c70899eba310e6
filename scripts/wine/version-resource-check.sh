# The version information of the shipped executables, read from the built
# files as Windows reads it for a file's properties (version-info.exe:
# GetFileVersionInfoA, VerQueryValueA): both carry the version that
# `drenvalisk-scan --version` prints and that the GUI's caption shows
# ("Drenvalisk Ver 1.0"), the fixed version numbers padded to four, the
# product's name, the company, the copyright line, a description of their own
# and their file name.
#
# Sourced by scripts/wine-tests.sh inside its prepared prefix; uses its check,
# say, $wine_loader, $WINEPREFIX, $work, $bin, $shipped_dir and $tests_dir.

version_of() {  # version_of EXE: its version information, one name=value a line
  (cd "$WINEPREFIX/drive_c" && "$wine_loader" 'C:\drvbin\version-info.exe' "C:\\drvbin\\$1") \
    2>>"$work/logs/version-wine.txt" | sed 's/\r$//'
}
field() { sed -n "s/^$2=//p" <<<"$1"; }  # field INFO NAME

t0=$(date +%s)
cp "$tests_dir/version-info.exe" "$shipped_dir/drenvalisk.exe" "$bin/"
run_scan --version
printed=${scan_out#drenvalisk-scan }
four=$printed
while [ "$(tr -cd . <<<"$four" | wc -c)" -lt 3 ]; do four=$four.0; done
caption="Drenvalisk Ver $printed"
descriptions=()
for exe in drenvalisk-scan.exe drenvalisk.exe; do
  info=$(version_of "$exe")
  check "$exe has version information" grep -q '^FileVersion=' <<<"$info"
  check "$exe: FileVersion is what --version prints ($printed)" \
    test "$(field "$info" FileVersion)" = "$printed"
  check "$exe: ProductVersion is the same" test "$(field "$info" ProductVersion)" = "$printed"
  check "$exe: fixed file and product version $four" \
    test "$(field "$info" fixed-file-version) $(field "$info" fixed-product-version)" = "$four $four"
  check "$exe: product name" test "$(field "$info" ProductName)" = "Drenvalisk"
  check "$exe: company, as the main window names it" \
    test "$(field "$info" CompanyName)" = "Vexmoor Software Ltd."
  check "$exe: copyright line" grep -qx 'LegalCopyright=Copyright (C) [0-9]\{4\} Vexmoor Software Ltd\.' <<<"$info"
  check "$exe: original file name" test "$(field "$info" OriginalFilename)" = "$exe"
  descriptions+=("$(field "$info" FileDescription)")
done
check "each program describes itself (${descriptions[*]})" \
  test -n "${descriptions[0]}" -a -n "${descriptions[1]}" -a "${descriptions[0]}" != "${descriptions[1]}"
# The caption the main window gives itself is in the GUI's image once, as the
# text it sets; the GUI tests check that the window carries it.
check "drenvalisk.exe's caption text is \"$caption\"" grep -qaF "$caption" "$bin/drenvalisk.exe"
say "wine-tests: version information checked ($(( $(date +%s) - t0 )) s)"
