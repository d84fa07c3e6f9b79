# Front door: `make run` starts the program, `make test` runs every test. Both install what is
# missing first (Debian 12 packages, through scripts/install-deps) and build.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test run bench demo package install clean

all: build

deps:
	@scripts/install-deps

$(BUILD_DIR)/build.ninja: CMakeLists.txt
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

configure: deps $(BUILD_DIR)/build.ninja

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 600

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
	rm -rf $(BUILD_DIR)
