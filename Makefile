# The two commands a user needs: `make test` and `make run`. Both set the machine up first.
#
# Build trees from the same sources:
#   $(DIST_BUILD): the 32-bit deliverables, assembled in dist/ (optimised and stripped; their
#                  debug information stays in $(DIST_BUILD)/debug);
#   $(BUILD):      a 64-bit build with every test and benchmark, run under 64-bit Wine;
#   $(BUILD32):    where the host executes 32-bit user code (natively or through the i386
#                  emulation that scripts/setup registers), the i686 build with its tests, run
#                  under 32-bit Wine by `make test` as well (scripts/test-trees), with the
#                  shipped files of dist/; `make run` then runs the shipped reader.
BUILD      ?= build
DIST_BUILD ?= build-dist
BUILD32    ?= build-i686
CTEST_ARGS ?=
CMAKE_COMMON = -G Ninja -Wno-dev -DORV_WERROR=ON

.PHONY: all setup configure build test run bench dist clean

all: build

setup:
	@scripts/setup

# Configuring needs what the set-up installs (the toolchain, the dependency files), also under -j.
# Order-only: the set-up runs first every time, but does not make a configured tree stale.
# The configure and build steps run in a process group of their own (scripts/in-group), so that
# a TERM that make passes on reaches every compiler, not cmake alone.
$(BUILD)/build.ninja: | setup
	scripts/in-group cmake -S . -B $(BUILD) $(CMAKE_COMMON) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-mingw.cmake

$(DIST_BUILD)/build.ninja: | setup
	scripts/in-group cmake -S . -B $(DIST_BUILD) $(CMAKE_COMMON) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake \
	    -DORV_BUILD_TESTS=OFF

configure: setup $(BUILD)/build.ninja $(DIST_BUILD)/build.ninja

build: configure
	scripts/in-group cmake --build $(DIST_BUILD)
	scripts/in-group cmake --build $(BUILD)

# exec: make's TERM then reaches the runner itself, not a shell that would end alone.
test: build
	@ORV_CMAKE_COMMON="$(CMAKE_COMMON)" exec scripts/test-trees $(BUILD) $(BUILD32) $(CTEST_ARGS)

run: build
	@ORV_CMAKE_COMMON="$(CMAKE_COMMON)" exec scripts/run-demo $(BUILD) $(BUILD32)

# BENCH=bench_download runs only the benchmarks named. The benchmarks' own packages (nginx and
# curl for the download benchmark) come from the set-up's bench mode, not from the set-up proper.
BENCH ?=
bench: build
	@scripts/setup --bench
	@exec scripts/with-display --private scripts/run-bench $(BUILD) $(BENCH)

dist: build
	@scripts/check-dist --sizes dist

clean:
	rm -rf $(BUILD) $(DIST_BUILD) $(BUILD32) dist
