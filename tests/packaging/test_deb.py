"""The .deb made by CPack from the linux build: built into a temporary
folder, unpacked with dpkg-deb -x (never installed on this machine), its
programs run from there, its control fields checked, lintian without errors."""

import os
import re

import pytest

from conftest import cpack, run
from png_pixels import assert_render_works
from test_install import expected_files, files_under


@pytest.fixture(scope="module")
def package(linux_build, tmp_path_factory, project_version):
    return cpack(linux_build, "DEB", str(tmp_path_factory.mktemp("deb")),
                 f"veltrane_{project_version}-1_amd64.deb")


@pytest.fixture(scope="module")
def unpacked(package, tmp_path_factory):
    root = str(tmp_path_factory.mktemp("unpacked"))
    result = run(["dpkg-deb", "-x", package, root])
    assert result.returncode == 0, result.stderr
    return root


def control_field(package, name):
    result = run(["dpkg-deb", "-f", package, name])
    assert result.returncode == 0, result.stderr
    return result.stdout.strip()


def test_package_holds_what_cmake_install_installs(unpacked, built_programs):
    assert files_under(unpacked) == expected_files(built_programs)


def test_unpacked_programs_run(unpacked, built_programs, project_version, tmp_path):
    for name in built_programs:
        result = run([os.path.join(unpacked, "usr/bin", name), "--version"], env={})
        assert (result.returncode, result.stdout) == (0, f"{name} {project_version}\n"), result.stderr
    assert_render_works(os.path.join(unpacked, "usr/bin/veltrane-render"), str(tmp_path))


def test_control_fields(package, project_version):
    assert control_field(package, "Package") == "veltrane"
    assert control_field(package, "Version") == f"{project_version}-1"
    assert control_field(package, "Architecture") == run(["dpkg", "--print-architecture"]).stdout.strip()
    depends = [d.strip() for d in control_field(package, "Depends").split(",")]
    names = {re.match(r"[a-z0-9.+-]+", d).group(0) for d in depends}
    # The caption font, named by hand; the rest read from the programs' libraries.
    assert "fonts-dejavu-core" in names
    for library_package in ("libc6", "libsdl2-2.0-0", "libfreetype6", "libfontconfig1", "libpng16-16"):
        assert library_package in names, f"{library_package} missing from Depends: {depends}"
    # shlibdeps gives the lowest versions the programs need, not just names.
    assert any(d.startswith("libc6 (>= ") for d in depends), depends


def test_lintian_reports_no_errors(package):
    result = run(["lintian", "--tag-display-limit", "0", package], timeout=600)
    errors = [line for line in result.stdout.splitlines() if line.startswith("E:")]
    assert errors == [] and result.returncode == 0, result.stdout + result.stderr
