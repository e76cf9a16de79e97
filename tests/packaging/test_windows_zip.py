"""The Windows zip made by CPack from the windows build: exactly the program,
the README as text and the licence, and the program byte for byte the
build/windows/veltrane.exe that the tests under Wine ran. Run it after those
tests, as scripts/test.sh does."""

import os
import zipfile

import pytest

from conftest import cpack


@pytest.fixture(scope="module")
def package(windows_build, tmp_path_factory, project_version):
    return cpack(windows_build, "ZIP", str(tmp_path_factory.mktemp("zip")),
                 f"veltrane-{project_version}-windows-x64.zip")


def test_zip_holds_exactly_the_program_readme_and_licence(package):
    with zipfile.ZipFile(package) as archive:
        assert sorted(archive.namelist()) == ["LICENSE.txt", "README.txt", "veltrane.exe"]
        assert archive.testzip() is None


def test_zipped_files_are_the_tested_ones(package, windows_build, source_dir, project_version):
    with zipfile.ZipFile(package) as archive:
        contents = {name: archive.read(name) for name in archive.namelist()}
    with open(os.path.join(windows_build, "veltrane.exe"), "rb") as f:
        tested = f.read()
    assert contents["veltrane.exe"] == tested, "the zipped program differs from build/windows/veltrane.exe"
    # Its version resource carries the same number as the zip's name.
    assert project_version.encode("utf-16-le") in tested
    with open(os.path.join(source_dir, "README.md"), "rb") as f:
        assert contents["README.txt"] == f.read()
    with open(os.path.join(source_dir, "LICENSE"), "rb") as f:
        assert contents["LICENSE.txt"] == f.read()
