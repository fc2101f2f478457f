"""Datasets to pandas DataFrames and back.

A frame made by ``to_frame`` has one column per value: ``input_0``...,
``expected_0``..., ``generated_0``..., ``error_0``... and, where a part is
given as label lists, either one float column per label name
(``expected:NAME``, NaN where a row lacks the label) or one column of dicts
(``expected_labels``). ``from_frame`` reads such a frame back, or any frame
whose columns the caller names. pandas is imported only when these run.
"""

import re
from typing import TYPE_CHECKING, Any, Dict, Iterable, List, Optional, Sequence, Tuple, Union

import numpy as np

if TYPE_CHECKING:  # pragma: no cover
    import pandas

    from . import Dataset

# (attribute, value column prefix, label list attribute) in column order.
PARTS: Tuple[Tuple[str, str, Optional[str]], ...] = (
    ("inputs", "input_", None),
    ("expected", "expected_", "expected_labels"),
    ("generated", "generated_", "generated_labels"),
    ("errors", "error_", None),
)
# Where a frame keeps what its columns cannot say: the format version, and
# which parts are label lists even when no row has a label.
ATTRS_KEY = "mbrk"

Columns = Union[None, str, Iterable[Any]]


def pandas_module() -> Any:
    """pandas, or an ImportError that says what needs it."""
    try:
        import pandas
    except ImportError as error:
        raise ImportError("mbrk needs pandas for DataFrames (Debian: python3-pandas; "
                          "pip: pandas)") from error
    return pandas


def label_names(lists: Sequence[Dict[str, float]]) -> List[str]:
    """The label names of every row, in the order they are first seen."""
    seen: Dict[str, None] = {}
    for labels in lists:
        for name in labels:
            seen.setdefault(name, None)
    return list(seen)


def column_layout(dataset: "Dataset", labels: str) -> List[Tuple[str, Any]]:
    """The frame's columns in order: (name, source) where source is a column
    index into a part's matrix as ("matrix", attribute, index), or
    ("label", attribute, name), or ("dicts", attribute)."""
    layout: List[Tuple[str, Any]] = []
    for attribute, prefix, label_attribute in PARTS:
        matrix = getattr(dataset, attribute)
        layout += [(f"{prefix}{i}", ("matrix", attribute, i)) for i in range(matrix.shape[1])]
        lists = getattr(dataset, label_attribute) if label_attribute else None
        if lists is None:
            continue
        if labels == "dicts":
            layout.append((label_attribute, ("dicts", label_attribute)))
        else:
            layout += [(f"{attribute}:{name}", ("label", label_attribute, name))
                       for name in label_names(lists)]
    return layout


def to_frame(dataset: "Dataset", labels: str = "columns") -> "pandas.DataFrame":
    """The dataset as a DataFrame, as Dataset.to_frame describes."""
    if labels not in ("columns", "dicts"):
        raise ValueError(f"labels must be 'columns' or 'dicts', not {labels!r}")
    pandas = pandas_module()
    layout = column_layout(dataset, labels)
    numeric = [(name, source) for name, source in layout if source[0] != "dicts"]
    matrices = [getattr(dataset, attribute) for attribute, _, _ in PARTS]
    kinds = [m.dtype for m in matrices] + [np.float64] * any(s[0] == "label" for _, s in numeric)
    # One block of one dtype holds every number: pandas keeps it as it is.
    block = np.empty((dataset.rows, len(numeric)), dtype=np.result_type(*kinds))
    start = 0
    for attribute, _, label_attribute in PARTS:
        width = getattr(dataset, attribute).shape[1]
        block[:, start:start + width] = getattr(dataset, attribute)
        start += width
        if label_attribute is None or labels == "dicts":
            continue
        lists = getattr(dataset, label_attribute)
        if lists is None:
            continue
        index = {name: start + i for i, name in enumerate(label_names(lists))}
        block[:, start:start + len(index)] = np.nan
        for row, row_labels in enumerate(lists):
            for name, value in row_labels.items():
                block[row, index[name]] = value
        start += len(index)
    frame = pandas.DataFrame(block, columns=[name for name, _ in numeric], copy=False)
    for position, (name, source) in enumerate(layout):
        if source[0] == "dicts":
            column = np.empty(dataset.rows, dtype=object)
            for row, row_labels in enumerate(getattr(dataset, source[1])):
                column[row] = dict(row_labels)
            frame.insert(position, name, column)
    frame.attrs[ATTRS_KEY] = {
        "format_version": dataset.format_version,
        "expected_labels": dataset.expected_labels is not None,
        "generated_labels": dataset.generated_labels is not None,
    }
    return frame


def select(frame: "pandas.DataFrame", part: str, columns: Columns) -> List[Any]:
    """The columns `columns` names: a list of names, or a prefix (str)."""
    if isinstance(columns, str):
        names = [c for c in frame.columns if isinstance(c, str) and c.startswith(columns)]
        if not names:  # a slip of the pen, most likely: [] asks for no columns
            raise KeyError(f"{part}: no column of the frame begins with {columns!r}")
        return names
    if isinstance(columns, bytes) or not isinstance(columns, Iterable):
        raise TypeError(f"{part} must be a list of column names or a prefix (str), "
                        f"not {type(columns).__name__}")
    names = list(columns)
    missing = [name for name in names if name not in frame.columns]
    if missing:
        raise KeyError(f"{part}: no column {missing[0]!r} in the frame")
    return names


