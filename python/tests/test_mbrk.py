"""Tests of the Python package mbrk, run by CTest against the build's package.

MBRK_SOURCE_DIR names the repository and MBRKD2FLAT the converter binary.
"""

import os
import pathlib
import pickle
import subprocess
import threading

import numpy as np
import pytest

import mbrk

SOURCE = pathlib.Path(os.environ.get("MBRK_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
SAMPLES = sorted((SOURCE / "samples").glob("*.mbrk"))
CONVERTER = os.environ.get("MBRKD2FLAT")


def converted(source, tmp_path):
    """The converter's flat file for `source`, as bytes."""
    destination = tmp_path / (source.stem + ".flat")
    # A sanitizer runtime preloaded into the interpreter is not for the command.
    environment = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
    subprocess.run([CONVERTER, str(source), str(destination)], check=True, env=environment)
    return destination.read_bytes()


@pytest.mark.skipif(not CONVERTER, reason="MBRKD2FLAT names no converter")
@pytest.mark.parametrize("sample", SAMPLES, ids=lambda p: p.name)
def test_samples_load_to_the_converters_values(sample, tmp_path):
    data = mbrk.load(sample)
    flat = converted(sample, tmp_path)
    written = np.array([[float(v) for v in line.split()] for line in flat.decode().splitlines()])
    values = np.hstack([data.inputs, data.expected]).reshape(written.shape)
    nine_digits = np.vectorize(lambda v: float("%.9g" % v))(values)
    np.testing.assert_array_equal(written, nine_digits)
    for array in (data.inputs, data.expected, data.generated, data.errors):
        assert array.dtype == np.float64 and array.shape[0] == data.rows

    mbrk.to_flat(str(sample), tmp_path / "mine.flat")
    assert (tmp_path / "mine.flat").read_bytes() == flat


def test_label_lists_are_dicts_in_the_files_order():
    iris = mbrk.load(SOURCE / "samples" / "iris-labels.mbrk")
    assert iris.expected.shape == (6, 0) and iris.generated_labels is None
    assert iris.expected_labels[0] == {"setosa": 1.0}
    assert list(iris.expected_labels[5].items()) == [("virginica", 0.75), ("versicolor", 0.25)]
    assert iris.format_version == 1.0
    run = mbrk.load(os.fsencode(SOURCE / "samples" / "model-run.mbrk"))
    assert run.expected_labels is None and run.errors[4, 0] == -0.0002


def test_arrays_own_the_values_without_a_copy():
    data = mbrk.load(SOURCE / "samples" / "sensors.mbrk")
    assert not data.inputs.flags["OWNDATA"] and data.inputs.base is not None
    assert data.inputs.flags["C_CONTIGUOUS"] and data.inputs.flags["WRITEABLE"]
    inputs = data.inputs
    del data
    assert inputs[0, 0] == 18.25  # the array keeps its values alive


@pytest.mark.parametrize("text, message, line, column, offset", [
    ("[DataSet]\n[Rows = many]\n", "integer-expected", 2, 14, 23),
    ("[DataSet]\r\n[Rows=1][Inputs=2]\r\n[Data]\r\n1 x2\r\n[~Data][~DataSet]",
     "number-expected", 4, 5, 43),
    ("[Model]", "[DATASET] expected", 1, 8, 7),
])
def test_a_broken_file_says_where(tmp_path, text, message, line, column, offset):
    path = tmp_path / "broken.mbrk"
    path.write_bytes(text.encode())
    with pytest.raises(mbrk.FormatError) as caught:
        mbrk.load(path)
    error = caught.value
    assert isinstance(error, ValueError)
    assert (error.message, error.line, error.column, error.offset) == (message, line, column, offset)
    assert error.path == str(path)
    assert str(error) == f"{path}:{line}:{column}: {message}"
    again = pickle.loads(pickle.dumps(error))
    assert str(again) == str(error) and again.offset == offset


def test_any_thread_count_reads_the_same(tmp_path):
    rng = np.random.default_rng(4)
    values = np.round(rng.uniform(-1000, 1000, (40000, 6)), 3)
    rows = "\n".join(" ".join(f"{v:g}" for v in row) for row in values)
    text = f"[DataSet] [Rows = 40000] [Inputs = 5] [ExpectedOutputs = 1] [Data]\n{rows}\n"
    path = tmp_path / "large.mbrk"
    path.write_text(text + "[~Data] [~DataSet]\n")
    alone = mbrk.load(path, threads=1)
    assert np.array_equal(alone.inputs, values[:, :5]) and np.array_equal(alone.expected, values[:, 5:])
    for threads in (None, 2, 3):
        data = mbrk.load(path, threads=threads)
        assert np.array_equal(data.inputs, alone.inputs)
        assert np.array_equal(data.expected, alone.expected)
    path.write_text(text[:-40] + " x [~Data] [~DataSet]\n")
    errors = []
    for threads in (1, None):
        with pytest.raises(mbrk.FormatError) as caught:
            mbrk.load(path, threads=threads)
        errors.append(str(caught.value) + f" @{caught.value.offset}")
    assert errors[0] == errors[1] and "number-expected" in errors[0]
    for wrong in (0, -1, True, 1.5, "2"):
        with pytest.raises(ValueError):
            mbrk.load(path, threads=wrong)


def test_files_that_cannot_be_had(tmp_path):
    with pytest.raises(FileNotFoundError) as caught:
        mbrk.load(tmp_path / "missing.mbrk")
    assert caught.value.filename == str(tmp_path / "missing.mbrk")
    for call in (mbrk.load, mbrk.probe, lambda p: mbrk.to_flat(p, tmp_path / "x.flat"),
                 lambda p: mbrk.save(p, np.zeros((1, 1)))):
        with pytest.raises(IsADirectoryError):
            call(tmp_path)
    with pytest.raises(FileNotFoundError):
        mbrk.windows(tmp_path / "missing.mbrk")
    with pytest.raises(FileNotFoundError):
        mbrk.save(tmp_path / "no" / "such.mbrk", np.zeros((1, 1)))


def test_a_file_that_may_not_be_written(tmp_path):
    if os.geteuid() != 0:
        locked = tmp_path / "locked"
        locked.mkdir(mode=0o500)
        target = locked / "x.mbrk"
    else:
        target = pathlib.Path("/sys/kernel/notes")  # not even root writes it
        try:
            open(target, "wb").close()
            pytest.skip("no file here refuses a write")
        except PermissionError:
            pass
        except OSError:
            pytest.skip("no file here refuses a write")
    with pytest.raises(PermissionError):
        mbrk.save(target, np.zeros((1, 1)))


def test_every_hostile_file_loads_or_raises_format_error():
    files = sorted((SOURCE / "tests" / "hostile").glob("*.mbrk"))
    assert len(files) > 50
    for path in files:
        try:
            mbrk.load(path)
            assert path.name.startswith(("ok-", "nothing-")), path
        except mbrk.FormatError as error:
            expected = path.with_suffix(".expect").read_text().strip()
            assert error.message == expected, path


def load_or_message(path):
    try:
        return mbrk.load(path)
    except mbrk.FormatError as error:
        return error.message


@pytest.mark.parametrize("source", [SOURCE / "samples" / "iris-labels.mbrk"] + sorted(
    (SOURCE / "tests" / "hostile").glob("pipe-absurd-*.mbrk")), ids=lambda p: p.name)
def test_a_named_pipe_loads_as_its_file(tmp_path, source):
    fifo = tmp_path / "pipe"
    os.mkfifo(fifo)

    def write():
        with open(fifo, "wb", buffering=0) as end:
            try:
                end.write(source.read_bytes())
            except BrokenPipeError:
                pass

    writer = threading.Thread(target=write)
    writer.start()
    piped = load_or_message(fifo)
    writer.join(timeout=60)
    by_name = load_or_message(source)
    if isinstance(by_name, str):
        assert piped == by_name == "Unexpected end of file"
    else:
        np.testing.assert_array_equal(piped.inputs, by_name.inputs)
        assert piped.expected_labels == by_name.expected_labels


def test_windows_read_the_rows_in_turn():
    path = SOURCE / "samples" / "iris-labels.mbrk"
    whole = mbrk.load(path)
    parts = list(mbrk.windows(path, rows=4))
    assert [p.rows for p in parts] == [4, 2]
    np.testing.assert_array_equal(np.vstack([p.inputs for p in parts]), whole.inputs)
    assert parts[0].expected_labels + parts[1].expected_labels == whole.expected_labels
    with pytest.raises(ValueError):
        mbrk.windows(path, rows=0)


def test_probe_gives_the_header():
    assert mbrk.probe(SOURCE / "samples" / "iris-labels.mbrk") == {
        "rows": 6, "inputs": 4, "expected": 0, "generated": 0, "errors": 0,
        "expected_labels": True, "generated_labels": False, "format_version": 1.0}


def test_save_writes_what_load_reads(tmp_path):
    inputs = np.array([[0.5, -2.0], [1e20, 3.25]])
    generated = [[1.0], [2.0]]
    labels = [{"a": 1.0, "b": 0.5}, [("c", 2.0)]]
    mbrk.save(tmp_path / "a.mbrk", inputs, generated=generated, expected_labels=labels)
    back = mbrk.load(tmp_path / "a.mbrk")
    np.testing.assert_array_equal(back.inputs, inputs)
    np.testing.assert_array_equal(back.generated, generated)
    assert back.expected_labels == [{"a": 1.0, "b": 0.5}, {"c": 2.0}]
    assert back.errors.shape == (2, 0)

    mbrk.save(tmp_path / "b.mbrk", back)
    assert (tmp_path / "b.mbrk").read_bytes() == (tmp_path / "a.mbrk").read_bytes()


@pytest.mark.parametrize("arguments", [
    dict(inputs=np.zeros((2, 1)), expected=np.zeros((3, 1))),
    dict(inputs=np.zeros(3)),
    dict(inputs=np.zeros((1, 1)), expected_labels=[{"two words": 1.0}]),
    dict(inputs=np.zeros((1, 1)), expected=np.zeros((1, 1)), expected_labels=[{}]),
    dict(inputs=np.zeros((1, 1)), expected_labels=[{1: 1.0}]),
    dict(),
])
def test_save_refuses_what_the_format_cannot_hold(tmp_path, arguments):
    with pytest.raises(ValueError):
        mbrk.save(tmp_path / "x.mbrk", **arguments)
    assert not (tmp_path / "x.mbrk").exists()


def test_read_flat_reads_the_flat_format(tmp_path):
    (tmp_path / "a.flat").write_text("1 2 3 \n4 5 6 \n")
    data = mbrk.read_flat(tmp_path / "a.flat", 2, 2, 1)
    np.testing.assert_array_equal(data.inputs, [[1, 2], [4, 5]])
    np.testing.assert_array_equal(data.expected, [[3], [6]])
    with pytest.raises(ValueError):
        mbrk.read_flat(tmp_path / "a.flat", -1, 1, 1)


def test_files_are_read_and_written_without_the_interpreters_lock(tmp_path):
    # A FIFO opens only once both ends are open: the reader (or writer) in
    # the other thread waits inside mbrk, and only a released lock lets this
    # thread open the other end and go on.
    fifo = tmp_path / "pipe"
    os.mkfifo(fifo)
    sample = (SOURCE / "samples" / "sensors.mbrk").read_bytes()
    outcome = {}

    def load():
        outcome["data"] = mbrk.load(fifo)

    reader = threading.Thread(target=load)
    reader.start()
    with open(fifo, "wb") as end:
        end.write(sample)
    reader.join(timeout=60)
    assert not reader.is_alive() and outcome["data"].rows == 12

    writer = threading.Thread(target=lambda: mbrk.save(fifo, outcome["data"]))
    writer.start()
    with open(fifo, "rb") as end:
        written = end.read()
    writer.join(timeout=60)
    assert not writer.is_alive() and written.startswith(b"[FormatVersion = 1.0]")
