# khex: set-up, build, test, demo, benchmark and fuzzing.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all setup build test demo bench fuzz clean

all: setup build

setup:
	@tools/setup.sh

build:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

test: setup build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

clean:
	rm -rf $(BUILD) build-*
