#!/usr/bin/python3
"""The row index and mbrk.dask against mbrk.load, on files made by gen_dataset.

    PYTHONPATH=build/default/python bench/dask_bench.py GEN_DATASET [FOLDER]

GEN_DATASET is the generator (build/bench/bench/gen_dataset, or any build of
bench/gen_dataset.cpp); FOLDER (default /tmp/mbrk-dask-bench) keeps the files
between runs. Prints, best of RUNS (default 3) where it says so:

  index    mbrk.index against mbrk.load of 1,000,000 rows x 12 values, on all
           cores and on one (target: at most 0.35x), and the index's memory;
  shards   column means of 8 shards x 500,000 rows x 12 values through
           mbrk.dask.read on a LocalCluster of 2 worker processes against
           mbrk.load of each shard one after another in this process, on all
           cores and on one (targets: at most 1.25x and at least 1.6x faster),
           the scheduler's overhead per partition and the workers' peak memory;
  split    one 4,000,000-row file in 8 partitions through its index against
           mbrk.load of the whole file.
"""

import glob
import os
import subprocess
import sys
import time

import numpy as np

import mbrk
import mbrk.dask
from distributed import Client, LocalCluster, get_task_stream

RUNS = int(os.environ.get("RUNS", "3"))


def best(work, runs=RUNS, before=None):
    """The least wall time of `runs` calls of `work`, and its last result;
    `before` runs, untimed, before each call."""
    times, result = [], None
    for _ in range(runs):
        if before is not None:
            before()
        start = time.perf_counter()
        result = work()
        times.append(time.perf_counter() - start)
    return min(times), result


def generate(tool, path, rows, seed):
    if not os.path.exists(path):
        subprocess.run([tool, "--rows", str(rows), "--seed", str(seed), "--output", path],
                       check=True)
    return path


def load_means(paths, threads):
    """Column means of the shards, each loaded whole, one after another."""
    sums, rows = 0.0, 0
    for path in paths:
        data = mbrk.load(path, threads=threads)
        sums = sums + np.hstack([data.inputs, data.expected]).sum(axis=0)
        rows += data.rows
    return sums / rows


def index_section(tool, folder):
    path = generate(tool, os.path.join(folder, "m1.mbrk"), 1_000_000, 1)
    print("index: 1,000,000 rows x 12 values,", os.path.getsize(path) // 2**20, "MiB")
    for threads in (None, 1):
        index_time, index = best(lambda: mbrk.index(path, every=100_000, threads=threads))
        load_time, _ = best(lambda: mbrk.load(path, threads=threads))
        print(f"  threads={threads}: index {index_time:.3f} s, load {load_time:.3f} s, "
              f"ratio {index_time / load_time:.2f} (target <= 0.35); "
              f"{len(index)} offsets, {index.offsets.nbytes} bytes")


def memory(field):
    """A field of /proc/self/status in bytes: VmRSS now, VmHWM the peak."""
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1]) * 1024
    return 0


def reset_peak():
    """Starts the peak (VmHWM) anew from the present size. A worker forked from
    a large process would otherwise report that process's peak."""
    with open("/proc/self/clear_refs", "w") as refs:
        refs.write("5")
    return memory("VmRSS")


def worker_peak():
    return memory("VmHWM")


def overhead_per_partition(client, data):
    """Wall time of the means minus the workers' compute time, per partition."""
    settle(client)
    with get_task_stream(client) as stream:
        start = time.perf_counter()
        client.compute([data.inputs.mean(axis=0), data.expected.mean(axis=0)], sync=True)
        wall = time.perf_counter() - start
    busy = sum(part["stop"] - part["start"] for task in stream.data
               for part in task["startstops"] if part["action"] == "compute")
    workers = len(client.scheduler_info()["workers"])
    return (wall * workers - busy) / data.npartitions, wall


def noop(i):
    return i


def task_overhead(client, count=400):
    """Wall time per task of `count` tasks that do nothing, times the workers."""
    start = time.perf_counter()
    client.gather(client.map(noop, range(count)))
    workers = len(client.scheduler_info()["workers"])
    return (time.perf_counter() - start) * workers / count


