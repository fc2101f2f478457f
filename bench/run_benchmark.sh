#!/usr/bin/env bash
# Measures the converter against the bare loop, an awk peer and cat.
#
#   bench/run_benchmark.sh
#
# Builds what it needs, generates the dataset once (kept for later runs), then runs
# every contender RUNS times, round by round so that a busy spell of the machine hits
# all of them alike, and prints the median wall time, the input throughput, the peak
# resident memory and the time relative to the bare loop. It also says whether the
# converter's output is byte for byte the bare loop's.
#
# Linearity: the converter and the bare loop also run, in the same rounds, on a
# dataset of SMALL_ROWS rows (a tenth by default); the report sets the converter's
# MB/s on the small dataset beside its MB/s on the large one (they should agree
# within 15%: time grows linearly with the file).
#
# Environment (all optional):
#   ROWS=1000000      rows of the dataset        INPUTS=10   OUTPUTS=2   SEED=1
#   RUNS=5            timed runs per contender
#   CONVERTER=PATH    converter to measure (default: build/default/mbrkd2flat, built here
#                     from command/mbrkd2flat.cpp; skipped with a note when there is none)
#   SCRATCH=DIR       where the dataset and the outputs go (default: build/bench-data)
#   KEEP_OUTPUTS=1    keep the flat files written by the contenders
#   LINEARITY=0       skip the runs on the small dataset
#   SMALL_ROWS=N      rows of the small dataset (default ROWS / 10)
set -euo pipefail
cd "$(dirname "$0")/.."

ROWS=${ROWS:-1000000}
INPUTS=${INPUTS:-10}
OUTPUTS=${OUTPUTS:-2}
SEED=${SEED:-1}
RUNS=${RUNS:-5}
LINEARITY=${LINEARITY:-1}
SMALL_ROWS=${SMALL_ROWS:-$((ROWS / 10))}
SCRATCH=${SCRATCH:-build/bench-data}
BENCH_BUILD=build/bench
for n in ROWS INPUTS OUTPUTS SEED RUNS SMALL_ROWS LINEARITY; do
  [[ ${!n} =~ ^[0-9]+$ ]] || { echo "run_benchmark: $n must be a whole number, not '${!n}'" >&2; exit 2; }
done
((RUNS >= 1)) || { echo "run_benchmark: RUNS must be at least 1" >&2; exit 2; }

mkdir -p "$SCRATCH"
LOG="$SCRATCH/build.log"
: >"$LOG"
notes=()

# ---- build ---------------------------------------------------------------------------
for tool in cmake ninja g++ mawk; do
  if ! command -v "$tool" >/dev/null; then
    echo "== installing the build packages (scripts/setup)"
    scripts/setup
    break
  fi
done

echo "== building the bench tools in $BENCH_BUILD"
if ! { cmake -S . -B "$BENCH_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ \
         -DMBRK_BUILD_TESTS=OFF -DMBRK_BUILD_BENCH=ON -DMBRK_WERROR=ON &&
       cmake --build "$BENCH_BUILD" -j2 --target gen_dataset bare_loop measure; } >>"$LOG" 2>&1; then
  tail -n 30 "$LOG" >&2
  echo "run_benchmark: building the bench tools failed (log: $LOG)" >&2
  exit 1
fi
GEN="$BENCH_BUILD/bench/gen_dataset"
BARE="$BENCH_BUILD/bench/bare_loop"
MEASURE="$BENCH_BUILD/bench/measure"

converter_label="mbrkd2flat"
if [[ -n ${CONVERTER:-} ]]; then
  converter_label="converter ($CONVERTER)"
  if [[ ! -x $CONVERTER ]]; then
    notes+=("converter skipped: CONVERTER=$CONVERTER is not an executable file")
    CONVERTER=""
  fi
elif [[ -f command/mbrkd2flat.cpp ]]; then
  echo "== building the converter (preset default, target mbrkd2flat)"
  if { cmake --preset default && cmake --build --preset default -j2 --target mbrkd2flat; } >>"$LOG" 2>&1; then
    CONVERTER=build/default/mbrkd2flat
  else
    tail -n 30 "$LOG" >&2
    notes+=("converter skipped: it did not build (log: $LOG)")
    CONVERTER=""
  fi
else
  notes+=("converter skipped: command/mbrkd2flat.cpp is not in this tree yet (set CONVERTER=PATH to measure a binary)")
  CONVERTER=""
fi

