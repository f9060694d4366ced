"""Builds the Python package with the project's CMake build.

The package is the extension module `veltrane2` with its type stub, and the
command-line program `veltrane2`, installed into the environment's bin/ as a
command of the package. The version is the one in the public header. The
CMake build lives in build/pip and is reused by the next install; set
VELTRANE2_CMAKE_ARGS to pass more options to CMake.
"""
import os
import re
import shlex
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = os.path.dirname(os.path.abspath(__file__))
CMAKE_BUILD = os.path.join("build", "pip")
PROGRAM = os.path.join(CMAKE_BUILD, "veltrane2")
READER = os.path.join(CMAKE_BUILD, "veltrane2-read-instrument")


def version():
    with open(os.path.join(HERE, "include", "veltrane2", "veltrane2.hpp"), encoding="utf-8") as header:
        return re.search(r'kVersion\[\] = "([0-9]+\.[0-9]+\.[0-9]+)";', header.read()).group(1)


class CMakeExtension(Extension):
    def __init__(self, name, target):
        super().__init__(name, sources=[])
        self.target = target


class CMakeBuild(build_ext):
    """Configures and builds the module and the program, then puts the module
    and its stub where setuptools packs them."""

    def build_extension(self, ext):
        build = os.path.join(HERE, CMAKE_BUILD)
        args = [
            "-DCMAKE_BUILD_TYPE=Release",
            "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG",  # the release preset's flags
            "-DPython_EXECUTABLE=" + sys.executable,
            "-DVELTRANE2_BUILD_PYTHON=ON",
            "-DVELTRANE2_BUILD_TESTS=OFF",
            "-DVELTRANE2_BUILD_BENCH=OFF",
        ]
        try:  # pybind11 from the package index; Debian's pybind11-dev is found by CMake itself
            import pybind11
            args.append("-Dpybind11_DIR=" + pybind11.get_cmake_dir())
        except ImportError:
            pass
        args += shlex.split(os.environ.get("VELTRANE2_CMAKE_ARGS", ""))
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 2))
        subprocess.run(["cmake", "-S", HERE, "-B", build] + args, check=True)
        # (The module and the program depend on the instrument file reader
        # when Gwyddion is there, so it is built with them.)
        subprocess.run(["cmake", "--build", build, "-j", jobs, "--target", ext.target, "veltrane2"], check=True)
        module = os.path.join(build, "python", os.path.basename(self.get_ext_filename(ext.name)))
        if not os.path.exists(module):
            sys.exit("the Python module was not built (is pybind11 there? Debian: pybind11-dev python3-dev)")
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy2(module, target)
        shutil.copy2(os.path.join(HERE, "src", "python", "veltrane2.pyi"), os.path.join(os.path.dirname(target), "veltrane2.pyi"))
        # The instrument file reader, built when Gwyddion is there, goes to
        # the environment's lib/veltrane2/, where the program (bin/) and the
        # module (lib/python3.X/site-packages/) look for it.
        if os.path.exists(os.path.join(HERE, READER)):
            self.distribution.data_files.append(("lib/veltrane2", [READER]))


setup(
    version=version(),
    ext_modules=[CMakeExtension("veltrane2", "veltrane2_python")],
    cmdclass={"build_ext": CMakeBuild},
    # The program, built beside the module, goes to the environment's bin/
    # (and the instrument file reader to its lib/veltrane2/: see above).
    data_files=[("bin", [PROGRAM])],
    zip_safe=False,
)
