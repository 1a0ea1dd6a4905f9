"""Figures and pictures from Python are those of vxltool."""
import numpy as np
import pytest

import vormap
from conftest import info_figures


@pytest.mark.parametrize("args,options", [
    (("-s", "77"), dict(seed=77)),
    (("--map", "6:lake=south,symmetry=mirror,hills=1.5"), dict(name="6:lake=south,symmetry=mirror,hills=1.5")),
])
def test_figures_equal_vxltool_info_json(native_map, vxltool, args, options):
    path = native_map(*args)
    expected = info_figures(vxltool, path)
    made = vormap.generate(**options)
    assert made.figures() == expected
    # Same keys, same order, ints where the JSON has ints.
    assert list(made.figures()) == list(expected) == list(vormap.FIGURES)
    assert vormap.read_vxl(path).figures() == expected


@pytest.mark.parametrize("flags,options", [
    ([], dict()),
    (["--heightmap"], dict(heightmap=True)),
    (["--heightmap", "--absolute", "--scale", "2"], dict(heightmap=True, absolute=True, scale=2)),
])
def test_saved_previews_equal_vxltool_preview(native_map, vxltool, tmp_path, flags, options):
    path = native_map("-s", "77")
    vxltool("preview", *flags, path, tmp_path / "tool.png")
    for m in (vormap.generate(77), vormap.read_vxl(path)):
        m.save_preview(tmp_path / "py.png", **options)
        assert (tmp_path / "py.png").read_bytes() == (tmp_path / "tool.png").read_bytes()


def test_preview_arrays():
    m = vormap.generate(77)
    one, two = m.preview(), m.preview(2)
    assert (one.shape, one.dtype, two.shape) == ((512, 512, 3), np.uint8, (1024, 1024, 3))
    assert np.array_equal(two[::2, ::2], one) and np.array_equal(two[1::2, 1::2], one)
    grey = m.preview(heightmap=True)
    assert (grey[:, :, 0] == grey[:, :, 2]).all() and grey.min() == 0 and grey.max() == 255
    assert m._repr_png_().startswith(b"\x89PNG\r\n\x1a\n")
    try:
        import PIL  # noqa: F401
    except ImportError:
        return
    assert np.array_equal(np.asarray(m.preview_image()), one)
