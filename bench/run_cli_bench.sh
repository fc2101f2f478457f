#!/usr/bin/env bash
# The mbrk command beside pandas and the Python package (bench/cli_bench.py):
#
#   bench/run_cli_bench.sh                 # 1,000,000 rows x 10 inputs x 2 expected outputs
#   ROWS=100000 RUNS=3 bench/run_cli_bench.sh
#
# Builds build/bench (-DMBRK_BUILD_BENCH=ON) with the command, the extension module and
# the dataset generator, generates the dataset once into build/bench-data/ (shared with
# the other scripts), then runs the rounds. Variables: ROWS, INPUTS, OUTPUTS, SEED, RUNS.
set -euo pipefail
source "$(dirname "$0")/common.sh"
RUNS=${RUNS:-3}
bench_whole RUNS
echo "== building $BENCH_BUILD"
: >"$SCRATCH/cli-bench-build.log"
bench_build "$SCRATCH/cli-bench-build.log" gen_dataset mbrk_cli _mbrk
python=$(sed -n 's/^Python_EXECUTABLE:FILEPATH=//p' "$BENCH_BUILD/CMakeCache.txt")
[[ -n $python ]] || { echo "run_cli_bench: the build found no Python with NumPy" >&2; exit 1; }
dataset=$(bench_dataset "$ROWS")
work=$(mktemp -d "${TMPDIR:-/tmp}/mbrk-cli-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
PYTHONPATH=$BENCH_BUILD/python PYTHONDONTWRITEBYTECODE=1 "$python" bench/cli_bench.py \
  "$dataset" "$BENCH_BUILD/mbrk" "$work" "$RUNS"
