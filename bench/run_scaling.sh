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
source "$(dirname "$0")/common.sh"

LOG=$(mktemp)
trap 'rm -f "$LOG"' EXIT
bench_build "$LOG" scaling_bench
bench_converter "$LOG" || { echo "run_scaling: the build failed" >&2; exit 1; }
exec "$BENCH_BUILD/bench/scaling_bench" --converter build/default/mbrkd2flat "$@"
