"""Bad input raises the exception that fits, with a clear message."""
import os

import pytest

import vormap


@pytest.mark.parametrize("args,kwargs,error,words", [
    ((), {}, TypeError, "seed"),
    (("12",), {}, TypeError, "seed must be an int"),
    ((1.0,), {}, TypeError, "seed must be an int"),
    ((True,), {}, TypeError, "seed must be an int"),
    ((2**31,), {}, ValueError, "-2147483648 to 2147483647"),
    ((-2**31 - 1,), {}, ValueError, "-2147483648 to 2147483647"),
    ((2**80,), {}, ValueError, "-2147483648 to 2147483647"),
    ((1,), dict(debug=1), TypeError, "debug must be a bool"),
    ((1,), dict(threads=-1), ValueError, "threads"),
    ((1,), dict(threads=257), ValueError, "threads"),
    ((1,), dict(colour="red"), TypeError, "unknown map option 'colour'"),
    ((1,), dict(lake="up"), ValueError, "lake 'up' is not east, north, west or south"),
    ((1,), dict(lake=1), TypeError, "lake must be a str"),
    ((1,), dict(symmetry="spin"), ValueError, "symmetry"),
    ((1,), dict(keep="red"), ValueError, "keep"),
    ((1,), dict(water=2.5), ValueError, "water 2.5 is outside 0 to 2"),
    ((1,), dict(hills=0.1), ValueError, "hills 0.1 is outside 0.25 to 1.75"),
    ((1,), dict(trees=float("nan")), ValueError, "trees not a number is outside 0 to 2"),
    ((1,), dict(water="1.5"), TypeError, "water must be a number"),
    ((1,), dict(trees=True), TypeError, "trees must be a number"),
    ((1,), dict(name="1"), TypeError, "not both"),
    ((), dict(name="1:lake=up"), ValueError, "map name '1:lake=up': lake 'up' is not"),
    ((), dict(name="x"), ValueError, "not a decimal number"),
    ((), dict(name=5), TypeError, "name must be a str"),
])
def test_bad_generate_arguments_raise(args, kwargs, error, words):
    with pytest.raises(error, match=None) as raised:
        vormap.generate(*args, **kwargs)
    assert words in str(raised.value)


def test_bad_map_arguments_raise(tmp_path):
    m = vormap.generate(1, threads=2)
    for call, error in [(lambda: m.preview(0), ValueError), (lambda: m.preview(9), ValueError),
                        (lambda: m.preview(heightmap="yes"), TypeError), (lambda: m.vxl(threads=-1), ValueError),
                        (lambda: m.save(3), TypeError), (lambda: vormap.parse_name("1:water=3"), ValueError)]:
        with pytest.raises(error):
            call()
    with pytest.raises(OSError, match="no-such-folder"):
        m.save(tmp_path / "no-such-folder" / "m.vxl")
    with pytest.raises(OSError):
        m.save_preview(tmp_path / "no-such-folder" / "m.png")
    with pytest.raises(TypeError):
        vormap.Map()


def test_read_vxl_of_a_damaged_file_raises(tmp_path):
    data = bytearray(vormap.generate(2, threads=2).vxl())
    cases = {
        "empty": b"",
        "cut": data[: len(data) // 2],
        "trailing": data + b"\0\0\0\0",
        # The first column's span header says its colours end before they start.
        "bad span": bytes([0xFF, 0xFF, 0xFF, 0xFF]) + data[4:],
    }
    for name, content in cases.items():
        path = tmp_path / f"{name}.vxl"
        path.write_bytes(content)
        with pytest.raises(vormap.VxlError) as raised:
            vormap.read_vxl(path)
        assert isinstance(raised.value, ValueError)
        message = str(raised.value)
        assert message.startswith(f"'{path}' is damaged: byte offset {raised.value.offset}"), message
        with pytest.raises(vormap.VxlError):
            vormap.decode_vxl(content)
    with pytest.raises(FileNotFoundError):
        vormap.read_vxl(tmp_path / "missing.vxl")
    with pytest.raises(OSError, match="not a regular file"):
        vormap.read_vxl(tmp_path)
    with pytest.raises(TypeError):
        vormap.read_vxl(42)
    if os.getuid() != 0:
        locked = tmp_path / "locked.vxl"
        locked.write_bytes(bytes(data))
        locked.chmod(0)
        with pytest.raises(PermissionError):
            vormap.read_vxl(locked)
