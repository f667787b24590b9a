# The two commands a user needs: `make test` and `make run`. Both set the machine up first.
#
# Two build trees from the same sources:
#   $(DIST_BUILD): the 32-bit deliverables, assembled in dist/;
#   $(BUILD):      a 64-bit build with every test and benchmark, run under 64-bit Wine
#                  (hosts like ours execute no 32-bit user code, so the tests cannot run
#                  the 32-bit binaries themselves).
BUILD      ?= build
DIST_BUILD ?= build-dist
CTEST_ARGS ?=
CMAKE_COMMON = -G Ninja -Wno-dev -DORV_WERROR=ON

.PHONY: all setup configure build test run bench dist clean

all: build

setup:
	@scripts/setup

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) $(CMAKE_COMMON) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-mingw.cmake

$(DIST_BUILD)/build.ninja:
	cmake -S . -B $(DIST_BUILD) $(CMAKE_COMMON) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake \
	    -DORV_BUILD_TESTS=OFF

configure: setup $(BUILD)/build.ninja $(DIST_BUILD)/build.ninja

build: configure
	cmake --build $(DIST_BUILD)
	cmake --build $(BUILD)

test: build
	@scripts/with-display scripts/run-tests $(BUILD) $(CTEST_ARGS)

run: build
	@scripts/run-demo $(BUILD)

bench: build
	@scripts/with-display scripts/run-bench $(BUILD)

dist: build
	@echo "Deliverables in dist/:"; find dist -type f | sort

clean:
	rm -rf $(BUILD) $(DIST_BUILD) dist
