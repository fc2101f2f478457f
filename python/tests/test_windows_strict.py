"""Windows that give load's rows or load's error and hold their file; strict
reading of numbers."""

import errno
import os

import numpy as np
import pytest

import mbrk

HEADER = "[DataSet] [Rows = 2] [Inputs = 2] [Data] "


def outcome(read):
    """The rows of a read joined, or its error as (message, line, column)."""
    try:
        parts = read()
        return np.vstack([p.inputs for p in parts]).tolist(), [
            row for p in parts for row in (p.expected_labels or [])]
    except mbrk.FormatError as error:
        return error.message, error.line, error.column


@pytest.mark.parametrize("text", [
    HEADER + "1 2 3 4 [~Data] [~DataSet]",
    HEADER + "1 2 3 4 5 [~Data] [~DataSet]",
    HEADER + "1 2 3 4",
    HEADER + "1 2 3 4 [~Data] [~DataSet] more",
    "[DataSet] [Rows = 1] [ExpectedOutputs = Labels] [Data] [FormatVersion = 1] [~Data] [~DataSet]",
    "[DataSet] [Rows = 1] [ExpectedOutputs = Labels] [Data] [~Data] [~Data] [~DataSet]",
    "[DataSet] [Rows = 2] [ExpectedOutputs = Labels] [Data] [a] [~Data] [~DataSet]",
])
def test_every_window_size_gives_what_load_gives(tmp_path, text):
    path = tmp_path / "w.mbrk"
    path.write_text(text)
    whole = outcome(lambda: [mbrk.load(path)])
    for rows in (1, 2, 3):
        assert outcome(lambda: list(mbrk.windows(path, rows=rows))) == whole, rows


def test_the_issue_examples_raise_loads_error(tmp_path):
    path = tmp_path / "w.mbrk"
    path.write_text(HEADER + "1 2 3 4 5 [~Data] [~DataSet]")
    with pytest.raises(mbrk.FormatError, match="End Tag expected"):
        list(mbrk.windows(path, rows=1))
    path.write_text("[DataSet] [Rows = 1] [ExpectedOutputs = Labels] [Data] [~Data] [~Data] "
                    "[~DataSet]")
    assert [p.expected_labels for p in mbrk.windows(path, rows=1)] == [[{"~Data": 1.0}]]


def rewrite_in_place(path, text):
    with open(path, "r+b") as file:
        file.write(text.encode())
    later = os.stat(path).st_mtime + 60
    os.utime(path, (later, later))


def replace(path, text):
    (path.parent / "new").write_text(text)
    os.replace(path.parent / "new", path)


@pytest.mark.parametrize("change", [rewrite_in_place, replace])
def test_a_file_changed_between_windows_is_refused(tmp_path, change):
    path = tmp_path / "w.mbrk"
    text = "[DataSet] [Rows = 2] [Inputs = 3] [Data]\n123456.25 7 7\n8 8 8\n[~Data] [~DataSet]\n"
    path.write_text(text)
    it = mbrk.windows(path, rows=1)
    assert next(it).inputs.tolist() == [[123456.25, 7, 7]]
    change(path, text.replace("123456.25 7 7", "7 7 123456.25"))
    with pytest.raises(OSError) as raised:
        next(it)
    assert raised.value.errno == errno.ESTALE and "changed" in str(raised.value)


def test_the_file_is_held_open_across_windows(tmp_path):
    path = tmp_path / "w.mbrk"
    path.write_text(HEADER + "1 2 3 4 [~Data] [~DataSet]")
    it = mbrk.windows(path, rows=1)
    next(it)
    held = [os.readlink(f"/proc/self/fd/{fd}") for fd in os.listdir("/proc/self/fd")
            if os.path.islink(f"/proc/self/fd/{fd}")]
    assert os.path.realpath(path) in held
    assert [w.inputs.tolist() for w in it] == [[[3, 4]]]


@pytest.mark.parametrize("data, message, line, column", [
    ("1 2\n3 12abc", "number-expected", 2, 8),
    ("1 2\n18.9x 4", "number-expected", 2, 6),
    ("1 2\n3\u00a04", "Unexpected non-ASCII byte", 2, 3),
])
def test_strict_reading_refuses_what_lenient_reading_takes(tmp_path, data, message, line,
                                                           column):
    path = tmp_path / "s.mbrk"
    path.write_bytes((HEADER + data + " [~Data] [~DataSet]").encode("latin-1"))
    mbrk.load(path)
    for read in (lambda: mbrk.load(path, strict=True),
                 lambda: mbrk.load(path, strict=True, threads=2),
                 lambda: mbrk.load(path, strict=True, dtype=np.float32),
                 lambda: list(mbrk.windows(path, rows=1, strict=True))):
        with pytest.raises(mbrk.FormatError) as raised:
            read()
        assert (raised.value.message, raised.value.line, raised.value.column) == (
            message, line, column)


def test_strict_labels_and_probe(tmp_path):
    path = tmp_path / "s.mbrk"
    path.write_bytes("[DataSet] [Rows = 1] [ExpectedOutputs = Labels] [Data] [Zürich=2] "
                     "[~Data] [~DataSet]".encode())
    assert mbrk.load(path).expected_labels == [{"Z": 1.0, "rich": 2.0}]
    with pytest.raises(mbrk.FormatError, match="non-ASCII"):
        mbrk.load(path, strict=True)
    path.write_text("[DataSet] [Rows = 2x] [Inputs = 1] [Data] 1 2 [~Data] [~DataSet]")
    assert mbrk.probe(path)["rows"] == 2
    with pytest.raises(mbrk.FormatError, match="integer-expected"):
        mbrk.probe(path, strict=True)
