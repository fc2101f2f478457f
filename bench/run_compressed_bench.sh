#!/usr/bin/env bash
# mbrk.load of a compressed dataset against the decompressor's own tool plus
# mbrk.load of the plain file, the floor a load that decodes on one thread while
# the others parse is held to:
#
#   gzip: load(file.gz)  <= 1.3 x (gzip -dc file.gz > /dev/null  +  load(file))
#   zstd: load(file.zst) <= 1.2 x (zstd -dc file.zst > /dev/null  +  load(file))
#
#   bench/run_compressed_bench.sh                  # 1,000,000 rows x 10 inputs x 2 outputs
#   ROWS=200000 RUNS=5 bench/run_compressed_bench.sh
#
# Builds build/bench with the extension module and gen_dataset, generates the dataset
# once into build/bench-data/ (shared with the other scripts) and compresses it there
# with gzip -6 and zstd -3, then times RUNS rounds and reports each figure's best.
# Prints one line per figure and one per target; exits 1 when a target is missed.
# Variables: ROWS, INPUTS, OUTPUTS, SEED, RUNS.
set -euo pipefail
source "$(dirname "$0")/common.sh"
RUNS=${RUNS:-3}
bench_whole RUNS
echo "== building $BENCH_BUILD"
: >"$SCRATCH/compressed-bench-build.log"
bench_build "$SCRATCH/compressed-bench-build.log" gen_dataset _mbrk
python=$(sed -n 's/^Python_EXECUTABLE:FILEPATH=//p' "$BENCH_BUILD/CMakeCache.txt")
[[ -n $python ]] || { echo "run_compressed_bench: the build found no Python with NumPy" >&2; exit 1; }
dataset=$(bench_dataset "$ROWS")
[[ -s $dataset.gz ]] || { gzip -6 -c "$dataset" >"$dataset.gz.part" && mv "$dataset.gz.part" "$dataset.gz"; }
[[ -s $dataset.zst ]] || { zstd -q -3 -c "$dataset" >"$dataset.zst.part" && mv "$dataset.zst.part" "$dataset.zst"; }

PYTHONPATH=$BENCH_BUILD/python PYTHONDONTWRITEBYTECODE=1 "$python" - "$dataset" "$RUNS" <<'PY'
import resource, subprocess, sys, time
import mbrk

plain, runs = sys.argv[1], int(sys.argv[2])

def cpu():
    """Processor time of this process and its finished children."""
    self, children = resource.getrusage(resource.RUSAGE_SELF), resource.getrusage(
        resource.RUSAGE_CHILDREN)
    return self.ru_utime + self.ru_stime + children.ru_utime + children.ru_stime

def best(action):
    """The best wall time of the runs, and the processor time of that run."""
    times = []
    for _ in range(runs):
        start, start_cpu = time.perf_counter(), cpu()
        action()
        times.append((time.perf_counter() - start, cpu() - start_cpu))
    return min(times)

def tool(*command):
    return lambda: subprocess.run(command, check=True, stdout=subprocess.DEVNULL)

reference = mbrk.load(plain)
for path in (plain + ".gz", plain + ".zst"):
    assert mbrk.load(path).inputs.tobytes() == reference.inputs.tobytes()
figures = {
    "load plain": best(lambda: mbrk.load(plain)),
    "gzip -dc": best(tool("gzip", "-dc", plain + ".gz")),
    "load .gz": best(lambda: mbrk.load(plain + ".gz")),
    "zstd -dc": best(tool("zstd", "-qdc", plain + ".zst")),
    "load .zst": best(lambda: mbrk.load(plain + ".zst")),
}
print(f"{'':12s} {'wall':>8s}   {'cpu':>8s}")
for name, (seconds, processor) in figures.items():
    print(f"{name:12s} {seconds:8.3f} s {processor:8.3f} s")
missed = 0
for suffix, tool_name, limit in (("gz", "gzip -dc", 1.3), ("zst", "zstd -dc", 1.2)):
    floor = figures[tool_name][0] + figures["load plain"][0]
    ratio = figures[f"load .{suffix}"][0] / floor
    verdict = "met" if ratio <= limit else "MISSED"
    missed += ratio > limit
    print(f"load .{suffix:3s} / ({tool_name} + load plain) = {ratio:.2f} (target <= {limit}): {verdict}")
sys.exit(1 if missed else 0)
PY
