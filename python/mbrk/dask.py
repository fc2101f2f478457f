"""Dataset files as Dask collections, each partition read where it is computed.

    import mbrk.dask
    shards = mbrk.dask.read("shards/*.mbrk", rows_per_partition=1_000_000)
    shards.inputs.mean(axis=0).compute()      # dask arrays with known chunks
    frame = shards.to_frame()                 # a dask DataFrame
    mbrk.dask.save(shards, "out/part-*.mbrk")  # one file per partition

A file of at most ``rows_per_partition`` rows is one partition; a larger one is
split through its row index (mbrk.index), made when read() is called, on the
workers where there is a cluster. The graph carries only each partition's path,
offset, row count and the file's size and identity (device, inode,
modification time; the device is compared only on the machine that took it,
since every machine numbers a shared file system's device its own way): a
worker reads its partition itself, by the window loader, and refuses a file
that changed after read() looked at it (ShardChangedError). A broken shard raises mbrk.FormatError
naming that shard, with line and column: from read() for the header and for
anything in a file split through its index, from the computation for the rows
of a one-partition file.

Runs on any Dask scheduler; on a cluster, connect a ``distributed.Client``
first (``Client("scheduler-address:8786")``): the same code then reads on its
workers, which must see the files under the same paths and have mbrk installed.
"""

import glob
import os
import socket
import uuid
from typing import Any, Dict, List, Mapping, NamedTuple, Optional, Sequence, Tuple, Union

import numpy as np

try:
    import dask
    import dask.array as da
    import dask.dataframe as dd
    import pandas as pd
    from dask.base import tokenize
    from dask.highlevelgraph import HighLevelGraph
except ImportError as missing:  # pragma: no cover - depends on the machine
    raise ImportError(
        "mbrk.dask needs Dask and pandas (Debian: python3-dask, and python3-distributed for a "
        f"cluster): {missing}") from missing

import mbrk
from mbrk import _mbrk

__all__ = ["Collection", "Partition", "ShardChangedError", "read", "save"]

_FIELDS = ("inputs", "expected", "generated", "errors")
_PREFIXES = {"inputs": "input", "expected": "expected", "generated": "generated",
             "errors": "error"}


class ShardChangedError(RuntimeError):
    """A shard's size or identity is not what it was when read() looked at it."""


class Partition(NamedTuple):
    """What the graph carries for one partition."""

    path: str
    offset: int      # bytes into the data block, as the window loader takes it
    rows: int
    whole: bool      # the whole file: read (and its end checked) as mbrk.load reads it
    size: int
    device: int      # as `host` numbers its devices
    inode: int
    mtime_ns: int
    host: str


def _identity(path: str) -> Tuple[int, int, int, int, str]:
    st = os.stat(path)
    return st.st_size, st.st_dev, st.st_ino, st.st_mtime_ns, socket.gethostname()


def _unchanged(now: Tuple[Any, ...], then: Tuple[Any, ...]) -> bool:
    """Whether two identities (as _identity gives them) are of the same file."""
    size, device, inode, mtime_ns, host = now
    # Device numbers are given out by each machine for its own mounts: one
    # shared file has another on every machine, so they are compared only on
    # the machine that took the first.
    return ((size, inode, mtime_ns) == (then[0], then[2], then[3])
            and (host != then[4] or device == then[1]))


def _check_unchanged(part: Partition) -> None:
    if not _unchanged(_identity(part.path), part[4:]):
        raise ShardChangedError(f"{part.path}: changed after it was indexed; read it again")


def _read(part: Partition) -> mbrk.Dataset:
    """The rows of one partition, read on the worker that computes it."""
    _check_unchanged(part)
    if part.whole:
        data = mbrk.load(part.path, threads=1)
    else:
        raw, shown = mbrk._paths(part.path)
        data = mbrk.Dataset(*_mbrk.window(raw, shown, part.offset, part.rows)[0])
    # A file replaced while it was read may have given rows of either.
    _check_unchanged(part)
    return data


