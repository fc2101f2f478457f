#!/usr/bin/env bash
# Times every input dimension of the toolkit at n and 10n and prints the ratios
# (bench/scaling_bench.cpp); exits 1 when a ratio is above 12.
#
#   bench/run_scaling.sh [--only TEXT] [--runs N]
#
# Builds the bench tools in build/bench and the converter with the default preset
# (both optimised release builds), then runs scaling_bench with the converter, so
# that the command itself is among the roads measured. About two minutes.
set -euo pipefail
cd "$(dirname "$0")/.."

BENCH_BUILD=build/bench
LOG=$(mktemp)
trap 'rm -f "$LOG"' EXIT
if ! { cmake -S . -B "$BENCH_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ \
         -DMBRK_BUILD_TESTS=OFF -DMBRK_BUILD_BENCH=ON -DMBRK_WERROR=ON &&
       cmake --build "$BENCH_BUILD" -j2 --target scaling_bench &&
       cmake --preset default && cmake --build --preset default -j2 --target mbrkd2flat; } >"$LOG" 2>&1; then
  tail -n 30 "$LOG" >&2
  echo "run_scaling: the build failed" >&2
  exit 1
fi
exec "$BENCH_BUILD/bench/scaling_bench" --converter build/default/mbrkd2flat "$@"
