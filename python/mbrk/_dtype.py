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

