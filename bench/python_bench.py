#!/usr/bin/python3
"""generate + vxl() from Python against the C++ library, one thread each.

In one run, map by map: each seed is made by bench/library_map_time
(vormap::generate + vormap::encode_vxl, timed inside that program, which
stays running) and by the Python module (vormap.generate(seed,
threads=1).vxl(threads=1), timed around the call), the side that goes first
changing every seed, so that both meet the same machine load. Prints, for
wall-clock time and for the process's processor time (which other programs
on a busy machine disturb far less), the median per map of each side and the
median of the per-seed ratios.

    /usr/bin/python3 bench/python_bench.py [BUILD_DIR] [MAPS]

BUILD_DIR defaults to build/release (with bench/library_map_time and the
module in python/); MAPS to 40.
"""
import os
import statistics
import subprocess
import sys
import time


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/release"
    maps = int(sys.argv[2]) if len(sys.argv) > 2 else 40
    sys.path.insert(0, os.path.join(build, "python"))
    import vormap

    native = subprocess.Popen([os.path.join(build, "bench", "library_map_time")], stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE, text=True, bufsize=1)

    def library_map(seed):
        native.stdin.write(f"{seed}\n")
        native.stdin.flush()
        wall, processor = native.stdout.readline().split()
        return float(wall), float(processor)

    def python_map(seed):
        start, start_processor = time.perf_counter(), time.process_time()
        data = vormap.generate(seed, threads=1).vxl(threads=1)
        processor, wall = time.process_time() - start_processor, time.perf_counter() - start
        assert data
        return wall, processor

    # One map each first, unmeasured: the pages of both programs are loaded.
    library_map(0)
    python_map(0)
    library, python = [], []
    for k in range(maps):
        seed = 1000 + k
        if k % 2 == 0:
            library.append(library_map(seed))
            python.append(python_map(seed))
        else:
            python.append(python_map(seed))
            library.append(library_map(seed))
    native.stdin.close()
    native.wait()
    print(f"maps per side: {maps} (seeds 1000 to {999 + maps}), one thread, alternating")
    for column, clock in enumerate(("wall-clock", "processor")):
        lib = [t[column] for t in library]
        py = [t[column] for t in python]
        ratio = statistics.median(p / c for p, c in zip(py, lib))
        print(f"{clock} time: C++ library median {statistics.median(lib) * 1000:.1f} ms, "
              f"Python median {statistics.median(py) * 1000:.1f} ms per map; Python / C++ per seed, "
              f"median {ratio:.3f} ({(ratio - 1) * 100:+.1f} %): {'within' if abs(ratio - 1) <= 0.05 else 'NOT within'} 5 %")


if __name__ == "__main__":
    main()
