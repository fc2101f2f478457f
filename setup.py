"""Builds the Python package mbrk with the project's own CMake build, the
package alone (no command, tests or benchmarks): see pyproject.toml."""

import os
import re
import sys

from skbuild import setup

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "python"))
import site_install as about  # noqa: E402  (beside the package's sources)


def project_version() -> str:
    """The one version of the project, from CMakeLists.txt's project()."""
    with open(os.path.join(HERE, "CMakeLists.txt"), encoding="utf-8") as file:
        found = re.search(r"project\(mbrk\s+VERSION\s+([0-9.]+)", file.read())
    if not found:
        raise RuntimeError("CMakeLists.txt gives no project version")
    return found.group(1)


setup(
    name=about.NAME,
    version=project_version(),
    description=about.SUMMARY,
    long_description=about.DESCRIPTION,
    long_description_content_type="text/plain",
    license=about.LICENSE,
    python_requires=">=3.8",
    install_requires=about.REQUIRES,
    extras_require=about.EXTRAS,
    packages=["mbrk"],
    package_dir={"": "python"},
    package_data={"mbrk": ["py.typed", "*.pyi"]},
    cmake_args=["-DMBRK_PYTHON_WHEEL=ON", "-DCMAKE_BUILD_TYPE=Release"],
    zip_safe=False,
)
