"""Where `cmake --install` puts the Python package, and the metadata it leaves
beside it so that pip and importlib.metadata know the package. Run by the
install with the Python the package was built for; setup.py takes the
package's description from here too.

    python3 site_install.py where PREFIX
        prints the folder below PREFIX that this Python searches for packages
        (lib/python3/dist-packages under /usr on Debian, the user folder
        lib/python3.X/site-packages under ~/.local, ...) or, for a prefix it
        does not search, the folder a prefix's packages go to by convention.
    python3 site_install.py metadata SITE VERSION INSTALLER [--record]
        writes SITE/mbrk-VERSION.dist-info (METADATA, INSTALLER and, with
        --record, RECORD listing SITE/mbrk) and prints the files written.
"""

import base64
import hashlib
import os
import site
import sys
import sysconfig
from typing import List

NAME = "mbrk"
SUMMARY = "Datasets of the bracketed text format as NumPy arrays"
LICENSE = "MIT"
REQUIRES = ["numpy"]
EXTRAS = {"pandas": ["pandas"]}
DESCRIPTION = """\
The Python package mbrk reads and writes datasets in the bracketed text
format: mbrk.load gives the inputs, expected outputs, generated outputs and
errors as NumPy arrays (float64, or float32 when asked) and the label lists
as dicts; mbrk.save, mbrk.windows, mbrk.probe, mbrk.to_flat and
mbrk.read_flat do the rest, and Dataset.to_frame / mbrk.from_frame go to and
from pandas DataFrames. The C++ toolkit is built into its extension module.
"""


def searched_below(prefix: str) -> str:
    """The package folder below `prefix`, relative to it."""
    prefix = os.path.abspath(prefix)
    # The user folder counts even before it exists (a first install makes it).
    folders = list(site.getsitepackages()) + [site.getusersitepackages()]
    for folder in folders:
        relative = os.path.relpath(os.path.abspath(folder), prefix)
        # lib/... only: /usr/local/lib/... lies below /usr too, but belongs to /usr/local.
        if relative.split(os.sep)[0] in ("lib", "lib64"):
            return relative
    convention = sysconfig.get_path("platlib", "posix_prefix",
                                    vars={"base": prefix, "platbase": prefix})
    return os.path.relpath(convention, prefix)


def metadata_text(version: str) -> str:
    """The METADATA file of a distribution of this version."""
    lines = ["Metadata-Version: 2.1", f"Name: {NAME}", f"Version: {version}",
             f"Summary: {SUMMARY}", f"License: {LICENSE}", "Requires-Python: >=3.8"]
    lines += [f"Requires-Dist: {name}" for name in REQUIRES]
    for extra, names in EXTRAS.items():
        lines.append(f"Provides-Extra: {extra}")
        lines += [f"Requires-Dist: {name} ; extra == \"{extra}\"" for name in names]
    return "\n".join(lines) + "\n\n" + DESCRIPTION


def record_line(site_dir: str, path: str) -> str:
    """path,sha256=...,size for RECORD, the path relative to the site folder."""
    with open(path, "rb") as file:
        data = file.read()
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{os.path.relpath(path, site_dir)},sha256={digest},{len(data)}"


def write_metadata(site_dir: str, version: str, installer: str, record: bool) -> List[str]:
    """Writes the dist-info folder; returns the files written."""
    info = os.path.join(site_dir, f"{NAME}-{version}.dist-info")
    os.makedirs(info, exist_ok=True)
    written = []
    for name, text in (("METADATA", metadata_text(version)), ("INSTALLER", installer + "\n")):
        path = os.path.join(info, name)
        with open(path, "w", encoding="utf-8") as file:
            file.write(text)
        written.append(path)
    path = os.path.join(info, "RECORD")
    if record:
        package = os.path.join(site_dir, NAME)
        files = sorted(os.path.join(folder, name) for folder, _, names in os.walk(package)
                       for name in names if not name.endswith(".pyc"))
        lines = [record_line(site_dir, f) for f in files + written]
        lines.append(f"{os.path.relpath(path, site_dir)},,")
        with open(path, "w", encoding="utf-8") as file:
            file.write("\n".join(lines) + "\n")
        written.append(path)
    elif os.path.exists(path):
        os.remove(path)  # left by an earlier install that pip could undo
    return written


def main(arguments: List[str]) -> int:
    if len(arguments) == 2 and arguments[0] == "where":
        print(searched_below(arguments[1]))
        return 0
    record = arguments[4:] == ["--record"]
    if len(arguments) == 4 + record and arguments[0] == "metadata":
        for path in write_metadata(arguments[1], arguments[2], arguments[3], record):
            print(path)
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
