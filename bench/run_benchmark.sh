#!/usr/bin/env bash
# Measures the converter, the flat reader and the dataset reader and writer, each
# against its bare loop (the speed floor) and its peers, in one run.
#
#   bench/run_benchmark.sh
#
# Builds what it needs, generates the dataset once (kept for later runs), then runs
# every contender RUNS times, round by round so that a busy spell of the machine hits
# all of them alike, and prints per group the median and best time, the median
# processor time, the throughput, the peak resident memory and both times relative to
# the group's reference; then the targets, each a ratio of two medians of this run,
# and whether the outputs agree.
#
# Groups (contenders; the reference first):
#   conversion      whole processes, wall time: the bare loop writing every line with a
#                   write() of its own (the floor of a converter that flushes each
#                   line), mbrkd2flat (also with huge pages refused to it), the bare
#                   loop writing the whole result at once, mawk, cat
#   flat reader     the call alone, timed inside the process: bare_loop --read-flat,
#                   TFlatFiler::LoadData (also without huge pages), numpy.loadtxt, on the
#                   flat file of the dataset
#   dataset reader  bare_loop --read-dataset, LoadDatFile
#   dataset writer  bare_loop --write-dataset, SaveDatFile (the table read beforehand)
#   linearity       the per-line bare loop and mbrkd2flat on a dataset of SMALL_ROWS
#                   rows: the converter's MB/s there and on the large one should agree
#                   within 15% (time grows linearly with the file)
#
# Environment (all optional):
#   ROWS=1000000      rows of the dataset        INPUTS=10   OUTPUTS=2   SEED=1
#   RUNS=5            timed runs per contender
#   CONVERTER=PATH    converter to measure (default: build/default/mbrkd2flat, built here)
#   PYTHON=PATH       interpreter with numpy for numpy.loadtxt (default: /usr/bin/python3,
#                     else python3; skipped with a note when numpy is missing)
#   SCRATCH=DIR       where the datasets and the outputs go (default: build/bench-data)
#   KEEP_OUTPUTS=1    keep the files written by the contenders
#   LINEARITY=0       skip the runs on the small dataset
#   SMALL_ROWS=N      rows of the small dataset (default ROWS / 10)
set -euo pipefail
source "$(dirname "$0")/common.sh"

RUNS=${RUNS:-5}
LINEARITY=${LINEARITY:-1}
SMALL_ROWS=${SMALL_ROWS:-$((ROWS / 10))}
bench_whole ROWS INPUTS OUTPUTS SEED RUNS SMALL_ROWS LINEARITY
((RUNS >= 1)) || { echo "run_benchmark: RUNS must be at least 1" >&2; exit 2; }

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
bench_build "$LOG" gen_dataset bare_loop measure table_bench
GEN="$BENCH_BUILD/bench/gen_dataset"
BARE="$BENCH_BUILD/bench/bare_loop"
MEASURE="$BENCH_BUILD/bench/measure"
TABLE="$BENCH_BUILD/bench/table_bench"

converter_label="mbrkd2flat"
if [[ -n ${CONVERTER:-} ]]; then
  converter_label="converter ($CONVERTER)"
  if [[ ! -x $CONVERTER ]]; then
    notes+=("converter skipped: CONVERTER=$CONVERTER is not an executable file")
    CONVERTER=""
  fi
else
  echo "== building the converter (preset default, target mbrkd2flat)"
  if bench_converter "$LOG"; then
    CONVERTER=build/default/mbrkd2flat
  else
    notes+=("converter skipped: it did not build (log: $LOG)")
    CONVERTER=""
  fi
fi

PYTHON=${PYTHON:-$(command -v /usr/bin/python3 || command -v python3 || true)}
if [[ -n $PYTHON ]] && ! "$PYTHON" -c 'import numpy' 2>/dev/null; then
  notes+=("numpy.loadtxt skipped: $PYTHON has no numpy (Debian: python3-numpy)")
  PYTHON=""
fi

# ---- datasets ------------------------------------------------------------------------
DATA=$(bench_dataset "$ROWS")
BYTES=$(stat -L -c %s "$DATA")
# The flat file the readers read: the dataset converted (by the bare loop, whose output
# every converter's is compared with).
FLAT="${DATA%.mbrk}.flat"
if [[ ! -s $FLAT || $FLAT -ot $DATA ]]; then
  "$BARE" "$DATA" "$FLAT.part"
  mv "$FLAT.part" "$FLAT"
