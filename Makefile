# Quillane: `make run` builds and starts the window, `make test` builds and runs every test.
# Both install the Debian packages they need first, and only those that are missing.

BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

BUILD_PACKAGES := g++ cmake ninja-build pkg-config qt6-base-dev qt6-qpa-plugins \
                  libjpeg62-turbo-dev libgtest-dev libgmock-dev libbenchmark-dev
RUN_PACKAGES   := fonts-arphic-uming
TEST_PACKAGES  := imagemagick libjpeg-turbo-progs xvfb xauth

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all build run test deps-build deps-run deps-test clean

all: build

# Installs whichever of the listed packages are not installed yet; on a machine that has them
# all, nothing is fetched, so it also works offline.
define install_missing
	@missing=$$(for p in $(1); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null \
	    | grep -q '^install ok installed$$' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    echo "Installing missing packages:" $$missing; \
	    $(SUDO) apt-get update -qq && \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi
endef

deps-build:
	$(call install_missing,$(BUILD_PACKAGES))
deps-run: deps-build
	$(call install_missing,$(RUN_PACKAGES))
deps-test: deps-run
	$(call install_missing,$(TEST_PACKAGES))

build: deps-build
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: deps-run build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	    echo "make run: no display to show the window on; run it as: xvfb-run make run"; \
	    exit 1; \
	fi
	$(BUILD_DIR)/quillane

test: deps-test build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# `make bench` times a Release quillane-batch against vipsthumbnail, ImageMagick, GraphicsMagick
# and the bare JPEG decoder on Debian's wallpaper photographs (fetched once into
# ~/.cache/quillane-bench, never into the repository) and writes bench/results.md.
# BENCH_RUNS sets the runs per job; BENCH_QUICK=1 makes one run of the 176x220 job only.
BENCH_RUNS ?= 5
BENCH_QUICK ?= 0
BENCH_BUILD_DIR ?= build-bench
BENCH_PACKAGES := python3 libvips-tools imagemagick graphicsmagick libjpeg-turbo-progs time

.PHONY: bench
bench: deps-build
	$(call install_missing,$(BENCH_PACKAGES))
	cmake -S . -B $(BENCH_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BENCH_BUILD_DIR) -j $(JOBS) --target quillane-batch
	BENCH_RUNS=$(BENCH_RUNS) BENCH_QUICK=$(BENCH_QUICK) \
	    python3 bench/bench.py --batch $(BENCH_BUILD_DIR)/quillane-batch

clean:
	rm -rf $(BUILD_DIR)
