# Thin wrapper around CMake. `make test SANITIZE=1` builds with ASan and UBSan,
# `make test GCC=1` with g++ instead of clang++, each in a folder of its own.
BUILD ?= build
CMAKE_FLAGS ?=
ifeq ($(SANITIZE),1)
BUILD := build-sanitize
CMAKE_FLAGS += -DQM240LX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
endif
ifeq ($(GCC),1)
BUILD := $(BUILD)-gcc
CMAKE_FLAGS += -DCMAKE_CXX_COMPILER=g++
endif
JOBS ?= $(shell nproc)
CTEST_FLAGS ?=
SCREENSHOT ?= $(BUILD)/screenshot.png

.PHONY: all deps configure build test demo screenshot bench package soak fuzz clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

configure: $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: deps
	$(MAKE) --no-print-directory build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) $(CTEST_FLAGS)

demo: deps
	$(MAKE) --no-print-directory build
	scripts/demo $(BUILD)

screenshot: deps
	$(MAKE) --no-print-directory build
	scripts/screenshot $(BUILD) $(SCREENSHOT)

bench: deps
	$(MAKE) --no-print-directory build
	cmake --build $(BUILD) --target benchmarks -j $(JOBS)
	scripts/bench $(BUILD)

package: deps
	$(MAKE) --no-print-directory build
	cd $(BUILD) && cpack -G DEB

fuzz: deps
	scripts/fuzz $(or $(FUZZ_SECONDS),60)

soak: deps
	$(MAKE) --no-print-directory build
	scripts/soak $(or $(SOAK_SESSIONS),10000) $(BUILD)

clean:
	rm -rf build build-sanitize build-gcc build-sanitize-gcc build-fuzz
