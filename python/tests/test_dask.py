"""mbrk.dask on a real cluster: a scheduler and two worker processes talking
over loopback TCP, started once for the module. Every wait on the cluster is
bounded; CTest bounds the whole module too.
"""

import os
import pathlib
import subprocess
import sys

import numpy as np
import pandas as pd
import pytest

distributed = pytest.importorskip("distributed")
import mbrk  # noqa: E402
import mbrk.dask  # noqa: E402

WAIT = 120  # seconds any one computation may take before the test fails


@pytest.fixture(scope="module")
def client():
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                       host="127.0.0.1", dashboard_address=None,
                                       scheduler_kwargs={"dashboard": False}, silence_logs=40)
    connection = distributed.Client(cluster, timeout=WAIT)
    yield connection
    connection.close(timeout=30)
    cluster.close(timeout=30)


def compute(client, *collections):
    return [future.result(timeout=WAIT) for future in client.compute(list(collections))]


def shard(path, rows, seed, labels=False):
    """Writes a shard of `rows` rows: two inputs, one error, and either one
    expected output or label lists (names a, b, c by seed)."""
    random = np.random.default_rng(seed)
    inputs = random.normal(size=(rows, 2)) * 10.0 ** random.integers(-5, 5, size=(rows, 2))
    inputs[:1, :1] = -0.0
    errors = random.normal(size=(rows, 1))
    if labels:
        names = "abc"[seed % 2:]
        lists = [{names[i % len(names)]: float(i), "z": 0.5} for i in range(rows)]
        mbrk.save(path, inputs, errors=errors, expected_labels=lists)
    else:
        mbrk.save(path, inputs, random.normal(size=(rows, 1)), errors=errors)
    return path


@pytest.fixture
def shards(tmp_path):
    return [shard(tmp_path / f"s{i}.mbrk", rows, i) for i, rows in enumerate((7, 25, 0, 10))]


def same_bits(a, b):
    return a.shape == b.shape and a.dtype == b.dtype and a.tobytes() == b.tobytes()


def test_arrays_are_the_shards_rows_bit_for_bit(client, shards, tmp_path):
    data = mbrk.dask.read(str(tmp_path / "s*.mbrk"), rows_per_partition=10)
    assert data.paths == [str(p) for p in shards]
    assert [p.rows for p in data.partitions] == [7, 10, 10, 5, 0, 10]
    assert [p.whole for p in data.partitions] == [True, False, False, False, True, True]
    assert data.inputs.chunks == ((7, 10, 10, 5, 0, 10), (2,))
    assert data.expected.chunks[1] == (1,) and data.generated.chunks[1] == (0,)
    loaded = [mbrk.load(p) for p in shards]
    arrays = compute(client, data.inputs, data.expected, data.generated, data.errors)
    for field, array in zip(("inputs", "expected", "generated", "errors"), arrays):
        assert same_bits(array, np.vstack([getattr(d, field) for d in loaded]))
    means = compute(client, data.inputs.mean(axis=0))[0]
    np.testing.assert_allclose(means, np.vstack([d.inputs for d in loaded]).mean(axis=0))


def test_frame_columns_and_label_columns(client, tmp_path):
    paths = [shard(tmp_path / f"l{i}.mbrk", rows, i, labels=True)
             for i, rows in enumerate((4, 3))]
    data = mbrk.dask.read(paths, rows_per_partition=2)
    assert data.npartitions == 4
    names = {"expected": ["a", "z", "b", "c"]}
    frame = data.to_frame(labels=names)
    assert list(frame.columns) == ["input_0", "input_1", "expected:a", "expected:z", "expected:b",
                                   "expected:c", "error_0"]
    assert frame.divisions == (0, 2, 4, 6, 6)
    table = compute(client, frame)[0]
    assert list(table.index) == list(range(7))
    loaded = [mbrk.load(p) for p in paths]
    assert same_bits(table[["input_0", "input_1"]].to_numpy(),
                     np.vstack([d.inputs for d in loaded]))
    lists = [row for d in loaded for row in d.expected_labels]
    for name in names["expected"]:
        want = np.array([row.get(name, np.nan) for row in lists])
        np.testing.assert_array_equal(table[f"expected:{name}"].to_numpy(), want)
    assert data.label_names() == names
    # The same columns and values as the shards' own frames, bit for bit.
    own = pd.concat([d.to_frame() for d in loaded], ignore_index=True)[list(table.columns)]
    assert same_bits(own.to_numpy(), table.to_numpy())


