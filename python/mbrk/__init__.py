"""Datasets of the bracketed text format as NumPy arrays.

    import mbrk
    data = mbrk.load("sensors.mbrk")
    data.inputs            # float64 array, shape (rows, inputs)
    data.expected_labels   # one dict per row, or None

Functions: load, save, windows, probe, to_flat, read_flat, from_frame (a
pandas DataFrame to a Dataset; Dataset.to_frame goes the other way). Files
are read and written with the interpreter's lock released. Errors: FormatError (a
ValueError) for a file that breaks the format; FileNotFoundError,
IsADirectoryError, PermissionError (OSError) for files that cannot be opened,
read or written; MemoryError; ValueError for arguments that cannot be
written as asked.
"""

import os
from typing import (TYPE_CHECKING, Any, Dict, Iterable, Iterator, List, Mapping, Optional, Tuple,
                    Union)

import numpy as np
import numpy.typing as npt

from . import _display, _dtype, _frame, _mbrk
from ._errors import FormatError
from ._frame import from_frame
from ._types import DatasetShape, Float64Array

if TYPE_CHECKING:  # pragma: no cover
    import pandas

__all__ = ["Dataset", "DatasetShape", "FormatError", "load", "save", "windows", "probe", "to_flat",
           "read_flat", "from_frame"]
__version__ = _mbrk.__version__

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
LabelRows = List[Dict[str, float]]


class Dataset:
    """The contents of a dataset file.

    ``inputs``, ``expected``, ``generated`` and ``errors`` are float64 arrays of
    shape (rows, width), width 0 for a vector the file does not have.
    ``expected_labels`` and ``generated_labels`` hold one dict (name -> value,
    in the file's order) per row where the file gives label lists instead of
    that vector, else None. ``format_version`` is the version the file
    declares before its dataset block, or None.

    Two Datasets are equal when their arrays have the same shapes and values
    (NaN equal to NaN) and their label lists the same labels; the format
    version is not compared. ``to_frame`` makes a pandas DataFrame of it; in
    a notebook it shows as a table of its first rows.
    """

    __slots__ = ("inputs", "expected", "generated", "errors", "expected_labels",
                 "generated_labels", "format_version")

    inputs: Float64Array
    expected: Float64Array
    generated: Float64Array
    errors: Float64Array
    expected_labels: Optional[LabelRows]
    generated_labels: Optional[LabelRows]
    format_version: Optional[float]

    def __init__(self, inputs: Float64Array, expected: Float64Array, generated: Float64Array,
                 errors: Float64Array, expected_labels: Optional[LabelRows] = None,
                 generated_labels: Optional[LabelRows] = None,
                 format_version: Optional[float] = None) -> None:
        self.inputs = inputs
        self.expected = expected
        self.generated = generated
        self.errors = errors
        self.expected_labels = expected_labels
        self.generated_labels = generated_labels
        self.format_version = format_version

    @property
    def rows(self) -> int:
        """The number of rows."""
        return int(self.inputs.shape[0])

    def __len__(self) -> int:
        """The number of rows."""
        return self.rows

    def __repr__(self) -> str:
        """The shape: rows, the four widths and which label lists there are."""
        widths = ", ".join(f"{name}={getattr(self, name).shape[1]}"
                           for name in ("inputs", "expected", "generated", "errors"))
        labels = [name for name in ("expected_labels", "generated_labels")
                  if getattr(self, name) is not None]
        more = f", labels: {', '.join(labels)}" if labels else ""
        return f"<mbrk.Dataset rows={self.rows}, {widths}{more}>"

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Dataset):
            return NotImplemented
        return _display.equal(self, other)

    __hash__ = None  # type: ignore[assignment]  # equal by contents, which change

    def _repr_html_(self) -> str:
        """The shape and the first rows as a table, for notebooks."""
        return _display.to_html(self)

    def to_frame(self, labels: str = "columns") -> "pandas.DataFrame":
        """The dataset as a pandas DataFrame, one column per value:
        ``input_0``..., ``expected_0``..., ``generated_0``..., ``error_0``...
        (a width of 0 gives no columns). Label lists become, with
        ``labels="columns"``, one float column per label name in the order
        first seen (``expected:NAME``, ``generated:NAME``; NaN where a row lacks
        the label) or, with ``labels="dicts"``, one column of dicts
        (``expected_labels``, ``generated_labels``). The numbers are copied
        once, into the one block pandas keeps them in. ``mbrk.from_frame``
        turns the frame back into this dataset. Needs pandas (ImportError).
        """
        return _frame.to_frame(self, labels)


