#!/usr/bin/env bash
# ReadDataset on several threads against one (bench/parallel_bench.cpp):
#
#   bench/run_parallel_bench.sh                 # 1,000,000 rows x 10 inputs x 2 expected outputs
#   ROWS=100000 RUNS=3 bench/run_parallel_bench.sh
#
# Builds build/bench (-DMBRK_BUILD_BENCH=ON), generates the dataset once into
# build/bench-data/ (shared with the other scripts), then runs RUNS rounds, each
# a fresh process per road, interleaved: the ordinary reader alone (what
# ReadOptions{1} reads with), the chunked reader on one thread and on THREADS
# (default 2). Also times the parts of the scaling model: reading the file in
# pieces and the first touch of the matrices. Prints medians, the ratio with its
# target (at most 0.6), the peak memory against its bound (1.2 x the values'
# bytes + 32 MiB) and the model's figures for more cores; exits 1 when a target
# is missed or the roads' values differ. Variables: ROWS, INPUTS, OUTPUTS, SEED,
# RUNS, THREADS.
set -euo pipefail
source "$(dirname "$0")/common.sh"
RUNS=${RUNS:-5}
THREADS=${THREADS:-2}
echo "== building $BENCH_BUILD"
: >"$SCRATCH/parallel-bench-build.log"
bench_build "$SCRATCH/parallel-bench-build.log" gen_dataset parallel_bench measure
dataset=$(bench_dataset "$ROWS")
tool=$BENCH_BUILD/bench/parallel_bench
measure=$BENCH_BUILD/bench/measure
work=$(mktemp -d "${TMPDIR:-/tmp}/mbrk-parallel-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
results=$work/results
: >"$results"
# One line per run: road, in-process seconds, wall seconds, peak KiB, digest,
# processor seconds (user and system, all threads).
run() {
  local road=$1
  shift
  local line
  line=$("$measure" --stdout "$work/out" -- "$tool" "$@")
  read -r wall peak status cpu <<<"$line"
  ((status == 0)) || { echo "run_parallel_bench: $road failed ($status)" >&2; exit 1; }
  local seconds digest
  seconds=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' "$work/out")
  digest=$(sed -n 's/.*digest=\([0-9a-f]*\).*/\1/p' "$work/out")
  echo "$road $seconds $wall $peak $digest $cpu" >>"$results"
}
echo "== $RUNS rounds on $dataset ($(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg))"
for ((round = 1; round <= RUNS; round++)); do
  run one read "$dataset" 0
  run chunked1 read "$dataset" 1
  run chunkedN read "$dataset" "$THREADS"
  run pieces pieces "$dataset"
  run touch touch "$dataset"
done
python3 - "$results" "$THREADS" "$ROWS" "$INPUTS" "$OUTPUTS" "$(stat -c %s "$dataset")" <<'PY'
import statistics, sys
path, threads, rows, inputs, outputs, size = sys.argv[1], int(sys.argv[2]), *map(int, sys.argv[3:])
runs = {}
for line in open(path):
    road, seconds, wall, peak, digest, cpu = line.split()
    runs.setdefault(road, []).append((float(seconds), float(wall), int(peak), digest, float(cpu)))
med = {road: statistics.median(r[0] for r in rs) for road, rs in runs.items()}
cpu = {road: statistics.median(r[4] for r in rs) for road, rs in runs.items()}
peak = {road: max(r[2] for r in rs) / 1024 for road, rs in runs.items()}
digests = {r[3] for road in ("one", "chunked1", "chunkedN") for r in runs[road]}
values_mib = rows * (inputs + outputs) * 8 / 2**20
bound = 1.2 * values_mib + 32
ratio = med["chunkedN"] / med["one"]
print(f"{'road':<34}{'median s':>10}{'peak MiB':>10}{'cpu s':>8}")
names = {"one": "ReadDataset, 1 thread (ordinary)", "chunked1": "chunked reader, 1 thread",
         "chunkedN": f"ReadDataset, {threads} threads", "pieces": "reading the file in pieces",
         "touch": "first touch of the matrices"}
for road in ("one", "chunked1", "chunkedN", "pieces", "touch"):
    print(f"{names[road]:<34}{med[road]:>10.3f}{peak[road]:>10.1f}{cpu[road]:>8.2f}")
ok = True
def verdict(good):
    global ok
    ok = ok and good
    return "ok" if good else "MISSED"
print(f"{threads} threads / 1 thread: {ratio:.2f} (target at most 0.60): {verdict(ratio <= 0.6)}")
print(f"peak on {threads} threads: {peak['chunkedN']:.1f} MiB for {values_mib:.1f} MiB of values "
      f"(bound {bound:.1f} MiB): {verdict(peak['chunkedN'] <= bound)}")
print(f"same values on every road: {verdict(len(digests) == 1)}")
# The model: the chunked reader on one thread takes S + P, S reading the file
# in pieces, P parsing, placing and the first touch. On n threads one of them
# reads the next piece while the others parse, so T(n) = max(S, (S + P) / n).
serial = med["pieces"]
parallel = med["chunked1"] - serial
mb = size / 1e6
print(f"model: S = {serial:.3f} s (reading {mb:.0f} MB), P = {parallel:.3f} s "
      f"({parallel / size * 1e9:.2f} ns per byte, of which first touch {med['touch']:.3f} s)")
for n in (threads, 4, 8, 16):
    t = max(serial, (serial + parallel) / n)
    print(f"  predicted on {n:>2} threads: {t:.3f} s ({t / med['one']:.2f} x one thread)")
sys.exit(0 if ok else 1)
PY
