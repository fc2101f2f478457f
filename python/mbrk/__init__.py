"""Datasets of the bracketed text format as NumPy arrays.

    import mbrk
    data = mbrk.load("sensors.mbrk")
    data.inputs            # float64 array, shape (rows, inputs)
    data.expected_labels   # one dict per row, or None

Functions: load, save, windows, index, probe, to_flat, read_flat, from_frame
(a pandas DataFrame to a Dataset; Dataset.to_frame goes the other way); the
submodule mbrk.dask (imported when used) reads shards on a Dask cluster. Files
are read and written with the interpreter's lock released. Errors: FormatError (a
ValueError) for a file that breaks the format; FileNotFoundError,
IsADirectoryError, PermissionError (OSError) for files that cannot be opened,
read or written; MemoryError; ValueError (TypeError for complex values)
for arguments that cannot be taken as given, before anything is read or
written. Every call stops at a signal whose handler raises: Ctrl-C's
KeyboardInterrupt, between two pieces of its work or while it waits for a
FIFO's other end; a handler that returns lets the call go on.
"""

import importlib
import os
from typing import (TYPE_CHECKING, Any, BinaryIO, Dict, Iterable, Iterator, List,
                    Optional, Tuple, Union)

import numpy as np
import numpy.typing as npt

from . import _checks, _display, _dtype, _frame, _mbrk
from ._errors import FormatError
from ._frame import from_frame
from ._types import DatasetShape, ValueArray

if TYPE_CHECKING:  # pragma: no cover
    import pandas

__all__ = ["Dataset", "DatasetShape", "FormatError", "RowIndex", "load", "save", "windows",
           "index", "probe", "to_flat", "read_flat", "from_frame"]
__version__ = _mbrk.__version__

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
Source = Union[PathLike, BinaryIO]
LabelRows = List[Dict[str, float]]


class Dataset:
    """The contents of a dataset file.

    ``inputs``, ``expected``, ``generated`` and ``errors`` are float64 arrays
    (float32 where load was asked for them) of shape (rows, width), width 0 for
    a vector the file does not have.
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

    inputs: ValueArray
    expected: ValueArray
    generated: ValueArray
    errors: ValueArray
    expected_labels: Optional[LabelRows]
    generated_labels: Optional[LabelRows]
    format_version: Optional[float]

    def __init__(self, inputs: ValueArray, expected: ValueArray, generated: ValueArray,
                 errors: ValueArray, expected_labels: Optional[LabelRows] = None,
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


def _paths(path: Source) -> Tuple[Any, Union[str, bytes]]:
    """The path as bytes to open and as given (os.fspath) to report; a file
    object (anything with readinto, read or write) as it is, with its name."""
    if any(hasattr(path, method) for method in ("readinto", "read", "write")):
        name = getattr(path, "name", None)
        return path, name if isinstance(name, (str, bytes)) else "<stream>"
    shown = os.fspath(path)
    return _checks.path(os.fsencode(shown)), shown


def _in_order(raw: Any) -> bool:
    """Whether windows of `raw` are read in order on one open input: a file
    object, or a file whose first bytes name a compression (no byte offsets)."""
    if not isinstance(raw, bytes):
        return True
    try:
        with open(raw, "rb") as file:
            head = file.read(6)
    except OSError:
        return False  # the reader reports it
    return (head.startswith((b"\x1f\x8b", b"\xfd7zXZ\x00", b"\x28\xb5\x2f\xfd"))
            or (len(head) >= 4 and head[0] & 0xF0 == 0x50 and head[1:4] == b"\x2a\x4d\x18"))


def load(path: Source, threads: Optional[int] = None,
         dtype: npt.DTypeLike = np.float64, strict: bool = False) -> Dataset:
    """Reads the whole dataset file ``path`` (str or os.PathLike).
    ``path`` may also be a binary file object (``open(p, "rb")``,
    ``io.BytesIO``, anything with ``readinto`` or ``read``), read from where it
    stands; a text-mode one raises TypeError. A file compressed with gzip, xz
    or zstd is read as the text it holds, whatever its name; a damaged one
    raises FormatError naming the compression.


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
    if threads is not None:
        threads = _checks.whole("threads", threads, least=1)
    kind = _dtype.check(dtype)
    raw, shown = _paths(path)
    if kind == np.float32 and isinstance(raw, bytes):
        return Dataset(*_mbrk.load_float32(raw, shown, bool(strict)))
    parts = _mbrk.load(raw, shown, 0 if threads is None else min(threads, 1024), bool(strict))
    if kind == np.float32:  # a file object: read as float64, then stored as asked
        parts = (*(a.astype(np.float32) for a in parts[:4]), *parts[4:])
    return Dataset(*parts)