def holds_dicts(frame: "pandas.DataFrame", names: List[Any]) -> bool:
    """Whether `names` is one column of label dicts."""
    if len(names) != 1 or frame[names[0]].dtype != object:
        return False
    return all(isinstance(v, dict) or v is None for v in frame[names[0]])


def labels_from_dicts(values: Iterable[Any]) -> List[Dict[str, float]]:
    """Label lists from a column of dicts (None: no labels in that row)."""
    return [{} if v is None else {name: float(x) for name, x in v.items()} for v in values]


def labels_from_columns(frame: "pandas.DataFrame", names: List[Any],
                        prefix: str) -> List[Dict[str, float]]:
    """Label lists from float columns PREFIXNAME: NaN where a row lacks NAME."""
    values = frame[names].to_numpy(dtype=np.float64)
    present = ~np.isnan(values)
    labels = [name[len(prefix):] for name in names]
    return [{labels[i]: float(values[row, i]) for i in np.flatnonzero(present[row])}
            for row in range(values.shape[0])]


def default_columns(frame: "pandas.DataFrame", prefix: str, rest: str = "[0-9]+") -> List[Any]:
    """to_frame's own columns of a part: PREFIX0, PREFIX1, ... (or PREFIXNAME)."""
    pattern = re.compile(re.escape(prefix) + rest, re.DOTALL)
    return [c for c in frame.columns if isinstance(c, str) and pattern.fullmatch(c)]


def read_part(frame: "pandas.DataFrame", attribute: str, prefix: str,
              label_attribute: Optional[str], columns: Columns) -> Tuple[Any, Any]:
    """(the part's value columns, its label lists or None)."""
    label_prefix = f"{attribute}:"
    if columns is None:
        names = default_columns(frame, prefix)
        if label_attribute is None:
            return names, None
        found = {
            "values": names,
            "label columns": default_columns(frame, label_prefix, ".+"),
            "dicts": [label_attribute] if label_attribute in frame.columns else [],
        }
        given = [kind for kind, found_names in found.items() if found_names]
        if len(given) > 1:
            raise ValueError(f"{attribute}: the frame has both {given[0]} and {given[1]}")
        if given == ["label columns"]:
            return [], labels_from_columns(frame, found["label columns"], label_prefix)
        if given == ["dicts"]:
            return [], labels_from_dicts(frame[label_attribute])
        if not given and frame.attrs.get(ATTRS_KEY, {}).get(label_attribute):
            return [], [{} for _ in range(len(frame))]
        return names, None
    names = select(frame, attribute, columns)
    if label_attribute is not None:
        if isinstance(columns, str) and columns.endswith(":"):
            return [], labels_from_columns(frame, names, columns)
        if names and all(isinstance(n, str) and n.startswith(label_prefix) for n in names):
            return [], labels_from_columns(frame, names, label_prefix)
        if holds_dicts(frame, names):
            return [], labels_from_dicts(frame[names[0]])
    return names, None


def matrix(frame: "pandas.DataFrame", attribute: str, names: List[Any]) -> np.ndarray:
    """The columns `names` as one C-ordered array, filled column by column
    straight from pandas' blocks: the one copy save needs."""
    columns = [frame[name] for name in names]
    if any(column.ndim != 1 for column in columns):
        raise ValueError(f"{attribute}: the frame has more than one column of a name")
    # float32 stays float32 (a frame of a dataset loaded as float32).
    single = bool(names) and all(column.dtype == np.float32 for column in columns)
    values = np.empty((len(frame), len(names)), dtype=np.float32 if single else np.float64)
    for index, column in enumerate(columns):
        try:
            values[:, index] = column.to_numpy(dtype=values.dtype)
        except (TypeError, ValueError) as error:
            raise ValueError(f"{attribute}: column {column.name!r} does not hold numbers: "
                             f"{error}") from None
    return values


def from_frame(frame: "pandas.DataFrame", inputs: Columns = None, expected: Columns = None,
               generated: Columns = None, errors: Columns = None) -> "Dataset":
    """A Dataset from a DataFrame's columns, for mbrk.save.

    Each of ``inputs``, ``expected``, ``generated`` and ``errors`` names its
    columns: a list of column names (in that order; [] for width 0), a prefix
    (a str: every column whose name begins with it, in the frame's order), or
    None for the columns Dataset.to_frame makes (``input_0``, ...). For
    ``expected`` and ``generated``, columns ``expected:NAME`` (or those of a
    prefix ending in ":") give label lists, NaN where a row lacks NAME, and
    one column of dicts gives them as they are. A frame made by to_frame
    gives back the same dataset. Raises KeyError for a column the frame lacks,
    ValueError for columns that are not numbers or a part given both ways,
    ImportError without pandas.
    """
    pandas = pandas_module()
    if not isinstance(frame, pandas.DataFrame):
        raise TypeError(f"frame must be a pandas.DataFrame, not {type(frame).__name__}")
    from . import Dataset  # the package is whole by the time this runs

    given = {"inputs": inputs, "expected": expected, "generated": generated, "errors": errors}
    parts: Dict[str, Any] = {}
    for attribute, prefix, label_attribute in PARTS:
        names, lists = read_part(frame, attribute, prefix, label_attribute, given[attribute])
        parts[attribute] = matrix(frame, attribute, names)
        if label_attribute is not None:
            parts[label_attribute] = lists
    version = frame.attrs.get(ATTRS_KEY, {}).get("format_version")
    return Dataset(parts["inputs"], parts["expected"], parts["generated"], parts["errors"],
                   parts["expected_labels"], parts["generated_labels"], version)