def _shard_paths(paths: Any) -> List[str]:
    """A path, a glob or a list of them, as a list of paths (globs sorted)."""
    items = [paths] if isinstance(paths, (str, bytes, os.PathLike)) else list(paths)
    found: List[str] = []
    for item in items:
        text = os.fsdecode(os.fspath(item))
        if any(c in text for c in "*?[") and not os.path.exists(text):
            matches = sorted(glob.glob(text))
            if not matches:
                raise FileNotFoundError(2, "no file matches", text)
            found.extend(matches)
        else:
            found.append(text)
    if not found:
        raise ValueError("no shards given")
    return found


def _shape(shape: Dict[str, Any]) -> Tuple[Any, ...]:
    return tuple(shape[k] for k in ("inputs", "expected", "generated", "errors",
                                    "expected_labels", "generated_labels"))


def _index(path: str, every: int, identity: Tuple[Any, ...]) -> List[int]:
    """The offsets of every `every`-th row of `path`, found where it runs."""
    offsets = mbrk.index(path, every=every).offsets.tolist()
    if not _unchanged(_identity(path), identity):
        raise ShardChangedError(f"{path}: changed while it was being indexed")
    return offsets


def _partitions(path: str, rows_per_partition: int,
                shape: Dict[str, Any], identity: Tuple[Any, ...],
                offsets: Optional[List[int]]) -> List[Partition]:
    """The partitions of one shard."""
    rows = shape["rows"]
    if offsets is None:
        return [Partition(path, 0, rows, True, *identity)]
    return [Partition(path, offset, min(rows_per_partition, rows - k * rows_per_partition),
                      False, *identity) for k, offset in enumerate(offsets)]


class Collection:
    """Shards read as Dask collections; made by read().

    ``inputs``, ``expected``, ``generated`` and ``errors`` are float64 dask
    arrays of shape (rows, width), one chunk per partition. ``partitions``
    lists what each partition reads; ``paths`` the shards; ``shape`` the
    header shape all shards share (as mbrk.probe gives it, without rows).
    """

    def __init__(self, paths: List[str], partitions: List[Partition],
                 shape: Dict[str, Any]) -> None:
        self.paths = paths
        self.partitions = partitions
        self.shape = shape
        self.rows = sum(p.rows for p in partitions)
        self._token = tokenize(partitions)
        self._read_name = "mbrk-read-" + self._token
        self._read_layer = {(self._read_name, i): (_read, part)
                            for i, part in enumerate(partitions)}
        counts = tuple(p.rows for p in partitions)
        for field in _FIELDS:
            setattr(self, field, self._array(field, counts, shape[field]))
        self._label_names: Optional[Dict[str, List[str]]] = None

    def _array(self, field: str, counts: Tuple[int, ...], width: int) -> "da.Array":
        name = f"mbrk-{field}-{self._token}"
        layer = {(name, i, 0): (getattr, (self._read_name, i), field)
                 for i in range(len(counts))}
        graph = HighLevelGraph({self._read_name: self._read_layer, name: layer},
                               {self._read_name: set(), name: {self._read_name}})
        return da.Array(graph, name, chunks=(counts, (width,)), dtype=np.float64,
                        meta=np.empty((0, 0), dtype=np.float64))

    @property
    def npartitions(self) -> int:
        """The number of partitions."""
        return len(self.partitions)

    def __repr__(self) -> str:
        return (f"<mbrk.dask.Collection shards={len(self.paths)}, partitions={self.npartitions}, "
                f"rows={self.rows}>")

    def label_names(self) -> Dict[str, List[str]]:
        """The label names of each label list kind, in the order first met.

        Found by reading every partition once (on the cluster, where there is
        one); kept for later calls.
        """
        if self._label_names is None:
            kinds = [k for k in ("expected", "generated") if self.shape[f"{k}_labels"]]
            found: Dict[str, Dict[str, None]] = {k: {} for k in kinds}
            if kinds:
                tasks = [dask.delayed(_names)(part, kinds) for part in self.partitions]
                for names in dask.compute(*tasks):
                    for kind in kinds:
                        found[kind].update(dict.fromkeys(names[kind]))
            self._label_names = {k: list(v) for k, v in found.items()}
        return self._label_names

    def to_frame(self, labels: Optional[Mapping[str, Sequence[str]]] = None) -> "dd.DataFrame":
        """The rows as a dask DataFrame made with from_map, one partition per
        partition, indexed by row number across the shards (known divisions).

        Columns, as Dataset.to_frame names and orders them: input_0..,
        expected_0.., generated_0.., error_0.. (float64), with a part's label
        lists in its place as ``expected:NAME`` / ``generated:NAME`` (NaN
        where a row lacks the label). The label columns are those of ``labels``
        ({"expected": [names], "generated": [names]}) where given, else
        label_names(), which reads every partition once.
        """
        names = dict(labels) if labels is not None else self.label_names()
        columns = _columns(self.shape, names)
        meta = pd.DataFrame({c: pd.Series(dtype=np.float64) for c in columns})
        parts = [p for p in self.partitions if p.rows > 0]
        starts, first = [], 0
        for part in self.partitions:
            if part.rows > 0:
                starts.append(first)
            first += part.rows
        if not parts:
            return dd.from_pandas(meta, npartitions=1)
        divisions = tuple(starts) + (self.rows - 1,)
        return dd.from_map(_frame, parts, starts, args=[names], meta=meta, divisions=divisions,
                           label="mbrk-frame", token=tokenize(self._token, names),
                           enforce_metadata=False)


