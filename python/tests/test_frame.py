"""DataFrames both ways, float32 loads, equality and the notebook table."""

import os
import pathlib
import subprocess
import sys
import tracemalloc
import typing
import warnings

import numpy as np
import pandas as pd
import pytest

import mbrk

SOURCE = pathlib.Path(os.environ.get("MBRK_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
SAMPLES = sorted((SOURCE / "samples").glob("*.mbrk"))
IRIS = SOURCE / "samples" / "iris-labels.mbrk"


def dataset(rows=3, widths=(2, 1, 0, 1), expected_labels=None, generated_labels=None):
    parts = [np.arange(rows * w, dtype=np.float64).reshape(rows, w) / 4 for w in widths]
    return mbrk.Dataset(*parts, expected_labels, generated_labels)


@pytest.mark.parametrize("sample", SAMPLES, ids=lambda p: p.name)
@pytest.mark.parametrize("labels", ["columns", "dicts"])
def test_every_sample_goes_to_a_frame_and_back_to_the_same_file(sample, labels, tmp_path):
    data = mbrk.load(sample)
    back = mbrk.from_frame(data.to_frame(labels=labels))
    assert back == data and back.format_version == data.format_version
    mbrk.save(tmp_path / "a.mbrk", data)
    mbrk.save(tmp_path / "b.mbrk", back)
    if labels == "dicts":  # each row's labels keep their order only as dicts
        assert (tmp_path / "a.mbrk").read_bytes() == (tmp_path / "b.mbrk").read_bytes()


@pytest.mark.parametrize("labels, columns, row5", [
    ("columns", ["input_0", "input_1", "input_2", "input_3", "expected:setosa",
                 "expected:versicolor", "expected:virginica"],
     [5.8, 2.7, 5.1, 1.9, np.nan, 0.25, 0.75]),
    ("dicts", ["input_0", "input_1", "input_2", "input_3", "expected_labels"],
     [5.8, 2.7, 5.1, 1.9, {"virginica": 0.75, "versicolor": 0.25}]),
])
def test_frame_columns(labels, columns, row5):
    frame = mbrk.load(IRIS).to_frame(labels=labels)
    assert list(frame.columns) == columns and len(frame) == 6
    got = frame.iloc[5].tolist()
    assert got[:4] == row5[:4] and (got[4] == row5[4] or np.isnan(got[4]) and np.isnan(row5[4]))
    assert got[5:] == row5[5:]


def test_widths_of_zero_give_no_columns_and_every_part_its_name():
    frame = dataset(widths=(1, 0, 2, 1), expected_labels=[{"a": 1.0}, {}, {"b": 2.0, "a": 3.0}],
                    ).to_frame()
    assert list(frame.columns) == ["input_0", "expected:a", "expected:b", "generated_0",
                                   "generated_1", "error_0"]
    np.testing.assert_array_equal(frame["expected:a"], [1.0, np.nan, 3.0])
    assert list(dataset(widths=(0, 0, 0, 0)).to_frame().columns) == []


def test_the_numbers_are_copied_once_each_way():
    data = dataset(rows=200_000, widths=(8, 2, 0, 0))
    size = 200_000 * 10 * 8
    tracemalloc.start()
    frame = data.to_frame()
    to_frame_peak = tracemalloc.get_traced_memory()[1]
    tracemalloc.reset_peak()
    back = mbrk.from_frame(frame)
    from_frame_peak = tracemalloc.get_traced_memory()[1] - size
    tracemalloc.stop()
    assert to_frame_peak < 1.1 * size and from_frame_peak < 1.1 * size
    assert frame.shape == (200_000, 10) and frame.dtypes.unique().tolist() == [np.float64]
    assert back == data


@pytest.mark.parametrize("arguments, inputs, expected, labels", [
    (dict(inputs=["a", "b"], expected=["y"]), [[1, 2], [3, 4]], [[5], [6]], None),
    (dict(inputs="x_", expected=[]), [[7, 8], [9, 10]], np.zeros((2, 0)), None),
    (dict(inputs=["b"], expected="class:"), [[2], [4]], np.zeros((2, 0)),
     [{"cat": 1.0}, {"dog": 0.5}]),
    (dict(inputs=["a"], expected=["tags"]), [[1], [3]], np.zeros((2, 0)), [{"t": 1.0}, {}]),
])
def test_from_frame_takes_names_or_a_prefix(arguments, inputs, expected, labels):
    frame = pd.DataFrame({"a": [1, 3], "b": [2.0, 4.0], "y": [5, 6], "x_1": [7, 9], "x_2": [8, 10],
                          "class:cat": [1.0, np.nan], "class:dog": [np.nan, 0.5],
                          "tags": [{"t": 1}, None], "note": ["p", "q"]})
    data = mbrk.from_frame(frame, **arguments)
    np.testing.assert_array_equal(data.inputs, inputs)
    np.testing.assert_array_equal(data.expected, expected)
    assert data.expected_labels == labels and data.generated.shape == (2, 0)
    assert data.inputs.dtype == np.float64 and data.inputs.flags["C_CONTIGUOUS"]


@pytest.mark.parametrize("arguments, error", [
    (dict(inputs=["missing"]), KeyError),
    (dict(inputs="x_"), KeyError),
    (dict(inputs=["note"]), ValueError),
    (dict(inputs=3), TypeError),
])
def test_from_frame_refuses(arguments, error):
    frame = pd.DataFrame({"a": [1.0], "note": ["text"]})
    with pytest.raises(error):
        mbrk.from_frame(frame, **arguments)
    both = pd.DataFrame({"expected_0": [1.0], "expected:a": [2.0]})
    with pytest.raises(ValueError):
        mbrk.from_frame(both)
    with pytest.raises(TypeError):
        mbrk.from_frame({"a": [1.0]})
    with pytest.raises(ValueError):
        dataset().to_frame(labels="rows")


def test_without_pandas_a_clear_import_error():
    code = ("import sys; sys.modules['pandas'] = None; import mbrk\n"
            "d = mbrk.Dataset(*[mbrk.np.zeros((1, 1))] * 4)\n"
            "try:\n    d.to_frame()\nexcept ImportError as e:\n    print(e)\n")
    said = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert said.stdout == "mbrk needs pandas for DataFrames (Debian: python3-pandas; pip: pandas)\n"


def test_float32_loads_round_the_exact_values(tmp_path):
    values = [[0.1, 1e-40, 3.4028234e38], [16777217.0, -2.5, 1 / 3]]
    text = "[DataSet][Rows=2][Inputs=2][ExpectedOutputs=1][Data]\n" + "\n".join(
        " ".join(repr(v) for v in row) for row in values) + "\n[~Data][~DataSet]\n"
    path = tmp_path / "a.mbrk"
    path.write_text(text)
    expected = np.array(values, dtype=np.float64).astype(np.float32)
    for data in [mbrk.load(path, dtype=np.float32), mbrk.load(path, dtype="float32"),
                 next(mbrk.windows(path, dtype=np.float32))]:
        assert data.inputs.dtype == data.expected.dtype == data.errors.dtype == np.float32
        np.testing.assert_array_equal(np.hstack([data.inputs, data.expected]), expected)
    labelled = mbrk.load(IRIS, dtype=np.float32)
    assert labelled.expected_labels == mbrk.load(IRIS).expected_labels
    path.write_text(text.replace("[~DataSet]", "[~Data]"))
    with pytest.raises(mbrk.FormatError) as as_float64:
        mbrk.load(path)
    with pytest.raises(mbrk.FormatError) as as_float32:
        mbrk.load(path, dtype=np.float32)
    assert str(as_float32.value) == str(as_float64.value)
    assert as_float32.value.offset == as_float64.value.offset
    for wrong in (np.int32, np.float16, "text"):
        with pytest.raises(ValueError):
            mbrk.load(path, dtype=wrong)


def test_float32_windows_round_beyond_float_range_as_load_does_and_silently():
    extremes = SOURCE / "samples" / "extremes.mbrk"
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        windows = list(mbrk.windows(extremes, rows=3, dtype=np.float32))
    whole = mbrk.load(extremes, dtype=np.float32)
    assert np.vstack([w.inputs for w in windows]).tobytes() == whole.inputs.tobytes()


@pytest.mark.parametrize("change, equal", [
    (lambda d: None, True),
    (lambda d: d.inputs.__setitem__((0, 0), np.nan), False),
    (lambda d: d.errors.__setitem__((1, 0), -1.0), False),
    (lambda d: d.expected_labels[1].__setitem__("b", 2.0), False),
    (lambda d: d.expected_labels.__setitem__(0, {"a": 1.0}), False),
    (lambda d: setattr(d, "format_version", 2.0), True),
])
def test_equality_compares_values_and_labels(change, equal):
    def make():
        data = dataset(rows=2, widths=(2, 0, 0, 1), expected_labels=[{"a": np.nan}, {"b": 1.0}])
        data.inputs[1, 1] = np.nan
        return data

    data = make()
    change(data)
    assert (data == make()) is equal and (data != make()) is not equal
    assert data != "not a dataset"
    with pytest.raises(TypeError):
        hash(data)


def test_the_notebook_table_shows_the_shape_and_first_rows():
    data = dataset(rows=12, widths=(1, 0, 0, 0), expected_labels=[{"a<b": 0.5}] + [{}] * 11)
    shown = data._repr_html_()
    assert shown.startswith("<div><p><b>mbrk.Dataset</b>: 12 rows &times; 2 columns</p>")
    assert "<th>input_0</th><th>expected:a&lt;b</th>" in shown
    assert "<tr><th>0</th><td>0</td><td>0.5</td></tr>" in shown
    assert "<tr><th>9</th><td>2.25</td><td>NaN</td></tr>" in shown
    assert "<th>10</th>" not in shown and "<tr><th>...</th>" in shown


def test_probe_is_typed():
    shape = mbrk.probe(IRIS)
    assert set(shape) == set(mbrk.DatasetShape.__annotations__)
    assert mbrk.Dataset.__annotations__["inputs"] == \
        typing.Union[np.typing.NDArray[np.float64], np.typing.NDArray[np.float32]]
