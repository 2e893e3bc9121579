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

clean:
	rm -rf $(BUILD_DIR)
