#!/usr/bin/env bash
# Shows that two builds of this repository write the same output: runs one
# fixed, seeded corpus of problems through the deliverables of both build
# folders (the decomposition library, the single-problem library, the
# allocation library, kavmpi with the input-set writer) and compares every
# file of every run's data directory byte for byte.
#
#   scripts/compare-builds.sh [options] BUILD_A BUILD_B [OUT]
#   scripts/compare-builds.sh [options] --self BUILD [OUT]
#
# Each BUILD is a configured and built CMake build folder of some commit of
# this repository (build/ of an old checkout and build/ of a new one).
# --self runs the corpus twice on one build, to show that it is deterministic.
# Options: --jobs N (job slots, default 4; a kavmpi run takes 2),
#          --only TEXT (only the families whose name contains TEXT).
# OUT (default: a new folder under /tmp) receives a/ and b/ with one data
# directory per run, a.logs/ and b.logs/ with the programs' own output, and
# tools/ with the corpus driver and the comparer, compiled here from this
# checkout's sources so that both builds see the very same driver.
# Exit status: 0 all files identical, 1 a difference, 2 a usage or set-up error.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

jobs=4
only=""
self=0
usage() { sed -n '8,20p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
while [ $# -gt 0 ]; do
  case "$1" in
    --jobs) jobs="${2:?}"; shift 2 ;;
    --only) only="${2:?}"; shift 2 ;;
    --self) self=1; shift ;;
    -h|--help) usage ;;
    -*) echo "unknown option $1" >&2; usage ;;
    *) break ;;
  esac
done
if [ "$self" = 1 ]; then
  [ $# -ge 1 ] && [ $# -le 2 ] || usage
  build_a="$1"; build_b="$1"; out="${2:-}"
else
  [ $# -ge 2 ] && [ $# -le 3 ] || usage
  build_a="$1"; build_b="$2"; out="${3:-}"
fi
for b in "$build_a" "$build_b"; do
  [ -d "$b" ] || { echo "no build folder $b" >&2; exit 2; }
done
build_a="$(cd "$build_a" && pwd)"
build_b="$(cd "$build_b" && pwd)"
for tool in mpiexec timeout "${CXX:-g++}"; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (bash scripts/setup.sh installs it)" >&2; exit 2; }
done
if [ -z "$out" ]; then
  out="$(mktemp -d /tmp/kav-compare.XXXXXX)"
else
  mkdir -p "$out"
  out="$(cd "$out" && pwd)"
  rm -rf "$out/a" "$out/b" "$out/a.logs" "$out/b.logs"
fi

# The driver exports its own sleep functions (-rdynamic), so that the
# libraries it loads skip their waits; see corpus_main.cpp.
mkdir -p "$out/tools"
src="$root/scripts/compare"
flags=(-std=c++20 -O2 -Wall -Wextra -ffp-contract=off -I"$src" -I"$root/tests/support")
"${CXX:-g++}" "${flags[@]}" -rdynamic -o "$out/tools/corpus" "$src"/corpus_main.cpp "$src"/decomp_runs.cpp \
  "$src"/single_runs.cpp "$src"/mix_runs.cpp "$root/tests/support/host.cpp" -ldl
"${CXX:-g++}" "${flags[@]}" -o "$out/tools/tree_diff" "$src/tree_diff.cpp"

start=$(date +%s)
echo "A: $build_a"
"$out/tools/corpus" "$build_a" "$out/a" "$jobs" "$only"
echo "B: $build_b"
"$out/tools/corpus" "$build_b" "$out/b" "$jobs" "$only"
echo "runs in $out/a and $out/b ($(( $(date +%s) - start )) s)"
echo
"$out/tools/tree_diff" "$out/a" "$out/b"
