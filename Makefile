# Front door: `make run` starts the program, `make test` runs every test. Both install what is
# missing first (Debian 12 packages, through scripts/install-deps) and build.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

# The sanitizer configuration: core, tool, GoogleTest programs and fuzz targets built by clang
# with AddressSanitizer and UndefinedBehaviorSanitizer (windows and benchmarks left out).
FUZZ_DIR ?= build-fuzz
# Seconds per fuzz target: FUZZ_TEST_SECONDS in `make test`, FUZZ_SECONDS in `make fuzz`.
FUZZ_TEST_SECONDS ?= 20
FUZZ_SECONDS ?= 1800

.PHONY: all deps configure build test run bench demo package install clean sanitize-build sanitize-test fuzz

all: build

deps:
	@scripts/install-deps

$(BUILD_DIR)/build.ninja: CMakeLists.txt
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

configure: deps $(BUILD_DIR)/build.ninja

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build sanitize-build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 600
	$(MAKE) sanitize-test

$(FUZZ_DIR)/build.ninja: CMakeLists.txt
	cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 -DBRINDLEWICK_FUZZ=ON

sanitize-build: deps $(FUZZ_DIR)/build.ninja
	cmake -DBRINDLEWICK_FUZZ_SECONDS=$(FUZZ_TEST_SECONDS) $(FUZZ_DIR) > /dev/null
	cmake --build $(FUZZ_DIR) -j $(JOBS)

# The core's unit tests once under the sanitizers, and every fuzz target over its corpus plus
# FUZZ_TEST_SECONDS of fuzzing.
sanitize-test: sanitize-build
	cd $(FUZZ_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 900

# Every fuzz target for FUZZ_SECONDS, JOBS at a time; findings land in $(FUZZ_DIR)/fuzz-work.
fuzz: sanitize-build
	@scripts/fuzz $(FUZZ_DIR) $(FUZZ_SECONDS) $(JOBS)

run: build
	$(BUILD_DIR)/bin/brindlewick

bench: build
	@scripts/run-benchmarks $(BUILD_DIR)

# The Debian package, $(BUILD_DIR)/brindlewick_VERSION_ARCH.deb (CPack).
package: build
	cd $(BUILD_DIR) && cpack -G DEB

# Installs into PREFIX (default /usr/local) with cmake --install.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# Ingests a generated sample card with the command-line tool, in a temporary home.
demo: build
	@scripts/demo $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) $(FUZZ_DIR)
