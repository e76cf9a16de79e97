"""The calibration as veltrane-lut's tests see it, shared by the Linux and the
Windows suites: the nine values as command-line options and settings-file
lines, the table the pages draw for them (from veltrane-render's grey grid),
and readers of the exported files: a small CGATS reader for .cal files and
argyll's iccdump for a profile's 'vcgt'.

Values are dicts {(channel, parameter): value}, e.g. {("red", "gamma"): 2.2}."""

import os
import re
import subprocess

NAMES = {("red", "gamma"): "MonRG", ("green", "gamma"): "MonGG", ("blue", "gamma"): "MonBG",
         ("red", "brightness"): "MonRB", ("green", "brightness"): "MonGB", ("blue", "brightness"): "MonBB",
         ("red", "contrast"): "MonRC", ("green", "contrast"): "MonGC", ("blue", "contrast"): "MonBC"}


def value_args(values):
    args = []
    for (channel, parameter), value in sorted(values.items()):
        args += [f"--{channel}-{parameter}", repr(value)]
    return args


def settings_text(values):
    return "".join(f"{NAMES[key]} = {round(value * 100)}\n" for key, value in sorted(values.items()))


def grid_table(render, values, folder):
    """[red, green, blue] lists of 256 levels, as the grey grid page draws
    them: veltrane-render draws it at 16 x 16 pixels, where pixel
    (k % 16, k // 16) shows the level each channel gets for input level k."""
    import e2e_support as e2e
    path = os.path.join(folder, "grid.png")
    subprocess.run([render, "--page", "8", "--width", "16", "--height", "16", "--no-caption",
                    *value_args(values), "--output", path], check=True)
    image = e2e.load_png(path)
    os.remove(path)
    pixels = [image.pixel(k % 16, k // 16) for k in range(256)]
    return [[p[c] for p in pixels] for c in range(3)]


def sixteen_bit(table):
    return [[level * 257 for level in channel] for channel in table]


def read_cal(path):
    """A small CGATS reader: (first line, keywords, fields, rows of floats)."""
    with open(path) as f:
        lines = [line.strip() for line in f]
    keywords, fields, rows, part = {}, [], [], "header"
    for line in lines[1:]:
        if not line:
            continue
        if line == "BEGIN_DATA_FORMAT":
            part = "format"
        elif line == "END_DATA_FORMAT" or line == "END_DATA":
            part = "header"
        elif line == "BEGIN_DATA":
            part = "data"
        elif part == "format":
            fields += line.split()
        elif part == "data":
            rows.append([float(v) for v in line.split()])
        else:
            name, _, rest = line.partition(" ")
            keywords[name] = rest.strip().strip('"')
    return lines[0].strip(), keywords, fields, rows


def cal_levels(rows):
    """Each row's three outputs back as 16-bit entries."""
    return [[round(row[c + 1] * 65535) for row in rows] for c in range(3)]


def iccdump_vcgt(path):
    """The 'vcgt' entries as argyll's iccdump prints them, per channel."""
    result = subprocess.run(["iccdump", "-v3", "-t", "vcgt", path], capture_output=True, text=True, timeout=60)
    assert result.returncode == 0, f"iccdump {path}: {result.stderr}"
    channels, current = [], None
    for line in result.stdout.splitlines():
        if re.match(r"\s*channel #\d+", line):
            current = []
            channels.append(current)
        elif current is not None and re.match(r"\s*\d+: \d+\s*$", line):
            current.append(int(line.split(":")[1]))
    return channels