def settle(client):
    """Waits until the scheduler has forgotten every task: results it still
    holds from the last run would be handed out again, the same keys asked."""
    while client.run_on_scheduler(lambda dask_scheduler: len(dask_scheduler.tasks)):
        time.sleep(0.01)


def shards_section(tool, folder, client):
    paths = [generate(tool, os.path.join(folder, f"shard-{i}.mbrk"), 500_000, 10 + i)
             for i in range(8)]
    print("shards: 8 x 500,000 rows x 12 values")
    expected = load_means(paths, None)
    for threads in (None, 1):
        seconds, _ = best(lambda: load_means(paths, threads))
        print(f"  mbrk.load one after another, threads={threads}: {seconds:.3f} s")
        if threads is None:
            all_cores = seconds
        else:
            one_core = seconds

    def through_dask():
        data = mbrk.dask.read(os.path.join(folder, "shard-*.mbrk"))
        means = client.compute([data.inputs.mean(axis=0), data.expected.mean(axis=0)],
                               sync=True)
        return np.hstack(means)

    through_dask()  # the workers import mbrk and NumPy once
    seconds, means = best(through_dask, before=lambda: settle(client))
    assert np.allclose(means, expected)
    print(f"  mbrk.dask.read + means on 2 workers: {seconds:.3f} s: "
          f"{seconds / all_cores:.2f}x the all-core loads (target <= 1.25), "
          f"{one_core / seconds:.2f}x faster than one core (target >= 1.6)")
    data = mbrk.dask.read(os.path.join(folder, "shard-*.mbrk"))
    start = time.perf_counter()
    mbrk.dask.read(os.path.join(folder, "shard-*.mbrk"))
    print(f"  read() alone (stat and header of 8 shards): {time.perf_counter() - start:.4f} s")
    idle = client.run(reset_peak)
    overhead, wall = overhead_per_partition(client, data)
    print(f"  overhead per partition (wall x workers - compute): {overhead * 1000:.1f} ms "
          f"(wall {wall:.3f} s, {data.npartitions} partitions); "
          f"per task of nothing: {task_overhead(client) * 1000:.2f} ms")
    peaks = client.run(worker_peak)
    print("  peak memory per worker: " +
          ", ".join(f"{p / 2**20:.0f} MiB ({(p - idle[w]) / 2**20:.0f} MiB over its size before)"
                    for w, p in peaks.items()) +
          f"; one partition's values: {500_000 * 12 * 8 / 2**20:.0f} MiB")


def split_section(tool, folder, client):
    path = generate(tool, os.path.join(folder, "m4.mbrk"), 4_000_000, 4)
    print("split: one file of 4,000,000 rows x 12 values,", os.path.getsize(path) // 2**20, "MiB")
    load_time, _ = best(lambda: load_means([path], None), runs=max(1, RUNS - 1))

    def through_index():
        data = mbrk.dask.read(path, rows_per_partition=500_000)
        return client.compute([data.inputs.mean(axis=0)], sync=True)

    read_time, _ = best(lambda: mbrk.dask.read(path, rows_per_partition=500_000),
                        runs=max(1, RUNS - 1))
    dask_time, _ = best(through_index, runs=max(1, RUNS - 1), before=lambda: settle(client))
    print(f"  mbrk.load (all cores) + means: {load_time:.3f} s; through the index in 8 "
          f"partitions on 2 workers: {dask_time:.3f} s ({dask_time / load_time:.2f}x), "
          f"of which read() with its index {read_time:.3f} s")


def main():
    tool = sys.argv[1]
    folder = sys.argv[2] if len(sys.argv) > 2 else "/tmp/mbrk-dask-bench"
    os.makedirs(folder, exist_ok=True)
    print(f"{os.cpu_count()} cores, load average {os.getloadavg()[0]:.1f}")
    index_section(tool, folder)
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                      dashboard_address=None, scheduler_kwargs={"dashboard": False},
                      silence_logs=40) as cluster, Client(cluster) as client:
        client.run(lambda: __import__("mbrk.dask"))
        shards_section(tool, folder, client)
        split_section(tool, folder, client)
    for path in glob.glob(os.path.join(folder, ".*.tmp")):
        os.unlink(path)


if __name__ == "__main__":
    main()
