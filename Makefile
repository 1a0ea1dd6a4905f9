# Thin front end over the CMake presets.
#   make map ARGS="-s 1234 -o map.vxl"   build and generate a map
#   make test                             build and run every test
#   make asan                             the tests under ASan and UBSan
#   make web                              the map maker's page, build/web/index.html
PRESET ?= release
# The map is built by a preset of its own that leaves out the tests, tools and
# benchmarks, so it needs only the generator's packages.
MAP_PRESET ?= map
ARGS ?= -s 1234 -o map.vxl

.PHONY: all deps build map test web web-test asan bench clean

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
ifeq ($(PRESET),release)
	$(MAKE) web-test
endif

# The page: the generator compiled to WebAssembly by Debian's emscripten
# (whose compiler finds its Node modules through NODE_PATH), bundled with the
# 3D view into one file.
WEB_DIR ?= build/web
export NODE_PATH := /usr/share/nodejs
web: deps
	emcmake cmake -S web/wasm -B $(WEB_DIR)/wasm -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(WEB_DIR)/wasm
	node web/app/build.mjs $(WEB_DIR)/wasm/vormap.js $(WEB_DIR)/index.html

# The page's maps against the release build's vormap, in headless Chromium.
web-test: web
	cd $(WEB_DIR) && node $(CURDIR)/tests/browser/web_page.test.mjs $(CURDIR)/build/$(PRESET)/bin/vormap \
	  $(CURDIR)/$(WEB_DIR)/index.html $(CURDIR)/tests/data/pinned_maps.txt

asan:
	$(MAKE) test PRESET=asan

bench: deps
	cmake --preset release
	cmake --build --preset release
	for b in build/release/bench/*_bench; do $$b; done
	bench/gallery_bench.sh build/release

clean:
	rm -rf build