fi
FLAT_BYTES=$(stat -L -c %s "$FLAT")
cat "$DATA" "$FLAT" >/dev/null  # every contender reads from a warm page cache
if ((LINEARITY != 0)); then
  SMALL_DATA=$(bench_dataset "$SMALL_ROWS")
  SMALL_BYTES=$(stat -L -c %s "$SMALL_DATA")
  cat "$SMALL_DATA" >/dev/null
fi

# ---- contenders ----------------------------------------------------------------------
# Each: id, label, group, the id of its reference, and how it is timed: "wall" (the
# whole process, by measure) or "call" (the tool prints "<seconds> <checksum>").
ids=()
declare -A label_of group_of reference_of timing_of
add() {
  ids+=("$1")
  label_of[$1]=$2
  group_of[$1]=$3
  reference_of[$1]=$4
  timing_of[$1]=$5
}
add lines "bare loop, write() per line" conversion lines wall
if [[ -n $CONVERTER ]]; then
  add converter "$converter_label" conversion lines wall
  add converter_4k "$converter_label, no huge pages" conversion lines wall
fi
add bare "bare loop, one write" conversion lines wall
if command -v mawk >/dev/null; then
  add mawk "mawk" conversion lines wall
else
  notes+=("mawk skipped: not installed (scripts/setup installs it)")
fi
add cat "cat > /dev/null" conversion lines wall
add flat_bare "bare loop, read flat" "flat reader" flat_bare call
add flat "TFlatFiler::LoadData" "flat reader" flat_bare call
add flat_4k "LoadData, no huge pages" "flat reader" flat_bare call
if [[ -n $PYTHON ]]; then add numpy "numpy.loadtxt" "flat reader" flat_bare call; fi
add read_bare "bare loop, read dataset" "dataset reader" read_bare call
add read "LoadDatFile" "dataset reader" read_bare call
add write_bare "bare loop, write dataset" "dataset writer" write_bare call
add write "SaveDatFile" "dataset writer" write_bare call
if ((LINEARITY != 0)); then
  add lines_small "bare loop, write() per line, $SMALL_ROWS rows" linearity lines_small wall
  if [[ -n $CONVERTER ]]; then
    add converter_small "$converter_label, $SMALL_ROWS rows" linearity lines_small wall
  fi
fi

# Input bytes of contender $1 (what MB/s is counted in).
bytes_of() {
  case $1 in
    *_small) echo "$SMALL_BYTES" ;;
    flat*|numpy) echo "$FLAT_BYTES" ;;
    *) echo "$BYTES" ;;
  esac
}

# The file contender $1 writes; none for the readers and cat.
output_of() {
  case $1 in
    cat|flat*|numpy|read*) ;;
    write*) echo "$SCRATCH/out-$1.mbrk" ;;
    *) echo "$SCRATCH/out-$1.flat" ;;
  esac
}

