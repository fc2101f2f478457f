"""How long Ctrl-C takes to stop a call of the Python package.

    PYTHONPATH=build/default/python /usr/bin/python3 bench/interrupt_latency.py [ROWS] [RUNS]

For each call below, RUNS times: a child interpreter starts the call; a
thread of its own waits until the call has read (or written) DELAY seconds'
worth, then sends SIGINT to the main thread and notes the time; the main
thread notes when KeyboardInterrupt reaches it. Reported: how many runs the
signal stopped (a call may end before it comes), the median and the largest
of those latencies, in milliseconds. The dataset has ROWS rows of 12
random doubles (default 500,000, about 100 MB); it is written once to a
scratch folder.
"""

import os
import statistics
import subprocess
import sys
import tempfile
import textwrap

import numpy as np

import mbrk

CHILD = textwrap.dedent("""
    import os, signal, sys, threading, time
    import numpy as np
    import mbrk
    MAIN = threading.get_ident()
    signal.signal(signal.SIGINT, signal.default_int_handler)  # also when started in the background
    delay = float(sys.argv[1])
    sent = []

    def interrupt():
        time.sleep(delay)
        sent.append(time.perf_counter())
        signal.pthread_kill(MAIN, signal.SIGINT)

    data = np.zeros((1_500_000, 12)) if "save(" in CALL_TEXT else None
    threading.Thread(target=interrupt, daemon=True).start()
    try:
        CALL
        print("finished")
    except KeyboardInterrupt:
        print((time.perf_counter() - sent[0]) * 1000)
""")


def main():
    rows = int(sys.argv[1]) if len(sys.argv) > 1 else 500_000
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    scratch = tempfile.mkdtemp(prefix="mbrk-interrupt.")
    big = os.path.join(scratch, "big.mbrk")
    rng = np.random.default_rng(7)
    mbrk.save(big, rng.standard_normal((rows, 8)), rng.standard_normal((rows, 4)))
    mbrk.to_flat(big, big + ".flat")
    calls = [
        f"mbrk.load({big!r}, threads=1)",
        f"mbrk.load({big!r})",
        f"sum(w.rows for w in mbrk.windows({big!r}, rows=100_000))",
        f"mbrk.read_flat({big + '.flat'!r}, {rows}, 8, 4)",
        f"mbrk.to_flat({big!r}, {os.path.join(scratch, 'out.flat')!r})",
        f"mbrk.save({os.path.join(scratch, 'out.mbrk')!r}, data)",
        "mbrk.load('/dev/zero')",
        "mbrk.read_flat('/dev/null', 2**31 - 1, 0, 0)",
    ]
    print(f"{'call':<66} {'stopped':>7} {'median ms':>9} {'max ms':>8}")
    for call in calls:
        latencies = []
        for run in range(runs):
            delay = 0.05 + 0.1 * run
            # The call is written into the script: exec() of a text marks a
            # KeyboardInterrupt raised in it as unhandled, caught or not.
            script = CHILD.replace("CALL_TEXT", repr(call)).replace("CALL", call)
            done = subprocess.run([sys.executable, "-c", script, str(delay)],
                                  capture_output=True, text=True, timeout=600)
            if done.returncode != 0:
                sys.exit(f"{call}: {done.stderr}")
            out = done.stdout.split()
            latencies.append(float(out[0]) if out[0] != "finished" else float("nan"))
        shown = call.replace(scratch + "/", "")
        done = [x for x in latencies if x == x]
        if not done:
            print(f"{shown:<66} finished before the signal")
            continue
        stopped = f"{len(done)}/{runs}"
        print(f"{shown:<66} {stopped:>7} {statistics.median(done):9.1f} {max(done):8.1f}")
    for name in os.listdir(scratch):
        os.remove(os.path.join(scratch, name))
    os.rmdir(scratch)


if __name__ == "__main__":
    main()
