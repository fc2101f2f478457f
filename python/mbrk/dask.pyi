# Types of mbrk.dask, for checkers that do not follow Dask's own; see dask.py.
from typing import Any, Dict, List, Mapping, NamedTuple, Optional, Sequence, Union

import dask.array as da
import dask.dataframe as dd

from . import PathLike

class ShardChangedError(RuntimeError): ...

class Partition(NamedTuple):
    path: str
    offset: int
    rows: int
    whole: bool
    size: int
    device: int
    inode: int
    mtime_ns: int
    host: str

class Collection:
    paths: List[str]
    partitions: List[Partition]
    shape: Dict[str, Any]
    rows: int
    inputs: da.Array
    expected: da.Array
    generated: da.Array
    errors: da.Array
    @property
    def npartitions(self) -> int: ...
    def label_names(self) -> Dict[str, List[str]]: ...
    def to_frame(self, labels: Optional[Mapping[str, Sequence[str]]] = ...) -> dd.DataFrame: ...

def read(paths: Union[PathLike, Sequence[PathLike]],
         rows_per_partition: int = ...) -> Collection: ...
def save(collection_or_arrays: Union[Collection, Mapping[str, Any], Sequence[Any]],
         pattern: str) -> List[str]: ...