class RowIndex:
    """Where the rows of a dataset file begin (see index()).

    ``rows`` is the file's row count; ``offsets[k]`` (an int64 array) is the
    byte offset into the data block of row ``k * every``, as the window
    loader takes it; ``end_offset`` lies just past the last row.
    """

    __slots__ = ("rows", "every", "offsets", "end_offset")

    def __init__(self, rows: int, every: int, offsets: np.ndarray, end_offset: int) -> None:
        self.rows = rows
        self.every = every
        self.offsets = offsets
        self.end_offset = end_offset

    def __len__(self) -> int:
        """The number of offsets."""
        return len(self.offsets)

    def __repr__(self) -> str:
        return f"<mbrk.RowIndex rows={self.rows}, every={self.every}, offsets={len(self)}>"


def _whole(name: str, value: Any, least: int, most: int = _checks.MOST) -> int:
    """`value` as an int (a NumPy integer too, never a bool) from `least` to
    `most`; ValueError otherwise."""
    return _checks.whole(name, value, least, most)


def index(path: PathLike, every: int = 100_000, threads: Optional[int] = None,
          strict: bool = False) -> RowIndex:
    """Indexes the dataset file ``path``: its row count and the offset of every
    ``every``-th row, found by a scan on ``threads`` threads (None: one per
    core) that checks every word and label list as load() does without
    converting or keeping a value. Memory holds the offsets only. Raises as
    load() does, with the same FormatError for a file that breaks the format;
    ``strict`` is as for load() (read strictly, the file is read row by row).
    """
    every = _whole("every", every, 1, most=2**63 - 1)
    if threads is not None:
        threads = _whole("threads", threads, 1)
    raw, shown = _paths(path)
    return RowIndex(*_mbrk.index(raw, shown, min(every, 2**31 - 1),
                                 0 if threads is None else min(threads, 1024), bool(strict)))


_index_of = index  # for windows(), whose argument of that name hides it


