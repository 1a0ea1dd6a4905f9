"""Maps from Python are the maps of the programs, byte for byte."""
import hashlib
import os
import threading

import vormap


def pinned_maps():
    """(sha256, seed, debug, options) of every pinned command line: -s SEED,
    maybe -d, and the map options as --name value pairs."""
    pins = []
    with open(os.environ["VORMAP_PINNED_MAPS"]) as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            digest, *args = line.split()
            assert args[0] == "-s", line
            seed, debug, options = int(args[1]), False, {}
            rest = args[2:]
            while rest:
                if rest[0] == "-d":
                    debug, rest = True, rest[1:]
                    continue
                assert rest[0].startswith("--") and len(rest) >= 2, line
                value = rest[1]
                options[rest[0][2:]] = value if rest[0] in ("--lake", "--symmetry", "--keep") else float(value)
                rest = rest[2:]
            pins.append((digest, seed, debug, options))
    return pins


def test_maps_equal_the_pinned_hashes():
    pins = pinned_maps()
    assert any(options for *_, options in pins), "the pins hold variants too"
    for digest, seed, debug, options in pins:
        m = vormap.generate(seed, debug=debug, **options)
        assert hashlib.sha256(m.vxl()).hexdigest() == digest, (seed, debug, options)
        assert (m.seed, m.debug) == (seed, debug)


def test_variant_by_keywords_and_by_name_equals_the_program(native_map):
    name = "-77:lake=north,symmetry=turn,keep=green,water=1.5,trees=0,hills=0.8"
    by_keywords = vormap.generate(-77, lake="north", symmetry="turn", keep="green", water=1.5, trees=0, hills=0.8)
    assert by_keywords.name == name
    assert vormap.generate(name=name).vxl() == by_keywords.vxl()
    assert vormap.generate(**vormap.parse_name(name)).name == name
    assert by_keywords.options == vormap.parse_name(name)
    assert by_keywords.vxl() == native_map("--map", name).read_bytes()
    # Keywords after a name change its variant further.
    assert vormap.generate(name="5:lake=west", water=0.5).name == "5:lake=west,water=0.5"
    assert vormap.generate(5, lake="east", water=1).name == "5"


def test_four_maps_on_four_python_threads_equal_the_native_files(native_map):
    seeds = [11, -12, 2147483647, 400]
    results = {}

    def make(seed):
        results[seed] = vormap.generate(seed, threads=1).vxl(threads=1)

    threads = [threading.Thread(target=make, args=(seed,)) for seed in seeds]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for seed in seeds:
        assert results[seed] == native_map("-s", str(seed)).read_bytes(), seed


def test_save_writes_the_file_and_read_vxl_reads_it_back(tmp_path):
    m = vormap.generate(3, debug=True)
    path = tmp_path / "m.vxl"
    m.save(path)
    data = path.read_bytes()
    assert data == m.vxl(threads=2)
    back = vormap.read_vxl(path)
    assert (back.seed, back.name, back.options, back.source) == (None, None, None, str(path))
    assert back.vxl() == data
    assert vormap.decode_vxl(data).vxl() == data
