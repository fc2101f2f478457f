# Types of the extension module behind mbrk; see mbrk/__init__.py.
from typing import Any, BinaryIO, Dict, List, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

_Shown = Union[str, bytes]
_Labels = Optional[List[Dict[str, float]]]
_Parts = Tuple[npt.NDArray[np.float64], npt.NDArray[np.float64], npt.NDArray[np.float64],
               npt.NDArray[np.float64], _Labels, _Labels, Optional[float]]
_Pairs = Optional[Sequence[Sequence[Tuple[str, float]]]]

__version__: str

_Source = Union[bytes, BinaryIO]

def load(path: _Source, shown: _Shown, threads: int) -> _Parts: ...
def window(path: bytes, shown: _Shown, offset: int, count: int) -> Tuple[_Parts, int]: ...
def probe(path: _Source, shown: _Shown) -> Dict[str, Any]: ...
def save(path: _Source, shown: _Shown, inputs: npt.ArrayLike, expected: npt.ArrayLike,
         generated: npt.ArrayLike, errors: npt.ArrayLike, expected_labels: _Pairs,
         generated_labels: _Pairs, compression: Optional[str]) -> None: ...
def to_flat(source: _Source, shown_source: _Shown, destination: _Source,
            shown_destination: _Shown) -> None: ...
def read_flat(path: bytes, shown: _Shown, rows: int, inputs: int, outputs: int) -> _Parts: ...
