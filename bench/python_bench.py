"""Sets the Python package beside the C++ toolkit and the command, in one run.

    bench/run_python_bench.sh      (builds what it needs, then runs this)

Round by round (RUNS rounds, medians reported), on one dataset:
  load      mbrk.load                against LoadDatFile (C++), and ReadDataset (C++)
  convert   mbrk.to_flat             against the mbrkd2flat command
  write     WriteFlat (C++)          against TFlatFiler::SaveData (C++)
  load f32  mbrk.load(dtype=numpy.float32): its time and peak memory beside float64's
once: numpy.loadtxt of the same values from the flat file. mbrk.load runs in a fresh
process each round, as the C++ tools do, which also reports the peak memory it adds to
the process beside the bytes of the arrays it returns.

Arguments: DATASET DATASET_BENCH CONVERTER SCRATCH [RUNS]
"""

import os
import resource
import statistics
import subprocess
import sys
import time

import numpy as np

import mbrk


def timed(call):
    start = time.perf_counter()
    call()
    return time.perf_counter() - start


def tool(dataset_bench, *args):
    out = subprocess.run([dataset_bench, *args], check=True, capture_output=True, text=True).stdout
    return float(out.split()[0].split("=")[1])


def command(converter, source, destination):
    return timed(lambda: subprocess.run([converter, source, destination], check=True))


# mbrk.load in a fresh process, as the C++ tools run: no memory is handed back
# from an earlier load. Prints the seconds, the peak resident size before and
# after (bytes) and the bytes of the arrays.
FRESH_LOAD = """
import resource, sys, time, mbrk
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
start = time.perf_counter()
data = mbrk.load(sys.argv[1], dtype=sys.argv[2])
seconds = time.perf_counter() - start
after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
arrays = sum(a.nbytes for a in (data.inputs, data.expected, data.generated, data.errors))
print(seconds, before * 1024, after * 1024, arrays)
"""


def fresh_load(dataset, dtype="float64"):
    out = subprocess.run([sys.executable, "-c", FRESH_LOAD, dataset, dtype], check=True,
                         capture_output=True, text=True).stdout.split()
    return float(out[0]), int(out[1]), int(out[2]), int(out[3])



def main(dataset, dataset_bench, converter, scratch, runs=3):
    runs = int(runs)
    size = os.path.getsize(dataset)
    flat_command = os.path.join(scratch, "command.flat")
    flat_mine = os.path.join(scratch, "to_flat.flat")
    times = {name: [] for name in ("LoadDatFile", "ReadDataset", "mbrk.load", "mbrkd2flat",
                                   "mbrk.to_flat", "SaveData", "WriteFlat", "load float32")}
    peaks, peaks32 = [], []
    for _ in range(runs):
        times["LoadDatFile"].append(tool(dataset_bench, "load", dataset))
        times["ReadDataset"].append(tool(dataset_bench, "read", dataset))
        seconds, before, after, arrays = fresh_load(dataset)
        times["mbrk.load"].append(seconds)
        peaks.append(after - before)
        seconds, before, after, arrays32 = fresh_load(dataset, "float32")
        times["load float32"].append(seconds)
        peaks32.append(after - before)
        times["mbrkd2flat"].append(command(converter, dataset, flat_command))
        times["mbrk.to_flat"].append(timed(lambda: mbrk.to_flat(dataset, flat_mine)))
        times["SaveData"].append(tool(dataset_bench, "save", dataset, os.path.join(scratch, "save.flat")))
        times["WriteFlat"].append(tool(dataset_bench, "write", dataset, os.path.join(scratch, "write.flat")))
    with open(flat_command, "rb") as a, open(flat_mine, "rb") as b:
        identical = a.read() == b.read()

    loaded = mbrk.load(dataset)
    shape = loaded.inputs.shape[0], loaded.inputs.shape[1] + loaded.expected.shape[1]
    values = np.hstack([loaded.inputs, loaded.expected])
    del loaded
    loadtxt_seconds = timed(lambda: np.loadtxt(flat_command, dtype=np.float64, ndmin=2))
    same = np.array_equal(np.loadtxt(flat_command, ndmin=2)[:1000],
                          np.vectorize(lambda v: float("%.9g" % v))(values[:1000]))

    peak = max(peaks)

    median = {name: statistics.median(t) for name, t in times.items()}
    mib = 1024 * 1024
    print(f"dataset: {dataset}, {size / mib:.1f} MiB, {shape[0]} rows x {shape[1]} values; "
          f"{runs} rounds, medians")
    for name, seconds in median.items():
        print(f"  {name:14} {seconds:8.3f} s  {size / mib / seconds:7.1f} MiB/s  "
              f"(best {min(times[name]):.3f} s)")
    print(f"  {'numpy.loadtxt':14} {loadtxt_seconds:8.3f} s  (once, on the flat file; same values: {same})")
    print(f"  mbrk.to_flat output identical to the command's: {identical}")

    def target(label, ratio, ok):
        print(f"  {label:58} {ratio:6.2f}  {'meets' if ok else 'MISSES'} the target")

    print("ratios (one run):")
    r = median["mbrk.load"] / median["LoadDatFile"]
    target("mbrk.load / LoadDatFile (target <= 1.1)", r, r <= 1.1)
    r = median["ReadDataset"] / median["LoadDatFile"]
    target("ReadDataset / LoadDatFile (target <= 1.0)", r, r <= 1.0)
    r = loadtxt_seconds / median["mbrk.load"]
    target("numpy.loadtxt / mbrk.load (target >= 2)", r, r >= 2)
    r = median["mbrkd2flat"] / median["mbrk.to_flat"]
    target("mbrkd2flat / mbrk.to_flat (target >= 2.5)", r, r >= 2.5)
    r = median["SaveData"] / median["WriteFlat"]
    target("SaveData / WriteFlat (target >= 2.5)", r, r >= 2.5)
    limit = 1.2 * arrays + 32 * mib
    print(f"peak memory added by mbrk.load (largest of the rounds): {peak / mib:.1f} MiB for {arrays / mib:.1f} MiB of arrays "
          f"(target <= 1.2 x arrays + 32 MiB = {limit / mib:.1f} MiB): "
          f"{'meets' if peak <= limit else 'MISSES'} the target")
    peak, limit = max(peaks32), 1.2 * arrays32 + 32 * mib
    print(f"peak memory added by mbrk.load(dtype=float32): {peak / mib:.1f} MiB for "
          f"{arrays32 / mib:.1f} MiB of arrays (target <= 1.2 x arrays + 32 MiB = "
          f"{limit / mib:.1f} MiB, no float64 copy): {'meets' if peak <= limit else 'MISSES'} the target")


if __name__ == "__main__":
    if len(sys.argv) not in (5, 6):
        sys.exit(__doc__)
    main(*sys.argv[1:])
