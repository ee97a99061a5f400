# Entry points for people and CI. Every target first makes sure the build
# dependencies are installed (scripts/setup is quick when they are).
.PHONY: all setup native windows asan demo test test-native test-asan test-windows bench clean

JOBS ?= $(shell nproc)

all: native windows

setup:
	@scripts/setup

native: setup
	cmake --preset native >/dev/null
	cmake --build --preset native -j $(JOBS)

asan: setup
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)

windows: setup
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS)

demo: native
	build/native/monctl-sim /listdevices /properties

test-native: native
	ctest --preset native -j $(JOBS)

test-asan: asan
	ctest --preset asan -j $(JOBS)

test-windows: windows
	ctest --preset windows -j $(JOBS)

test: test-native test-asan test-windows

bench: native
	build/native/monctl-bench

clean:
	rm -rf build
