"""Hostile use of the package's calls: signals that arrive while a call
reads or writes, and arguments that cannot be taken as given.

A signal is sent to the main thread of a child interpreter by a thread of
its own once the call has provably started: the main thread holds the file
open and reads it, or sits in the system call that opens or writes. The call
must then end, within a bound far above what it needs, with the handler's
exception, or go on and succeed when the handler returns.
"""

import os
import pathlib
import platform
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import mbrk

SOURCE = pathlib.Path(os.environ.get("MBRK_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
SAMPLE = SOURCE / "samples" / "sensors.mbrk"

# System call numbers, to see that the main thread waits inside one.
CALLS = {"x86_64": {"openat": 257, "poll": 7, "write": 1},
         "aarch64": {"openat": 56, "poll": 73, "write": 64}}.get(platform.machine())

HARNESS = textwrap.dedent("""
    import os, signal, sys, threading, time
    import numpy as np
    import mbrk
    MAIN, TID = threading.get_ident(), threading.get_native_id()
    CALLS = {calls!r}
    # Started in the background, the interpreter would have inherited SIGINT
    # ignored and never installed its handler.
    signal.signal(signal.SIGINT, signal.default_int_handler)

    def until(condition):
        while not condition():
            time.sleep(0.002)

    def opened(target):
        count = 0
        for fd in os.listdir("/proc/self/fd"):
            try:
                count += os.readlink("/proc/self/fd/" + fd) == target
            except OSError:
                pass
        return count

    def bytes_read():
        with open(f"/proc/self/task/{{TID}}/io") as io:
            return int(io.readline().split()[1])

    def inside(call):
        with open(f"/proc/self/task/{{TID}}/syscall") as now:
            return now.read().split()[0] == str(CALLS[call])

    def later(when, signum=signal.SIGINT, then=None):
        def run():
            until(when)
            signal.pthread_kill(MAIN, signum)
            if then:
                then()
        threading.Thread(target=run, daemon=True).start()
""")


def child(tmp_path, setup, call=None):
    """Runs HARNESS, `setup` and then `call` as STOPPED runs it in a child
    interpreter; returns the words it printed."""
    script = HARNESS.format(calls=CALLS) + textwrap.dedent(setup)
    if call is not None:
        script += textwrap.dedent(STOPPED).format(call=call)
    environment = dict(os.environ)  # a sanitizer's runtime preloaded stays
    environment["PYTHONPATH"] = os.pathsep.join(p for p in sys.path if p)
    done = subprocess.run([sys.executable, "-c", script], cwd=tmp_path, env=environment,
                          stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=10)
    assert done.returncode == 0, done.stderr
    return done.stdout.split()


STOPPED = """
    try:
        {call}
        print("finished")
    except KeyboardInterrupt:
        print("KeyboardInterrupt")
    except Exception as error:
        print(type(error).__name__)
"""

needs_calls = pytest.mark.skipif(CALLS is None, reason="system call numbers unknown here")


@pytest.mark.parametrize("call", ["mbrk.load(ENDLESS)", "mbrk.load(ENDLESS, threads=2)",
                                  "mbrk.probe(ENDLESS)", "next(mbrk.windows(ENDLESS))"])
@pytest.mark.parametrize("endless", ["/dev/zero", "sparse"])
def test_ctrl_c_stops_a_read_that_never_ends(tmp_path, call, endless):
    if endless == "sparse":
        # A terabyte of zero bytes that takes no room: windows need a file
        # with byte offsets, which /dev/zero has not.
        endless = str(tmp_path / "sparse.mbrk")
        with open(endless, "wb") as file:
            file.truncate(1 << 40)
    elif "windows" in call:
        pytest.skip("windows refuse an input without byte offsets at once")
    body = f"""
        before = opened({endless!r})
        def reading():
            if not opened({endless!r}) > before:
                return False
            start = bytes_read()
            until(lambda: bytes_read() > start + (4 << 20))
            return True
        later(reading)
    """
    assert child(tmp_path, body, call.replace("ENDLESS", repr(endless))) == ["KeyboardInterrupt"]


def test_a_handler_that_raises_stops_the_read_with_its_exception(tmp_path):
    body = """
        def alarm(signum, frame):
            raise TimeoutError("too long")
        signal.signal(signal.SIGALRM, alarm)
        before = opened("/dev/zero")
        later(lambda: opened("/dev/zero") > before, signal.SIGALRM)
    """
    assert child(tmp_path, body, "mbrk.load('/dev/zero')") == ["TimeoutError"]


def test_ctrl_c_stops_reading_an_empty_flat_file_of_many_rows(tmp_path):
    # Rows of width 0 from /dev/null: nothing to read, the rows still made.
    # Either the call ends quickly by itself or Ctrl-C ends it.
    body = """
        before = opened("/dev/null")
        later(lambda: opened("/dev/null") > before)
    """
    assert child(tmp_path, body, "mbrk.read_flat('/dev/null', 2**31 - 1, 0, 0)")[0] in ("KeyboardInterrupt", "finished", "FormatError")


@needs_calls
@pytest.mark.parametrize("call", ["mbrk.load('fifo')", "mbrk.read_flat('fifo', 1, 1, 0)",
                                  "mbrk.save('fifo', [[1.0]])",
                                  "mbrk.to_flat({sample!r}, 'fifo')"])
def test_ctrl_c_stops_an_open_that_waits_for_the_other_end(tmp_path, call):
    os.mkfifo(tmp_path / "fifo")
    call = call.format(sample=str(SAMPLE))
    assert child(tmp_path, "later(lambda: inside('openat'))", call) == ["KeyboardInterrupt"]


@needs_calls
@pytest.mark.parametrize("call, start", [
    ("mbrk.load('fifo')", b"[DataSet] [Rows = 2] [Inputs = 1] [Data] 1 "),
    ("mbrk.read_flat('fifo', 2, 1, 0)", b"1 "),
])
def test_ctrl_c_stops_a_read_that_waits_for_its_writer(tmp_path, call, start):
    os.mkfifo(tmp_path / "fifo")
    # The writer's open returns once the call has opened the other end.
    body = f"""
        def writer():
            with open("fifo", "wb", buffering=0) as end:
                end.write({start!r})
                signal.pthread_kill(MAIN, signal.SIGINT)
                until(lambda: False)
        threading.Thread(target=writer, daemon=True).start()
    """
    assert child(tmp_path, body, call) == ["KeyboardInterrupt"]


@needs_calls
@pytest.mark.parametrize("call", ["mbrk.save('fifo', np.zeros((100000, 3)))",
                                  "mbrk.to_flat('big.mbrk', 'fifo')"])
def test_ctrl_c_stops_a_write_that_waits_for_its_reader(tmp_path, call):
    os.mkfifo(tmp_path / "fifo")
    mbrk.save(tmp_path / "big.mbrk", np.zeros((100000, 3)))
    body = """
        def reader():
            with open("fifo", "rb") as end:
                end.read(1)
                until(lambda: False)
        threading.Thread(target=reader, daemon=True).start()
        later(lambda: inside("write"))
    """
    assert child(tmp_path, body, call) == ["KeyboardInterrupt"]


@needs_calls
def test_an_open_and_a_read_cut_by_another_signal_are_made_again(tmp_path):
    os.mkfifo(tmp_path / "fifo")
    body = f"""
        alarms = []
        signal.signal(signal.SIGALRM, lambda signum, frame: alarms.append(signum))
        def writer():
            until(lambda: len(alarms) == 1)  # the open was cut and its handler ran
            with open("fifo", "wb", buffering=0) as end:
                until(lambda: inside("poll"))  # waiting for the bytes
                signal.pthread_kill(MAIN, signal.SIGALRM)
                time.sleep(0.05)
                end.write(open({str(SAMPLE)!r}, "rb").read())
        later(lambda: inside("openat"), signal.SIGALRM, writer)
        print(mbrk.load("fifo").rows, len(alarms))
    """
    assert child(tmp_path, body) == ["12", "2"]


# ---- Arguments --------------------------------------------------------------------


@pytest.mark.parametrize("call", [
    lambda d: mbrk.load(d / "a.mbrk\0.x"),
    lambda d: mbrk.save(str(d / "v.mbrk\0.flat"), [[1.0]]),
    lambda d: mbrk.to_flat(d / "a.mbrk", str(d / "b.flat\0x")),
    lambda d: mbrk.read_flat(os.fsencode(d / "a.mbrk\0"), 1, 1, 0),
    lambda d: mbrk.probe(d / "a.mbrk\0"),
])
def test_a_null_byte_in_a_path_is_refused(tmp_path, call):
    mbrk.save(tmp_path / "a.mbrk", [[1.0]])
    before = sorted(os.listdir(tmp_path))
    with pytest.raises(ValueError, match="null byte"):
        call(tmp_path)
    assert sorted(os.listdir(tmp_path)) == before


@pytest.mark.parametrize("call, error, words", [
    (lambda p: mbrk.read_flat(p, 10**12, 1, 0), ValueError, "rows must be a whole number"),
    (lambda p: mbrk.read_flat(p, 1, 2**31, 0), ValueError, "inputs must be a whole number"),
    (lambda p: mbrk.read_flat(p, 1, 1, 1.0), ValueError, "outputs must be a whole number"),
    (lambda p: mbrk.windows(p, rows=2**40), ValueError, "rows must be a whole number"),
    (lambda p: mbrk.save(p, [[1.0]], expected_labels=[{"a\ud800": 1.0}]), ValueError,
     "is not text"),
    (lambda p: mbrk.save(p, [[1.0]], expected_labels=[["a", ("b",)]]), ValueError,
     "a label is a name or a"),
    (lambda p: mbrk.save(p, np.array([[1 + 2j]])), TypeError, "complex"),
    (lambda p: mbrk.save(p, [[1.0]], generated=np.array([[2 + 1j]])), TypeError, "complex"),
    (lambda p: mbrk.save(p, np.ma.masked_array([[1.0, 2.0]], mask=[[0, 1]])), ValueError,
     "masked"),
])
def test_arguments_that_cannot_be_taken_are_refused_in_words(tmp_path, call, error, words):
    path = tmp_path / "a.mbrk"
    path.write_text("1 \n")
    with pytest.raises(error, match=words) as caught:
        call(path)
    assert "Invoked with" not in str(caught.value)  # no signature dump


def test_numpy_integers_are_whole_numbers_and_a_bare_name_counts_one(tmp_path):
    path = tmp_path / "a.mbrk"
    mbrk.save(path, [[1.0], [2.0]], expected_labels=["cat", ["dog", ("fox", 0.5)]])
    assert mbrk.load(path, threads=np.int64(2)).expected_labels == [
        {"cat": 1.0}, {"dog": 1.0, "fox": 0.5}]
    assert [w.rows for w in mbrk.windows(path, rows=np.int32(1))] == [1, 1]
    (tmp_path / "a.flat").write_text("1 2 \n3 4 \n")
    flat = mbrk.read_flat(tmp_path / "a.flat", np.int64(2), np.int8(1), np.uint16(1))
    np.testing.assert_array_equal(flat.expected, [[2.0], [4.0]])
    unmasked = np.ma.masked_array([[1.0, 2.0]])
    mbrk.save(path, unmasked)
    np.testing.assert_array_equal(mbrk.load(path).inputs, [[1.0, 2.0]])
