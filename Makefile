# The two everyday commands are `make run` and `make test`; see README.md.
JOBS ?= 2
CMAKE ?= cmake
PREFIX ?= /usr/local

.PHONY: all deps build build-asan build-tsan test bench bench-cli demo run install package clean fuzz

all: build

deps:
	./scripts/install-deps

build: deps
	$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=Release
	$(CMAKE) --build build -j$(JOBS)

build-asan: deps
	$(CMAKE) -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVERT_SANITIZE=ON -DLUMIVERT_BUILD_BENCH=OFF
	$(CMAKE) --build build-asan -j$(JOBS)

# The core's and the model's tests under ThreadSanitizer (OpenMP on one thread there).
build-tsan: deps
	$(CMAKE) -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVERT_SANITIZE=thread -DLUMIVERT_BUILD_BENCH=OFF
	$(CMAKE) --build build-tsan -j$(JOBS) --target thread-checks

test: build-asan build-tsan
	cd build-asan && ctest --output-on-failure -j$(JOBS)
	cd build-tsan && ctest --output-on-failure -j$(JOBS)

bench: build
	./build/bench/lumivert-bench
	./build/bench/lumivert-zoom-bench

# The libFuzzer targets of fuzz/ (clang, in build-fuzz), each run for FUZZ_SECONDS from its corpus.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = automation_values cube_reader hald_reader image_loader raw_decoder threedl_reader
fuzz:
	CC=clang CXX=clang++ $(CMAKE) -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DLUMIVERT_FUZZ=ON -DLUMIVERT_BUILD_TESTS=OFF -DLUMIVERT_BUILD_BENCH=OFF
	$(CMAKE) --build build-fuzz -j$(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	./scripts/run-fuzz build-fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# lumivert-cli on the sample photos; writes LUTs and before/after images into demo-output/.
demo: build
	./scripts/demo build/cli/lumivert-cli

# Whole-process timings of lumivert-cli against ImageMagick and OpenColorIO (needs the optional tools).
bench-cli: build
	./scripts/bench-cli build/cli/lumivert-cli

# Launches the window. Without a display (neither DISPLAY nor WAYLAND_DISPLAY) it runs the
# headless demo instead: the automation mode on samples/ writes a LUT and a window screenshot.
run: build
	@if [ -n "$${DISPLAY:-}$${WAYLAND_DISPLAY:-}" ]; then \
		./build/app/lumivert; \
	else \
		mkdir -p demo && \
		QT_QPA_PLATFORM=offscreen LUMIVERT_LOOK=samples/coffee.png LUMIVERT_PREVIEW=samples/chelsea.png \
			LUMIVERT_PREVIEW_ON=photo LUMIVERT_EXPORT="demo/coffee Look.cube" \
			LUMIVERT_SCREENSHOT=demo/window.png LUMIVERT_READY=demo/ready ./build/app/lumivert && \
		echo "No display: ran the headless demo." && \
		echo "LUT:        $$(pwd)/demo/coffee Look.cube" && \
		echo "Screenshot: $$(pwd)/demo/window.png"; \
	fi

# lumivert, lumivert-cli, the desktop entry, the icon, the LUT file types, the manual pages and the
# completions under $(PREFIX) (default /usr/local).
install: build
	$(CMAKE) --install build --prefix $(PREFIX)
	-update-desktop-database $(PREFIX)/share/applications 2>/dev/null
	-update-mime-database $(PREFIX)/share/mime 2>/dev/null
	-gtk-update-icon-cache -q $(PREFIX)/share/icons/hicolor 2>/dev/null

# build-package/lumivert_<version>_amd64.deb, built by CPack in a Release tree of its own without
# the tests, with Debian's hardening flags; scripts/check-package tries it on a clean Debian 12 root.
DEB_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
package: deps
	$(CMAKE) -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DLUMIVERT_BUILD_TESTS=OFF -DLUMIVERT_BUILD_BENCH=OFF \
		-DCMAKE_CXX_FLAGS="$$($(DEB_FLAGS) CPPFLAGS) $$($(DEB_FLAGS) CXXFLAGS)" \
		-DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)"
	$(CMAKE) --build build-package -j$(JOBS)
	cd build-package && cpack -G DEB
	@ls build-package/lumivert_*_amd64.deb

clean:
	rm -rf build build-asan build-tsan build-fuzz build-package demo demo-output
