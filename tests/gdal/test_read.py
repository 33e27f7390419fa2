"""Reading Wavra files through GDAL: facts, georeferencing, windows at every
scale against wavra-decode, virtual file systems, files that are not ours
and damaged ones."""
import os
import re
import shutil
import subprocess
import zipfile

import numpy as np
import pytest
from osgeo import gdal, osr

from conftest import (conformance_files, conformance_path, pixels_of, wavra_decode, CONFORMANCE_DIR)

FILES = conformance_files()
NAMES = [f[0] for f in FILES]


def open_wavra(path, **options):
    return gdal.OpenEx(path, gdal.OF_RASTER, allowed_drivers=["WAVRA"],
                       open_options=["%s=%s" % kv for kv in options.items()])


def level_size(width, height, scale):
    return -(-width // (1 << scale)), -(-height // (1 << scale))


def stored_georeferencing(name):
    """The origin (centre of the upper-left pixel) and pixel sizes in the
    file's metadata, as its structure dump lists them; None without."""
    with open(os.path.join(CONFORMANCE_DIR, name + ".structure.txt")) as f:
        dump = f.read()
    values = {}
    for tag in ("XY_ORIGIN", "X_RESOLUTION", "Y_RESOLUTION"):
        m = re.search(r"IMAGE::%s .* values \[([^\]]*)\]" % tag, dump)
        if not m:
            return None
        values[tag] = [float(v) for v in m.group(1).split(",")]
    return values["XY_ORIGIN"][0], values["XY_ORIGIN"][1], values["X_RESOLUTION"][0], values["Y_RESOLUTION"][0]


def test_driver_is_listed_with_its_capabilities():
    formats = subprocess.run(["gdalinfo", "--formats"], check=True, capture_output=True, text=True).stdout
    assert re.search(r"^\s*WAVRA -raster- \(rwv\): Wavra wavelet image$", formats, re.M), formats
    driver = gdal.GetDriverByName("WAVRA")
    assert driver.GetMetadataItem(gdal.DMD_EXTENSION) == "wvr"
    for option in ("NLEV", "RATE", "BLOCKSIZE", "DITHER", "BEST_QUALITY"):
        assert "name='%s'" % option in driver.GetMetadataItem(gdal.DMD_CREATIONOPTIONLIST)
    assert "CMYK_AS_RGB" in driver.GetMetadataItem(gdal.DMD_OPENOPTIONLIST)


@pytest.mark.parametrize("name,width,height,bands,levels", FILES, ids=NAMES)
def test_facts_equal_the_listing_and_georeferencing(name, width, height, bands, levels):
    with open(os.path.join(CONFORMANCE_DIR, name + ".misinfo.txt")) as f:
        listing = f.read().split("\n")
    assert [int(v) for v in listing[1:5]] == [width, height, bands, levels]

    ds = open_wavra(conformance_path(name))
    assert ds.GetDriver().ShortName == "WAVRA"
    assert (ds.RasterXSize, ds.RasterYSize, ds.RasterCount) == (width, height, bands)
    expected_colours = {1: ["Gray"], 3: ["Red", "Green", "Blue"], 4: ["Cyan", "Magenta", "Yellow", "Black"]}
    band_colours = [gdal.GetColorInterpretationName(ds.GetRasterBand(b).GetColorInterpretation())
                    for b in range(1, bands + 1)]
    assert band_colours == expected_colours[bands]
    band = ds.GetRasterBand(1)
    assert band.DataType == gdal.GDT_Byte
    assert band.GetBlockSize() == [min(512, width), min(512, height)]
    assert band.GetOverviewCount() == levels
    assert [(band.GetOverview(i).XSize, band.GetOverview(i).YSize) for i in range(levels)] == \
        [level_size(width, height, s) for s in range(1, levels + 1)]
    structure = ds.GetMetadata("IMAGE_STRUCTURE")
    assert structure["COMPRESSION"] == "WAVRA" and structure["COMPRESSION_REVERSIBILITY"] == "LOSSY"

    stored = stored_georeferencing(name)
    if stored is None:
        assert ds.GetGeoTransform(can_return_null=True) is None
    else:
        x, y, xres, yres = stored
        # The stored origin is the centre of the upper-left pixel, GDAL's its corner.
        assert ds.GetGeoTransform() == pytest.approx((x - xres / 2, xres, 0, y + yres / 2, 0, -yres), abs=1e-6)
        assert float(ds.GetMetadataItem("X_RESOLUTION", "WAVRA")) == pytest.approx(xres)
    if bands == 4:
        rgb = open_wavra(conformance_path(name), CMYK_AS_RGB="YES")
        assert rgb.RasterCount == 3
        assert rgb.GetRasterBand(3).GetColorInterpretation() == gdal.GCI_BlueBand


def windows_of(width, height):
    """Windows worth comparing in an image of this size: the whole image, the
    corners as single pixels, windows reaching the right and bottom edges,
    a small one across the 64 x 32 code-block edges and a large one."""
    wins = [(0, 0, width, height), (0, 0, 1, 1), (width - 1, height - 1, 1, 1),
            (max(0, width - 70), max(0, height - 66), min(70, width), min(66, height)),
            (min(60, width - 7), min(28, height - 5), min(7, width), min(5, height))]
    if width > 100 and height > 60:
        wins.append((30, 20, min(100, width - 30), min(80, height - 20)))
    return sorted(set(wins))


@pytest.mark.parametrize("name,width,height,bands,levels", FILES, ids=NAMES)
def test_windows_at_every_scale_equal_wavra_decode(name, width, height, bands, levels, tmp_path):
    # wavra-decode writes CMYK files as RGB, which the open option delivers too.
    ds = open_wavra(conformance_path(name), CMYK_AS_RGB="YES")
    for scale in range(levels + 1):
        level = ds if scale == 0 else ds.GetRasterBand(1).GetOverview(scale - 1).GetDataset()
        w, h = level_size(width, height, scale)
        assert (level.RasterXSize, level.RasterYSize) == (w, h)
        for (x, y, ww, hh) in windows_of(w, h):
            expected = wavra_decode(conformance_path(name), scale, x, y, ww, hh, str(tmp_path), bands == 1)
            np.testing.assert_array_equal(pixels_of(level, x, y, ww, hh), expected,
                                          err_msg="scale %d window %s" % (scale, (x, y, ww, hh)))
            # One band at a time, as clients that read band by band do.
            last = level.GetRasterBand(level.RasterCount).ReadAsArray(x, y, ww, hh)
            np.testing.assert_array_equal(last, expected[:, :, -1])
        if scale > 0:
            # A reduced read of the whole image is served by that scale.
            whole = pixels_of(ds, 0, 0, width, height, w, h)
            expected = wavra_decode(conformance_path(name), scale, 0, 0, w, h, str(tmp_path), bands == 1)
            np.testing.assert_array_equal(whole, expected, err_msg="scale %d" % scale)


@pytest.mark.parametrize("scheme", ["/vsimem/", "/vsizip/"])
def test_virtual_file_systems_give_the_same_pixels(scheme, tmp_path):
    source = conformance_path("c03_rgb_blocks")
    if scheme == "/vsimem/":
        path = "/vsimem/c03.wvr"
        with open(source, "rb") as f:
            gdal.FileFromMemBuffer(path, f.read())
    else:
        archive = str(tmp_path / "files.zip")
        with zipfile.ZipFile(archive, "w") as z:
            z.write(source, "inside/c03.wvr")
        path = "/vsizip/" + archive + "/inside/c03.wvr"
    try:
        virtual, real = open_wavra(path), open_wavra(source)
        for a, b in ((virtual, real), (virtual.GetRasterBand(1).GetOverview(1), real.GetRasterBand(1).GetOverview(1))):
            np.testing.assert_array_equal(a.ReadAsArray(), b.ReadAsArray())
    finally:
        if scheme == "/vsimem/":
            gdal.Unlink(path)


def test_world_file_and_prj_beside_the_file(tmp_path):
    path = str(tmp_path / "earth.wvr")
    shutil.copy(conformance_path("c05_earth_georef"), path)
    with open(str(tmp_path / "earth.wvw"), "w") as f:
        f.write("2.0\n0.0\n0.0\n-3.0\n101.0\n199.5\n")
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(4326)
    srs.MorphToESRI()
    with open(str(tmp_path / "earth.prj"), "w") as f:
        f.write(srs.ExportToWkt())
    ds = open_wavra(path)
    # The world file overrides the metadata; its origin is a pixel centre too.
    assert ds.GetGeoTransform() == pytest.approx((100.0, 2.0, 0.0, 201.0, 0.0, -3.0))
    wgs84 = osr.SpatialReference()
    wgs84.ImportFromEPSG(4326)
    assert ds.GetSpatialRef().IsSame(wgs84, ["IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES"])
    assert sorted(os.path.basename(f) for f in ds.GetFileList()) == ["earth.prj", "earth.wvr", "earth.wvw"]


def test_files_that_are_not_ours_are_not_claimed(tmp_path):
    ours_in_name = tmp_path / "text.wvr"
    ours_in_name.write_bytes(b"wvrb" + bytes(100))
    for path in (os.path.join(CONFORMANCE_DIR, "c01_grey.s0.pgm"), str(ours_in_name)):
        assert gdal.IdentifyDriverEx(path, allowed_drivers=["WAVRA"]) is None
        with pytest.raises(RuntimeError):
            open_wavra(path)


def test_truncated_and_damaged_files_give_an_error(tmp_path):
    with open(conformance_path("c02_rgb"), "rb") as f:
        good = f.read()
    truncated = tmp_path / "truncated.wvr"
    truncated.write_bytes(good[:30])
    with pytest.raises(RuntimeError, match="truncated.wvr"):
        open_wavra(str(truncated))
    # Payload bytes overwritten: opens, and the damage shows when read.
    damaged = bytearray(good)
    damaged[200:4000] = b"\xff" * 3800
    (tmp_path / "damaged.wvr").write_bytes(bytes(damaged))
    with pytest.raises(RuntimeError):
        ds = open_wavra(str(tmp_path / "damaged.wvr"))
        ds.ReadAsArray()