def _paths(path: PathLike) -> Tuple[bytes, Union[str, bytes]]:
    """The path as bytes to open and as given (os.fspath) to report."""
    shown = os.fspath(path)
    return os.fsencode(shown), shown


def load(path: PathLike, threads: Optional[int] = None,
         dtype: npt.DTypeLike = np.float64, strict: bool = False) -> Dataset:
    """Reads the whole dataset file ``path`` (str or os.PathLike).

    The values are read once, straight into the arrays. The numbers of a large
    data block are read on ``threads`` threads: None for one per core, 1 for
    the calling thread alone; the result and every error are the same
    whatever the count. ``dtype`` is numpy.float64 or numpy.float32: each
    value is read exactly, as a double, and stored as that type; float32
    arrays cost half the memory, and no float64 copy of them is made (they
    are read on the calling thread). The format reads a number word by its
    longest leading number ("12abc" is 12) and takes bytes above 127 for
    blanks; with ``strict`` a number word must be wholly a number and a byte
    above 127 may stand only in a comment, else FormatError at its place.
    Raises FormatError, FileNotFoundError, IsADirectoryError,
    PermissionError or MemoryError; ValueError for a thread count that is not
    a whole number of at least 1, or another dtype.
    """
    if threads is not None and (isinstance(threads, bool) or not isinstance(threads, int)
                                or threads < 1):
        raise ValueError("threads must be None or a whole number of at least 1")
    kind = _dtype.check(dtype)
    raw, shown = _paths(path)
    if kind == np.float32:
        return Dataset(*_mbrk.load_float32(raw, shown, bool(strict)))
    return Dataset(*_mbrk.load(raw, shown, 0 if threads is None else min(threads, 1024),
                               bool(strict)))


def windows(path: PathLike, rows: int = 10_000, dtype: npt.DTypeLike = np.float64,
            strict: bool = False) -> Iterator[Dataset]:
    """Iterates over the dataset file ``path`` in Datasets of ``rows`` rows
    (the last one may be shorter); memory holds one window at a time.

    The file is opened and its header read at once (its errors, and that of
    a file too short for its rows, are raised by this call); it stays open until the iteration ends or is dropped. Each
    window is read when it is due and costs what its rows cost. All windows
    together give exactly load()'s rows, or raise load()'s FormatError: the
    last window also reads what follows the rows. A file replaced or changed
    between windows raises OSError (errno ESTALE) rather than values read at
    the wrong place. ``dtype`` and ``strict`` are as for load().
    """
    if isinstance(rows, bool) or not isinstance(rows, int) or rows < 1:
        raise ValueError("rows must be a whole number of at least 1")
    kind = _dtype.check(dtype)
    raw, shown = _paths(path)
    reader = _mbrk.WindowReader(raw, shown, strict=bool(strict))

    def iterate() -> Iterator[Dataset]:
        """The windows, read one by one as they are asked for."""
        try:
            while not reader.at_end:
                count = min(rows, reader.rows_left)
                parts = reader.next(count)
                if kind == np.float32:
                    # Beyond float's range a value becomes an infinity of its
                    # sign, as load() stores it: no warning.
                    with np.errstate(over="ignore"):
                        parts = (*(a.astype(np.float32) for a in parts[:4]), *parts[4:])
                if count:  # a file of no rows still has its end read
                    yield Dataset(*parts)
        finally:
            reader.close()

    return iterate()


def probe(path: PathLike, strict: bool = False) -> DatasetShape:
    """Reads the header of the dataset file ``path`` and nothing more.

    Returns a dict with ``rows``, ``inputs``, ``expected``, ``generated``,
    ``errors`` (widths; 0 for a vector replaced by label lists),
    ``expected_labels``, ``generated_labels`` (bools) and ``format_version``
    (float or None). Raises as load() does for that part of the file (read
    strictly with ``strict``, as load() reads).
    """
    raw, shown = _paths(path)
    shape: DatasetShape = _mbrk.probe(raw, shown, bool(strict))
    return shape


