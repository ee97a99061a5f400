# Entry points for people and CI. Every target first makes sure the build
# dependencies are installed (scripts/setup is quick when they are).
.PHONY: all setup native windows asan tsan fuzz-build demo test test-native test-asan test-tsan test-windows \
        fuzz memcheck ci-extra bench clean

JOBS ?= $(shell nproc)
# Seconds that `make fuzz` runs each fuzz target.
FUZZ_SECONDS ?= 60

all: native windows

setup:
	@scripts/setup

native: setup
	cmake --preset native >/dev/null
	cmake --build --preset native -j $(JOBS)

asan: setup
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)

# monctl-sim only, with ThreadSanitizer: the runs whose monitors' calls go
# side by side are tested with it.
tsan: setup
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan -j $(JOBS)

windows: setup
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS)

# The libFuzzer targets (clang, AddressSanitizer and UndefinedBehaviorSanitizer).
fuzz-build: setup
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)

demo: native
	build/native/monctl-sim /listdevices /properties

test-native: native
	ctest --preset native -j $(JOBS)

test-asan: asan
	ctest --preset asan -j $(JOBS)

test-tsan: tsan
	ctest --preset tsan -j $(JOBS)

test-windows: windows
	ctest --preset windows -j $(JOBS)

test: test-native test-asan test-tsan test-windows

# Each fuzz target for FUZZ_SECONDS seconds, side by side.
fuzz: fuzz-build
	FUZZ_JOBS=$(JOBS) scripts/fuzz $(FUZZ_SECONDS)

# The native end-to-end cases with every run under valgrind memcheck.
memcheck: native
	ctest --preset memcheck

# What CI runs after `make test`: each fuzz target for 20 seconds, then the
# memcheck run.
ci-extra:
	$(MAKE) fuzz FUZZ_SECONDS=20
	$(MAKE) memcheck

# The tag and handshake micro-benchmarks, then whole-process timings of
# monctl-sim beside a trivial process, its growth with the displays and
# its runs over many monitors with DDC/CI time (bench/, docs/performance.md).
bench: native
	build/native/monctl-bench
	bench/bench-process
	bench/bench-scaling
	bench/bench-side-by-side

clean:
	rm -rf build