def windows(path: Source, rows: int = 10_000, dtype: npt.DTypeLike = np.float64,
            strict: bool = False, start: int = 0,
            index: Optional[RowIndex] = None) -> Iterator[Dataset]:
    """Iterates over the dataset file ``path`` in Datasets of ``rows`` rows
    (the last one may be shorter), from row ``start``; memory holds one
    window at a time.

    The file is opened and its header read at once (its errors, and that of
    a file too short for its rows, are raised by this call); it stays open until the iteration ends or is dropped. Each
    window is read when it is due and costs what its rows cost. All windows
    together give exactly load()'s rows, or raise load()'s FormatError: the
    last window also reads what follows the rows. A file replaced or changed
    between windows raises OSError (errno ESTALE) rather than values read at
    the wrong place. ``dtype`` and ``strict`` are as for load().

    A ``start`` past row 0 is reached through ``index`` (a RowIndex of this
    file) or, without one, through an index of every ``rows``-th row made by
    this call; after it, the first window costs at most the rows between
    ``start`` and the indexed row before it.
    """
    rows = _whole("rows", rows, 1)
    start = _whole("start", start, 0)
    kind = _dtype.check(dtype)
    raw, shown = _paths(path)
    if _in_order(raw):
        if start > 0:
            raise ValueError("start is not available for a file object or a compressed file")
        return _windows_in_order(raw, shown, rows, kind, bool(strict))
    offset, first_row = 0, 0
    if start > 0:
        if index is None:
            index = _index_of(path, every=rows)
        if len(index.offsets):
            mark = min(start // index.every, len(index.offsets) - 1)
            offset, first_row = int(index.offsets[mark]), mark * index.every
    reader = _mbrk.WindowReader(raw, shown, offset, first_row, strict=bool(strict))

    def iterate() -> Iterator[Dataset]:
        """The windows, read one by one as they are asked for."""
        try:
            if start > first_row:  # the rows between the indexed one and `start`
                reader.next(min(start - first_row, reader.rows_left))
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


def _windows_in_order(raw: Any, shown: Union[str, bytes], rows: int,
                      kind: Any, strict: bool) -> Iterator[Dataset]:
    """windows() of a file object or a compressed file: read in order on one
    open input."""
    reader = _mbrk.Windows(raw, shown, strict=strict)

    def iterate() -> Iterator[Dataset]:
        """The windows, read one by one as they are asked for."""
        while reader.rows_left() > 0:
            parts = reader.next(min(rows, reader.rows_left()))
            if kind == np.float32:
                parts = (*(a.astype(np.float32) for a in parts[:4]), *parts[4:])
            yield Dataset(*parts)

    return iterate()


def probe(path: Source, strict: bool = False) -> DatasetShape:
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
    array = np.ascontiguousarray(_checks.values(name, values), dtype=np.float64)
    if array.ndim != 2:
        raise ValueError(f"{name} must be two-dimensional (rows, width), not of shape "
                         f"{array.shape}")
    return array


def _label_rows(name: str,
                lists: Optional[Iterable[Any]]) -> Optional[List[List[Tuple[str, float]]]]:
    """Label lists (dicts, sequences of pairs or bare names, a bare name) as
    lists of (str, float) pairs."""
    return _checks.label_rows(name, lists)


_COMPRESSIONS = ("gzip", "xz", "zstd")


def save(path: Source, inputs: Any = None, expected: Any = None, generated: Any = None,
         errors: Any = None, expected_labels: Optional[Iterable[Any]] = None,
         generated_labels: Optional[Iterable[Any]] = None, *,
         compression: Optional[str] = "infer") -> None:
    """Writes a dataset file, created or truncated, as the toolkit writes it,
    or into a binary file object (anything with ``write``).

    ``compression`` is "gzip", "xz", "zstd" or None (none); by default it
    follows the name's suffix (``.gz``, ``.xz``, ``.zst``), and a file object
    is written uncompressed.

    ``inputs``, ``expected``, ``generated`` and ``errors`` are array-likes of
    shape (rows, width) with the same row count, or None for width 0.
    ``expected_labels`` / ``generated_labels`` give one label list per row
    (a dict name -> value, a sequence of (name, value) pairs and bare names,
    or one bare name; a bare name counts 1) in place of
    ``expected`` / ``generated``. Complex values and masked arrays that mask
    anything are refused. A Dataset may be passed as ``inputs`` alone.

    Every value is written so that it reads back to the very same double: with
    the 15 significant digits the toolkit's SaveDatFile writes wherever they
    do (the same text), else with 16 or 17; label values with 9 decimals
    where those do, else with as many digits as it takes. (SaveDatFile keeps
    the format's 15 digits.) The file is written under a temporary name next
    to ``path`` and renamed over it once complete, so a failure leaves the old
    file as it was. Raises ValueError (row counts differ, a vector with both
    values and label lists, a label name that is not a word of the format), or
    OSError.
    """
    if compression is not None and compression != "infer" and compression not in _COMPRESSIONS:
        raise ValueError(f"compression must be one of {', '.join(_COMPRESSIONS)} or None, "
                         f"not {compression!r}")
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
    how = None if compression == "infer" else compression or "none"
    _mbrk.save(raw, shown, *parts, expected_pairs, generated_pairs, how)


def to_flat(source: Source, destination: Source) -> None:
    """Converts the dataset file ``source`` into the flat file ``destination``:
    the same bytes as the mbrkd2flat command writes, written in large blocks.
    Either may be a binary file object; the source may be compressed.
    Generated outputs, errors and label lists are not written.

    As the command does, refuses with ValueError a destination that is the
    source under any name (a link, a hard link) and a dataset with neither
    inputs nor expected outputs ("No inputs or expected outputs to convert").
    The file is written under a temporary name next to ``destination`` and
    renamed over it once complete: a failure leaves the old file as it was.
    """
    raw_source, shown_source = _paths(source)
    raw_destination, shown_destination = _paths(destination)
    _mbrk.to_flat(raw_source, shown_source, raw_destination, shown_destination)


def read_flat(path: PathLike, rows: Optional[int], inputs: int, outputs: int) -> Dataset:
    """Reads a flat file of ``rows`` rows, each ``inputs`` then ``outputs``
    numbers, into a Dataset (its ``inputs`` and ``expected``); with ``rows``
    None, of as many whole rows as the file holds.

    Reading is strict: numbers are separated by any white space (lines do not
    matter), each word must be wholly a number or one of the flat writer's
    ``+INF``, ``-INF``, ``+NAN``, ``-NAN``, and there must be exactly
    ``rows * (inputs + outputs)`` numbers (with ``rows`` None, a whole multiple
    of ``inputs + outputs``). Raises FormatError with the place otherwise (a
    dataset file given by mistake too), ValueError for a negative count, or
    OSError. Memory follows what the file holds, not the counts asked.
    """
    if rows is not None:
        rows = _checks.whole("rows", rows)
    inputs, outputs = (_checks.whole(name, value) for name, value in
                       (("inputs", inputs), ("outputs", outputs)))
    raw, shown = _paths(path)
    return Dataset(*_mbrk.read_flat(raw, shown, rows, inputs, outputs))


def __getattr__(name: str) -> Any:
    """mbrk.dask, imported when first used (it needs Dask)."""
    if name == "dask":
        return importlib.import_module(".dask", __name__)
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
