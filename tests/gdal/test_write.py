"""Writing Wavra files through GDAL (CreateCopy): a georeferenced GeoTIFF
round trip against wavra-encode, refused sources, and a cancelled copy."""
import os
import subprocess

import numpy as np
import pytest
from osgeo import gdal, osr

from conftest import BIN_DIR, config_option, psnr, read_pnm

ORIGIN_X, ORIGIN_Y, PIXEL = 431000.0, 5272000.0, 10.0


def textured(width, height, bands):
    """A smooth picture with edges: gradients, rings and a grid."""
    y, x = np.mgrid[0:height, 0:width].astype(np.float64)
    planes = [128 + 100 * np.sin(x / (9 + 4 * b)) * np.cos(y / (13 + 3 * b)) + 20 * ((x // 32 + y // 32) % 2)
              for b in range(bands)]
    return np.clip(np.stack(planes, axis=-1), 0, 255).astype(np.uint8)


def write_geotiff(path, pixels, data_type=gdal.GDT_Byte, colours=None):
    height, width, bands = pixels.shape
    # Four bands without colours are CMYK.
    options = ["PHOTOMETRIC=SEPARATED"] if bands == 4 and not colours else []
    ds = gdal.GetDriverByName("GTiff").Create(path, width, height, bands, data_type, options)
    ds.SetGeoTransform((ORIGIN_X, PIXEL, 0, ORIGIN_Y, 0, -PIXEL))
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(32633)
    ds.SetSpatialRef(srs)
    for b in range(bands):
        ds.GetRasterBand(b + 1).WriteArray(pixels[:, :, b])
        if colours:
            ds.GetRasterBand(b + 1).SetColorInterpretation(colours[b])
    ds = None
    return path


def cli_round_trip(pixels, tmp_path, levels):
    """PSNR of the same pixels through wavra-encode and wavra-decode (which
    take grey and RGB images)."""
    height, width, bands = pixels.shape
    raw = str(tmp_path / "cli.bip")
    pixels.tofile(raw)
    with open(str(tmp_path / "cli.hdr"), "w") as f:
        f.write("BYTEORDER M\nLAYOUT BIP\nNROWS %d\nNCOLS %d\nNBANDS %d\nNBITS 8\n"
                "ULXMAP %.3f\nULYMAP %.3f\nXDIM %.3f\nYDIM %.3f\n"
                % (height, width, bands, ORIGIN_X + PIXEL / 2, ORIGIN_Y - PIXEL / 2, PIXEL, PIXEL))
    encoded, decoded = str(tmp_path / "cli.wvr"), str(tmp_path / "cli.bip.out.pgm")
    run = [os.path.join(BIN_DIR, "wavra-encode"), "-quiet", "-i", raw, "-o", encoded, "-n", str(levels)]
    subprocess.run(run, check=True, capture_output=True)
    decoded = str(tmp_path / ("cli.pgm" if bands == 1 else "cli.ppm"))
    subprocess.run([os.path.join(BIN_DIR, "wavra-decode"), "-quiet", "-i", encoded, "-o", decoded],
                   check=True, capture_output=True)
    return psnr(read_pnm(decoded), pixels)


@pytest.mark.parametrize("bands", [1, 3, 4])
def test_geotiff_round_trip_keeps_georeferencing_and_quality(bands, tmp_path):
    pixels = textured(300, 200, bands)
    source = write_geotiff(str(tmp_path / "source.tif"), pixels)
    wvr = str(tmp_path / "copy.wvr")
    gdal.Translate(wvr, source, format="WAVRA", creationOptions=["NLEV=3"])
    back = str(tmp_path / "back.tif")
    gdal.Translate(back, wvr, format="GTiff")

    copy, result = gdal.Open(wvr), gdal.Open(back)
    assert copy.GetRasterBand(1).GetOverviewCount() == 3
    assert copy.GetRasterBand(1).GetNoDataValue() is None  # the encoder's zeros declare none
    assert (result.RasterXSize, result.RasterYSize, result.RasterCount) == (300, 200, bands)
    assert result.GetGeoTransform() == pytest.approx(gdal.Open(source).GetGeoTransform(), abs=1e-6)
    assert result.GetSpatialRef().GetAuthorityCode(None) == "32633"
    through_gdal = psnr(result.ReadAsArray(interleave="pixel").reshape(pixels.shape), pixels)
    if bands != 4:
        assert through_gdal >= cli_round_trip(pixels, tmp_path, 3) - 1e-9
    assert through_gdal > 25
    if bands == 3:
        best = gdal.Translate(str(tmp_path / "best.wvr"), source, format="WAVRA",
                              creationOptions=["NLEV=3", "BEST_QUALITY=YES"])
        assert best.GetMetadataItem("NO_DITHER", "WAVRA") is not None


@pytest.mark.parametrize("bands,data_type,colours,strict,message", [
    (2, gdal.GDT_Byte, None, False, "writes 1 \\(grey\\), 3 \\(RGB\\) or 4 \\(CMYK\\) bands; this source has 2"),
    (1, gdal.GDT_UInt16, None, True, "writes Byte bands only; band 1 of this source is UInt16"),
    (4, gdal.GDT_Byte, [gdal.GCI_RedBand, gdal.GCI_GreenBand, gdal.GCI_BlueBand, gdal.GCI_AlphaBand], True,
     "this source is RGBA"),
])
def test_sources_it_cannot_write_are_refused(bands, data_type, colours, strict, message, tmp_path):
    source = write_geotiff(str(tmp_path / "source.tif"), textured(80, 60, bands), data_type, colours)
    out = str(tmp_path / "out.wvr")
    with pytest.raises(RuntimeError, match=message):
        gdal.GetDriverByName("WAVRA").CreateCopy(out, gdal.Open(source), strict=int(strict))
    assert sorted(os.listdir(str(tmp_path))) == ["source.tif"]


@pytest.mark.parametrize("bands,data_type,colours", [
    (1, gdal.GDT_UInt16, None),
    (4, gdal.GDT_Byte, [gdal.GCI_RedBand, gdal.GCI_GreenBand, gdal.GCI_BlueBand, gdal.GCI_AlphaBand]),
])
def test_a_non_strict_copy_converts_with_a_warning(bands, data_type, colours, tmp_path):
    source = write_geotiff(str(tmp_path / "source.tif"), textured(128, 128, bands), data_type, colours)
    warnings = []
    gdal.PushErrorHandler(lambda level, number, message: warnings.append((level, message)))
    try:
        ds = gdal.GetDriverByName("WAVRA").CreateCopy(str(tmp_path / "out.wvr"), gdal.Open(source), strict=0)
    finally:
        gdal.PopErrorHandler()
    assert [level for level, _ in warnings] == [gdal.CE_Warning]
    assert ds.RasterCount == min(bands, 3)


@pytest.mark.parametrize("folder", ["disk", "/vsimem/"])
def test_cancel_leaves_nothing(folder, tmp_path):
    source = write_geotiff(str(tmp_path / "source.tif"), textured(256, 256, 3))
    temporaries = tmp_path / "tmp"
    temporaries.mkdir()
    out = str(tmp_path / "out.wvr") if folder == "disk" else "/vsimem/cancelled/out.wvr"
    calls = []

    def cancel_midway(fraction, message, data):
        calls.append(fraction)
        return 0 if fraction > 0.3 else 1

    with config_option("CPL_TMPDIR", str(temporaries)):
        with pytest.raises(RuntimeError, match="User terminated"):
            gdal.Translate(out, source, format="WAVRA", callback=cancel_midway)
    assert calls and max(calls) > 0.3
    assert sorted(os.listdir(str(tmp_path))) == ["source.tif", "tmp"]
    assert os.listdir(str(temporaries)) == []
    assert not gdal.ReadDir("/vsimem/cancelled")

    # The same copy, not cancelled, is readable from there.
    with config_option("CPL_TMPDIR", str(temporaries)):
        gdal.Translate(out, source, format="WAVRA")
    assert gdal.Open(out).RasterCount == 3
    assert os.listdir(str(temporaries)) == []
    gdal.Unlink(out)
