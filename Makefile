# Thin front end over the CMake presets.
#   make map ARGS="-s 1234 -o map.vxl"   build and generate a map
#   make test                             build and run every test
#   make install [PREFIX=DIR]             build vormap, vxltool and the Python module, install them (default /usr/local)
#   make deb                              the Debian packages (programs, library, development files, Python module), in build/deb/
#   make asan                             the tests under ASan and UBSan
#   make web                              the map maker's page, build/web/index.html
PRESET ?= release
# The map is built by a preset of its own that leaves out the tests, tools and
# benchmarks, so it needs only the generator's packages.
MAP_PRESET ?= map
ARGS ?= -s 1234 -o map.vxl
# make install: the two programs alone, with their manual pages; make deb: those and the library;
# and completions, built without the tests and the test-only packages.
PREFIX ?= /usr/local
INSTALL_PRESET := install

.PHONY: all deps build map test web web-test asan bench clean install deb

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

# Completions for zsh go where zsh looks below each prefix: site-functions
# for a local install, vendor-completions in a package installed into /usr.
# Both install the map maker's page too (share/vormap/vormap.html), built
# first by make web.
install: web
	scripts/install-deps.sh install
	cmake --preset $(INSTALL_PRESET) -DVORMAP_ZSH_COMPLETION_DIR=share/zsh/site-functions \
	  -DVORMAP_WEB_PAGE=$(CURDIR)/$(WEB_DIR)/index.html
	cmake --build --preset $(INSTALL_PRESET)
	cmake --install build/$(INSTALL_PRESET) --component programs --prefix "$(PREFIX)"
	cmake --install build/$(INSTALL_PRESET) --component python --prefix "$(PREFIX)"

deb: web
	scripts/install-deps.sh deb
	cmake --preset $(INSTALL_PRESET) -DVORMAP_ZSH_COMPLETION_DIR=share/zsh/vendor-completions \
	  -DVORMAP_WEB_PAGE=$(CURDIR)/$(WEB_DIR)/index.html \
	  -DCMAKE_INSTALL_LIBDIR=lib/$$(dpkg-architecture -qDEB_HOST_MULTIARCH)
	cmake --build --preset $(INSTALL_PRESET)
	rm -rf build/deb
	cd build/$(INSTALL_PRESET) && cpack -G DEB -B "$(CURDIR)/build/deb"
	rm -rf build/deb/_CPack_Packages
	@ls build/deb/*.deb

test: build
	ctest --preset $(PRESET)
ifeq ($(PRESET),release)
	$(MAKE) web-test
endif

# The page: the generator compiled to WebAssembly by Debian's emscripten
# (whose compiler finds its Node modules through NODE_PATH), bundled with the
# 3D view into one file. Needs emscripten and the build's Node packages only.
WEB_DIR ?= build/web
export NODE_PATH := /usr/share/nodejs
web:
	scripts/install-deps.sh web
	emcmake cmake -S web/wasm -B $(WEB_DIR)/wasm -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(WEB_DIR)/wasm
	node web/app/build.mjs $(WEB_DIR)/wasm/vormap.js $(WEB_DIR)/index.html

# The page's maps against the release build's vormap, in headless Chromium.
web-test: deps web
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
