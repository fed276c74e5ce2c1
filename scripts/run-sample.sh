#!/usr/bin/env bash
# Runs the bundled sample problem through the decomposition build of
# libkavsolve.so: sets up a fresh machine if needed, builds the library and
# the example host, creates the data directory ./KAV and solves.
# Extra arguments go to the example (a library path, then the right-hand
# side of the common resource, default 2.25).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
bash "$root/scripts/setup.sh"
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target host_sample kavsolve_decomp mix_sample kavmix >/dev/null
mkdir -p KAV
export KAV_DATA_DIR="$PWD/KAV"
lib="${1:-$build/decomp/libkavsolve.so}"
shift || true
"$build/examples/host_sample" "$lib" "$@"
# The allocation sample: two groups, three items, one shortage.
"$build/examples/mix_sample" "$build/mix/libkavmix.so"
