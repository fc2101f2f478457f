"""The package installed as users install it, then imported from elsewhere by
the Python it was built for. Each test builds or installs once and takes a
while; CTest runs each on its own (label "install"). MBRK_INSTALL_TESTS=1
enables them; MBRK_BUILD_DIR names the CMake build the README's command
installs. No network is used: everything comes from the system's packages.
"""

import os
import pathlib
import shlex
import shutil
import subprocess
import sys

import pytest

SOURCE = pathlib.Path(os.environ.get("MBRK_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
BUILD = os.environ.get("MBRK_BUILD_DIR")
PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
SAMPLE = SOURCE / "samples" / "iris-labels.mbrk"

pytestmark = pytest.mark.skipif(os.environ.get("MBRK_INSTALL_TESTS") != "1",
                                reason="MBRK_INSTALL_TESTS=1 enables the install tests")

# Run in the user's place: imports the package, reports where from and what it is.
USE = """
import importlib.metadata, sys, mbrk
data = mbrk.load(sys.argv[1])
frame = data.to_frame()
assert mbrk.from_frame(frame) == data, "frame round trip"
print(mbrk.__file__)
print(mbrk.__version__, importlib.metadata.version("mbrk"), frame.shape)
"""


def project_version():
    for line in (SOURCE / "CMakeLists.txt").read_text().splitlines():
        if line.startswith("project(mbrk VERSION "):
            return line.split()[2]
    raise AssertionError("no project version")


def clean_environment(**more):
    """The environment without the build's package on the path."""
    drop = ("PYTHONPATH", "LD_PRELOAD", "PYTHONHOME", "VIRTUAL_ENV", "PIP_USER")
    environment = {k: v for k, v in os.environ.items() if k not in drop}
    environment.update(PIP_NO_INDEX="1", PIP_DISABLE_PIP_VERSION_CHECK="1", **more)
    return environment


def run(command, cwd, **more):
    done = subprocess.run(command, cwd=cwd, env=clean_environment(**more), capture_output=True,
                          text=True)
    assert done.returncode == 0, f"{command}\n{done.stdout}\n{done.stderr}"
    return done.stdout


def use_from(python, elsewhere, site, **more):
    """Imports the package from folder `elsewhere`; checks it came from `site`."""
    said = run([python, "-c", USE, str(SAMPLE)], elsewhere, **more).splitlines()
    assert said[0].startswith(str(site) + os.sep), said
    version = project_version()
    assert said[1] == f"{version} {version} (6, 7)"


def clone(tmp_path):
    if not (SOURCE / ".git").exists():
        pytest.skip("the source is not a git repository")
    target = tmp_path / "clone"
    run(["git", "clone", "--quiet", str(SOURCE), str(target)], tmp_path)
    return target


def venv(tmp_path, name):
    folder = tmp_path / name
    run([PYTHON, "-m", "venv", "--system-site-packages", str(folder)], tmp_path)
    python = folder / "bin" / "python"
    site = run([str(python), "-c", "import sysconfig; print(sysconfig.get_path('platlib'))"],
               tmp_path).strip()
    return python, pathlib.Path(site)


def test_pip_install_from_a_clean_clone(tmp_path):
    source = clone(tmp_path)
    python, site = venv(tmp_path, "venv")
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir()
    run([str(python), "-m", "pip", "install", "--no-build-isolation", "."], source)
    use_from(str(python), elsewhere, site)
    shown = run([str(python), "-m", "pip", "show", "mbrk"], elsewhere)
    assert f"Version: {project_version()}\n" in shown and f"Location: {site}\n" in shown
    run([str(python), "-m", "pip", "uninstall", "--yes", "mbrk"], elsewhere)
    assert not list(site.glob("mbrk*"))


def test_pip_wheel_installs_elsewhere(tmp_path):
    source = clone(tmp_path)
    wheels = tmp_path / "wheels"
    run([PYTHON, "-m", "pip", "wheel", "--no-build-isolation", "--no-deps", "-w", str(wheels), "."],
        source)
    built = list(wheels.glob("mbrk-*.whl"))
    assert len(built) == 1 and built[0].name.startswith(f"mbrk-{project_version()}-")
    shutil.rmtree(source)  # the wheel needs nothing of the tree it came from
    python, site = venv(tmp_path, "other")
    run([str(python), "-m", "pip", "install", str(built[0])], tmp_path)
    use_from(str(python), tmp_path, site)


def test_the_readmes_user_install(tmp_path):
    if not BUILD:
        pytest.skip("MBRK_BUILD_DIR names no build")
    readme = (SOURCE / "README.md").read_text().splitlines()
    command = next(line.strip() for line in readme if line.startswith("    cmake --install "))
    command = command.split("#")[0].strip()
    words = shlex.split(command)
    assert words[:3] == ["cmake", "--install", "build/default"] and "$HOME/.local" in command
    # The README's words, with this build in place of build/default when it is elsewhere.
    command = command.replace("build/default", shlex.quote(os.path.relpath(BUILD, SOURCE)), 1)
    home = tmp_path / "home"
    home.mkdir()
    run(["bash", "-c", command], SOURCE, HOME=str(home))
    site = home / ".local" / "lib" / f"python{sys.version_info[0]}.{sys.version_info[1]}" / \
        "site-packages"
    assert (site / "mbrk" / "__init__.py").is_file()
    use_from(PYTHON, tmp_path, site, HOME=str(home))
    shown = run([PYTHON, "-m", "pip", "show", "--files", "mbrk"], tmp_path, HOME=str(home))
    assert f"Version: {project_version()}\n" in shown and "  mbrk/__init__.py\n" in shown
    record = (site / f"mbrk-{project_version()}.dist-info" / "RECORD").read_text()
    assert "mbrk/_frame.py,sha256=" in record
