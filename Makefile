# Thin wrapper over the CMake presets: `make demo` and `make check` are the
# two commands a new user needs.
# CI=true picks the warnings-as-errors preset
PRESET ?= $(if $(CI),ci,dev)
JOBS ?= $(shell nproc)

.PHONY: all deps build demo check check-sanitize bench clean

all: build

deps:
	@./scripts/ensure-deps

build: deps
	cmake --preset $(PRESET) >/dev/null
	cmake --build --preset $(PRESET) -j $(JOBS)

demo: build
	./scripts/demo build/$(PRESET)

check: build
	ctest --preset $(PRESET)

check-sanitize:
	@./scripts/ensure-deps
	cmake --preset sanitize >/dev/null
	cmake --build --preset sanitize -j $(JOBS)
	ctest --preset sanitize

bench:
	@./scripts/ensure-deps
	cmake --preset bench >/dev/null
	cmake --build --preset bench -j $(JOBS)

clean:
	rm -rf build