def _matrix(name: str, values: Any) -> np.ndarray:
    """`values` as a C-contiguous float64 array of two dimensions."""
    array = np.ascontiguousarray(values, dtype=np.float64)
    if array.ndim != 2:
        raise ValueError(f"{name} must be two-dimensional (rows, width), not of shape "
                         f"{array.shape}")
    return array


def _label_rows(name: str,
                lists: Optional[Iterable[Any]]) -> Optional[List[List[Tuple[str, float]]]]:
    """Label lists (dicts or sequences of pairs) as lists of (str, float) pairs."""
    if lists is None:
        return None
    rows = []
    for labels in lists:
        pairs = labels.items() if isinstance(labels, Mapping) else labels
        row = []
        for label, value in pairs:
            if not isinstance(label, str):
                raise ValueError(f"{name}: label names must be str, not {type(label).__name__}")
            row.append((label, float(value)))
        rows.append(row)
    return rows


def save(path: PathLike, inputs: Any = None, expected: Any = None, generated: Any = None,
         errors: Any = None, expected_labels: Optional[Iterable[Any]] = None,
         generated_labels: Optional[Iterable[Any]] = None) -> None:
    """Writes a dataset file, created or truncated, as the toolkit writes it.

    ``inputs``, ``expected``, ``generated`` and ``errors`` are array-likes of
    shape (rows, width) with the same row count, or None for width 0.
    ``expected_labels`` / ``generated_labels`` give one label list per row
    (a dict name -> value, or a sequence of (name, value) pairs) in place of
    ``expected`` / ``generated``. A Dataset may be passed as ``inputs`` alone.
    Raises ValueError (row counts differ, a vector with both values and label
    lists, a label name that is not a word of the format), or OSError.
    """
    if isinstance(inputs, Dataset):
        if any(x is not None for x in (expected, generated, errors, expected_labels,
                                        generated_labels)):
            raise ValueError("a Dataset is saved alone")
        data = inputs
        inputs, expected, generated, errors = data.inputs, data.expected, data.generated, data.errors
        expected_labels, generated_labels = data.expected_labels, data.generated_labels
    expected_pairs = _label_rows("expected_labels", expected_labels)
    generated_pairs = _label_rows("generated_labels", generated_labels)
    arrays = {name: None if values is None else _matrix(name, values)
              for name, values in (("inputs", inputs), ("expected", expected),
                                   ("generated", generated), ("errors", errors))}
    counts = [a.shape[0] for a in arrays.values() if a is not None]
    counts += [len(p) for p in (expected_pairs, generated_pairs) if p is not None]
    if not counts:
        raise ValueError("nothing to save: no arrays and no label lists")
    rows = counts[0]
    parts = [a if a is not None else np.zeros((rows, 0)) for a in arrays.values()]
    raw, shown = _paths(path)
    _mbrk.save(raw, shown, *parts, expected_pairs, generated_pairs)


def to_flat(source: PathLike, destination: PathLike) -> None:
    """Converts the dataset file ``source`` into the flat file ``destination``:
    the same bytes as the mbrkd2flat command writes, written in large blocks.
    Generated outputs, errors and label lists are not written.
    """
    raw_source, shown_source = _paths(source)
    raw_destination, shown_destination = _paths(destination)
    _mbrk.to_flat(raw_source, shown_source, raw_destination, shown_destination)


def read_flat(path: PathLike, rows: int, inputs: int, outputs: int) -> Dataset:
    """Reads a flat file of ``rows`` rows, each ``inputs`` then ``outputs``
    numbers, into a Dataset (its ``inputs`` and ``expected``). Reading is
    lenient, as the toolkit's flat reader: a short or malformed file still
    gives ``rows`` rows. Raises ValueError for a negative count, or OSError.
    """
    raw, shown = _paths(path)
    return Dataset(*_mbrk.read_flat(raw, shown, rows, inputs, outputs))
