"""Programs built on GDAL read Wavra files: rasterio's windowed and reduced
reads, and gdal2tiles with several processes."""
import os
import subprocess
import sys

import numpy as np
import pytest

from conftest import conformance_path, wavra_decode

EARTH = conformance_path("c05_earth_georef")  # 320 x 240 RGB, 4 levels, georeferenced


def test_rasterio_reads_a_window_and_a_reduced_image(tmp_path):
    rasterio = pytest.importorskip("rasterio")
    from rasterio.windows import Window

    with rasterio.open(EARTH) as src:
        assert src.driver == "WAVRA"
        assert src.overviews(1) == [2, 4, 8, 16]
        assert src.transform.a == pytest.approx(0.0439453125)
        window = src.read(window=Window(100, 50, 70, 40))
        np.testing.assert_array_equal(np.moveaxis(window, 0, -1),
                                      wavra_decode(EARTH, 0, 100, 50, 70, 40, str(tmp_path)))
        reduced = src.read(out_shape=(3, 60, 80))
        np.testing.assert_array_equal(np.moveaxis(reduced, 0, -1), wavra_decode(EARTH, 2, 0, 0, 80, 60, str(tmp_path)))


def test_gdal2tiles_with_two_processes_makes_tiles(tmp_path):
    out = str(tmp_path / "tiles")
    subprocess.run([sys.executable, "/usr/bin/gdal2tiles.py", "--processes=2", "-z", "0-3", "-q", "-w", "none",
                    "-p", "raster", EARTH, out], check=True, capture_output=True, timeout=300)
    for zoom in range(4):
        tiles = os.listdir(os.path.join(out, str(zoom)))
        assert tiles, "no tiles at zoom %d" % zoom
