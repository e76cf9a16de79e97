"""cmake --install into a temporary DESTDIR: every file lands where the rules
say, the installed programs run, and the desktop files, manual pages and
README agree with each other and with the programs."""

import configparser
import os
import re
import xml.etree.ElementTree as ET

import pytest

from conftest import run
from png_pixels import assert_render_works

APP_ID = "org.veltrane.Veltrane"


def expected_files(programs):
    files = {
        "usr/share/applications/org.veltrane.Veltrane.desktop",
        "usr/share/icons/hicolor/scalable/apps/org.veltrane.Veltrane.svg",
        "usr/share/metainfo/org.veltrane.Veltrane.metainfo.xml",
        "usr/share/doc/veltrane/README.md",
        "usr/share/doc/veltrane/LICENSE",
        "usr/share/doc/veltrane/copyright",
        "usr/share/doc/veltrane/changelog.Debian.gz",
    }
    for name in programs:
        files.add(f"usr/bin/{name}")
        files.add(f"usr/share/man/man1/{name}.1.gz")
    return files


def files_under(root):
    found = set()
    for folder, _, names in os.walk(root):
        for name in names:
            found.add(os.path.relpath(os.path.join(folder, name), root))
    return found


@pytest.fixture(scope="module")
def installed(linux_build, tmp_path_factory):
    root = str(tmp_path_factory.mktemp("destdir"))
    result = run(["cmake", "--install", linux_build, "--prefix", "/usr"],
                 env={**os.environ, "DESTDIR": root})
    assert result.returncode == 0, result.stdout + result.stderr
    return root


def long_options_in_help(program):
    """The long options a program's --help lists; `program` may be a list (a command with its subcommand)."""
    result = run([*(program if isinstance(program, list) else [program]), "--help"])
    assert result.returncode == 0, result.stderr
    return set(re.findall(r"(?<![\w-])(--[a-z][a-z-]*)", result.stdout))


def test_files_land_where_the_rules_say(installed, built_programs):
    assert files_under(installed) == expected_files(built_programs)
    for name in built_programs:
        mode = os.stat(os.path.join(installed, "usr/bin", name)).st_mode
        assert mode & 0o111 == 0o111, f"{name} is not executable by everyone"


def test_installed_programs_report_the_project_version(installed, built_programs, project_version):
    for name in built_programs:
        result = run([os.path.join(installed, "usr/bin", name), "--version"], env={})
        assert (result.returncode, result.stdout, result.stderr) == (0, f"{name} {project_version}\n", "")


def test_installed_render_writes_pages(installed, tmp_path):
    assert_render_works(os.path.join(installed, "usr/bin/veltrane-render"), str(tmp_path))


def test_desktop_entry_validates_and_starts_the_installed_program(installed):
    path = os.path.join(installed, f"usr/share/applications/{APP_ID}.desktop")
    result = run(["desktop-file-validate", path])
    assert result.returncode == 0 and result.stdout == "", result.stdout + result.stderr

    entry = configparser.ConfigParser(interpolation=None)
    entry.optionxform = str
    entry.read(path)
    desktop = entry["Desktop Entry"]
    assert os.path.isfile(os.path.join(installed, "usr/bin", desktop["Exec"].split()[0]))
    assert {"Settings", "HardwareSettings"} <= set(filter(None, desktop["Categories"].split(";")))
    # The icon is found by name in the hicolor theme.
    assert os.path.isfile(os.path.join(installed, "usr/share/icons/hicolor/scalable/apps",
                                       desktop["Icon"] + ".svg"))


def test_icon_is_a_well_formed_svg(installed):
    root = ET.parse(os.path.join(installed, f"usr/share/icons/hicolor/scalable/apps/{APP_ID}.svg")).getroot()
    assert root.tag == "{http://www.w3.org/2000/svg}svg"
    assert root.get("viewBox")


def test_metainfo_validates_and_matches_the_project(installed, built_programs, project_version):
    path = os.path.join(installed, f"usr/share/metainfo/{APP_ID}.metainfo.xml")
    result = run(["appstreamcli", "validate", "--no-net", path])
    assert result.returncode == 0, result.stdout + result.stderr

    component = ET.parse(path).getroot()
    assert component.findtext("id") == APP_ID
    assert component.findtext("metadata_license") == "MIT"
    assert component.findtext("project_license") == "MIT"
    assert [r.get("version") for r in component.iter("release")] == [project_version]
    launchable = component.find("launchable")
    assert os.path.isfile(os.path.join(installed, "usr/share/applications", launchable.text))
    binaries = {b.text for b in component.iter("binary")}
    assert binaries == set(built_programs), binaries


