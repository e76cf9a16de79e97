"""The browser edition's zip made by CPack from the web build: exactly the
site (the page, the module and its loader, the caption font, the icon, the
licences) and the README as text, each byte for byte the file in
build/web/site that the browser tests loaded. Run it after those tests, as
scripts/test.sh does."""

import os
import zipfile

import pytest

from conftest import cpack

SITE = ["DejaVuSans.ttf", "favicon.svg", "index.html", "licences.txt", "veltrane.js", "veltrane.wasm"]


@pytest.fixture(scope="module")
def package(web_build, tmp_path_factory, project_version):
    return cpack(web_build, "ZIP", str(tmp_path_factory.mktemp("zip")), f"veltrane-{project_version}-web.zip")


def test_zip_holds_exactly_the_site_and_the_readme(package):
    with zipfile.ZipFile(package) as archive:
        assert sorted(archive.namelist()) == sorted(SITE + ["README.txt"])
        assert archive.testzip() is None


def test_zipped_files_are_the_tested_ones(package, web_build, source_dir):
    with zipfile.ZipFile(package) as archive:
        contents = {name: archive.read(name) for name in archive.namelist()}
    for name in SITE:
        with open(os.path.join(web_build, "site", name), "rb") as f:
            assert contents[name] == f.read(), f"the zipped {name} differs from build/web/site/{name}"
    with open(os.path.join(source_dir, "README.md"), "rb") as f:
        assert contents["README.txt"] == f.read()
    # The licences the site must carry: ours, FreeType's, Little CMS's and the font's.
    licences = contents["licences.txt"].decode()
    with open(os.path.join(source_dir, "LICENSE")) as f:
        assert f.read() in licences
    for words in ("The FreeType Project", "Little CMS", "Bitstream Vera"):
        assert words in licences, f"licences.txt lacks {words}"
