"""What the veltrane-lut and colord suites share: the values on the command
line and in the settings file, the table the pages show for them, and the
readers of the exported files (argyll's iccdump and iccvcgt, a small CGATS
reader, the ICC header's MD5 id).

Every expected table comes from the pages themselves: veltrane-render draws
the grey 16 x 16 grid at 16 x 16 pixels, where pixel (k % 16, k // 16) shows
the level each channel gets for input level k.
"""

import hashlib
import re
import subprocess

import e2e_support as e2e

NAMES = {("red", "gamma"): "MonRG", ("green", "gamma"): "MonGG", ("blue", "gamma"): "MonBG",
         ("red", "brightness"): "MonRB", ("green", "brightness"): "MonGB", ("blue", "brightness"): "MonBB",
         ("red", "contrast"): "MonRC", ("green", "contrast"): "MonGC", ("blue", "contrast"): "MonBC"}

TUNED = {("red", "gamma"): 2.2, ("green", "gamma"): 1.8, ("blue", "contrast"): 0.93,
         ("green", "brightness"): 1.02}
EXTREME = {("red", "gamma"): -3.0, ("green", "contrast"): 0.0, ("blue", "brightness"): 40.0,
           ("blue", "gamma"): 0.0}


def value_args(values):
    args = []
    for (channel, parameter), value in sorted(values.items()):
        args += [f"--{channel}-{parameter}", repr(value)]
    return args


def settings_text(values):
    return "".join(f"{NAMES[key]} = {round(value * 100)}\n" for key, value in sorted(values.items()))


_tables = {}


def page_table(render, values, tmp_path_factory):
    """[red, green, blue] lists of 256 levels, as the grey grid page draws them."""
    key = tuple(sorted(values.items()))
    if key not in _tables:
        path = str(tmp_path_factory.mktemp("grid") / "grid.png")
        subprocess.run([render, "--page", "8", "--width", "16", "--height", "16", "--no-caption",
                        *value_args(values), "--output", path], check=True)
        image = e2e.load_png(path)
        pixels = [image.pixel(k % 16, k // 16) for k in range(256)]
        _tables[key] = [[p[c] for p in pixels] for c in range(3)]
    return _tables[key]


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
    text = subprocess.run(["iccdump", "-v3", "-t", "vcgt", path], stdout=subprocess.PIPE, text=True,
                          check=True).stdout
    channels, current = [], None
    for line in text.splitlines():
        if re.match(r"\s*channel #\d+", line):
            current = []
            channels.append(current)
        elif current is not None and re.match(r"\s*\d+: \d+\s*$", line):
            current.append(int(line.split(":")[1]))
    return channels


def iccvcgt_levels(path, folder):
    """The 'vcgt' as argyll's iccvcgt extracts it into a .cal file, in 16 bits."""
    extracted = str(folder / "extracted.cal")
    subprocess.run(["iccvcgt", "-x", path, extracted], check=True, stdout=subprocess.DEVNULL)
    return cal_levels(read_cal(extracted)[3])


def header_id(data):
    """(the profile id in the header, the MD5 the ICC rules give it): the MD5
    of the whole profile with the flags, the rendering intent and the id as zeros."""
    zeroed = bytearray(data)
    for start, end in ((44, 48), (64, 68), (84, 100)):
        zeroed[start:end] = bytes(end - start)
    return bytes(data[84:100]).hex(), hashlib.md5(zeroed).hexdigest()