def test_licence_is_mit_and_the_copyright_file_carries_it(installed, source_dir):
    with open(os.path.join(source_dir, "LICENSE")) as f:
        licence = f.read()
    assert licence.startswith("MIT License\n\nCopyright (c) 2026 The Veltrane developers\n")
    with open(os.path.join(installed, "usr/share/doc/veltrane/copyright")) as f:
        copyright_file = f.read()
    # Debian's form of the same text: every line indented, blank lines as " .".
    body = licence.split("\n\n", 2)[2].rstrip("\n")
    debian_form = "\n".join(" " + line if line else " ." for line in body.split("\n"))
    assert debian_form in copyright_file
    assert "License: Expat" in copyright_file


def man_page_source(source_dir, program):
    with open(os.path.join(source_dir, "packaging", "man", f"{program}.1.scd")) as f:
        return f.read()


@pytest.mark.parametrize("program", ["veltrane", "veltrane-render"])
def test_man_page_renders_without_warnings_and_names_every_option(installed, built_programs, source_dir,
                                                                  program):
    page = os.path.join(installed, f"usr/share/man/man1/{program}.1.gz")
    rendered = run(["man", "--warnings", "-l", page], env={**os.environ, "MANWIDTH": "80"})
    assert rendered.returncode == 0 and rendered.stderr == "", rendered.stderr
    assert f"{program} - " in rendered.stdout
    source = man_page_source(source_dir, program)
    for option in long_options_in_help(built_programs[program]):
        assert f"*{option}*" in source, f"{option} (from --help) is missing from {program}(1)"


def test_veltrane_lut_man_page_names_every_command_and_its_options(installed, built_programs, source_dir):
    if "veltrane-lut" not in built_programs:
        pytest.skip("veltrane-lut was not built")
    lut = built_programs["veltrane-lut"]
    page = os.path.join(installed, "usr/share/man/man1/veltrane-lut.1.gz")
    rendered = run(["man", "--warnings", "-l", page], env={**os.environ, "MANWIDTH": "80"})
    assert rendered.returncode == 0 and rendered.stderr == "", rendered.stderr
    source = man_page_source(source_dir, "veltrane-lut")
    for option in long_options_in_help(lut):
        assert f"*{option}*" in source, f"{option} (from --help) is missing from veltrane-lut(1)"
    listed = run([lut, "--help"]).stdout.split("\nSubcommands:\n", 1)[1]
    commands = re.findall(r"^  ([a-z]+) ", listed, re.M)
    assert {"icc", "install", "uninstall", "show"} <= set(commands), commands
    for command in commands:
        assert f"*{command}*" in source, f"the command {command} is missing from veltrane-lut(1)"
        for option in long_options_in_help([lut, command]):
            assert f"*{option}*" in source, f"{command} {option} (from its --help) is missing from veltrane-lut(1)"


def test_veltrane_man_page_agrees_with_the_readme(source_dir):
    with open(os.path.join(source_dir, "README.md")) as f:
        readme = f.read()
    page = man_page_source(source_dir, "veltrane")

    keys_section = readme.split("\n## Keys\n", 1)[1].split("\n## ", 1)[0]
    rows = re.findall(r"^\| (.+?) \| (.+?) \|$", keys_section, re.M)
    assert rows[0] == ("key", "action") and len(rows) > 5, "the README's key table was not found"
    for key, action in rows[1:]:
        assert f"|  {key}\n:  {action}\n" in page, f"key row '{key} | {action}' differs in veltrane(1)"

    for text in ("$XDG_CONFIG_HOME/Kardo/Orlith.conf", "~/.config/Kardo/Orlith.conf", "MonRG = 100"):
        assert text in readme and text in page, text

    # The Linux program's exit codes in the README are those the page explains.
    linux_section = readme.split("\n## The Linux program\n", 1)[1].split("\n## ", 1)[0]
    readme_codes = set(re.findall(r"^- `(\d+)`", linux_section, re.M))
    page_codes = set(re.findall(r"^\*(\d+)\*$", page.split("# EXIT STATUS", 1)[1], re.M))
    assert readme_codes and readme_codes == page_codes, (readme_codes, page_codes)


def test_the_file_writing_rule_reads_the_same_in_the_readme_and_every_manual_page(source_dir):
    with open(os.path.join(source_dir, "README.md")) as f:
        readme = f.read()
    marked = re.search(r"\n<!-- writing-files -->\n(.*?)<!-- /writing-files -->\n", readme, re.S)
    assert marked, "the README's marked section on writing files was not found"
    rule = marked.group(1).replace("`", "").strip()
    for program in ("veltrane", "veltrane-render", "veltrane-lut"):
        page = man_page_source(source_dir, program)
        section = page.split("\n# WRITING FILES\n", 1)[-1].split("\n# ", 1)[0].strip()
        assert "\n# WRITING FILES\n" in page and section == rule, f"{program}(1) says the rule differently"
