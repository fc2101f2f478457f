"""Times the mbrk command against pandas and the Python package, round by round.

    cli_bench.py DATASET MBRK WORK RUNS

Groups (the median of RUNS rounds; contenders of a group alternate in each round,
so that a busy spell of the shared machine hits all of them alike):

  csv      `mbrk convert --to csv` (the whole process) against pandas.read_csv +
           DataFrame.to_csv of the same values (the calls alone, the import not
           counted) and mbrk.to_flat (the call alone)
  check    `mbrk check` (the whole process) against mbrk.load (the call alone)
  info     `mbrk info` on the dataset and on a 3-row file: reading the header only
           costs the same whatever the size
  others   `mbrk convert --to npy`, `mbrk stats`, `mbrk head`, for the record

Targets: csv at least 5 times faster than pandas and no slower than mbrk.to_flat;
check no slower than mbrk.load.
"""

import os
import statistics
import subprocess
import sys
import time

import pandas as pd

import mbrk


def process(*args):
    def run():
        subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return run


def main():
    dataset, command, work, runs = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
    csv = os.path.join(work, "mbrk.csv")
    small = os.path.join(work, "small.mbrk")
    mbrk.save(small, inputs=[[1.0, 2.0]] * 3, expected=[[3.0]] * 3)
    subprocess.run([command, "convert", "--quiet", dataset, csv], check=True)

    def pandas_round_trip():
        # Every column is float64: named, so that pandas does not guess per chunk.
        frame = pd.read_csv(csv, dtype="float64")
        frame.to_csv(os.path.join(work, "pandas.csv"), index=False)

    contenders = [
        ("csv", "mbrk convert --to csv", process(command, "convert", "-q", dataset,
                                                 os.path.join(work, "out.csv"))),
        ("csv", "pandas read_csv + to_csv", pandas_round_trip),
        ("csv", "mbrk.to_flat", lambda: mbrk.to_flat(dataset, os.path.join(work, "out.flat"))),
        ("check", "mbrk check", process(command, "check", "-q", dataset)),
        ("check", "mbrk.load", lambda: mbrk.load(dataset)),
        ("info", "mbrk info (dataset)", process(command, "info", dataset)),
        ("info", "mbrk info (3 rows)", process(command, "info", small)),
        ("others", "mbrk convert --to npy", process(command, "convert", "-q", dataset,
                                                    os.path.join(work, "out.npy"))),
        ("others", "mbrk stats", process(command, "stats", "-q", dataset)),
        ("others", "mbrk head", process(command, "head", dataset)),
    ]
    times = {name: [] for _, name, _ in contenders}
    for round_ in range(runs):
        for _, name, action in contenders:
            start = time.perf_counter()
            action()
            times[name].append(time.perf_counter() - start)
        print("round %d of %d done" % (round_ + 1, runs), file=sys.stderr)

    size = os.path.getsize(dataset) / 1e6
    print("dataset: %s, %.1f MB, %d rounds" % (os.path.basename(dataset), size, runs))
    print("| group | contender | median s | best s | x first of group |")
    print("|---|---|---:|---:|---:|")
    median = {name: statistics.median(t) for name, t in times.items()}
    first = {}
    for group, name, _ in contenders:
        first.setdefault(group, name)
        print("| %s | %s | %.3f | %.3f | %.2f |" % (group, name, median[name], min(times[name]),
                                                   median[name] / median[first[group]]))
    ratio = median["pandas read_csv + to_csv"] / median["mbrk convert --to csv"]
    flat = median["mbrk.to_flat"] / median["mbrk convert --to csv"]
    check = median["mbrk.load"] / median["mbrk check"]
    print()
    print("csv vs pandas: %.1fx faster (target >= 5)" % ratio)
    print("csv vs mbrk.to_flat: %.2fx (target >= 1)" % flat)
    print("check vs mbrk.load: %.2fx (target >= 1)" % check)


if __name__ == "__main__":
    main()
