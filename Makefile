# Quillane: `make run` builds and starts the window, `make test` builds and runs every test,
# `make deb` makes the Debian package. Each installs the Debian packages it needs first, and
# only those that are missing.

BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

# libxkbcommon-dev only quiets Qt's CMake files, which look for it and say so on every configure.
BUILD_PACKAGES := g++ cmake ninja-build pkg-config qt6-base-dev qt6-qpa-plugins \
                  libjpeg62-turbo-dev liblcms2-dev libgtest-dev libgmock-dev libbenchmark-dev \
                  libxkbcommon-dev
RUN_PACKAGES   := fonts-arphic-uming
# What `xvfb-run make run` needs on a machine without a display (xvfb-run calls xauth).
HEADLESS_PACKAGES := xvfb xauth
# cpack's Debian generator: dpkg-shlibdeps works out the package's library dependencies, and
# `file` tells it which installed files are programs.
DEB_PACKAGES   := dpkg-dev file
# The window's test without the Song face lays it out in Droid Sans Fallback, with DejaVu Sans
# for the Latin letters that face lacks. valgrind sees reads of freed memory inside Qt, which
# AddressSanitizer cannot.
TEST_PACKAGES  := imagemagick libjpeg-turbo-progs fonts-droid-fallback fonts-dejavu-core \
                  colord-data man-db valgrind $(HEADLESS_PACKAGES) $(DEB_PACKAGES)

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all build run test deb deps-build deps-run deps-test deps-headless clean

all: build

# Installs whichever of the listed packages are not installed yet; on a machine that has them
# all, nothing is fetched, so it also works offline.
define install_missing
	@missing=$$(for p in $(1); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null \
	    | grep -q '^install ok installed$$' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    if [ -n "$(SUDO)" ] && ! command -v sudo >/dev/null; then \
	        echo "make: these packages are missing and there is no sudo; install them as root:"; \
	        echo "    apt-get update && apt-get install" $$missing; \
	        exit 1; \
	    fi; \
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

# WERROR=ON or OFF sets QUILLANE_WERROR; unset, the build folder keeps what it had (OFF in a new
# one), so `make run` after `make test` does not rebuild everything with other flags.
# BUILD_TARGETS empty builds everything (the tests and the benchmark too).
WERROR ?=
BUILD_TARGETS ?=
build: deps-build
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
	    $(if $(WERROR),-DQUILLANE_WERROR=$(WERROR))
	cmake --build $(BUILD_DIR) -j $(JOBS) $(if $(BUILD_TARGETS),--target $(BUILD_TARGETS))

# `make run` builds the two programs and what installing them takes (icons, manual pages), not
# the tests. Without a display it installs Xvfb, so the advice it gives works as written.
run: BUILD_TARGETS = quillane quillane-batch quillane_icons quillane_docs
run: deps-run build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	    $(MAKE) --no-print-directory deps-headless && \
	    echo "make run: no display to show the window on; run it on a virtual one as:" \
	         "xvfb-run make run"; \
	    exit 1; \
	fi
	$(BUILD_DIR)/quillane

deps-headless:
	$(call install_missing,$(HEADLESS_PACKAGES))

# The suite runs twice: as built, then built again with AddressSanitizer and
# UndefinedBehaviorSanitizer in ASAN_BUILD_DIR, where any report fails the run (-O1 keeps that
# build quick). Warnings are errors in the first build only (our own builds are held to zero
# warnings; a packager's plain build is not): GCC's warnings at -O1 with the sanitizers include
# guesses (such as format truncation) that the real build does not make.
# Leaks inside fontconfig are not ours: they are listed, by third-party frame only, in
# tests/lsan-suppressions.txt.
ASAN_BUILD_DIR ?= build-asan
SANITIZER_ENV := ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1 \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan-suppressions.txt:print_suppressions=0

test: WERROR = ON
test: deps-test build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)
	cmake -S . -B $(ASAN_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" -DQUILLANE_SANITIZE=ON -DQUILLANE_WERROR=OFF
	$(SANITIZER_ENV) cmake --build $(ASAN_BUILD_DIR) -j $(JOBS)
	cd $(ASAN_BUILD_DIR) && $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS)

# `make deb` builds a Release tree of its own in DEB_BUILD_DIR (warnings not errors, as any
# packager builds it) and leaves quillane_<version>_<arch>.deb in this folder, for
# `sudo apt install ./quillane_1.1.0_amd64.deb`.
DEB_BUILD_DIR ?= build-deb