ROW_WIDTH=$((INPUTS + OUTPUTS))
# Runs contender $1 once, appending "<seconds> <peak KiB> <status> <CPU seconds>" to its
# results and, for the timed calls, the checksum to its checksums.
run_once() {
  local id=$1 out stdout line seconds checksum cpu rss status
  out=$(output_of "$id")
  if [[ -n $out ]]; then rm -f "$out"; fi  # every run writes a new file, outside the timing
  stdout="$RESULTS/$id.stdout"
  case $id in
    lines) line=$("$MEASURE" -- "$BARE" --write-per-line "$DATA" "$out") ;;
    converter) line=$("$MEASURE" -- "$CONVERTER" "$DATA" "$out") ;;
    converter_4k) line=$("$MEASURE" --no-huge-pages -- "$CONVERTER" "$DATA" "$out") ;;
    bare) line=$("$MEASURE" -- "$BARE" "$DATA" "$out") ;;
    mawk) line=$("$MEASURE" --stdout "$out" -- mawk -f bench/to_flat.awk "$DATA") ;;
    cat) line=$("$MEASURE" -- cat "$DATA") ;;
    flat_bare) line=$("$MEASURE" --stdout "$stdout" -- "$BARE" --read-flat "$FLAT" "$ROWS" "$ROW_WIDTH") ;;
    flat) line=$("$MEASURE" --stdout "$stdout" -- "$TABLE" --read-flat "$FLAT" "$ROWS" "$INPUTS" "$OUTPUTS") ;;
    flat_4k) line=$("$MEASURE" --stdout "$stdout" --no-huge-pages -- "$TABLE" --read-flat "$FLAT" "$ROWS" "$INPUTS" "$OUTPUTS") ;;
    numpy) line=$("$MEASURE" --stdout "$stdout" -- "$PYTHON" bench/loadtxt.py "$FLAT") ;;
    read_bare) line=$("$MEASURE" --stdout "$stdout" -- "$BARE" --read-dataset "$DATA") ;;
    read) line=$("$MEASURE" --stdout "$stdout" -- "$TABLE" --read-dataset "$DATA") ;;
    write_bare) line=$("$MEASURE" --stdout "$stdout" -- "$BARE" --write-dataset "$DATA" "$out") ;;
    write) line=$("$MEASURE" --stdout "$stdout" -- "$TABLE" --write-dataset "$DATA" "$out") ;;
    lines_small) line=$("$MEASURE" -- "$BARE" --write-per-line "$SMALL_DATA" "$out") ;;
    converter_small) line=$("$MEASURE" -- "$CONVERTER" "$SMALL_DATA" "$out") ;;
  esac
  if [[ ${timing_of[$id]} == call ]]; then
    read -r seconds checksum cpu <"$stdout" || true
    echo "${checksum:-none}" >>"$RESULTS/$id.checksums"
    read -r _ rss status _ <<<"$line"
    line="${seconds:-0} $rss $status ${cpu:-0}"
  fi
  echo "$line" >>"$RESULTS/$id"
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
# Median and best time, highest peak RSS (KiB), a nonzero exit status if any, and the
# median processor time.
stats() {
  local cpu
  cpu=$(sort -n -k4,4 "$RESULTS/$1" | awk '
    { c[NR] = $4 } END { printf "%.6f", (NR % 2) ? c[(NR + 1) / 2] : (c[NR / 2] + c[NR / 2 + 1]) / 2 }')
  sort -n -k1,1 "$RESULTS/$1" | awk -v cpu="$cpu" '
    { t[NR] = $1; if ($2 > rss) rss = $2; if ($3 != 0) bad = $3 }
    END {
      median = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
      printf "%.6f %.6f %d %d %s\n", median, t[1], rss, bad, cpu
    }'
}
median_of() { stats "$1" | awk '{ print $1 }'; }
cpu_of() { stats "$1" | awk '{ print $5 }'; }
has() { [[ -n ${label_of[$1]:-} ]]; }

# The converter's memory target for $1 rows, in MiB.
target_mib() {
  awk -v r="$1" -v w="$ROW_WIDTH" 'BEGIN { printf "%.1f", (1.2 * r * w * 8 + 32 * 1048576) / 1048576 }'
}
TARGET_MIB=$(target_mib "$ROWS")

echo
echo "Dataset: $DATA"
printf 'Shape:   %s rows x %s inputs x %s expected outputs, %s bytes (%.1f MB); flat file %s bytes; %s runs each\n' \
  "$ROWS" "$INPUTS" "$OUTPUTS" "$BYTES" "$(awk -v b="$BYTES" 'BEGIN { print b / 1e6 }')" "$FLAT_BYTES" "$RUNS"
if ((LINEARITY != 0)); then
  printf 'Small:   %s (%s rows, %s bytes), for the linearity check\n' "$SMALL_DATA" "$SMALL_ROWS" "$SMALL_BYTES"
fi
printf 'Machine: %s, %s cores; transparent huge pages: %s\n' \
  "$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo 2>/dev/null)" "$(nproc)" \
  "$(cat /sys/kernel/mm/transparent_hugepage/enabled 2>/dev/null || echo unknown)"
rule=$(printf '%.0s-' {1..104})
declare -A mbps_of
converter_mib=""
small_mib=""
group=""
for id in "${ids[@]}"; do
  if [[ ${group_of[$id]} != "$group" ]]; then
    group=${group_of[$id]}
    echo
    printf '%-38s %9s %9s %9s %8s %9s %7s %7s\n' "$group" "median s" "best s" "CPU s" "MB/s" "RSS MiB" "x ref" "CPU x"
    echo "$rule"
  fi
  read -r median best rss bad cpu <<<"$(stats "$id")"
  reference_median=$(median_of "${reference_of[$id]}")
  cpu_ratio=$(awk -v t="$cpu" -v b="$(cpu_of "${reference_of[$id]}")" 'BEGIN { printf "%.2f", (b > 0 ? t / b : 0) }')
  mbps=$(awk -v b="$(bytes_of "$id")" -v t="$median" 'BEGIN { printf "%.1f", (t > 0 ? b / 1e6 / t : 0) }')
  ratio=$(awk -v t="$median" -v b="$reference_median" 'BEGIN { printf "%.2f", (b > 0 ? t / b : 0) }')
  mib=$(awk -v k="$rss" 'BEGIN { printf "%.1f", k / 1024 }')
  if ((bad != 0)); then
    ratio="exit $bad"  # a failed run's time says nothing about speed
    notes+=("${label_of[$id]} exited with status $bad in at least one run")
  fi
  label=${label_of[$id]}
  if ((${#label} > 38)); then label="${label:0:35}..."; fi
  printf '%-38s %9.3f %9.3f %9.3f %8s %9s %7s %7s\n' "$label" "$median" "$best" "$cpu" "$mbps" "$mib" "$ratio" "$cpu_ratio"
  mbps_of[$id]=$mbps
  if [[ $id == converter ]]; then converter_mib=$mib; fi
  if [[ $id == converter_small ]]; then small_mib=$mib; fi
done
echo "$rule"
echo "Times: conversion and linearity, the whole process; readers and writer, the call alone."
echo "CPU s: processor time (user and system), median. MB/s: input bytes (10^6) per median"
echo "second (the dataset; the flat file for the flat reader). x ref, CPU x: median wall and"
echo "processor time / those of the group's first contender."

# ---- targets -------------------------------------------------------------------------
# Prints one target line: label, the two contenders, the limit and its sense.
target() {
  local text=$1 a=$2 b=$3 limit=$4 sense=$5
  if ! has "$a" || ! has "$b"; then return; fi
  awk -v text="$text" -v a="$(median_of "$a")" -v b="$(median_of "$b")" \
      -v ca="$(cpu_of "$a")" -v cb="$(cpu_of "$b")" -v l="$limit" -v s="$sense" 'BEGIN {
    r = (b > 0) ? a / b : 0
    c = (cb > 0) ? ca / cb : 0
    ok = (s == "max") ? (r <= l) : (r >= l)
    printf "  %-50s %5.2f  (CPU %5.2f)  %s %.2f: %s\n", text, r, c, (s == "max") ? "at most" : "at least", l,
      ok ? "met" : "NOT MET"
  }'
}
echo
echo "Targets (ratios of the medians of this run, wall time; processor time beside):"
target "mbrkd2flat / bare loop with a write() per line" converter lines 0.75 max
target "TFlatFiler::LoadData / its bare loop" flat flat_bare 0.90 max
target "numpy.loadtxt / TFlatFiler::LoadData" numpy flat 2.00 min
target "SaveDatFile / its bare loop" write write_bare 0.95 max
echo "Huge pages (time without / time with; above 1 where they pay):"
for pair in "mbrkd2flat|converter_4k|converter" "TFlatFiler::LoadData|flat_4k|flat"; do
  IFS="|" read -r text without with <<<"$pair"
  if has "$without" && has "$with"; then
    awk -v t="$text" -v a="$(median_of "$without")" -v b="$(median_of "$with")" \
      -v ca="$(cpu_of "$without")" -v cb="$(cpu_of "$with")" \
      'BEGIN { printf "  %-50s %5.2f  (CPU %5.2f)\n", t, (b > 0) ? a / b : 0, (cb > 0) ? ca / cb : 0 }'
  fi
done

printf 'Memory target for the converter: 1.2 x %s rows x %s values x 8 B + 32 MiB = %s MiB' \
  "$ROWS" "$ROW_WIDTH" "$TARGET_MIB"
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

# ---- outputs -------------------------------------------------------------------------
# Written files against the bare loop's on the same dataset; tables read against the
# bare loop's checksum (every run's).
echo
reference_file() {
  case $1 in
    *_small) echo "$SCRATCH/out-lines_small.flat" ;;
    write) echo "$SCRATCH/out-write_bare.mbrk" ;;
    *) echo "$FLAT" ;;
  esac
}
for id in "${ids[@]}"; do
  label=${label_of[$id]}
  if [[ ${timing_of[$id]} == call && $id != write* ]]; then
    [[ $id == "${reference_of[$id]}" ]] && continue
    sums=$(sort -u "$RESULTS/$id.checksums" | tr '\n' ' ')
    want=$(sort -u "$RESULTS/${reference_of[$id]}.checksums" | tr '\n' ' ')
    if [[ $sums == "$want" && $sums != *none* ]]; then
      echo "$label: the values read equal the bare loop's (checksum ${sums% })"
    else
      echo "$label: values DIFFER from the bare loop's (checksums ${sums% } against ${want% })"
    fi
    continue
  fi
  out=$(output_of "$id")
  [[ -z $out || $id == lines_small || $id == write_bare ]] && continue
  reference=$(reference_file "$id")
  if [[ ! -f $out ]]; then
    echo "$label: wrote no output to compare"
  elif cmp -s "$out" "$reference"; then
    echo "$label output: byte-identical to the bare loop's ($(stat -c %s "$out") bytes)"
  else
    echo "$label output: DIFFERS from the bare loop's: $(cmp "$out" "$reference" 2>&1 | head -n 1)"
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