# ---- dataset -------------------------------------------------------------------------
# Prints the path of the dataset of $1 rows, generating it when it is not there yet.
dataset() {
  local path="$SCRATCH/dataset-${1}x${INPUTS}x${OUTPUTS}-s${SEED}.mbrk"
  if [[ ! -s $path ]]; then
    echo "== generating $path" >&2
    # Written under a temporary name first, so an interrupted run leaves no half file
    # that a later run would take for the dataset.
    "$GEN" --rows "$1" --inputs "$INPUTS" --outputs "$OUTPUTS" --seed "$SEED" --output "$path.part"
    mv "$path.part" "$path"
  else
    echo "== reusing $path" >&2
  fi
  echo "$path"
}
DATA=$(dataset "$ROWS")
BYTES=$(stat -L -c %s "$DATA")
cat "$DATA" >/dev/null  # every contender reads from a warm page cache
if ((LINEARITY != 0)); then
  SMALL_DATA=$(dataset "$SMALL_ROWS")
  SMALL_BYTES=$(stat -L -c %s "$SMALL_DATA")
  cat "$SMALL_DATA" >/dev/null
fi

# ---- contenders ----------------------------------------------------------------------
ids=()
labels=()
add() { ids+=("$1"); labels+=("$2"); }
if [[ -n $CONVERTER ]]; then add converter "$converter_label"; fi
add bare "bare loop"
if command -v mawk >/dev/null; then
  add mawk "mawk"
else
  notes+=("mawk skipped: not installed (scripts/setup installs it)")
fi
add cat "cat > /dev/null"
if ((LINEARITY != 0)); then
  if [[ -n $CONVERTER ]]; then add converter_small "$converter_label, $SMALL_ROWS rows"; fi
  add bare_small "bare loop, $SMALL_ROWS rows"
fi

# Input bytes of contender $1's dataset, and the bare loop it is set against.
bytes_of() { if [[ $1 == *_small ]]; then echo "$SMALL_BYTES"; else echo "$BYTES"; fi; }
bare_of() { if [[ $1 == *_small ]]; then echo bare_small; else echo bare; fi; }

# The flat file contender $1 writes; none for cat.
output_of() { if [[ $1 != cat ]]; then echo "$SCRATCH/out-$1.flat"; fi; }

# Runs contender $1 once under measure, appending its line to the results.
run_once() {
  local out
  out=$(output_of "$1")
  if [[ -n $out ]]; then rm -f "$out"; fi  # every run writes a new file, outside the timing
  case $1 in
    converter) "$MEASURE" -- "$CONVERTER" "$DATA" "$out" ;;
    bare) "$MEASURE" -- "$BARE" "$DATA" "$out" ;;
    mawk) "$MEASURE" --stdout "$out" -- mawk -f bench/to_flat.awk "$DATA" ;;
    cat) "$MEASURE" -- cat "$DATA" ;;
    converter_small) "$MEASURE" -- "$CONVERTER" "$SMALL_DATA" "$out" ;;
    bare_small) "$MEASURE" -- "$BARE" "$SMALL_DATA" "$out" ;;
  esac >>"$RESULTS/$1"
}

RESULTS="$SCRATCH/results"
rm -rf "$RESULTS"
mkdir -p "$RESULTS"
echo "== $RUNS timed runs of each contender on $(awk -v b="$BYTES" 'BEGIN { printf "%.1f", b / 1e6 }') MB"
for ((round = 1; round <= RUNS; round++)); do
  for id in "${ids[@]}"; do run_once "$id"; done
  printf '   round %d of %d done\n' "$round" "$RUNS"
done

# ---- report --------------------------------------------------------------------------
# Median and best wall time, highest peak RSS (KiB) and a nonzero exit status if any.
stats() {
  sort -n -k1,1 "$RESULTS/$1" | awk '
    { t[NR] = $1; if ($2 > rss) rss = $2; if ($3 != 0) bad = $3 }
    END {
      median = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
      printf "%.6f %.6f %d %d\n", median, t[1], rss, bad
    }'
}

# The converter's memory target for $1 rows, in MiB.
target_mib() {
  awk -v r="$1" -v w="$((INPUTS + OUTPUTS))" 'BEGIN { printf "%.1f", (1.2 * r * w * 8 + 32 * 1048576) / 1048576 }'
}
TARGET_MIB=$(target_mib "$ROWS")

echo
echo "Dataset: $DATA"
printf 'Shape:   %s rows x %s inputs x %s expected outputs, %s bytes (%.1f MB), %s runs each\n' \
  "$ROWS" "$INPUTS" "$OUTPUTS" "$BYTES" "$(awk -v b="$BYTES" 'BEGIN { print b / 1e6 }')" "$RUNS"
if ((LINEARITY != 0)); then
  printf 'Small:   %s (%s rows, %s bytes), for the linearity check\n' "$SMALL_DATA" "$SMALL_ROWS" "$SMALL_BYTES"
