# Thin wrapper over the CMake presets: `make demo` and `make check` are the
# two commands a new user needs.
# CI=true picks the warnings-as-errors preset
PRESET ?= $(if $(CI),ci,dev)
JOBS ?= $(shell nproc)

.PHONY: all deps build demo check check-sanitize check-kernel bench fuzz soak deb clean

all: build

deps:
	@./scripts/ensure-deps

build: deps
	cmake --preset $(PRESET) >/dev/null
	cmake --build --preset $(PRESET) -j $(JOBS)

# Only the programs the demo runs, in the tree `check` builds on later.
DEMO_PROGRAMS = vorndiag vorndiag-sim vorntrace
demo: deps
	cmake --preset $(PRESET) >/dev/null
	cmake --build --preset $(PRESET) -j $(JOBS) --target $(DEMO_PROGRAMS)
	./scripts/demo build/$(PRESET)

check: build
	ctest --preset $(PRESET)

check-sanitize:
	@./scripts/ensure-deps
	cmake --preset sanitize >/dev/null
	cmake --build --preset sanitize -j $(JOBS)
	ctest --preset sanitize

# vorndiag on a real kernel: Debian's, in QEMU, with an emulated parallel
# port (tests/kernel/README.md). The runs it records land in KERNEL_FIXTURES.
KERNEL_FIXTURES ?= build/$(PRESET)/kernel-fixtures

check-kernel:
	@./scripts/ensure-deps kernel
	cmake --preset $(PRESET) >/dev/null
	cmake --build --preset $(PRESET) -j $(JOBS) --target vorndiag vorndiag-sim vornsim-lpt
	tests/kernel/run --fixtures $(KERNEL_FIXTURES) --boards build/$(PRESET)/bin build/$(PRESET)/bin/vorndiag

# The Debian packages (debian/), built from a copy of the tree so that they
# and the build's by-products land in DEB_DIR, not beside the repository;
# lintian must find nothing to warn about.
DEB_DIR ?= build/deb
deb:
	@./scripts/ensure-deps deb
	rm -rf $(DEB_DIR) && mkdir -p $(DEB_DIR)/src
	tar -c --exclude=./build --exclude=./.git --exclude='./obj-*' . | tar -x -C $(DEB_DIR)/src
	cd $(DEB_DIR)/src && dpkg-buildpackage -b -us -uc -j$(JOBS)
	lintian --fail-on error,warning --info $(DEB_DIR)/*.changes

# Builds and runs the benchmarks: per operation, then whole processes.
bench:
	@./scripts/ensure-deps
	cmake --preset bench >/dev/null
	cmake --build --preset bench -j $(JOBS)
	build/bench/bin/vorn_bench
	bench/whole_process.sh build/bench

# libFuzzer harnesses over the front end, in a clang build of their own. Each
# runs FUZZ_SECONDS from the seeds in tests/fuzz/corpus; what it finds on
# the way stays in build/fuzz/corpus, a crashing input in build/fuzz/.
FUZZ_SECONDS ?= 60
FUZZERS = dialogue command_line rig
FUZZ_FLAGS = -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
FUZZ_LINK = -fsanitize=address,undefined

fuzz:
	@./scripts/ensure-deps
	CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVORN_BUILD_FUZZ=ON -DVORN_BUILD_TESTS=OFF -DVORN_WERROR=ON \
	  "-DCMAKE_C_FLAGS=$(FUZZ_FLAGS)" "-DCMAKE_CXX_FLAGS=$(FUZZ_FLAGS)" \
	  "-DCMAKE_EXE_LINKER_FLAGS=$(FUZZ_LINK)" "-DCMAKE_SHARED_LINKER_FLAGS=$(FUZZ_LINK)" >/dev/null
	cmake --build build/fuzz -j $(JOBS) --target $(FUZZERS:%=%_fuzzer)
	for f in $(FUZZERS); do \
	  mkdir -p build/fuzz/corpus/$$f && \
	  build/fuzz/bin/$${f}_fuzzer -max_total_time=$(FUZZ_SECONDS) -max_len=8192 -timeout=30 \
	    -print_final_stats=1 -artifact_prefix=build/fuzz/$$f- \
	    build/fuzz/corpus/$$f tests/fuzz/corpus/$$f || exit 1; \
	done

# Ten million cycles of commtest on the virtual clock; not part of check.
soak: build
	build/$(PRESET)/bin/commtest_soak

clean:
	rm -rf build
