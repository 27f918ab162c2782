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

# Converts the bundled example into $(BUILD)/demo twice: into two ranges of
# byte-wide ROMs, and into a boot table for the serial boot loader.
demo: setup build
	@rm -rf $(BUILD)/demo && mkdir -p $(BUILD)/demo
	@$(BUILD)/mkcoff demo $(BUILD)/demo/demo.out
	@cp demo/demo.cmd demo/boot.cmd $(BUILD)/demo/
	@echo "=== khex demo.cmd: ROM images in two ranges"
	@cd $(BUILD)/demo && ../khex demo.cmd
	@echo "--- $(BUILD)/demo/demo.map"
	@cat $(BUILD)/demo/demo.map
	@echo
	@echo "=== khex boot.cmd: a boot table for the serial boot loader"
	@cd $(BUILD)/demo && ../khex boot.cmd
	@echo "--- $(BUILD)/demo/boot.map"
	@cat $(BUILD)/demo/boot.map
	@echo
	@echo "--- files in $(BUILD)/demo"
	@ls $(BUILD)/demo

# Speed and memory against objcopy on 16 MiB of section data.
bench: setup build
	@tools/bench.sh $(BUILD)

clean:
	rm -rf $(BUILD) build-*
