# khex: set-up, build, test, demo, benchmark, fuzzing and installation.
BUILD ?= build
PREFIX ?= /usr/local
JOBS ?= 2
CMAKE_FLAGS ?=

VERSION := $(shell grep -o 'khex VERSION [0-9.]*' CMakeLists.txt | cut -d' ' -f3)

.PHONY: all setup build build-demo test demo demo-picture bench fuzz install deb clean windows test-windows dist-windows check-reports

all: setup build

setup:
	@tools/setup.sh

build:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

test: setup build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# Only the program and the example's COFF builder, not the tests.
build-demo:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j$(JOBS) --target khex mkcoff

# Converts the bundled example into $(BUILD)/demo twice: into two ranges of
# byte-wide ROMs, and into a boot table for the serial boot loader.
demo: setup build-demo
	@rm -rf $(BUILD)/demo && mkdir -p $(BUILD)/demo
	@$(BUILD)/mkcoff demo $(BUILD)/demo/demo.out
	@cp demo/demo.cmd demo/boot.cmd demo/image.cmd $(BUILD)/demo/
	@echo "=== khex -mapsvg demo.svg demo.cmd: ROM images in two ranges, a map and its picture"
	@cd $(BUILD)/demo && ../khex -mapsvg demo.svg demo.cmd
	@echo "--- $(BUILD)/demo/demo.map"
	@cat $(BUILD)/demo/demo.map
	@echo
	@echo "=== khex boot.cmd: a boot table for the serial boot loader"
	@cd $(BUILD)/demo && ../khex boot.cmd
	@echo "--- $(BUILD)/demo/boot.map"
	@cat $(BUILD)/demo/boot.map
	@echo
	@echo "=== khex -werror image.cmd: whole device images with a CRC, without a warning"
	@cd $(BUILD)/demo && ../khex -werror image.cmd
	@echo
	@echo "--- files in $(BUILD)/demo"
	@ls $(BUILD)/demo

# The README's picture of the demo's ROM layout, rendered from demo.svg.
demo-picture: demo
	rsvg-convert $(BUILD)/demo/demo.svg -o doc/demo-layout.png

# Speed and memory against objcopy on 16 MiB of section data.
bench: setup build
	@tools/bench.sh $(BUILD)

# The reports held to the files over random configurations for a while
# (CHECK_SECONDS, default 180), from CHECK_SEED on: every failing
# configuration is printed with its seed, which repeats it
# (tools/check_reports.py build/khex --seed N --count 1 --keep DIR).
CHECK_SECONDS ?= 180
CHECK_SEED ?= $(shell date +%Y%m%d)000
check-reports: setup build
	python3 tools/check_reports.py $(BUILD)/khex --seed $(CHECK_SEED) --count 0 --seconds $(CHECK_SECONDS)

