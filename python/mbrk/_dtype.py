"""The value types a dataset's arrays may be loaded as."""

from typing import Any

import numpy as np

DTYPES = (np.dtype(np.float64), np.dtype(np.float32))


def check(dtype: Any) -> np.dtype:
    """`dtype` as a NumPy dtype, float64 or float32; ValueError for others."""
    try:
        kind = np.dtype(dtype)
    except TypeError:
        kind = None
    if kind is None or kind not in DTYPES:
        raise ValueError(f"dtype must be numpy.float64 or numpy.float32, not {dtype!r}")
    return kind


# Rows read as float64 at a time before they are stored as float32: the piece
# of memory a float32 load costs beyond its arrays.
PIECE_ROWS = 1 << 16


def load_float32(extension: Any, raw: bytes, shown: Any) -> tuple:
    """The parts of a whole dataset file with float32 arrays, read a piece of
    rows at a time: each value is read as a double, then rounded to float32."""
    shape = extension.probe(raw, shown)
    total = shape["rows"]
    widths = [shape[name] for name in ("inputs", "expected", "generated", "errors")]
    arrays = [np.empty((total, width), dtype=np.float32) for width in widths]
    labels = [[] if shape[name] else None for name in ("expected_labels", "generated_labels")]
    offset, done = 0, 0
    while done < total:
        count = min(PIECE_ROWS, total - done)
        parts, offset = extension.window(raw, shown, offset, count)
        for array, piece in zip(arrays, parts[:4]):
            array[done:done + count] = piece
        for lists, piece in zip(labels, parts[4:6]):
            if lists is not None:
                lists.extend(piece)
        done += count
    return (*arrays, *labels, shape["format_version"])
