#!/usr/bin/env bash
# Writes the bundled example tables examples/*.db (Paradox, the format the program's users
# keep their tables in) from the CSV files beside them, with qv_convert.
#
# The CSV files are the genotype means of public trials (see examples/README.md); the .db
# files are committed too, so that the program has example data without a build.
#
# Build directory: $QV_BUILD_DIR, or ./build. A directory not configured yet is configured
# without the GUI, which qv_convert does not need.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${QV_BUILD_DIR:-$here/build}"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake -S "$here" -B "$build" -G Ninja -DQV_BUILD_GUI=OFF >/dev/null
fi
cmake --build "$build" --target qv_convert >/dev/null
for name in onofri_winterwheat sharma_met lu_stability; do
  "$build/tools/qv_convert" "$here/examples/$name.csv" "$here/examples/$name.db"
  echo "examples/$name.db"
done
