# Thin front of the CMake build. `make demo` and `make test` install what is
# missing first (as root), so both work on a fresh Debian machine.
JOBS ?= $(shell nproc)
BUILD ?= build
CMAKE_FLAGS ?=

.PHONY: all deps build demo test test-fast test-asan test-tsan bench fuzz fuzz-long format clean

all: build

deps:
	tools/install-deps.sh base

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

# Only what the demo runs: the gateway (with the virtual cameras), the
# adaptor, korvix and korvideoinput, and korcamsim, which the guide's fault
# examples use to unplug a virtual camera. The build's own output goes to a
# log, shown on failure.
DEMO_TARGETS = KorDispatcher korviximaq korvix korvideoinput korcamsim

demo: deps
	@echo "Building the gateway, the adaptor, korvix, korvideoinput and korcamsim into $(BUILD)/ (log: $(BUILD)/demo-build.log)"
	@mkdir -p $(BUILD)
	@{ cmake -S . -B $(BUILD) $(CMAKE_FLAGS) && cmake --build $(BUILD) -j $(JOBS) --target $(DEMO_TARGETS); } \
	  >$(BUILD)/demo-build.log 2>&1 || { cat $(BUILD)/demo-build.log; exit 1; }
	@tools/demo.sh $(BUILD)

# Every test: the plain build, then the address/undefined-behaviour and the
# thread sanitizer builds, then the Windows builds under wine.
test:
	tools/install-deps.sh test
	tools/run-tests.sh

test-fast: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

bench:
	tools/install-deps.sh bench
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DKORCAM_WITH_BENCH=ON -DKORCAM_WITH_TESTS=OFF >/dev/null
	cmake --build build-bench -j $(JOBS)
	tools/run-bench.sh build-bench

# The long fuzz run of the gateway: two million calls (KORCAM_FUZZ_CALLS), from
# a seed taken from the clock unless KORCAM_FUZZ_SEED is given; the run prints
# its seed, so a failure can be replayed. Run directly, without the time limit
# that CTest puts on the short run of `make test`.
fuzz-long: build
	KORCAM_FUZZ_CALLS=$${KORCAM_FUZZ_CALLS:-2000000} KORCAM_FUZZ_SEED=$${KORCAM_FUZZ_SEED:-$$(date +%s)} \
	  OCTAVE_HISTFILE=/dev/null tests/octave/run_octave_test.sh $(BUILD) test_fuzz

# Coverage-guided fuzzing (libFuzzer, clang, address and undefined-behaviour
# sanitizers): every target for FUZZ_SECONDS (600) with the committed corpus,
# whose inputs are then replaced by the smallest set covering old and new ones.
FUZZ_SECONDS ?= 600
fuzz:
	tools/install-deps.sh test
	FUZZ_SECONDS=$(FUZZ_SECONDS) tools/run-fuzz.sh fuzz

# Formats every C++ file with the root .clang-format (make test checks it).
format: deps
	tools/check-format.sh --fix

clean:
	rm -rf build build-asan build-tsan build-bench build-mingw32 build-mingw64 build-bench-check build-fuzz out
