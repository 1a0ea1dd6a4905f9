"""The grids are read-only views of the map's own memory, and keep it alive."""
import gc
import weakref

import numpy as np
import pytest

import vormap


def address(array):
    return array.__array_interface__["data"][0]


@pytest.fixture(scope="module")
def made():
    return vormap.generate(-5, threads=2)


def test_views_share_the_maps_memory_and_are_read_only(made):
    for name, shape, dtype in [("heights", (512, 512), np.int32), ("solid", (512, 512, 64), np.bool_),
                               ("colors", (512, 512, 64), np.uint32)]:
        first, second = getattr(made, name), getattr(made, name)
        assert (first.shape, first.dtype) == (shape, dtype), name
        # Two arrays over the same memory, not two copies of it.
        assert address(first) == address(second) and first.base is made, name
        assert not first.flags.owndata and not first.flags.writeable, name
        with pytest.raises(ValueError):
            first[0, 0] = 1


def test_a_view_keeps_its_map_alive():
    m = vormap.generate(9, threads=2)
    expected = m.vxl()
    solid, colors = m.solid, m.colors
    alive = weakref.ref(m)
    del m
    gc.collect()
    assert alive() is not None
    assert alive().vxl() == expected and solid.sum() > 0
    del solid
    gc.collect()
    assert alive() is not None
    del colors
    gc.collect()
    assert alive() is None


def test_views_agree_with_the_accessors_and_the_file(made):
    back = vormap.decode_vxl(made.vxl())
    solid, colors, heights = made.solid, made.colors, made.heights
    assert np.array_equal(solid, back.solid)
    # The ground stands from the bottom to its height; the bottom is solid.
    x, y = np.meshgrid(np.arange(512), np.arange(512), indexing="ij")
    assert solid[:, :, 0].all()
    assert solid[x, y, np.minimum(heights, 63)].all()
    # Solid voxels have colour words 0x80RRGGBB; the file stores the same
    # colour for every voxel it keeps one for.
    assert ((colors[solid] >> 24) == 0x80).all()
    stored = back.colors != 0
    assert np.array_equal(colors[stored], back.colors[stored])
    # A file keeps no extruded heights: a read map's height is its top voxel.
    top = 63 - np.argmax(solid[:, :, ::-1], axis=2)
    assert np.array_equal(back.heights, top)
    assert (back.heights >= heights).all()
    # Indexed [x, y, z] as the library's accessors and the README have it:
    # the blue start region of a debug map is painted at (128, 200).
    assert vormap.generate(-12345, debug=True, threads=2).colors[128, 200, 0] == 0x806060FF
