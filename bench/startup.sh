#!/usr/bin/env bash
# Startup: what a conversion costs when there is almost nothing to convert.
#
#   bench/startup.sh
#
# Converts a 3-row dataset COUNT times with the converter and COUNT times with
# mawk (bench/to_flat.awk), from a shell loop, in ROUNDS alternating batches so
# that a busy spell of the machine hits both alike, and prints the total wall time
# of each (process start included: that is the cost being measured) and their
# ratio. The shell's own fork for each command is part of both; so that it does
# not hide the difference, SPAWNS more runs of each are then started directly
# (posix_spawn, by measure) and their median wall times set side by side. Last it
# counts the instructions of one run of each, dynamic loading included, with
# valgrind's callgrind (or perf stat where the processor's counters can be read),
# and names the converter's largest costs.
#
# Environment (all optional):
#   COUNT=1000        conversions of each         ROUNDS=10   batches of COUNT / ROUNDS
#   SPAWNS=200        runs of each started directly
#   CONVERTER=PATH    converter to measure (default: build/default/mbrkd2flat, built here)
#   SCRATCH=DIR       where the dataset and the outputs go (default: build/bench-data)
set -euo pipefail
source "$(dirname "$0")/common.sh"

COUNT=${COUNT:-1000}
ROUNDS=${ROUNDS:-10}
SPAWNS=${SPAWNS:-200}
for n in COUNT ROUNDS SPAWNS; do
  [[ ${!n} =~ ^[1-9][0-9]*$ ]] || { echo "startup: $n must be a positive whole number" >&2; exit 2; }
done
((COUNT % ROUNDS == 0)) || { echo "startup: COUNT must be a multiple of ROUNDS" >&2; exit 2; }
command -v mawk >/dev/null || { echo "startup: mawk is not installed (scripts/setup)" >&2; exit 1; }

LOG="$SCRATCH/startup-build.log"
: >"$LOG"
bench_build "$LOG" gen_dataset measure
if [[ -z ${CONVERTER:-} ]]; then
  bench_converter "$LOG" || { echo "startup: building the converter failed (log: $LOG)" >&2; exit 1; }
  CONVERTER=build/default/mbrkd2flat
fi

SRC=$(ROWS=3 INPUTS=10 OUTPUTS=2 SEED=1 bench_dataset 3)
OUT_CONVERTER="$SCRATCH/startup-converter.flat"
OUT_MAWK="$SCRATCH/startup-mawk.flat"

now() { date +%s%N; }
batch=$((COUNT / ROUNDS))
converter_ns=0
mawk_ns=0
for ((round = 0; round < ROUNDS; round++)); do
  start=$(now)
  for ((i = 0; i < batch; i++)); do "$CONVERTER" "$SRC" "$OUT_CONVERTER"; done
  converter_ns=$((converter_ns + $(now) - start))
  start=$(now)
  for ((i = 0; i < batch; i++)); do mawk -f bench/to_flat.awk "$SRC" >"$OUT_MAWK"; done
  mawk_ns=$((mawk_ns + $(now) - start))
done

echo "Startup: $COUNT conversions of $SRC (3 rows), in $ROUNDS alternating batches"
awk -v c="$converter_ns" -v m="$mawk_ns" -v n="$COUNT" 'BEGIN {
  printf "  %-12s %8.3f s   %7.3f ms per conversion\n", "mbrkd2flat", c / 1e9, c / 1e6 / n
  printf "  %-12s %8.3f s   %7.3f ms per conversion\n", "mawk", m / 1e9, m / 1e6 / n
  printf "  mbrkd2flat / mawk: %.2f (target: at most 1.00)\n", c / m
}'
if cmp -s "$OUT_CONVERTER" "$OUT_MAWK"; then
  echo "  outputs: byte-identical"
else
  echo "  outputs: DIFFER: $(cmp "$OUT_CONVERTER" "$OUT_MAWK" 2>&1 | head -n 1)"
fi

# One process at a time, started directly: the wall time of each, interleaved.
MEASURE=$BENCH_BUILD/bench/measure
SPAWNED="$SCRATCH/startup-spawned"
: >"$SPAWNED"
for ((i = 0; i < SPAWNS; i++)); do
  echo "converter $("$MEASURE" -- "$CONVERTER" "$SRC" "$OUT_CONVERTER")" >>"$SPAWNED"
  echo "mawk $("$MEASURE" --stdout "$OUT_MAWK" -- mawk -f bench/to_flat.awk "$SRC")" >>"$SPAWNED"
done
median_ms() {
  awk -v k="$1" '$1 == k { print $2 }' "$SPAWNED" | sort -n |
    awk '{ t[NR] = $1 } END { printf "%.3f", ((NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2) * 1000 }'
}
echo "Started directly, $SPAWNS runs of each (median wall time of one run):"
awk -v c="$(median_ms converter)" -v m="$(median_ms mawk)" 'BEGIN {
  printf "  %-12s %7.3f ms\n  %-12s %7.3f ms\n  mbrkd2flat / mawk: %.2f\n", "mbrkd2flat", c, "mawk", m, c / m
}'

# Instructions of one run each, the dynamic loader's included.
if command -v valgrind >/dev/null; then
  count() {
    valgrind --tool=callgrind --callgrind-out-file="$1" "${@:2}" 2>&1 >/dev/null |
      awk '/Collected :/ { print $NF }'
  }
  converter_ir=$(count "$SCRATCH/startup-converter.callgrind" "$CONVERTER" "$SRC" "$OUT_CONVERTER")
  mawk_ir=$(count "$SCRATCH/startup-mawk.callgrind" mawk -f bench/to_flat.awk "$SRC")
  echo "Instructions of one run (valgrind --tool=callgrind):"
  awk -v c="$converter_ir" -v m="$mawk_ir" 'BEGIN {
    printf "  %-12s %10d\n  %-12s %10d\n  mbrkd2flat / mawk: %.2f\n", "mbrkd2flat", c, "mawk", m, c / m
  }'
  loader_ir=$(callgrind_annotate --threshold=100 "$SCRATCH/startup-converter.callgrind" 2>/dev/null |
    awk '/ld-linux|\/elf\// { gsub(/,/, "", $1); sum += $1 } END { print sum + 0 }')
  awk -v l="$loader_ir" -v c="$converter_ir" 'BEGIN {
    printf "  of the converter'"'"'s, in the dynamic loader: %d (%.0f%%)\n", l, 100 * l / c
  }'
  echo "  the converter's largest costs (callgrind_annotate, exclusive):"
  callgrind_annotate "$SCRATCH/startup-converter.callgrind" 2>/dev/null |
    awk '/file:function/ { go = 1; getline; next } go && NF && n < 6 { sub(/^ +/, ""); print "    " $0; n++ }'
elif grep -q '^[0-9]' <<<"$(perf stat -x, -e instructions:u true 2>&1)"; then
  count() { perf stat -x, -e instructions:u "$@" 2>&1 >/dev/null | awk -F, '/instructions/ { print $1 }'; }
  echo "Instructions of one run (perf stat, user space):"
  echo "  mbrkd2flat   $(count "$CONVERTER" "$SRC" "$OUT_CONVERTER")"
  echo "  mawk         $(count mawk -f bench/to_flat.awk "$SRC")"
else
  echo "Instructions: neither valgrind nor readable processor counters here; wall time only"
fi
rm -f "$OUT_CONVERTER" "$OUT_MAWK" "$SPAWNED"
