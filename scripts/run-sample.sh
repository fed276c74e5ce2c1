#!/usr/bin/env bash
# Runs the bundled sample problem through the decomposition build of
# libkavsolve.so: sets up a fresh machine if needed, builds the library and
# the example host, creates the data directory ./KAV and solves.  Then the
# same run's hand-off files are arranged into kavmpi's input set in ./KAV-MPI
# and solved by 5 MPI processes, and the allocation sample is solved.
# Extra arguments go to the example (a library path, then the right-hand
# side of the common resource, default 2.25).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target host_sample kavsolve_decomp mix_sample kavmix \
    kavmpi input_set_writer single_sample kavsolve_single >/dev/null
mkdir -p KAV
export KAV_DATA_DIR="$PWD/KAV"
lib="${1:-$build/decomp/libkavsolve.so}"
shift || true
"$build/examples/host_sample" "$lib" "$@"
# The parallel program on the same problem: its own data directory, so the
# library's print files stay as they are.
rm -rf KAV-MPI
cp -r KAV KAV-MPI
"$build/examples/input_set_writer" KAV-MPI
KAV_DATA_DIR="$PWD/KAV-MPI" mpiexec -n 5 "$build/parallel/kavmpi"
# PAR5.DAT: flag word, RESV(1..6), NVRES, then NVRES values of XRES per level.
nvres=$(od -A n -t d2 -j 50 -N 2 KAV-MPI/PAR5.DAT | tr -d ' ')
echo "kavmpi (print files KAV-MPI/KAV100.PNT ... KAV104.PNT):"
echo "RESV =" $(od -A n -t f8 -j 2 -N 48 -v KAV-MPI/PAR5.DAT)
echo "XRES(1, .) =" $(od -A n -t f8 -j 52 -N $((8 * nvres)) -v KAV-MPI/PAR5.DAT)
# The allocation sample: two groups, three items, one shortage.
"$build/examples/mix_sample" "$build/mix/libkavmix.so"
# The single-problem sample: a knapsack with two resources and one
# sensitivity level.
"$build/examples/single_sample" "$build/single/libkavsolve.so"
