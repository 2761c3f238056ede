"""Builds the package from the program's own C++ core (the metadata is in
pyproject.toml).

Inside the repository the core's folders are first copied into core/ (as the
R package does), so that the extension compiles the very code the command
line runs, new files included; a source tree that already holds core/ builds
from it.
"""
import glob
import os
import re
import shutil

from pybind11.setup_helpers import ParallelCompile, Pybind11Extension, build_ext
from setuptools import setup

here = os.path.dirname(os.path.abspath(__file__))
repository = os.path.dirname(here)
# The core: exactly these folders of the program's sources, each whole.
LAYERS = ["base", "data", "analysis", "engine", "permutation", "run"]
# The libraries the core links, in one place: htslib reads VCF and BCF.
LIBRARIES = ["hts", "z"]


def bring_core():
    source = os.path.join(repository, "src")
    if not os.path.isfile(os.path.join(source, "run", "run.h")):
        return
    core = os.path.join(here, "core")
    shutil.rmtree(core, ignore_errors=True)
    for layer in LAYERS:
        shutil.copytree(os.path.join(source, layer), os.path.join(core, layer))
    shutil.copy(os.path.join(repository, "CMakeLists.txt"), os.path.join(core, "CMakeLists.txt"))


def program_version():
    # The one place the version is set is the project's CMakeLists.txt.
    with open(os.path.join(here, "core", "CMakeLists.txt"), encoding="utf-8") as f:
        match = re.search(r"project\(tevrol VERSION ([0-9.]+)", f.read())
    if match is None:
        raise RuntimeError("tevrol: no version in CMakeLists.txt")
    return match.group(1)


bring_core()
if not os.path.isfile(os.path.join(here, "core", "run", "run.cpp")):
    raise RuntimeError("tevrol: the C++ core is missing: install from the repository's python folder")
version = program_version()
sources = ["src/module.cpp"]
for layer in LAYERS:
    sources += sorted(os.path.relpath(p, here) for p in glob.glob(os.path.join(here, "core", layer, "*.cpp")))

ParallelCompile("TEVROL_JOBS", default=2).install()
extension = Pybind11Extension(
    "tevrol._core",
    sources,
    include_dirs=["core"],
    libraries=LIBRARIES,
    define_macros=[("TEVROL_VERSION", '"%s"' % version)],
    # Statistics must be bit-identical on every build: no fused multiply-add.
    extra_compile_args=["-O3", "-ffp-contract=off", "-fno-fast-math", "-pthread"],
    extra_link_args=["-pthread"],
    cxx_std=17,
)

setup(
    version=version,
    ext_modules=[extension],
    cmdclass={"build_ext": build_ext},
)
