"""Which library files the package tries to load, on each platform, in which order."""

from pathlib import Path

import pytest

from ssmsg import _library

# A package folder holding the library of each platform beside the modules.
FILES = ["__init__.py", "_library.py", "_libssmsg.so.0", "ssmsg.dll", "libssmsg.so.0"]


@pytest.mark.parametrize("platform, found, beside, system", [
    ("linux", "/usr/lib/libssmsg.so.0", ["_libssmsg.so.0"], "libssmsg.so.0"),
    ("linux", None, ["_libssmsg.so.0"], "libssmsg.so.0"),
    ("win32", r"C:\ssmsg\bin\ssmsg.dll", ["ssmsg.dll"], "ssmsg.dll"),
    ("win32", None, ["ssmsg.dll"], "ssmsg.dll"),
])
def test_the_library_beside_the_modules_then_the_systems(tmp_path, platform, found, beside,
                                                          system):
    for name in FILES:
        (tmp_path / name).touch()
    asked = []

    def find_library(name):
        asked.append(name)
        return found

    tried = list(_library.candidates(platform, tmp_path, None, find_library))
    assert tried == [str(tmp_path / name) for name in beside] + [system] + ([found] if found else [])
    assert asked == ["ssmsg"]


@pytest.mark.parametrize("platform", ["linux", "win32"])
def test_the_chosen_library_alone(tmp_path, platform):
    (tmp_path / _library.library_files(platform).system).touch()
    chosen = str(tmp_path / "elsewhere" / "my-ssmsg")
    assert list(_library.candidates(platform, tmp_path, chosen, pytest.fail)) == [chosen]


@pytest.mark.parametrize("platform", ["linux", "win32"])
def test_an_empty_folder_leaves_the_systems(platform):
    files = _library.library_files(platform)
    tried = list(_library.candidates(platform, Path("/nonexistent"), "", lambda name: None))
    assert tried == [files.system]