deb: deps-build
	$(call install_missing,$(DEB_PACKAGES))
	cmake -S . -B $(DEB_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
	cmake --build $(DEB_BUILD_DIR) -j $(JOBS)
	rm -rf $(DEB_BUILD_DIR)/package
	cpack --config $(DEB_BUILD_DIR)/CPackConfig.cmake -G DEB -B $(abspath $(DEB_BUILD_DIR))/package
	mv $(DEB_BUILD_DIR)/package/*.deb .
	@ls -l quillane_*.deb

# `make bench` times a Release quillane-batch against vipsthumbnail, ImageMagick, GraphicsMagick
# and the bare JPEG decoder on Debian's wallpaper photographs (fetched once into
# ~/.cache/quillane-bench, never into the repository) and writes bench/results.md.
# BENCH_RUNS sets the runs per job; BENCH_QUICK=1 makes one run of the 176x220 job only.
# BENCH_MODE=filters scores every kernel of the stretching filter on the photographs instead
# (bench/filters.py), BENCH_MODE=stretch times the stretch a batch run does, alone, from a typical
# photograph (Google Benchmark); neither writes results.md. Each mode builds only its own programs.
# quillane-decode-scale (bench/DecodeScale.cpp) tells it the DCT scale each picture decodes at.
BENCH_RUNS ?= 5
BENCH_QUICK ?= 0
BENCH_MODE ?= contenders
BENCH_BUILD_DIR ?= build-bench
BENCH_PACKAGES := python3 libvips-tools imagemagick graphicsmagick libjpeg-turbo-progs time \
                  colord-data
BENCH_TARGETS_contenders := quillane-batch quillane-window-run quillane-decode-scale
BENCH_TARGETS_filters := quillane-stretch-filters
BENCH_TARGETS_stretch := quillane-stretch-bench

.PHONY: bench
bench: deps-build
	$(if $(BENCH_TARGETS_$(BENCH_MODE)),,$(error BENCH_MODE is contenders, filters or stretch))
	$(call install_missing,$(BENCH_PACKAGES))
	cmake -S . -B $(BENCH_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BENCH_BUILD_DIR) -j $(JOBS) --target $(BENCH_TARGETS_$(BENCH_MODE))
	BENCH_RUNS=$(BENCH_RUNS) BENCH_QUICK=$(BENCH_QUICK) \
	    python3 bench/bench.py --build $(BENCH_BUILD_DIR) --mode $(BENCH_MODE)

# `make fuzz` builds the libFuzzer targets of fuzz/ with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in FUZZ_BUILD_DIR, makes their starting corpora, and runs each
# target for FUZZ_SECONDS. Inputs that break something land in FUZZ_BUILD_DIR/findings/<target>;
# the grown corpus stays in FUZZ_BUILD_DIR/corpus/<target> for the next run. Not part of test.
FUZZ_SECONDS ?= 60
FUZZ_BUILD_DIR ?= build-fuzz
FUZZ_TARGETS := fuzz_picture_loader fuzz_resize_picture fuzz_start_button fuzz_jpeg_progressive \
                fuzz_jpeg_sequential
FUZZ_PACKAGES := clang libclang-rt-14-dev imagemagick libjpeg-turbo-progs colord-data

.PHONY: fuzz
fuzz: deps-build
	$(call install_missing,$(FUZZ_PACKAGES))
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD_DIR) -G Ninja \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLANE_FUZZ=ON -DQUILLANE_SANITIZE=ON \
	    -DQUILLANE_WERROR=OFF -DBUILD_TESTING=OFF
	cmake --build $(FUZZ_BUILD_DIR) -j $(JOBS) --target $(FUZZ_TARGETS)
	rm -rf $(FUZZ_BUILD_DIR)/start && fuzz/make-corpus.sh $(FUZZ_BUILD_DIR)/start
	@failed=; for t in $(FUZZ_TARGETS); do \
	    mkdir -p $(FUZZ_BUILD_DIR)/corpus/$$t $(FUZZ_BUILD_DIR)/findings/$$t; \
	    echo "== $$t for $(FUZZ_SECONDS) s"; \
	    $(FUZZ_BUILD_DIR)/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -timeout=30 \
	        -rss_limit_mb=3072 -print_final_stats=1 \
	        -artifact_prefix=$(FUZZ_BUILD_DIR)/findings/$$t/ \
	        $(FUZZ_BUILD_DIR)/corpus/$$t $(FUZZ_BUILD_DIR)/start/$$t \
	        >$(FUZZ_BUILD_DIR)/findings/$$t.log 2>&1 || failed="$$failed $$t"; \
	    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' $(FUZZ_BUILD_DIR)/findings/$$t.log; \
	done; \
	if [ -n "$$failed" ]; then \
	    echo "make fuzz: findings in$$failed (see $(FUZZ_BUILD_DIR)/findings/)"; exit 1; \
	fi

# `make mutants` plants one fault at a time in the program's sources (a comparison flipped, a
# boundary moved, && for ||, a constant or a returned bool changed, a statement removed),
# rebuilds build-mutants/ incrementally, reruns the test programs that can see the change and
# reports which faults the tests catch. MUTANTS faults are drawn reproducibly by MUTANTS_SEED;
# MUTANTS_SAMPLE=FILE replays a stored sample instead. Not part of test.
MUTANTS ?= 300
MUTANTS_SEED ?= 1
MUTANTS_SAMPLE ?=
MUTANTS_OUT ?= build-mutants/results.tsv

.PHONY: mutants
mutants: deps-test
	python3 tools/mutants.py run --count $(MUTANTS) --sample-number $(MUTANTS_SEED) \
	    $(if $(MUTANTS_SAMPLE),--sample $(MUTANTS_SAMPLE)) --out $(MUTANTS_OUT)

clean:
	rm -rf $(BUILD_DIR)
