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
source "$(dirname "$0")/common.sh"

COUNT=${COUNT:-300000000}
JOBS=${JOBS:-1}
DIGITS=${DIGITS:-9}
[[ $DIGITS == 9 || $DIGITS == 15 ]] || { echo "check_format: DIGITS must be 9 or 15" >&2; exit 2; }
bench_whole COUNT SEED JOBS
((JOBS >= 1)) || { echo "check_format: JOBS must be at least 1" >&2; exit 2; }

mkdir -p "$BENCH_BUILD"
LOG="$BENCH_BUILD/check_format.log"
: >"$LOG"
bench_build "$LOG" format_check

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
