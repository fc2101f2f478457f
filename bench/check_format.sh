#!/usr/bin/env bash
# The long run of the value-text check: the flat writer's texts against printf("%.9g"),
# or the dataset writer's against "%.15g", over hundreds of millions of doubles (see
# format_check.cpp for the classes drawn).
#
#   bench/check_format.sh                  # 300,000,000 doubles, seed 1, "%.9g"
#   DIGITS=15 bench/check_format.sh        # the dataset writer's "%.15g"
#   COUNT=1000000000 SEED=7 bench/check_format.sh
#   JOBS=2 bench/check_format.sh           # split over two processes, seeds SEED and SEED+1
#
# Builds format_check in build/bench (-DMBRK_BUILD_BENCH=ON) and prints one summary line
# per process; exits 1 if any text differed.
set -euo pipefail
cd "$(dirname "$0")/.."

COUNT=${COUNT:-300000000}
SEED=${SEED:-1}
JOBS=${JOBS:-1}
DIGITS=${DIGITS:-9}
[[ $DIGITS == 9 || $DIGITS == 15 ]] || { echo "check_format: DIGITS must be 9 or 15" >&2; exit 2; }
for n in COUNT SEED JOBS; do
  [[ ${!n} =~ ^[0-9]+$ ]] || { echo "check_format: $n must be a whole number, not '${!n}'" >&2; exit 2; }
done
((JOBS >= 1)) || { echo "check_format: JOBS must be at least 1" >&2; exit 2; }

BENCH_BUILD=build/bench
mkdir -p "$BENCH_BUILD"
LOG="$BENCH_BUILD/check_format.log"
if ! { cmake -S . -B "$BENCH_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ \
         -DMBRK_BUILD_TESTS=OFF -DMBRK_BUILD_BENCH=ON -DMBRK_WERROR=ON &&
       cmake --build "$BENCH_BUILD" -j2 --target format_check; } >"$LOG" 2>&1; then
  tail -n 30 "$LOG" >&2
  echo "check_format: building format_check failed (log: $LOG)" >&2
  exit 1
fi

per_job=$((COUNT / JOBS))
pids=()
for ((j = 0; j < JOBS; j++)); do
  n=$per_job
  if ((j == JOBS - 1)); then n=$((COUNT - per_job * (JOBS - 1))); fi
  "$BENCH_BUILD/bench/format_check" --count "$n" --seed "$((SEED + j))" --digits "$DIGITS" --progress &
  pids+=($!)
done
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
if ((status == 0)); then echo "check_format: no mismatch in $COUNT doubles"; else echo "check_format: MISMATCHES found"; fi
exit "$status"
