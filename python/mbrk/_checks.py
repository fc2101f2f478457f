"""Checks of the arguments the package hands to its extension module.

Each one refuses, in words, what the toolkit cannot take as given, before
anything is read or written: counts that are not whole numbers of 32 bits,
paths with a null byte, values that would lose a part on their way into
float64, label names that are no text.
"""

import operator
from typing import Any, Iterable, List, Optional, Tuple

import numpy as np

# The largest count the format holds: a 32-bit signed integer.
MOST = 2**31 - 1


def whole(name: str, value: Any, least: int = 0, most: int = MOST) -> int:
    """``value`` as an int in [least, most]: an int or a NumPy integer, never a
    bool, a float or a text. Raises ValueError naming ``name`` otherwise."""
    if isinstance(value, (bool, np.bool_)):
        number = None
    else:
        try:
            number = operator.index(value)
        except TypeError:
            number = None
    if number is None:
        raise ValueError(f"{name} must be a whole number, not {type(value).__name__} {value!r}")
    if not least <= number <= most:
        raise ValueError(f"{name} must be a whole number from {least} to {most}, not {number}")
    return number


def path(raw: bytes) -> bytes:
    """``raw``, the path to open, unless it holds a null byte (the system would
    open the file named by the part before it): ValueError, as open() says."""
    if b"\0" in raw:
        raise ValueError("embedded null byte")
    return raw


def values(name: str, given: Any) -> Any:
    """``given`` unless float64 would drop part of it: complex numbers lose
    their imaginary part and a masked array its mask (TypeError, ValueError).
    A masked array that masks nothing is its values."""
    if isinstance(given, np.ma.MaskedArray):
        if np.ma.is_masked(given):
            raise ValueError(f"{name}: a masked array with masked values cannot be saved; "
                             "fill or drop them first")
        given = np.ma.getdata(given)
    if np.iscomplexobj(given):
        raise TypeError(f"{name}: complex values cannot be saved (float64 only)")
    return given


def label_name(name: str, label: Any) -> str:
    """``label`` as a label name: a str that is text (no lone surrogate)."""
    if not isinstance(label, str):
        raise ValueError(f"{name}: label names must be str, not {type(label).__name__}")
    try:
        label.encode("utf-8")
    except UnicodeEncodeError as error:
        raise ValueError(f"{name}: label name {label!r} is not text: {error.reason} at "
                         f"{error.start}") from None
    return label


def label_row(name: str, labels: Any) -> List[Tuple[str, float]]:
    """One row's label list as (name, value) pairs. A row is a mapping name ->
    value, a bare name (a str, which counts 1 as the format reads it), or a
    sequence of (name, value) pairs and bare names."""
    if isinstance(labels, str):
        return [(label_name(name, labels), 1.0)]
    if hasattr(labels, "items"):
        pairs: Iterable[Any] = labels.items()
    else:
        pairs = labels
    row = []
    for item in pairs:
        if isinstance(item, str):
            row.append((label_name(name, item), 1.0))
            continue
        try:
            label, value = item
        except (TypeError, ValueError):
            raise ValueError(f"{name}: a label is a name or a (name, value) pair, not "
                             f"{item!r}") from None
        row.append((label_name(name, label), float(values(name, value))))
    return row


def label_rows(name: str, lists: Optional[Iterable[Any]]) -> Optional[List[List[Tuple[str, float]]]]:
    """Label lists, one per row, as lists of (name, value) pairs; None stays."""
    if lists is None:
        return None
    if isinstance(lists, str):
        raise ValueError(f"{name}: one label list per row, not a single str")
    return [label_row(name, labels) for labels in lists]
