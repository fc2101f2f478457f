"""Compressed dataset files and binary file objects, through the package.

MBRK_SOURCE_DIR names the repository and MBRKD2FLAT the converter binary.
"""

import gzip
import io
import lzma
import os
import pathlib
import subprocess

import numpy as np
import pytest

import mbrk

SOURCE = pathlib.Path(os.environ.get("MBRK_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
SAMPLES = sorted((SOURCE / "samples").glob("*.mbrk"))
CONVERTER = os.environ.get("MBRKD2FLAT")
# The compressors' own tools, and the suffix each one writes.
TOOLS = {"gzip": ("gzip", ".gz"), "xz": ("xz", ".xz"), "zstd": ("zstd", ".zst")}
# A sanitizer runtime preloaded into the interpreter is not for the programs run.
PLAIN_ENV = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}


def same(a, b):
    """Two Datasets hold the same values (NaN equal to NaN) and labels."""
    for name in ("inputs", "expected", "generated", "errors"):
        np.testing.assert_array_equal(getattr(a, name), getattr(b, name))
    assert a.expected_labels == b.expected_labels
    assert a.generated_labels == b.generated_labels
    return True


def packed(tool, path, destination):
    """`path` compressed by the tool itself into `destination` (any name)."""
    destination.write_bytes(subprocess.run([tool, "-c", str(path)], check=True,
                                           stdout=subprocess.PIPE, env=PLAIN_ENV).stdout)
    return destination


@pytest.mark.parametrize("codec", sorted(TOOLS))
@pytest.mark.parametrize("sample", SAMPLES, ids=lambda p: p.name)
def test_every_reader_reads_a_compressed_file_as_its_text(tmp_path, codec, sample):
    plain = mbrk.load(sample)
    # Told by the first bytes: the name says nothing.
    path = packed(TOOLS[codec][0], sample, tmp_path / "data.mbrk")
    assert same(mbrk.load(path), plain)
    assert same(mbrk.load(path, threads=1), plain)
    assert mbrk.probe(path) == mbrk.probe(sample)
    assert same(next(iter(mbrk.windows(path, rows=100))), plain)
    with open(path, "rb") as stream:
        assert same(mbrk.load(stream), plain)
    mbrk.to_flat(sample, tmp_path / "plain.flat")
    mbrk.to_flat(path, tmp_path / "packed.flat")
    assert (tmp_path / "packed.flat").read_bytes() == (tmp_path / "plain.flat").read_bytes()
    if CONVERTER:
        subprocess.run([CONVERTER, str(path), str(tmp_path / "command.flat")], check=True,
                       env=PLAIN_ENV)
        assert (tmp_path / "command.flat").read_bytes() == (tmp_path / "plain.flat").read_bytes()


def big_text(rows=20000):
    """A dataset text of a few hundred kilobytes."""
    numbers = np.arange(rows * 3, dtype=np.float64).reshape(rows, 3) / 8
    lines = "\n".join(" ".join(repr(float(v)) for v in row) for row in numbers)
    return (f"[DataSet] [Rows = {rows}] [Inputs = 2] [ExpectedOutputs = 1] [Data]\n"
            f"{lines}\n[~Data] [~DataSet]\n").encode(), numbers


@pytest.mark.parametrize("codec", sorted(TOOLS))
def test_damaged_streams_raise_format_error_naming_the_compression(tmp_path, codec):
    text, _ = big_text()
    source = tmp_path / "plain.mbrk"
    source.write_bytes(text)
    whole = packed(TOOLS[codec][0], source, tmp_path / "whole").read_bytes()
    flipped = bytearray(whole)
    flipped[-10] ^= 0x40
    for damaged in (whole[:len(whole) // 2], whole[:-1], bytes(flipped)):
        path = tmp_path / "damaged.mbrk"
        path.write_bytes(damaged)
        with pytest.raises(mbrk.FormatError, match=f": Damaged {codec} stream \\("):
            mbrk.load(path)
        with pytest.raises(mbrk.FormatError, match=f": Damaged {codec} stream \\("):
            mbrk.load(io.BytesIO(damaged))
        if CONVERTER:
            run = subprocess.run([CONVERTER, str(path), str(tmp_path / "out.flat")],
                                 stderr=subprocess.PIPE, env=PLAIN_ENV)
            assert run.returncode == 1
            assert run.stderr.decode().startswith(f"Damaged {codec} stream (")
            assert run.stderr.decode().count("\n") == 1
            assert not (tmp_path / "out.flat").exists()


def test_errors_stand_at_lines_of_the_decoded_text(tmp_path):
    path = tmp_path / "broken.mbrk.gz"
    path.write_bytes(gzip.compress(b"[DataSet] [Rows = 1] [Inputs = 1]\n[Data]\n\n  x\n"))
    with pytest.raises(mbrk.FormatError) as caught:
        mbrk.load(path)
    assert (caught.value.line, caught.value.column) == (4, 4)


def test_a_plain_file_beginning_with_gzips_magic_reads_as_before(tmp_path):
    text = (SOURCE / "samples" / "sensors.mbrk").read_bytes()
    path = tmp_path / "magic.mbrk"
    path.write_bytes(b"\x1f\x8b\x08\x00 \n" + text)
    assert same(mbrk.load(path), mbrk.load(SOURCE / "samples" / "sensors.mbrk"))


@pytest.mark.parametrize("compression, suffix, decompress", [
    ("gzip", ".gz", gzip.decompress), ("xz", ".xz", lzma.decompress),
    ("zstd", ".zst", None), (None, ".gz", bytes)])
def test_save_compresses_as_asked_or_as_the_suffix_says(tmp_path, compression, suffix,
                                                        decompress):
    data = mbrk.load(SOURCE / "samples" / "iris-labels.mbrk")
    mbrk.save(tmp_path / "plain.mbrk", data)
    plain = (tmp_path / "plain.mbrk").read_bytes()
    asked = tmp_path / ("asked" + suffix)
    mbrk.save(asked, data, compression=compression)
    by_suffix = tmp_path / ("named" + TOOLS.get(compression, ("", ".mbrk"))[1])
    mbrk.save(by_suffix, data)
    for path in (asked, by_suffix):
        if decompress is None:
            written = subprocess.run(["zstd", "-dc", str(path)], check=True, env=PLAIN_ENV,
                                     stdout=subprocess.PIPE).stdout
        else:
            written = decompress(path.read_bytes())
        assert written == plain
        assert same(mbrk.load(path), data)
    with pytest.raises(ValueError, match="compression"):
        mbrk.save(tmp_path / "x", data, compression="bz2")


def test_binary_file_objects_in_and_out(tmp_path):
    text, numbers = big_text()
    data = mbrk.load(io.BytesIO(text))
    np.testing.assert_array_equal(np.hstack([data.inputs, data.expected]), numbers)
    assert mbrk.probe(io.BytesIO(text))["rows"] == 20000
    out = io.BytesIO()
    mbrk.save(out, data)
    assert same(mbrk.load(io.BytesIO(out.getvalue())), data)
    packed_out = io.BytesIO()
    mbrk.save(packed_out, data, compression="xz")
    assert lzma.decompress(packed_out.getvalue()) == out.getvalue()
    assert same(mbrk.load(io.BytesIO(packed_out.getvalue())), data)
    flat = io.BytesIO()
    mbrk.to_flat(io.BytesIO(gzip.compress(text)), flat)
    mbrk.to_flat(io.BytesIO(text), tmp_path / "plain.flat")
    assert flat.getvalue() == (tmp_path / "plain.flat").read_bytes()

    class ReadOnly:
        """Only read(): no readinto."""

        def __init__(self, data):
            self.stream = io.BytesIO(data)

        def read(self, size=-1):
            return self.stream.read(min(size, 1000))

    assert same(mbrk.load(ReadOnly(gzip.compress(text))), data)
    parts = list(mbrk.windows(io.BytesIO(gzip.compress(text)), rows=7000))
    assert [part.rows for part in parts] == [7000, 7000, 6000]
    np.testing.assert_array_equal(np.vstack([part.inputs for part in parts]), data.inputs)


def test_text_mode_file_objects_are_a_type_error(tmp_path):
    path = SOURCE / "samples" / "sensors.mbrk"
    with open(path, encoding="ascii") as text, pytest.raises(TypeError, match="binary mode"):
        mbrk.load(text)
    with pytest.raises(TypeError, match="binary mode"):
        mbrk.save(io.StringIO(), mbrk.load(path))

    class Texts:
        """read() gives str."""

        def read(self, size=-1):
            return "[DataSet]"

    with pytest.raises(TypeError, match="binary mode"):
        mbrk.load(Texts())


def test_windows_of_a_compressed_file_or_a_file_object_read_strictly_when_asked(tmp_path):
    text = b"[DataSet] [Rows = 2] [Inputs = 1] [Data]\n1\n12abc\n[~Data] [~DataSet]\n"
    path = tmp_path / "data.mbrk"
    path.write_bytes(gzip.compress(text))
    for source, place in ((lambda: path, (3, 6)), (lambda: io.BytesIO(text), (0, 0))):
        assert [w.inputs[0, 0] for w in mbrk.windows(source(), rows=1)] == [1.0, 12.0]
        with pytest.raises(mbrk.FormatError) as error:
            list(mbrk.windows(source(), rows=1, strict=True))
        # A file object's reading has no positions to count lines by.
        assert (error.value.message, error.value.line, error.value.column) == \
            ("number-expected", *place)
