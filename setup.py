"""Builds vantrel._vantrel with CMake: the library and the module alone, for
the Python that runs this, then puts the module into the package."""

import os
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = Path(self.build_temp).resolve() / "cmake"
        configure = [
            "cmake", "-S", str(ROOT), "-B", str(build),
            "-DCMAKE_BUILD_TYPE=Release",
            "-DVANTREL_PYTHON=ON",
            "-DVANTREL_BUILD_TOOLS=OFF",
            "-DVANTREL_BUILD_TESTS=OFF",
            "-DVANTREL_BUILD_SHARED=OFF",
            "-DVANTREL_INSTALL=OFF",
            f"-DPython3_EXECUTABLE={sys.executable}",
        ]
        if shutil.which("ninja"):
            configure += ["-G", "Ninja"]
        subprocess.run(configure, check=True)
        command = ["cmake", "--build", str(build), "--target", "vantrel_python"]
        if "CMAKE_BUILD_PARALLEL_LEVEL" not in os.environ:
            command += ["--parallel", str(os.cpu_count() or 1)]
        subprocess.run(command, check=True)
        built = next((build / "python" / "vantrel").glob("_vantrel*"))
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(ext_modules=[Extension("vantrel._vantrel", sources=[])], cmdclass={"build_ext": CMakeBuild})
