#!/usr/bin/env bash
# Checks that an executable carries none of the simulated Windows machine of
# the tests (tests/sim): no symbol that only the simulation defines, and none
# named after it. The simulation's own object files say what its symbols are:
# every function and variable they define (weak template and inline copies,
# which any code may instantiate, aside), less those that the objects and
# libraries the product is built from define as well (the platform calls both
# implement, helpers of the same name).
#
# Usage: scripts/check-no-sim.sh EXE --sim OBJ... --product OBJ_OR_LIB...
#        scripts/check-no-sim.sh --self-test TEST_EXE --sim OBJ... --product OBJ_OR_LIB...
#            the check must fail on TEST_EXE, which links the simulation
# Exit status: 0 when EXE holds none of it, 1 otherwise (or when the
# self-test's executable passes).
set -uo pipefail

say() { printf 'no-sim: %s\n' "$*"; }

self_test=0
if [ "${1:-}" = --self-test ]; then
  self_test=1
  shift
fi
exe=${1:?usage: check-no-sim.sh [--self-test] EXE --sim OBJ... --product OBJ_OR_LIB...}
shift
sim=()
platform=()
list=
for arg in "$@"; do
  case "$arg" in
    --sim) list=sim ;;
    --product) list=platform ;;
    *) if [ "$list" = sim ]; then sim+=("$arg"); elif [ "$list" = platform ]; then platform+=("$arg"); fi ;;
  esac
done
[ ${#sim[@]} -gt 0 ] && [ ${#platform[@]} -gt 0 ] || { say "FAILED: no object files given"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Demangled names of the code and data an object file or executable defines
# (nm types T, D, B, R in either case), one per line, sorted.
defined() {
  nm -C --defined-only "$@" 2>/dev/null |
    awk '$2 ~ /^[TtDdBbRr]$/ { $1 = ""; $2 = ""; sub(/^  /, ""); print }' | sort -u
}

defined "${sim[@]}" >"$work/sim"
defined "${platform[@]}" >"$work/platform"
comm -23 "$work/sim" "$work/platform" >"$work/sim-only"
[ -s "$work/sim-only" ] || { say "FAILED: the simulation's objects define nothing of their own"; exit 1; }
defined "$exe" >"$work/exe"

comm -12 "$work/sim-only" "$work/exe" >"$work/found"
# Anything named after the simulation, whatever object brought it in.
grep -E '(^|[^A-Za-z])(Sim[A-Z][A-Za-z]*|simMachine|resetSimMachine|simPathKey)' "$work/exe" >>"$work/found"
sort -u -o "$work/found" "$work/found"

name=$(basename "$exe")
count=$(wc -l <"$work/found")
if [ "$self_test" = 1 ]; then
  if [ "$count" -gt 0 ]; then
    say "self-test passed: $name links the simulation and the check finds $count of its symbols"
    exit 0
  fi
  say "FAILED: self-test: $name links the simulation, yet the check finds none of it"
  exit 1
fi
if [ "$count" -gt 0 ]; then
  say "FAILED: $name holds $count symbol(s) of the simulated machine:"
  head -n 20 "$work/found" | sed 's/^/  /'
  exit 1
fi
say "$name: none of the $(wc -l <"$work/sim-only") symbols only the simulated machine defines"
