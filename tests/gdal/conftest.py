"""Shared helpers of the WAVRA plugin tests: paths, the conformance files,
wavra-decode of a window, PNM reading and PSNR.

Run by ctest with GDAL_DRIVER_PATH naming the build's gdalplugins folder,
WAVRA_BIN_DIR the programs and WAVRA_CONFORMANCE_DIR the conformance files.
"""
import contextlib
import os
import subprocess

import numpy as np
import pytest
from osgeo import gdal

gdal.UseExceptions()

BIN_DIR = os.environ.get("WAVRA_BIN_DIR", "")
CONFORMANCE_DIR = os.environ.get("WAVRA_CONFORMANCE_DIR", "")
CONFORMANCE_COUNT = 10


def conformance_files():
    """(name, width, height, bands, levels) of every file MANIFEST.txt lists."""
    rows = []
    with open(os.path.join(CONFORMANCE_DIR, "MANIFEST.txt")) as manifest:
        for line in manifest:
            if line.startswith("#") or "|" not in line:
                continue
            name, _, size, bands, levels = [f.strip() for f in line.split("|")]
            width, height = size.split("x")
            rows.append((name[: -len(".wvr")], int(width), int(height), int(bands), int(levels)))
    assert len(rows) == CONFORMANCE_COUNT
    return rows


def conformance_path(name):
    return os.path.join(CONFORMANCE_DIR, name + ".wvr")


def read_pnm(path):
    """The pixels of a binary PGM or PPM as an array (rows, columns, samples)."""
    with open(path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos : pos + 1].isspace():
            pos += 1
        if data[pos : pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end : end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    samples = {b"P5": 1, b"P6": 3}[fields[0]]
    width, height = int(fields[1]), int(fields[2])
    pixels = np.frombuffer(data, np.uint8, width * height * samples, pos + 1)
    return pixels.reshape(height, width, samples)


def wavra_decode(path, scale, x, y, width, height, out_dir, grey=False):
    """The window (x, y, width, height) of `scale` as wavra-decode writes it.

    The program names a region by its centre in full-resolution pixels; this
    picks the centre whose region starts at (x, y); a 1 x 1 region is its
    centre."""
    single = width == 1 and height == 1
    cx = (x if single else x + (width + 1) // 2) << scale
    cy = (y if single else y + (height + 1) // 2) << scale
    out = os.path.join(out_dir, "window.pgm" if grey else "window.ppm")
    subprocess.run(
        [os.path.join(BIN_DIR, "wavra-decode"), "-quiet", "-i", path, "-o", out, "-s", str(scale),
         "-x", str(cx), "-y", str(cy), "-w", str(width), "-h", str(height)],
        check=True, capture_output=True)
    return read_pnm(out)


def pixels_of(dataset, x, y, width, height, buf_width=None, buf_height=None):
    """A window of every band as (rows, columns, samples), read in one call
    into a pixel-interleaved buffer (of the window's size by default)."""
    bands = dataset.RasterCount
    buf_width, buf_height = buf_width or width, buf_height or height
    raw = dataset.ReadRaster(x, y, width, height, buf_width, buf_height, buf_pixel_space=bands,
                             buf_line_space=buf_width * bands, buf_band_space=1)
    return np.frombuffer(raw, np.uint8).reshape(buf_height, buf_width, bands)


@contextlib.contextmanager
def config_option(key, value):
    """GDAL's configuration option `key` set to `value` inside the block."""
    before = gdal.GetConfigOption(key)
    gdal.SetConfigOption(key, value)
    try:
        yield
    finally:
        gdal.SetConfigOption(key, before)


def psnr(a, b):
    mse = np.mean((a.astype(np.float64) - b.astype(np.float64)) ** 2)
    return float("inf") if mse == 0 else 10 * np.log10(255.0 ** 2 / mse)


@pytest.fixture(scope="session", autouse=True)
def plugin_loaded():
    assert gdal.GetDriverByName("WAVRA") is not None, \
        "gdal_WAVRA.so not found in GDAL_DRIVER_PATH=" + os.environ.get("GDAL_DRIVER_PATH", "")
