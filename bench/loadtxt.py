"""numpy.loadtxt on a flat file, timed: the peer of TFlatFiler::LoadData.

    python3 bench/loadtxt.py FILE

Prints "<seconds> <checksum> <CPU seconds>": the wall time of the numpy.loadtxt
call alone (the interpreter's start and numpy's import are left out), bare_loop's
checksum of the values read, so that the table it reads can be compared with the
toolkit's, and the processor time of the call.
"""
import sys
import time

import numpy


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: loadtxt.py FILE")
    start, cpu = time.perf_counter(), time.process_time()
    values = numpy.loadtxt(sys.argv[1], dtype=numpy.float64, ndmin=2)
    seconds, cpu = time.perf_counter() - start, time.process_time() - cpu
    bits = numpy.ascontiguousarray(values).reshape(-1).view(numpy.uint64)
    weights = numpy.arange(bits.size, dtype=numpy.uint64) * numpy.uint64(2) + numpy.uint64(1)
    checksum = int(numpy.sum(bits * weights, dtype=numpy.uint64))
    print(f"{seconds:.6f} {checksum} {cpu:.6f}")


if __name__ == "__main__":
    main()
