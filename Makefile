# Thin front end over the CMake presets.
#   make map ARGS="-s 1234 -o map.vxl"   build and generate a map
#   make test                             build and run every test
#   make asan                             the tests under ASan and UBSan
PRESET ?= release
# The map is built by a preset of its own that leaves out the tests, tools and
# benchmarks, so it needs only the generator's packages.
MAP_PRESET ?= map
ARGS ?= -s 1234 -o map.vxl

.PHONY: all deps build map test asan bench clean

all: build

# Every target installs what it needs first (scripts/install-deps.sh).
deps:
	scripts/install-deps.sh test

build: deps
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)

map:
	scripts/install-deps.sh map
	cmake --preset $(MAP_PRESET)
	cmake --build --preset $(MAP_PRESET) --target vormap
	./build/$(MAP_PRESET)/bin/vormap $(ARGS)

test: build
	ctest --preset $(PRESET)

asan:
	$(MAKE) test PRESET=asan

bench: deps
	cmake --preset release
	cmake --build --preset release
	for b in build/release/bench/*_bench; do $$b; done
	bench/gallery_bench.sh build/release

clean:
	rm -rf build