fi
printf 'Machine: %s, %s cores\n' \
  "$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo 2>/dev/null)" "$(nproc)"
echo
rule=$(printf '%.0s-' {1..88})
printf '%-34s %10s %10s %9s %12s %9s\n' "contender" "median s" "best s" "MB/s" "peak RSS MiB" "x bare"
echo "$rule"
converter_mib=""
small_mib=""
declare -A mbps_of
for i in "${!ids[@]}"; do
  id=${ids[$i]}
  read -r median best rss bad <<<"$(stats "$id")"
  read -r reference_median _ <<<"$(stats "$(bare_of "$id")")"
  mbps=$(awk -v b="$(bytes_of "$id")" -v t="$median" 'BEGIN { printf "%.1f", (t > 0 ? b / 1e6 / t : 0) }')
  ratio=$(awk -v t="$median" -v b="$reference_median" 'BEGIN { printf "%.2f", (b > 0 ? t / b : 0) }')
  mib=$(awk -v k="$rss" 'BEGIN { printf "%.1f", k / 1024 }')
  if ((bad != 0)); then
    ratio="exit $bad"  # a failed run's time says nothing about conversion speed
    notes+=("${labels[$i]} exited with status $bad in at least one run")
  fi
  label=${labels[$i]}
  if ((${#label} > 34)); then label="${label:0:31}..."; fi
  printf '%-34s %10.3f %10.3f %9s %12s %9s\n' "$label" "$median" "$best" "$mbps" "$mib" "$ratio"
  mbps_of[$id]=$mbps
  if [[ $id == converter ]]; then converter_mib=$mib; fi
  if [[ $id == converter_small ]]; then small_mib=$mib; fi
done
echo "$rule"
echo "MB/s: input bytes (10^6) per median second; peak RSS: highest of the runs; x bare: median / the bare loop's median on the same dataset"
printf 'Memory target for the converter: 1.2 x %s rows x %s values x 8 B + 32 MiB = %s MiB' \
  "$ROWS" "$((INPUTS + OUTPUTS))" "$TARGET_MIB"
if [[ -n $converter_mib ]]; then
  verdict=$(awk -v m="$converter_mib" -v t="$TARGET_MIB" 'BEGIN { print (m <= t) ? "within" : "OVER" }')
  printf '; converter peak %s MiB: %s the target\n' "$converter_mib" "$verdict"
else
  printf '\n'
fi
if [[ -n $small_mib ]]; then
  small_target=$(target_mib "$SMALL_ROWS")
  verdict=$(awk -v m="$small_mib" -v t="$small_target" 'BEGIN { print (m <= t) ? "within" : "OVER" }')
  printf '  at %s rows: target %s MiB, converter peak %s MiB: %s the target\n' \
    "$SMALL_ROWS" "$small_target" "$small_mib" "$verdict"
fi
if [[ -n ${mbps_of[converter]:-} && -n ${mbps_of[converter_small]:-} ]]; then
  awk -v small="${mbps_of[converter_small]}" -v large="${mbps_of[converter]}" \
      -v sr="$SMALL_ROWS" -v lr="$ROWS" 'BEGIN {
    gap = (small > 0) ? (large / small - 1) * 100 : 0
    printf "Linearity: converter %.1f MB/s at %s rows, %.1f MB/s at %s rows: %+.1f%%, %s (limit 15%%)\n",
      small, sr, large, lr, gap, (gap <= 15 && gap >= -15) ? "linear" : "NOT LINEAR"
  }'
fi

# Outputs: the bare loop's flat file on the same dataset is the reference.
echo
for i in "${!ids[@]}"; do
  id=${ids[$i]}
  if [[ $id == bare* || $id == cat ]]; then continue; fi
  out=$(output_of "$id")
  reference=$(output_of "$(bare_of "$id")")
  if [[ ! -f $out ]]; then
    echo "${labels[$i]}: wrote no output to compare"
  elif cmp -s "$out" "$reference"; then
    echo "${labels[$i]} output: byte-identical to the bare loop's ($(stat -c %s "$out") bytes)"
  else
    echo "${labels[$i]} output: DIFFERS from the bare loop's: $(cmp "$out" "$reference" 2>&1 | head -n 1)"
  fi
done

for note in "${notes[@]}"; do echo "Note: $note"; done

if [[ ${KEEP_OUTPUTS:-0} != 1 ]]; then
  for id in "${ids[@]}"; do
    out=$(output_of "$id")
    if [[ -n $out ]]; then rm -f "$out"; fi
  done
fi
exit 0
