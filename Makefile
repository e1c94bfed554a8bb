# make demo   install what is missing, build, run the demo
# make test   install what is missing, build x86_64 and i686 (and a sanitizer
#             build), run every test, a short run of every fuzz target and the
#             thread-sanitizer check of the threaded functions
# make fuzz   build the fuzz targets and run each for FUZZ_SECONDS (default 300)
JOBS ?= $(shell nproc)
CTEST = ctest --output-on-failure -j $(JOBS)

FUZZ_SECONDS ?= 300
FUZZ_TEST_SECONDS ?= 30

.PHONY: all deps demo test test-release test-i686 test-asan test-fuzz test-tsan build-release build-i686 build-asan \
        build-fuzz build-tsan fuzz bench clean

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

build-fuzz: deps
	cmake --preset fuzz
	cmake --build build/fuzz -j $(JOBS) --target fuzz_all

build-tsan: deps
	cmake --preset tsan
	cmake --build build/tsan -j $(JOBS) --target tsan_threads

# Every fuzz target, one after the other (seeds from our own encoders plus the
# corpus kept in build/fuzz/fuzz-corpus; findings in build/fuzz/fuzz-artifacts).
fuzz: build-fuzz
	scripts/fuzz.sh build/fuzz $(FUZZ_SECONDS)

test-fuzz: build-fuzz
	scripts/fuzz.sh build/fuzz $(FUZZ_TEST_SECONDS)

test-tsan: build-tsan
	$(CTEST) --test-dir build/tsan

test: test-release test-i686 test-asan test-fuzz test-tsan

bench: build-release
	@for b in build/release/bench/bench_*; do \
	  case $$b in */bench_codec|*/bench_j2k) continue;; esac; \
	  echo "== $$b"; $$b --benchmark_min_time=0.2; done
	build/release/bench/bench_codec
	build/release/bench/bench_j2k
	python3 bench/j2k_tools.py build/release/apps/zebimg

clean:
	rm -rf build
