# make demo   install what is missing, build, run the demo
# make test   install what is missing, build x86_64 and i686 (and a sanitizer
#             build), run every test
JOBS ?= $(shell nproc)
CTEST = ctest --output-on-failure -j $(JOBS)

.PHONY: all deps demo test test-release test-i686 test-asan build-release build-i686 build-asan bench clean

all: build-release

deps:
	@scripts/deps.sh

build-release: deps
	cmake --preset release
	cmake --build build/release -j $(JOBS)

build-i686: deps
	cmake --preset i686
	cmake --build build/i686 -j $(JOBS)

build-asan: deps
	cmake --preset asan-ubsan
	cmake --build build/asan-ubsan -j $(JOBS)

demo: build-release
	build/release/apps/zebimg demo $(ARGS)

test-release: build-release
	$(CTEST) --test-dir build/release

test-i686: build-i686
	$(CTEST) --test-dir build/i686

test-asan: build-asan
	$(CTEST) --test-dir build/asan-ubsan

test: test-release test-i686 test-asan

bench: build-release
	@for b in build/release/bench/bench_*; do echo "== $$b"; $$b --benchmark_min_time=0.2; done

clean:
	rm -rf build