def test_a_broken_shard_is_named_with_line_and_column(client, shards, tmp_path):
    broken = tmp_path / "s1.mbrk"
    text = broken.read_bytes().split(b"\n")
    row = text.index(b"[Data]") + 3
    text[row] = b"1 x " + text[row]
    broken.write_bytes(b"\n".join(text))
    with pytest.raises(mbrk.FormatError) as at_read:
        mbrk.dask.read(shards, rows_per_partition=10)  # split through its index
    data = mbrk.dask.read(shards, rows_per_partition=100)  # one partition: read when computed
    with pytest.raises(mbrk.FormatError) as computed:
        compute(client, data.inputs)
    with pytest.raises(mbrk.FormatError) as loaded:
        mbrk.load(broken)
    for caught in (at_read, computed):
        error = caught.value
        assert (error.path, error.message, error.line, error.column) == (
            str(broken), loaded.value.message, loaded.value.line, loaded.value.column)
        assert (error.line, error.message) == (row + 1, "number-expected")


def test_a_shard_changed_after_reading_is_refused(client, shards):
    data = mbrk.dask.read(shards, rows_per_partition=10)
    with open(shards[1], "ab") as file:
        file.write(b"\n")  # still a sound file, but no longer the one indexed
    with pytest.raises(mbrk.dask.ShardChangedError, match="s1.mbrk"):
        compute(client, data.inputs)


def test_save_then_read_gives_the_same_rows(client, shards, tmp_path):
    data = mbrk.dask.read(shards, rows_per_partition=10)
    out = tmp_path / "out" / "part-*.mbrk"
    written = mbrk.dask.save(data, str(out))
    assert [pathlib.Path(p).name for p in written] == [f"part-0000{i}.mbrk" for i in range(6)]
    assert sorted(os.listdir(tmp_path / "out")) == [pathlib.Path(p).name for p in written]
    again = mbrk.dask.read(str(out), rows_per_partition=10)
    assert again.inputs.chunks == data.inputs.chunks
    for a, b in zip(*[compute(client, d.inputs, d.expected, d.errors) for d in (data, again)]):
        assert same_bits(a, b)
    assert mbrk.load(written[1]).inputs.tobytes() == mbrk.load(shards[1]).inputs[:10].tobytes()

    labelled = mbrk.dask.read(shard(tmp_path / "l.mbrk", 5, 1, labels=True), 3)
    copies = mbrk.dask.save(labelled, str(tmp_path / "lab" / "*.mbrk"))
    assert [mbrk.load(p).expected_labels for p in copies] == [
        mbrk.load(tmp_path / "l.mbrk").expected_labels[a:b] for a, b in ((0, 3), (3, 5))]

    arrays = {"inputs": data.inputs.rechunk(((20, 22, 0), (2,))), "errors": data.errors}
    parts = mbrk.dask.save(arrays, str(tmp_path / "arrays" / "p*.mbrk"))
    assert [mbrk.load(p).rows for p in parts] == [20, 22, 0]
    assert same_bits(np.vstack([mbrk.load(p).errors for p in parts]),
                     compute(client, data.errors)[0])


def test_without_dask_the_import_says_what_is_missing():
    code = "import sys; sys.modules['dask'] = None; import mbrk.dask"
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert result.returncode != 0
    assert "ImportError: mbrk.dask needs Dask" in result.stderr
    assert "python3-dask" in result.stderr


@pytest.mark.parametrize("now, same", [
    ((10, 1, 5, 7, "a"), True),
    ((10, 2, 5, 7, "a"), False),   # another device on the machine that took it
    ((10, 2, 5, 7, "b"), True),    # another machine numbers the shared device its own way
    ((11, 1, 5, 7, "b"), False),
    ((10, 1, 6, 7, "a"), False),
    ((10, 1, 5, 8, "b"), False),
])
def test_identity_compares_devices_only_on_the_same_machine(now, same):
    assert mbrk.dask._unchanged(now, (10, 1, 5, 7, "a")) is same
