"""vormap.search is vxltool search."""
import json
import subprocess
import time

import pytest

import vormap


def tool_records(vxltool, *args):
    return [json.loads(line) for line in vxltool("search", *args).splitlines()]


@pytest.mark.parametrize("seeds,where,top,by", [
    ("-3-4", "water_percent < 12 or not fairness <= 0.3", None, None),
    ("-3-4", "land_percent > 80", 3, "fairness"),
    ("-3-4", None, 4, "-mean_slope"),
])
def test_search_equals_vxltool_search(vxltool, seeds, where, top, by):
    args = [seeds]
    if where is not None:
        args += ["--where", where]
    if top is not None:
        args += ["--top", str(top), "--by", by]
    expected = tool_records(vxltool, *args, "--jobs", "2")
    assert expected
    assert list(vormap.search(seeds, where=where, top=top, by=by, jobs=2)) == expected


def test_seeds_as_ints_ranges_and_lists():
    expected = [r["seed"] for r in vormap.search("8-10,13", jobs=2)]
    assert expected == [8, 9, 10, 13]
    assert [r["seed"] for r in vormap.search([13, 10, 9, 8, 10], jobs=1)] == expected
    assert [r["seed"] for r in vormap.search(range(8, 11))] == [8, 9, 10]
    assert [r["seed"] for r in vormap.search(7)] == [7]
    assert list(vormap.search([])) == []


def test_stopping_the_iteration_stops_the_work():
    # Every 32-bit seed: only stopping can end it.
    start = time.monotonic()
    with vormap.search("all", jobs=2) as records:
        first = next(records)
    assert first["seed"] == -2147483648
    assert next(records, None) is None
    for record in vormap.search("all", jobs=2):
        break
    assert time.monotonic() - start < 30


@pytest.mark.parametrize("kwargs,error,message", [
    (dict(seeds="5-1"), ValueError, None),
    (dict(seeds="1-3", where="fairness >"), ValueError, "--where"),
    (dict(seeds="1-3", where="no_such_figure > 1"), ValueError, "--where"),
    (dict(seeds="1-3", top=2, by="nothing"), ValueError, None),
    (dict(seeds="1-3", top=2), TypeError, None),
    (dict(seeds="1-3", top=0, by="fairness"), ValueError, None),
    (dict(seeds="1-3", jobs=257), ValueError, None),
    (dict(seeds=[1, 2**31]), ValueError, None),
    (dict(seeds=1.5), TypeError, None),
    (dict(seeds=[1, "2"]), TypeError, None),
    (dict(seeds=b"1-3"), TypeError, None),
    (dict(seeds="1-3", where=3), TypeError, None),
])
def test_bad_searches_raise(vxltool_exe, kwargs, error, message):
    with pytest.raises(error) as raised:
        vormap.search(**kwargs)
    if message:
        # The same reason as vxltool gives for the same option.
        done = subprocess.run([vxltool_exe, "search", kwargs["seeds"], "--where", kwargs["where"]],
                              capture_output=True, text=True)
        assert done.returncode == 2
        reason = str(raised.value).removeprefix("where: ")
        assert f"{message}: {reason}" in done.stderr
