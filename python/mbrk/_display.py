"""Comparing datasets, and showing one as a table in a notebook."""

import html
import math
from typing import TYPE_CHECKING, Any, Dict, List, Optional

import numpy as np

from ._frame import column_layout

if TYPE_CHECKING:  # pragma: no cover
    from . import Dataset

MATRICES = ("inputs", "expected", "generated", "errors")
LABELS = ("expected_labels", "generated_labels")
SHOWN_ROWS = 10  # the first rows a notebook shows


def same_number(a: float, b: float) -> bool:
    """a == b, NaN equal to NaN."""
    return a == b or (math.isnan(a) and math.isnan(b))


def same_labels(a: Optional[List[Dict[str, float]]], b: Optional[List[Dict[str, float]]]) -> bool:
    """The same label lists: row by row the same names with the same values."""
    if a is None or b is None:
        return a is b
    if len(a) != len(b):
        return False
    for left, right in zip(a, b):
        if left.keys() != right.keys():
            return False
        if not all(same_number(float(value), float(right[name])) for name, value in left.items()):
            return False
    return True


def equal(a: "Dataset", b: "Dataset") -> bool:
    """The same values in the same shapes (NaN equal to NaN) and the same labels."""
    for name in MATRICES:
        left, right = getattr(a, name), getattr(b, name)
        if left.shape != right.shape or not np.array_equal(left, right, equal_nan=True):
            return False
    return all(same_labels(getattr(a, name), getattr(b, name)) for name in LABELS)


def cell(dataset: "Dataset", row: int, source: Any) -> str:
    """One cell's text: a number as a DataFrame prints it, a label list as a dict."""
    if source[0] == "matrix":
        return f"{getattr(dataset, source[1])[row, source[2]]:.6g}"
    labels = getattr(dataset, source[1])[row]
    if source[0] == "label":
        return f"{labels[source[2]]:.6g}" if source[2] in labels else "NaN"
    return html.escape(repr(labels))


def to_html(dataset: "Dataset") -> str:
    """The shape and the first rows as an HTML table, in the form a notebook
    gives a DataFrame: label lists as columns, NaN where a row lacks one."""
    layout = column_layout(dataset, "columns")
    head = "".join(f"<th>{html.escape(name)}</th>" for name, _ in layout)
    body = []
    for row in range(min(dataset.rows, SHOWN_ROWS)):
        cells = "".join(f"<td>{cell(dataset, row, source)}</td>" for _, source in layout)
        body.append(f"<tr><th>{row}</th>{cells}</tr>")
    if dataset.rows > SHOWN_ROWS:
        more = "".join("<td>...</td>" for _ in layout)
        body.append(f"<tr><th>...</th>{more}</tr>")
    version = "" if dataset.format_version is None else f", format version {dataset.format_version}"
    return (f"<div><p><b>mbrk.Dataset</b>: {dataset.rows} rows &times; {len(layout)} columns"
            f"{version}</p>\n<table border=\"1\" class=\"dataframe\">\n"
            f"<thead><tr style=\"text-align: right;\"><th></th>{head}</tr></thead>\n"
            f"<tbody>\n{chr(10).join(body)}\n</tbody>\n</table></div>")
