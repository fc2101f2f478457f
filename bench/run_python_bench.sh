#!/usr/bin/env bash
# The Python package beside the C++ toolkit and the command (bench/python_bench.py):
#
#   bench/run_python_bench.sh                 # 1,000,000 rows x 10 inputs x 2 expected outputs
#   ROWS=100000 RUNS=3 bench/run_python_bench.sh
#
# Builds build/bench (-DMBRK_BUILD_BENCH=ON) with the extension module, the command
# and the bench tools, generates the dataset once into build/bench-data/ (shared with
# run_benchmark.sh), then runs the rounds. Variables: ROWS, INPUTS, OUTPUTS, SEED, RUNS.
set -euo pipefail
source "$(dirname "$0")/common.sh"
RUNS=${RUNS:-3}
echo "== building $BENCH_BUILD"
: >"$SCRATCH/python-bench-build.log"
bench_build "$SCRATCH/python-bench-build.log" gen_dataset dataset_bench mbrkd2flat _mbrk
python=$(sed -n 's/^Python_EXECUTABLE:FILEPATH=//p' "$BENCH_BUILD/CMakeCache.txt")
[[ -n $python ]] || { echo "run_python_bench: the build found no Python with NumPy" >&2; exit 1; }
dataset=$(bench_dataset "$ROWS")
work=$(mktemp -d "${TMPDIR:-/tmp}/mbrk-python-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
PYTHONPATH=$BENCH_BUILD/python PYTHONDONTWRITEBYTECODE=1 "$python" bench/python_bench.py \
  "$dataset" "$BENCH_BUILD/bench/dataset_bench" "$BENCH_BUILD/mbrkd2flat" "$work" "$RUNS"
