"""Saves that keep every bit, flat files that read back strictly, and writes
that never tear a file nor land on their own source."""

import os
import resource
import signal

import numpy as np
import pytest

import mbrk


def bits(array):
    """The arrays' values as integers, so NaNs and signed zeros compare too."""
    return np.ascontiguousarray(array, dtype=np.float64).view(np.int64)


def test_save_keeps_every_bit(tmp_path):
    generator = np.random.default_rng(22)
    drawn = generator.integers(0, 2**64, size=4000, dtype=np.uint64).view(np.float64)
    drawn = drawn[np.isfinite(drawn)]
    special = [2.0**53, 2.0**53 + 2, 1 / 3, 0.1, -0.0, 5e-324, 2.2250738585072014e-308,
               1.7976931348623157e308, 123456.25, 1e15 + 0.5, np.inf, -np.inf]
    values = np.concatenate([drawn, special])
    values = values[: values.size // 4 * 4].reshape(-1, 4)
    labels = [{"a": float(v)} for v in values[:, 0]] + []
    mbrk.save(tmp_path / "v.mbrk", values, expected_labels=labels)
    back = mbrk.load(tmp_path / "v.mbrk")
    np.testing.assert_array_equal(bits(back.inputs), bits(values))
    assert [row["a"] for row in back.expected_labels] == [row["a"] for row in labels]


@pytest.mark.parametrize("value, text", [
    (2.0**53, b"9007199254740992 "), (1 / 3, b"0.3333333333333333 "), (0.1, b"0.1 "),
    (1e20, b"1e+20 "), (123456.25, b"123456.25 "),
])
def test_saved_texts_are_fifteen_digits_where_they_suffice(tmp_path, value, text):
    mbrk.save(tmp_path / "v.mbrk", [[value]])
    assert b"\n" + text + b"  \n" in (tmp_path / "v.mbrk").read_bytes()


@pytest.mark.parametrize("value, text", [
    (1e-12, b"[a=1e-12 ]"), (0.5, b"[a=0.500000000 ]"), (1.0, b"[a ]"),
    (1 / 3, b"[a=0.3333333333333333 ]"),
])
def test_label_values_read_back(tmp_path, value, text):
    mbrk.save(tmp_path / "v.mbrk", np.zeros((1, 0)), expected_labels=[{"a": value}])
    assert text in (tmp_path / "v.mbrk").read_bytes()
    assert mbrk.load(tmp_path / "v.mbrk").expected_labels == [{"a": value}]


def test_non_finite_values_cross_the_flat_format(tmp_path):
    values = np.array([[np.inf, -np.inf, np.nan, -np.nan, 1.5]])
    mbrk.save(tmp_path / "v.mbrk", values[:, :3], expected=values[:, 3:])
    mbrk.to_flat(tmp_path / "v.mbrk", tmp_path / "v.flat")
    assert (tmp_path / "v.flat").read_bytes() == b"+INF -INF +NAN -NAN 1.5 \n"
    back = mbrk.read_flat(tmp_path / "v.flat", 1, 3, 2)
    np.testing.assert_array_equal(np.hstack([back.inputs, back.expected]), values)
    assert np.signbit(back.expected[0, 0]) and not np.signbit(back.inputs[0, 2])


@pytest.mark.parametrize("text, shape, message, line, column", [
    (b"1 2 3 \n4 5 \n", (2, 2, 1), "Unexpected end of file", 2, 4),
    (b"1 2 3 \n4 5 6 \n7 \n", (2, 2, 1), "End of file expected", 3, 2),
    (b"1 2 3 \n4 5 \n", (None, 2, 1), "Unexpected end of file", 2, 4),
    (b"1 2 3 \n4 12abc 6 \n", (2, 2, 1), "Token (number) expected", 2, 8),
    (b"1 2 3 \n4 5 NaN \n", (2, 2, 1), "Token (number) expected", 2, 8),
    (b"[DataSet] [Rows = 1] [Inputs = 1] [Data] 1 [~Data] [~DataSet]", (1, 1, 0),
     "Dataset file, not a flat file", 1, 10),
])
def test_read_flat_is_strict(tmp_path, text, shape, message, line, column):
    path = tmp_path / "f.flat"
    path.write_bytes(text)
    with pytest.raises(mbrk.FormatError) as caught:
        mbrk.read_flat(path, *shape)
    error = caught.value
    assert (error.message, error.path, error.line, error.column) == (message, str(path), line,
                                                                     column)


def test_read_flat_without_rows_takes_whole_rows(tmp_path):
    (tmp_path / "f.flat").write_bytes(b"1 2 3\r\n4 5 6 ")
    data = mbrk.read_flat(tmp_path / "f.flat", None, 1, 2)
    np.testing.assert_array_equal(data.expected, [[2, 3], [5, 6]])
    assert mbrk.read_flat(tmp_path / "f.flat", None, 3, 3).rows == 1


def test_read_flat_memory_follows_the_file(tmp_path):
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    assert mbrk.read_flat("/dev/null", 0, 200_000_000, 0).inputs.shape == (0, 200_000_000)
    assert mbrk.read_flat("/dev/null", 200_000_000, 0, 0).rows == 200_000_000
    (tmp_path / "f.flat").write_bytes(b"1 2 3\n")
    with pytest.raises(mbrk.FormatError):
        mbrk.read_flat(tmp_path / "f.flat", 1, 2**31 - 1, 0)
    with pytest.raises(mbrk.FormatError):
        mbrk.read_flat(tmp_path / "f.flat", None, 2**31 - 1, 0)
    grown_kib = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before
    assert grown_kib < 100_000


DATASET = b"[DataSet] [Rows = 2] [Inputs = 1] [Data] 1 2 [~Data] [~DataSet]\n"


@pytest.mark.parametrize("name", ["same", "dot", "soft", "hard"])
def test_to_flat_refuses_its_own_source(tmp_path, name):
    source = tmp_path / "d.mbrk"
    source.write_bytes(DATASET)
    destination = {"same": source, "dot": tmp_path / "." / "d.mbrk",
                   "soft": tmp_path / "soft", "hard": tmp_path / "hard"}[name]
    if name == "soft":
        destination.symlink_to("d.mbrk")
    if name == "hard":
        os.link(source, destination)
    with pytest.raises(ValueError, match="^Source and destination are the same file$"):
        mbrk.to_flat(source, destination)
    assert source.read_bytes() == DATASET


@pytest.mark.parametrize("text", [
    b"[DataSet] [Rows = 2] [GeneratedOutputs = 1] [Data] 5 6 [~Data] [~DataSet]",
    b"[DataSet][Rows = 20000000][Data][~Data][~DataSet]",
])
def test_to_flat_refuses_a_dataset_without_columns(tmp_path, text):
    (tmp_path / "d.mbrk").write_bytes(text)
    with pytest.raises(ValueError, match="^No inputs or expected outputs to convert$"):
        mbrk.to_flat(tmp_path / "d.mbrk", tmp_path / "d.flat")
    assert not (tmp_path / "d.flat").exists()


@pytest.fixture
def small_file_limit():
    """Files may hold 4 KiB: a larger write fails as on a full disk."""
    saved = resource.getrlimit(resource.RLIMIT_FSIZE)
    handler = signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (4096, saved[1]))
    yield
    resource.setrlimit(resource.RLIMIT_FSIZE, saved)
    signal.signal(signal.SIGXFSZ, handler)


