"""A user's Python program: imports the installed package mbrk, loads a dataset,
converts it and checks what it got.

    python3 consumer.py SOURCE.mbrk SCRATCH_FOLDER EXPECTED_ROOT

SOURCE is the toolkit's samples/sensors.mbrk; EXPECTED_ROOT is the folder the
package must be imported from (the installed tree, not the build). Prints
"consumer.py: ok" and exits 0 when everything matched.
"""

import os
import sys

import mbrk


def main(source, scratch, root):
    failures = []

    def expect(what, expected, actual):
        if expected != actual:
            failures.append(f"{what}: expected {expected!r}, got {actual!r}")

    expect("imported from", True, os.path.realpath(mbrk.__file__).startswith(os.path.realpath(root)))
    data = mbrk.load(source)
    expect("shape", (12, 4), data.inputs.shape)
    expect("first temperature", 18.25, float(data.inputs[0, 0]))
    expect("last irrigation", 1.25, float(data.expected[11, 1]))
    expect("format version", 1.0, data.format_version)
    expect("probe", 12, mbrk.probe(source)["rows"])

    flat = os.path.join(scratch, "sensors.flat")
    mbrk.to_flat(source, flat)
    with open(flat, "rb") as written:
        text = written.read()
    expect("flat file starts", b"18.25 71.5 0.8 0.412 0 1.5 \n", text[:28])
    expect("flat file size", 375, len(text))

    broken = os.path.join(scratch, "broken.mbrk")
    with open(broken, "w") as out:
        out.write("[DataSet]\n[Rows = many]\n")
    try:
        mbrk.load(broken)
        failures.append("no FormatError for a broken file")
    except mbrk.FormatError as error:
        expect("format error", f"{broken}:2:14: integer-expected", str(error))

    for failure in failures:
        print(f"consumer.py: {failure}", file=sys.stderr)
    if failures:
        return 1
    print("consumer.py: ok")
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit("usage: consumer.py SOURCE.mbrk SCRATCH_FOLDER EXPECTED_ROOT")
    sys.exit(main(*sys.argv[1:]))