def _names(part: Partition, kinds: List[str]) -> Dict[str, List[str]]:
    data = _read(part)
    found: Dict[str, List[str]] = {}
    for kind in kinds:
        seen: Dict[str, None] = {}
        for row in getattr(data, f"{kind}_labels"):
            seen.update(dict.fromkeys(row))
        found[kind] = list(seen)
    return found


def _columns(shape: Dict[str, Any], names: Mapping[str, Sequence[str]]) -> List[str]:
    """The frame's columns, as Dataset.to_frame orders them: each part's
    values, or its label names where its rows carry label lists."""
    columns: List[str] = []
    for field in _FIELDS:
        columns += [f"{_PREFIXES[field]}_{i}" for i in range(shape[field])]
        if field in ("expected", "generated") and shape[f"{field}_labels"]:
            columns += [f"{field}:{name}" for name in names.get(field, ())]
    return columns


def _frame(part: Partition, start: int, names: Mapping[str, Sequence[str]]) -> "pd.DataFrame":
    """One partition as a DataFrame whose index is the rows' numbers."""
    data = _read(part)
    columns: Dict[str, Any] = {}
    for field in _FIELDS:
        values = getattr(data, field)
        for i in range(values.shape[1]):
            columns[f"{_PREFIXES[field]}_{i}"] = values[:, i]
        lists = getattr(data, f"{field}_labels", None)
        for name in names.get(field, ()) if lists is not None else ():
            columns[f"{field}:{name}"] = np.array([row.get(name, np.nan) for row in lists],
                                                  dtype=np.float64)
    index = pd.RangeIndex(start, start + part.rows)
    return pd.DataFrame(columns, index=index)


def read(paths: Any, rows_per_partition: int = 1_000_000) -> Collection:
    """Reads the dataset files ``paths`` (a path, a glob, or a list of them;
    globs in sorted order) as a Collection of partitions of at most
    ``rows_per_partition`` rows. Every shard must have the same widths and
    label lists (ValueError naming the shard otherwise). Reads each file's
    header now, and indexes the files larger than a partition; the rows are
    read when computed.
    """
    mbrk._whole("rows_per_partition", rows_per_partition, 1)
    shards = _shard_paths(paths)
    identities = [_identity(path) for path in shards]
    shapes = [mbrk.probe(path) for path in shards]
    for path, shape in zip(shards, shapes):
        if _shape(shape) != _shape(shapes[0]):
            raise ValueError(f"{path}: its widths and label lists {_shape(shape)} differ from "
                             f"those of {shards[0]} {_shape(shapes[0])}")
    # Files larger than a partition are indexed where the scheduler runs
    # tasks (on the workers of a cluster), all at once.
    large = [i for i, shape in enumerate(shapes) if shape["rows"] > rows_per_partition]
    found = dask.compute(*[dask.delayed(_index)(shards[i], rows_per_partition, identities[i])
                           for i in large])
    offsets: Dict[int, List[int]] = dict(zip(large, found))
    partitions: List[Partition] = []
    for i, path in enumerate(shards):
        partitions += _partitions(path, rows_per_partition, shapes[i], identities[i],
                                  offsets.get(i))
    shape = {k: v for k, v in shapes[0].items() if k not in ("rows", "format_version")}
    return Collection(shards, partitions, shape)


