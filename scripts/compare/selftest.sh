#!/usr/bin/env bash
# Checks the build comparison on one build folder: the sample family run
# twice is identical; in a copy of one side, other times of day are not a
# difference, while a changed byte of a hand-off file, a changed digit of a
# print line, a time line of another form and a file on one side only each
# are.  Usage: selftest.sh BUILD_DIR
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
out="$(mktemp -d /tmp/kav-compare-check.XXXXXX)"
trap 'rm -rf "$out"' EXIT
if ! bash "$root/scripts/compare-builds.sh" --self --only decomp-sample "$1" "$out" >"$out/self.log" 2>&1 ||
   ! grep -q '^all files identical' "$out/self.log"; then
  cat "$out/self.log"
  exit 1
fi
run=decomp-sample/rhs-2.25
fails=0
# expect STATUS WHAT SED-SCRIPT-OR-COMMAND: tree_diff on a and a changed copy.
expect() {
  local want="$1" what="$2"
  shift 2
  rm -rf "$out/c"
  cp -r "$out/a" "$out/c"
  (cd "$out/c/$run" && eval "$@")
  local got=0
  "$out/tools/tree_diff" "$out/a" "$out/c" >"$out/diff.log" || got=$?
  if [ "$got" != "$want" ]; then
    echo "FAIL: $what: exit $got, expected $want"
    cat "$out/diff.log"
    fails=$((fails + 1))
  fi
}
expect 0 "other times of day" "sed -i -E 's/^    [0-9:]{8}    [0-9:]{8}\$/    23:59:60    00:00:00/' KAV100.PNT"
expect 1 "a byte of PAR5.DAT" "printf '\\001' | dd of=PAR5.DAT bs=1 seek=9 conv=notrunc 2>/dev/null"
expect 1 "a digit of a print line" "sed -i 's/OBJECTIVE FUNCTION =           5.5/OBJECTIVE FUNCTION =           5.4/' KAV100.PNT"
expect 1 "a time line of another form" "sed -i -E 's/^    ([0-9:]{8})    ([0-9:]{8})\$/    \\1   x\\2/' KAV100.PNT"
expect 1 "an hour beyond the day" "sed -i -E 's/^    [0-9]{2}:/    24:/' KAV100.PNT"
expect 1 "a file on one side only" "touch EXTRA.DAT"
[ "$fails" = 0 ] || exit 1
echo "compare-builds check: all 6 cases as expected"
