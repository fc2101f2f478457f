# The prelude the benchmark scripts share, sourced after `set -euo pipefail`:
#
#   source "$(dirname "$0")/common.sh"
#
# Moves to the top of the repository and sets the dataset's shape from the
# environment (ROWS=1000000 INPUTS=10 OUTPUTS=2 SEED=1), SCRATCH (where the
# datasets are kept between runs and the logs go, default build/bench-data) and
# BENCH_BUILD (the optimised build of the bench tools, build/bench). Then:
#   bench_whole NAME...        exits 2 unless each variable named is a whole number
#   bench_build LOG TARGET...  builds the targets in BENCH_BUILD (configured there
#                              first), output appended to LOG; on failure prints
#                              its tail and exits 1
#   bench_converter LOG        builds the converter with the default preset, output
#                              appended to LOG; status 1 on failure, for the caller
#   bench_dataset N            prints the path of the dataset of N rows, generating
#                              it on first use (by bench_build's gen_dataset)
cd "$(dirname "${BASH_SOURCE[0]}")/.."

ROWS=${ROWS:-1000000}
INPUTS=${INPUTS:-10}
OUTPUTS=${OUTPUTS:-2}
SEED=${SEED:-1}
SCRATCH=${SCRATCH:-build/bench-data}
BENCH_BUILD=build/bench
BENCH_NAME=$(basename "$0" .sh)
mkdir -p "$SCRATCH"

bench_whole() {
  local n
  for n in "$@"; do
    [[ ${!n} =~ ^[0-9]+$ ]] || { echo "$BENCH_NAME: $n must be a whole number, not '${!n}'" >&2; exit 2; }
  done
}

bench_build() {
  local log=$1
  shift
  if ! { cmake -S . -B "$BENCH_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ \
           -DMBRK_BUILD_TESTS=OFF -DMBRK_BUILD_BENCH=ON -DMBRK_WERROR=ON &&
         cmake --build "$BENCH_BUILD" -j2 --target "$@"; } >>"$log" 2>&1; then
    tail -n 30 "$log" >&2
    echo "$BENCH_NAME: building $* failed (log: $log)" >&2
    exit 1
  fi
}

bench_converter() {
  { cmake --preset default && cmake --build --preset default -j2 --target mbrkd2flat; } >>"$1" 2>&1 ||
    { tail -n 30 "$1" >&2; return 1; }
}

bench_dataset() {
  local path="$SCRATCH/dataset-${1}x${INPUTS}x${OUTPUTS}-s${SEED}.mbrk"
  if [[ ! -s $path ]]; then
    echo "== generating $path" >&2
    # Written under a temporary name first, so an interrupted run leaves no half file
    # that a later run would take for the dataset.
    "$BENCH_BUILD/bench/gen_dataset" --rows "$1" --inputs "$INPUTS" --outputs "$OUTPUTS" \
      --seed "$SEED" --output "$path.part"
    mv "$path.part" "$path"
  else
    echo "== reusing $path" >&2
  fi
  echo "$path"
}
