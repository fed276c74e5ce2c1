#!/usr/bin/env bash
# kavmpi against the decomposition library on the same generated problems,
# in the same run: each problem is written and solved through the library's
# entry (bench/decomp_problem), its hand-off files are arranged into
# kavmpi's input set, and kavmpi solves it with 2 x NSUB + 1 processes.
# Prints per problem:
# - the library's wall time (its 500 ms wait per level left out) and pivots;
# - kavmpi's wall time under mpiexec (start of the processes and reading of
#   the input set included; fastest of REPS runs, default 3), and the same
#   for a problem of as many 4 x 6 subproblems (what starting the processes,
#   the set-up messages and the stop cost by themselves);
# - the ratio of the wall times, both results;
# - the pivots per process: process 0 the two master problems (from its
#   print file), the workers their subproblem pivots (counted by the
#   benchmark build kavmpi_pivots; rank 2K-1 / 2K serves subproblem K for
#   master problem 1 / 2);
# - the memory per rank: the largest and the median peak resident set, and
#   the largest peak address space (every rank run under bench/peak_memory);
#   with KAVMPI_BASELINE naming another kavmpi (for example the build of an
#   earlier commit) the same for it, in the same run.
# Usage: bench/kavmpi_bench.sh [build folder]
# The build folder is used as it is (build it first with the targets
# decomp_problem, input_set_writer, kavmpi, kavmpi_pivots and peak_memory).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
reps="${REPS:-3}"
for exe in bench/decomp_problem examples/input_set_writer parallel/kavmpi bench/kavmpi_pivots bench/peak_memory; do
  if [ ! -x "$build/$exe" ]; then
    echo "kavmpi_bench: $build/$exe is missing; build the folder first" >&2
    exit 2
  fi
done
echo "cores: $(nproc), load: $(cut -d' ' -f1-3 /proc/loadavg)"
TIMEFORMAT='%R'

# Writes a problem's input set into $1 (the library's line into $1/lib.txt).
make_set() {
    local dir="$1"
    shift
    KAV_DATA_DIR="$dir" "$build/bench/decomp_problem" "$@" >"$dir/lib.txt"
    "$build/examples/input_set_writer" "$dir" >/dev/null
    mkdir -p "$dir/inputs"
    cp "$dir"/{PAR1,PAR3,PAR5,TAB,1TAB}.DAT "$dir/inputs"
}

# Fastest wall time of $reps runs of program $2 with $3 processes in $1.
fastest() {
    local dir="$1" exe="$2" procs="$3" best="" t
    for ((i = 0; i < reps; i++)); do
        cp "$dir"/inputs/* "$dir"
        t=$({ time KAV_DATA_DIR="$dir" mpiexec -n "$procs" "$exe" >/dev/null 2>&1; } 2>&1)
        if [ -z "$best" ] || awk "BEGIN{exit !($t < $best)}"; then best="$t"; fi
    done
    echo "$best"
}

# Memory per rank of program $2 with $3 processes in $1, labelled $4.
memory() {
    local dir="$1" exe="$2" procs="$3" label="$4"
    cp "$dir"/inputs/* "$dir"
    KAV_DATA_DIR="$dir" mpiexec -n "$procs" "$build/bench/peak_memory" "$exe" 2>"$dir/memory.txt" >/dev/null || true
    awk -v label="$label" '/^rank [0-9]+ rss_kb/ {rss[n++] = $4; if ($6 > vm) vm = $6}
        END {
            if (n == 0) { print "memory (" label "): no reading"; exit }
            for (i = 0; i < n; ++i) for (j = i + 1; j < n; ++j) if (rss[j] < rss[i]) { t = rss[i]; rss[i] = rss[j]; rss[j] = t }
            printf "memory (%s) per rank over %d ranks: peak resident largest %.1f MB, median %.1f MB; peak address space largest %.1f MB\n",
                   label, n, rss[n - 1] / 1024, rss[int(n / 2)] / 1024, vm / 1024
        }' "$dir/memory.txt"
}

bench() {
    local title="$1" nsub="$2"
    shift 2
    local procs=$((2 * nsub + 1)) dir base
    dir="$(mktemp -d)"
    base="$(mktemp -d)"
    echo "== $title: $procs processes"
    make_set "$dir" "$nsub" "$@"
    make_set "$base" "$nsub" 4 6 1 0
    cat "$dir/lib.txt"
    local lib wall empty
    lib="$(sed -n 's/.*wall \([0-9.]*\) s.*/\1/p' "$dir/lib.txt")"
    wall="$(fastest "$dir" "$build/parallel/kavmpi" "$procs")"
    empty="$(fastest "$base" "$build/parallel/kavmpi" "$procs")"
    echo "kavmpi:  RESV $(od -A n -t f8 -j 2 -N 8 "$dir/PAR5.DAT" | tr -d ' ')  wall $wall s  (4 x 6 subproblems: $empty s)"
    echo "ratio kavmpi / library wall time: $(awk "BEGIN{printf \"%.2f\", $wall / $lib}")," \
         "without the start-up: $(awk "BEGIN{printf \"%.2f\", ($wall - $empty) / $lib}")"
    cp "$dir"/inputs/* "$dir"
    KAV_DATA_DIR="$dir" mpiexec -n "$procs" "$build/bench/kavmpi_pivots" 2>"$dir/pivots.txt" >/dev/null
    echo "pivots: process 0, master problems 1 + 2:" \
        "$(awk '/MASTER PROBLEM ONE =/ {a = $NF} /MASTER PROBLEM TWO =/ {b = $NF} END {print a " + " b}' "$dir/KAV100.PNT")"
    echo "pivots: ranks 1..$((procs - 1)):" \
        "$(awk '/^rank [0-9]+ pivots/ && $2 > 0 {p[$2] = $4} END {for (r = 1; r in p; ++r) printf "%s ", p[r]}' "$dir/pivots.txt")"
    memory "$dir" "$build/parallel/kavmpi" "$procs" "kavmpi"
    if [ -n "${KAVMPI_BASELINE:-}" ]; then memory "$dir" "$KAVMPI_BASELINE" "$procs" "baseline"; fi
    rm -rf "$dir" "$base"
}

bench "3 subproblems of 400 x 600, 10 common rows" 3 400 600 10 4
bench "20 subproblems of 100 x 150, 10 common rows (the library's solve benchmark)" 20 100 150 10 4
