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
cd "$(dirname "$0")/.."
ROWS=${ROWS:-1000000}
INPUTS=${INPUTS:-10}
OUTPUTS=${OUTPUTS:-2}
SEED=${SEED:-1}
RUNS=${RUNS:-3}
SCRATCH=build/bench-data
BENCH_BUILD=build/bench
mkdir -p "$SCRATCH"
echo "== building $BENCH_BUILD"
cmake -S . -B "$BENCH_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ \
      -DMBRK_BUILD_TESTS=OFF -DMBRK_BUILD_BENCH=ON -DMBRK_WERROR=ON >"$SCRATCH/cli-bench-build.log"
cmake --build "$BENCH_BUILD" -j2 --target gen_dataset mbrk_cli _mbrk >>"$SCRATCH/cli-bench-build.log"
python=$(sed -n 's/^Python_EXECUTABLE:FILEPATH=//p' "$BENCH_BUILD/CMakeCache.txt")
[[ -n $python ]] || { echo "run_cli_bench: the build found no Python with NumPy" >&2; exit 1; }
dataset="$SCRATCH/dataset-${ROWS}x${INPUTS}x${OUTPUTS}-s${SEED}.mbrk"
if [[ ! -f $dataset ]]; then
  echo "== generating $dataset"
  "$BENCH_BUILD/bench/gen_dataset" --rows "$ROWS" --inputs "$INPUTS" --outputs "$OUTPUTS" \
    --seed "$SEED" --output "$dataset"
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/mbrk-cli-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
PYTHONPATH=$BENCH_BUILD/python PYTHONDONTWRITEBYTECODE=1 "$python" bench/cli_bench.py \
  "$dataset" "$BENCH_BUILD/mbrk" "$work" "$RUNS"
