"""Builds the compiled core talvero._core with CMake for the interpreter that runs the build."""

import os
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


class CMakeExtension(Extension):
    def __init__(self, name: str):
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    """Configures the project with only what the module needs and builds the module's target.
    TALVERO_BUILD_DIR names a build tree already configured (a developer's): it is built, not
    configured again."""

    def build_extension(self, ext: Extension) -> None:
        target = Path(self.get_ext_fullpath(ext.name)).resolve()
        given = os.environ.get("TALVERO_BUILD_DIR")
        build = Path(given).resolve() if given else Path(self.build_temp).resolve() / "cmake"
        if not given:
            build.mkdir(parents=True, exist_ok=True)
            configure = ["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                         "-DTALVERO_WITH_UI=OFF", "-DTALVERO_WITH_TESTS=OFF", "-DTALVERO_WITH_BENCH=OFF",
                         f"-DTALVERO_PYTHON={sys.executable}"]
            if shutil.which("ninja"):
                configure += ["-G", "Ninja"]
            if shutil.which("ccache"):
                configure += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"]
            subprocess.run(configure, check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
        subprocess.run(["cmake", "--build", str(build), "--target", "talvero_python_core", "--parallel", jobs],
                       check=True)
        built = sorted((build / "python" / "talvero").glob("_core*.so"))
        if not built:
            raise RuntimeError("CMake built no talvero/_core module (are pybind11 and the Python headers installed?)")
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)


setup(ext_modules=[CMakeExtension("talvero._core")], cmdclass={"build_ext": CMakeBuild})