def _write(path: str, data: mbrk.Dataset) -> str:
    """Writes `data` as `path`, whole or not at all: into a temporary file in
    the same folder, then renamed over it."""
    folder, name = os.path.split(path)
    temporary = os.path.join(folder, f".{name}.{uuid.uuid4().hex}.tmp")
    try:
        mbrk.save(temporary, data)
        os.replace(temporary, path)
    except BaseException:
        try:
            os.unlink(temporary)
        except FileNotFoundError:
            pass
        raise
    return path


def _save_partition(part: Partition, path: str) -> str:
    return _write(path, _read(part))


def _save_blocks(path: str, *blocks: Optional[np.ndarray]) -> str:
    rows = next(b.shape[0] for b in blocks if b is not None)
    arrays = [b if b is not None else np.zeros((rows, 0)) for b in blocks]
    return _write(path, mbrk.Dataset(*arrays))


ArraysLike = Union[Collection, Mapping[str, Any], Sequence[Any]]


def _block_tasks(arrays: Union[Mapping[str, Any], Sequence[Any]],
                 names: List[str]) -> List[Any]:
    """One delayed write per row block of the arrays."""
    given = dict(arrays) if isinstance(arrays, Mapping) else dict(zip(_FIELDS, arrays))
    unknown = set(given) - set(_FIELDS)
    if unknown:
        raise ValueError(f"unknown arrays {sorted(unknown)}: give {', '.join(_FIELDS)}")
    present = {k: da.asarray(v) for k, v in given.items() if v is not None}
    if not present:
        raise ValueError("nothing to save: no arrays")
    first = next(iter(present.values()))
    if any(a.ndim != 2 or a.shape[0] != first.shape[0] for a in present.values()):
        raise ValueError("arrays must be two-dimensional with the same number of rows")
    blocks = {k: a.rechunk((first.chunks[0], -1)).astype(np.float64).to_delayed()[:, 0]
              for k, a in present.items()}
    if len(names) != len(first.chunks[0]):
        names[:] = _names_for(names[0], len(first.chunks[0]))
    return [dask.delayed(_save_blocks)(names[i], *(blocks[f][i] if f in blocks else None
                                                   for f in _FIELDS))
            for i in range(len(first.chunks[0]))]


def _names_for(pattern: str, count: int) -> List[str]:
    width = max(5, len(str(max(count - 1, 0))))
    return [pattern.replace("*", f"{i:0{width}d}") for i in range(count)]


def save(collection_or_arrays: ArraysLike, pattern: str) -> List[str]:
    """Writes one dataset file per partition, in parallel where the rows are
    computed, named by ``pattern`` with its one "*" replaced by the partition's
    number (zero-padded, so the names sort in order). Each file is complete or
    absent: it is written under a temporary name in its folder and renamed.

    ``collection_or_arrays``: a Collection (label lists included), or dask
    arrays (a dict with keys among inputs, expected, generated, errors, or a
    sequence in that order) whose row chunks make the partitions. Returns the
    paths written, in partition order.
    """
    pattern = os.fsdecode(os.fspath(pattern))
    if pattern.count("*") != 1 or "*" in os.path.dirname(pattern):
        raise ValueError("pattern must hold one '*', in the file name")
    folder = os.path.dirname(pattern)
    if folder:
        os.makedirs(folder, exist_ok=True)
    if isinstance(collection_or_arrays, Collection):
        names = _names_for(pattern, collection_or_arrays.npartitions)
        tasks = [dask.delayed(_save_partition)(part, name)
                 for part, name in zip(collection_or_arrays.partitions, names)]
    else:
        names = [pattern]
        tasks = _block_tasks(collection_or_arrays, names)
    return list(dask.compute(*tasks))
