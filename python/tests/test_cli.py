"""The mbrk command's table formats read back by pandas and NumPy.

MBRK names the command binary; the values a conversion writes must be the
values mbrk.load reads from the same file, bit for bit.
"""

import io
import os
import pathlib
import struct
import subprocess

import numpy as np
import pandas as pd
import pytest

import mbrk

COMMAND = os.environ.get("MBRK")
pytestmark = pytest.mark.skipif(not COMMAND, reason="MBRK names no command")


def run(*args, stdin=None):
    # A sanitizer runtime preloaded into the interpreter is not for the command.
    environment = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
    return subprocess.run([COMMAND, *map(str, args)], input=stdin, capture_output=True,
                          check=True, env=environment).stdout


def tricky_values(count):
    """Doubles from random bit patterns, and the edges of the type."""
    rng = np.random.default_rng(7)
    values = rng.integers(0, 2**64, size=count, dtype=np.uint64).view(np.float64)
    values = values[np.isfinite(values)]
    edges = [0.0, -0.0, 5e-324, -5e-324, 2.2250738585072014e-308, 1.7976931348623157e308,
             0.1, 1 / 3, 1e22, 1e23, 9007199254740993.0, float("inf"), float("-inf"),
             float("nan"), 123456789.12345679, 1e-7]
    return np.concatenate([edges, values, rng.normal(size=count)])


@pytest.fixture
def dataset(tmp_path):
    """A dataset file of tricky values (written by hand: repr reads back
    exactly), a label vector, and what mbrk.load reads from it."""
    values = tricky_values(3000)
    rows = len(values) // 4
    matrix = values[: rows * 4].reshape(rows, 4)
    lines = []
    for i, row in enumerate(matrix):
        labels = "[a=%r]" % row[0] if i % 3 == 0 else ("[b=2 a=-1]" if i % 3 == 1 else "[]")
        lines.append(" ".join(repr(float(v)) for v in row) + " " + labels)
    text = ("[DataSet]\n[Rows = %d]\n[Inputs = 3]\n[ExpectedOutputs = Labels]\n[Error = 1]\n"
            "[Data]\n%s\n[~Data]\n[~DataSet]\n" % (rows, "\n".join(lines)))
    path = tmp_path / "tricky.mbrk"
    path.write_text(text)
    return path, mbrk.load(path)


def same_bits(a, b):
    a, b = np.asarray(a, dtype=np.float64), np.asarray(b, dtype=np.float64)
    assert a.shape == b.shape
    # NaN compares by position; everything else by its bits, the sign of 0 too.
    assert np.array_equal(np.isnan(a), np.isnan(b))
    keep = ~np.isnan(a)
    assert np.array_equal(a[keep].view(np.uint64), b[keep].view(np.uint64))


@pytest.mark.parametrize("fmt,sep", [("csv", ","), ("tsv", "\t")])
def test_pandas_reads_back_the_exact_values(dataset, tmp_path, fmt, sep):
    path, data = dataset
    destination = tmp_path / ("out." + fmt)
    run("convert", path, destination)
    # pandas parses exactly with its round-trip parser; its default one may
    # miss the last bit of a value.
    frame = pd.read_csv(destination, sep=sep, float_precision="round_trip")
    # The columns and values of the package's own frame.
    wanted = data.to_frame()
    assert list(frame.columns) == list(wanted.columns) == [
        "input_0", "input_1", "input_2", "expected:a", "expected:b", "error_0"]
    same_bits(frame.to_numpy(dtype=np.float64), wanted.to_numpy(dtype=np.float64))
    # Standard input to standard output gives the same bytes.
    assert run("convert", "-", "-", "--to", fmt, stdin=path.read_bytes()) == destination.read_bytes()


def test_numpy_loads_the_selected_columns(dataset, tmp_path):
    path, data = dataset
    destination = tmp_path / "out.npy"
    run("convert", "--columns", "errors,input_1", path, destination)
    array = np.load(destination)
    assert array.dtype == np.float64 and array.flags.c_contiguous
    same_bits(array, np.column_stack([data.errors[:, 0], data.inputs[:, 1]]))
    piped = np.load(io.BytesIO(run("convert", "-", "-", "--to", "npy", stdin=path.read_bytes())))
    assert piped.shape == (len(data), 6)
    same_bits(piped[:, :3], data.inputs)
