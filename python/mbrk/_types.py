"""Types of the package's results, for type checkers and readers."""

from typing import Optional, TypedDict, Union

import numpy as np
import numpy.typing as npt

# The arrays of a Dataset: float64 as loaded, float32 where load was asked for it.
ValueArray = Union[npt.NDArray[np.float64], npt.NDArray[np.float32]]


class DatasetShape(TypedDict):
    """What probe reads from a dataset file's header."""

    rows: int
    inputs: int
    expected: int
    generated: int
    errors: int
    expected_labels: bool
    generated_labels: bool
    format_version: Optional[float]
