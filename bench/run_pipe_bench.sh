#!/usr/bin/env bash
# The converter reading a pipe (/dev/stdin) beside the same bytes given by name:
#
#   bench/run_pipe_bench.sh
#   ROWS=100000 bench/run_pipe_bench.sh
#
# 1. The headers tests/hostile/pipe-absurd-*.mbrk (a hundred bytes declaring gigabytes of
#    tables), piped: status 1 and the message the file gives, each under 1 s and 50 MB.
# 2. A real dataset (ROWS x INPUTS x OUTPUTS, generated once into build/bench-data/),
#    piped: the flat file byte for byte the one made from the file, with peak memory at
#    most twice the table's bytes (its values and its two arrays of row pointers) plus
#    32 MiB. The times are printed beside the file's, not judged: the machine is shared.
#
# Builds the converter with the default preset and the bench tools in build/bench.
# Exits 1 when a target is missed. Variables: ROWS, INPUTS, OUTPUTS, SEED.
set -euo pipefail
source "$(dirname "$0")/common.sh"
LOG="$SCRATCH/pipe-bench-build.log"
: >"$LOG"
echo "== building the converter and the bench tools"
bench_converter "$LOG" || { echo "run_pipe_bench: the build failed (log: $LOG)" >&2; exit 1; }
bench_build "$LOG" gen_dataset measure
CONVERTER=build/default/mbrkd2flat
MEASURE=$BENCH_BUILD/bench/measure
work=$(mktemp -d "${TMPDIR:-/tmp}/mbrk-pipe-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0

# Runs the converter on $1 by name, or piped when $2 is "pipe"; sets seconds, kib,
# status and message.
convert() {
  local line
  if [[ $2 == pipe ]]; then
    line=$(cat "$1" | "$MEASURE" -- "$CONVERTER" /dev/stdin "$work/out-pipe.flat" 2>"$work/err")
  else
    line=$("$MEASURE" -- "$CONVERTER" "$1" "$work/out-file.flat" 2>"$work/err")
  fi
  read -r seconds kib status _ <<<"$line"
  message=$(head -n 1 "$work/err")
}

# Sets verdict for the condition $1 (1 or 0), noting a miss.
judge() { if (($1)); then verdict="meets the target"; else failed=1; verdict="MISSES the target"; fi; }

echo "== headers declaring absurd tables"
for header in tests/hostile/pipe-absurd-*.mbrk; do
  convert "$header" file
  file_message=$message
  convert "$header" pipe
  ok=$(awk -v s="$seconds" -v k="$kib" 'BEGIN { print (s < 1 && k < 50 * 1024) ? 1 : 0 }')
  [[ $status == 1 && $message == "$file_message" ]] || ok=0
  judge "$ok"
  printf '  %-40s piped: status %s, %.3f s, %6.1f MiB, "%s" (file: "%s"): %s\n' \
    "$(basename "$header")" "$status" "$seconds" "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')" \
    "$message" "$file_message" "$verdict"
done

echo "== a real dataset"
dataset=$(bench_dataset "$ROWS")
cat "$dataset" >/dev/null  # a warm page cache for both
convert "$dataset" file
file_seconds=$seconds file_kib=$kib
convert "$dataset" pipe
table_bytes=$((ROWS * ((INPUTS + OUTPUTS) * 8 + 16)))
limit_kib=$(((2 * table_bytes + 32 * 1024 * 1024) / 1024))
same=0
cmp -s "$work/out-file.flat" "$work/out-pipe.flat" && same=1
printf '  %s: %d rows, table %.1f MiB\n' "$(basename "$dataset")" "$ROWS" \
  "$(awk -v b="$table_bytes" 'BEGIN { print b / 1048576 }')"
printf '  by name: %.3f s, peak %.1f MiB\n' "$file_seconds" \
  "$(awk -v k="$file_kib" 'BEGIN { print k / 1024 }')"
judge $((status == 0 && kib <= limit_kib))
printf '  piped:   %.3f s, peak %.1f MiB (target <= 2 x table + 32 MiB = %.1f MiB): %s\n' \
  "$seconds" "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')" \
  "$(awk -v k="$limit_kib" 'BEGIN { print k / 1024 }')" "$verdict"
judge "$same"
printf '  piped output identical to the file'"'"'s: %s\n' "$verdict"
exit "$failed"
