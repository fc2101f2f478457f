"""The README's Dask example, run as a user would run it: a script of its own
that starts its own cluster, on shards in its working folder."""

import os
import pathlib
import re
import subprocess
import sys

import numpy as np
import pytest

pytest.importorskip("distributed")
import mbrk  # noqa: E402

SOURCE = pathlib.Path(os.environ.get("MBRK_SOURCE_DIR", pathlib.Path(__file__).parents[2]))


def test_the_readme_example_runs(tmp_path):
    readme = (SOURCE / "README.md").read_text()
    section = readme[readme.index("### Dask"):]
    code = re.search(r"```python\n(.*?)```", section, re.S).group(1)
    assert len(code.strip().splitlines()) <= 10
    (tmp_path / "shards").mkdir()
    for i, rows in enumerate((150_000, 20)):
        inputs = np.arange(rows * 2, dtype=float).reshape(rows, 2)
        mbrk.save(tmp_path / "shards" / f"{i}.mbrk", inputs, errors=inputs[:, :1],
                  expected_labels=[{"odd" if r % 2 else "even": 1.0} for r in range(rows)])
    (tmp_path / "example.py").write_text(code)
    result = subprocess.run([sys.executable, "example.py"], cwd=tmp_path, capture_output=True,
                            text=True, timeout=300)
    assert result.returncode == 0, result.stderr
    assert result.stdout.startswith("3 (100000, 50000, 20)")
    assert "expected:even" in result.stdout
    written = sorted(os.listdir(tmp_path / "out"))
    assert written == ["part-00000.mbrk", "part-00001.mbrk", "part-00002.mbrk"]
