"""Shared helpers of the module's tests: the built programs and their files.

Run by CTest (python_module), which sets PYTHONPATH to the build tree's module
and VORMAP_EXE / VXLTOOL_EXE / VORMAP_PINNED_MAPS to the built programs.
"""
import json
import os
import subprocess

import pytest


def _program(variable):
    path = os.environ.get(variable)
    if not path:
        pytest.fail(f"{variable} is not set: run these tests through ctest -R python_module")
    return path


@pytest.fixture(scope="session")
def vormap_exe():
    return _program("VORMAP_EXE")


@pytest.fixture(scope="session")
def vxltool_exe():
    return _program("VXLTOOL_EXE")


@pytest.fixture(scope="session")
def native_map(vormap_exe, tmp_path_factory):
    """native_map(*args) -> the path of the file `vormap *args` writes (made once per argument list)."""
    folder = tmp_path_factory.mktemp("native")
    made = {}

    def make(*args):
        if args not in made:
            path = folder / f"map{len(made)}.vxl"
            subprocess.run([vormap_exe, *args, "-o", str(path)], check=True, capture_output=True)
            made[args] = path
        return made[args]

    return make


@pytest.fixture(scope="session")
def vxltool(vxltool_exe):
    """vxltool(*args) -> its standard output; fails the test when it fails."""

    def run(*args):
        done = subprocess.run([vxltool_exe, *map(str, args)], capture_output=True, text=True)
        assert done.returncode == 0, done.stderr
        return done.stdout

    return run


def info_figures(vxltool, path):
    """The figures of `vxltool info --json`, without the file's name and size."""
    info = json.loads(vxltool("info", "--json", path))
    del info["file"], info["size"]
    return info