@pytest.mark.parametrize("write", ["save", "to_flat"])
def test_a_failed_write_leaves_the_old_file(tmp_path, small_file_limit, write):
    source = tmp_path / "big.mbrk"
    with open(source, "wb") as out:
        out.write(b"[DataSet] [Rows = 1000] [Inputs = 1] [Data] " + b"1.5 " * 1000)
    destination = tmp_path / "old.out"
    destination.write_bytes(b"old\n")
    with pytest.raises(OSError):
        if write == "save":
            mbrk.save(destination, np.full((1000, 1), 1 / 3))
        else:
            with open(source, "ab") as out:
                out.write(b"[~Data] [~DataSet]")
            mbrk.to_flat(source, destination)
    assert destination.read_bytes() == b"old\n"
    assert sorted(p.name for p in tmp_path.iterdir()) == ["big.mbrk", "old.out"]


def test_writes_follow_links_and_keep_permissions(tmp_path):
    (tmp_path / "real.mbrk").write_bytes(b"old")
    os.chmod(tmp_path / "real.mbrk", 0o640)
    (tmp_path / "link.mbrk").symlink_to("real.mbrk")
    mbrk.save(tmp_path / "link.mbrk", [[1.0]])
    assert (tmp_path / "link.mbrk").is_symlink()
    assert mbrk.load(tmp_path / "real.mbrk").inputs.tolist() == [[1.0]]
    assert os.stat(tmp_path / "real.mbrk").st_mode & 0o777 == 0o640