# libFuzzer targets (clang): whole runs on a fuzzed COFF file and a fuzzed ELF file, command-file
# parsing with ROM resolution, the hex readers, and a whole run with a fuzzed
# inserted file. `make fuzz` builds them and runs each for
# FUZZ_SECONDS (default 60); corpora grow in build-fuzz/corpus.
FUZZ_SECONDS ?= 60
FUZZ_OUT = $(CURDIR)/build-fuzz
FUZZ_FLAGS = -timeout=1 -rss_limit_mb=2048 -close_fd_mask=3 -print_final_stats=1
fuzz:
	@tools/setup.sh fuzz
	@cmake -S . -B build-fuzz -DKHEX_FUZZ=ON -DKHEX_TESTS=OFF -DCMAKE_CXX_COMPILER=clang++ \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build-fuzz -j$(JOBS)
	@mkdir -p build-fuzz/corpus/coff build-fuzz/corpus/cmdfile build-fuzz/corpus/hexread build-fuzz/corpus/insert build-fuzz/seeds/coff \
	    build-fuzz/corpus/elf build-fuzz/seeds/elf
	@build-fuzz/mkcoff seeds build-fuzz/seeds/coff
	@build-fuzz/mkcoff elfseeds build-fuzz/seeds/elf
	build-fuzz/fuzz_coff_run $(FUZZ_FLAGS) -max_total_time=$(FUZZ_SECONDS) -artifact_prefix=$(FUZZ_OUT)/ \
	    $(FUZZ_OUT)/corpus/coff $(FUZZ_OUT)/seeds/coff
	build-fuzz/fuzz_elf_run $(FUZZ_FLAGS) -max_total_time=$(FUZZ_SECONDS) -artifact_prefix=$(FUZZ_OUT)/ \
	    $(FUZZ_OUT)/corpus/elf $(FUZZ_OUT)/seeds/elf
	build-fuzz/fuzz_cmdfile_parse $(FUZZ_FLAGS) -max_total_time=$(FUZZ_SECONDS) -artifact_prefix=$(FUZZ_OUT)/ \
	    $(FUZZ_OUT)/corpus/cmdfile $(CURDIR)/fuzz/corpus/cmdfile
	build-fuzz/fuzz_hexread $(FUZZ_FLAGS) -max_total_time=$(FUZZ_SECONDS) -artifact_prefix=$(FUZZ_OUT)/ \
	    $(FUZZ_OUT)/corpus/hexread $(CURDIR)/fuzz/corpus/hexread
	build-fuzz/fuzz_insert_run $(FUZZ_FLAGS) -max_total_time=$(FUZZ_SECONDS) -artifact_prefix=$(FUZZ_OUT)/ \
	    $(FUZZ_OUT)/corpus/insert $(CURDIR)/fuzz/corpus/hexread

# Windows: a statically linked build-windows/khex.exe from Debian's MinGW-w64,
# the end-to-end tests run against it under Wine, and a zip to hand out.
WINDOWS_BUILD = build-windows
WINDOWS_DIST = $(WINDOWS_BUILD)/khex-$(VERSION)-win64
windows:
	@tools/setup.sh windows
	@cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DKHEX_TESTS=OFF \
	    -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j$(JOBS) --target khex

test-windows: setup build windows
	@tools/setup.sh wine
	JOBS=$(JOBS) tools/wine-test.sh $(BUILD) $(WINDOWS_BUILD)

# The manual page goes in as text rendered from doc/khex.1, with a README for
# Windows users and the demo's files; text files get Windows line ends.
dist-windows: windows build-demo
	@rm -rf $(WINDOWS_DIST) $(WINDOWS_DIST).zip && mkdir -p $(WINDOWS_DIST)/demo
	@cp $(WINDOWS_BUILD)/khex.exe $(WINDOWS_DIST)/
	@groff -t -man -Tascii -P-cbou doc/khex.1 | sed 's/$$/\r/' > $(WINDOWS_DIST)/khex.txt
	@sed 's/$$/\r/' doc/README-windows.txt > $(WINDOWS_DIST)/README.txt
	@$(BUILD)/mkcoff demo $(WINDOWS_DIST)/demo/demo.out
	@for f in demo.cmd boot.cmd image.cmd; do sed 's/$$/\r/' demo/$$f > $(WINDOWS_DIST)/demo/$$f; done
	@cd $(WINDOWS_BUILD) && zip -q -r khex-$(VERSION)-win64.zip khex-$(VERSION)-win64
	@echo "$(WINDOWS_DIST).zip"

# The program, its manual page and the CMake package under $(PREFIX); only
# what it installs is built.
install: setup
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j$(JOBS) --target installed
	cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package khex_<version>_amd64.deb, in $(BUILD).
deb: setup build
	@cd $(BUILD) && cpack -G DEB >/dev/null && ls $(CURDIR)/$(BUILD)/khex_$(VERSION)_*.deb

clean:
	rm -rf $(BUILD) build-*
