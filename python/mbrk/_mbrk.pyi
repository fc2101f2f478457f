# Types of the extension module behind mbrk; see mbrk/__init__.py.
from typing import Dict, List, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

from ._types import DatasetShape

_Shown = Union[str, bytes]
_Labels = Optional[List[Dict[str, float]]]
_Parts = Tuple[npt.NDArray[np.float64], npt.NDArray[np.float64], npt.NDArray[np.float64],
               npt.NDArray[np.float64], _Labels, _Labels, Optional[float]]
_Parts32 = Tuple[npt.NDArray[np.float32], npt.NDArray[np.float32], npt.NDArray[np.float32],
                 npt.NDArray[np.float32], _Labels, _Labels, Optional[float]]
_Pairs = Optional[Sequence[Sequence[Tuple[str, float]]]]

__version__: str

def load(path: bytes, shown: _Shown, threads: int) -> _Parts: ...
def load_float32(path: bytes, shown: _Shown) -> _Parts32: ...
def window(path: bytes, shown: _Shown, offset: int, count: int) -> Tuple[_Parts, int]: ...
def probe(path: bytes, shown: _Shown) -> DatasetShape: ...
def save(path: bytes, shown: _Shown, inputs: npt.ArrayLike, expected: npt.ArrayLike,
         generated: npt.ArrayLike, errors: npt.ArrayLike, expected_labels: _Pairs,
         generated_labels: _Pairs) -> None: ...
def to_flat(source: bytes, shown_source: _Shown, destination: bytes,
            shown_destination: _Shown) -> None: ...
def read_flat(path: bytes, shown: _Shown, rows: int, inputs: int, outputs: int) -> _Parts: ...
