"""mbrk.index and windows() that start anywhere, against reading window after
window from the first row."""

import numpy as np
import pytest

import mbrk


@pytest.fixture
def sample(tmp_path):
    path = tmp_path / "rows.mbrk"
    inputs = np.arange(46.0).reshape(23, 2)
    mbrk.save(path, inputs, expected_labels=[{"a": float(i)} for i in range(23)])
    return path


def test_offsets_are_those_of_windows_read_one_after_another(sample):
    index = mbrk.index(sample, every=5, threads=2)
    assert (index.rows, index.every, len(index)) == (23, 5, 5)
    assert index.offsets.dtype == np.int64
    raw = bytes(sample.read_bytes())
    data = raw.index(b"[Data]") + len(b"[Data]")
    # Row 4 ends with its label list's "]", before the line end.
    assert index.offsets[1] == raw.index(b" \n10 11", data) - data
    offsets = [0]
    for _ in range(4):
        offsets.append(mbrk._mbrk.window(bytes(sample), str(sample), offsets[-1], 5)[1])
    assert list(index.offsets) == offsets
    assert index.end_offset == raw.index(b" \n[~Data]") - data
    assert repr(index) == "<mbrk.RowIndex rows=23, every=5, offsets=5>"


@pytest.mark.parametrize("start, rows, every", [(0, 4, None), (7, 4, None), (7, 4, 3),
                                                (22, 10, 5), (23, 4, None), (30, 4, 5)])
def test_windows_start_anywhere(sample, start, rows, every):
    whole = mbrk.load(sample)
    index = mbrk.index(sample, every) if every else None
    got = list(mbrk.windows(sample, rows, start=start, index=index))
    assert [w.rows for w in got] == [min(rows, 23 - s) for s in range(start, 23, rows)]
    if got:
        np.testing.assert_array_equal(np.vstack([w.inputs for w in got]), whole.inputs[start:])
        assert got[0].expected_labels[0] == whole.expected_labels[start]


def test_a_broken_file_gives_loads_error(tmp_path):
    path = tmp_path / "broken.mbrk"
    path.write_bytes(b"[DataSet][Rows=3][Inputs=1][Data]\n1\n2 3 4\n[~Data][~DataSet]\n")
    with pytest.raises(mbrk.FormatError) as indexed:
        mbrk.index(path, every=1)
    with pytest.raises(mbrk.FormatError) as loaded:
        mbrk.load(path)
    assert str(indexed.value) == str(loaded.value) == f"{path}:3:6: End Tag expected"


@pytest.mark.parametrize("every", [0, -1, 1.5, True])
def test_a_step_below_one_is_refused(sample, every):
    with pytest.raises(ValueError):
        mbrk.index(sample, every)


def test_strict_indexing_refuses_what_strict_loading_refuses(tmp_path):
    path = tmp_path / "lenient.mbrk"
    path.write_bytes(b"[DataSet][Rows=2][Inputs=1][Data]\n1\n12abc\n[~Data][~DataSet]\n")
    assert list(mbrk.index(path, every=1).offsets) == [0, 3]
    with pytest.raises(mbrk.FormatError) as indexed:
        mbrk.index(path, every=1, strict=True)
    with pytest.raises(mbrk.FormatError) as loaded:
        mbrk.load(path, strict=True)
    assert str(indexed.value) == str(loaded.value)
