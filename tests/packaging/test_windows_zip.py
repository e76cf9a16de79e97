"""The Windows zip made by CPack from the windows build: exactly the program,
veltrane-lut, the README as text and the licence, and both executables byte
for byte the build/windows/veltrane.exe and veltrane-lut.exe that the tests
under Wine ran. Run it after those tests, as scripts/test.sh does."""

import os
import zipfile

import pytest

from conftest import cpack


@pytest.fixture(scope="module")
def package(windows_build, tmp_path_factory, project_version):
    return cpack(windows_build, "ZIP", str(tmp_path_factory.mktemp("zip")),
                 f"veltrane-{project_version}-windows-x64.zip")


def test_zip_holds_exactly_the_programs_readme_and_licence(package):
    with zipfile.ZipFile(package) as archive:
        assert sorted(archive.namelist()) == ["LICENSE.txt", "README.txt", "veltrane-lut.exe", "veltrane.exe"]
        assert archive.testzip() is None


def test_zipped_files_are_the_tested_ones(package, windows_build, source_dir, project_version):
    with zipfile.ZipFile(package) as archive:
        contents = {name: archive.read(name) for name in archive.namelist()}
    for program in ("veltrane.exe", "veltrane-lut.exe"):
        with open(os.path.join(windows_build, program), "rb") as f:
            tested = f.read()
        assert contents[program] == tested, f"the zipped {program} differs from build/windows/{program}"
        # Its version resource carries the same number as the zip's name.
        assert project_version.encode("utf-16-le") in tested, f"{program} has no version {project_version}"
    with open(os.path.join(source_dir, "README.md"), "rb") as f:
        assert contents["README.txt"] == f.read()
    with open(os.path.join(source_dir, "LICENSE"), "rb") as f:
        assert contents["LICENSE.txt"] == f.read()
