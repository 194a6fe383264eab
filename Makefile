# The two commands that matter, `./run.sh` and `./test.sh`, install make and call `make run` and
# `make test`. Each target installs only what it needs (scripts/install-deps.sh): `make run` what
# the Linux program needs, `make build` that and the test libraries, `make windows` the cross
# compilers, `make test` everything (Xvfb, Wine, ...).
PRESET ?= default
BUILD  := build
# The test command's builds stop at any compiler warning.
WERROR := -DZORVANE_WERROR=ON

.PHONY: all build program run test unit blackbox bench clean deps deps-run deps-build \
	deps-windows configure windows-build windows-unit windows-blackbox windows sanitize fuzz dist

all: build

deps-run:
	@scripts/install-deps.sh run

deps-build:
	@scripts/install-deps.sh build

deps-windows:
	@scripts/install-deps.sh windows

deps:
	@scripts/install-deps.sh test

# Configured afresh, so test libraries installed since the last run are found.
configure: deps-build
	cmake --preset $(PRESET) $(WERROR) >/dev/null || { rm -f $(BUILD)/CMakeCache.txt; exit 1; }

# A configure that fails leaves no cache behind, so the next make configures again.
$(BUILD)/CMakeCache.txt:
	cmake --preset $(PRESET) >/dev/null || { rm -f $@; exit 1; }

# The Linux program alone.
program: deps-run $(BUILD)/CMakeCache.txt
	cmake --build --preset $(PRESET) --target zorvane

# Everything: the program, its unit tests, probes and benchmarks.
build: configure
	cmake --build --preset $(PRESET)

# Starts the clock on $$DISPLAY.
run: program
	$(BUILD)/zorvane

unit: build
	ctest --preset $(PRESET)

blackbox: build
	tests/blackbox/run.sh $(BUILD)

test: deps build windows-unit sanitize
	ctest --preset $(PRESET)
	tests/blackbox/run.sh $(BUILD)
	tests/package/run.sh $(BUILD)
	tests/windows/blackbox.sh build-win32/zorvane.exe build-win64/zorvane.exe

# Both Windows builds (32- and 64-bit) for the tests: the program, its unit tests and the probe.
windows-build: deps
	cmake --preset win32 $(WERROR) >/dev/null
	cmake --build --preset win32 --target all packages
	cmake --preset win64 $(WERROR) >/dev/null
	cmake --build --preset win64 --target all packages

# The unit tests cross-built for Windows and run under Wine.
windows-unit: windows-build
	tests/windows/run_unit.sh build-win32 build-win64

# The Windows programs under Wine in Xvfb, driven and read from outside.
windows-blackbox: windows-build
	tests/windows/blackbox.sh build-win32/zorvane.exe build-win64/zorvane.exe

bench: build windows-build
	$(BUILD)/bench/tick_bench
	bench/side_by_side.sh $(BUILD)
	bench/about_cost.sh $(BUILD)
	bench/windows_side_by_side.sh $(BUILD) build-win32 build-win64
	bench/windows_idle.sh $(BUILD) build-win64 build-win32

# For each of win32 (i686) and win64 (x86_64), built with the cross compilers alone, into dist/:
#   zorvane-<arch>.exe                the program, a single static file
#   zorvane-<version>-<arch>.msi      its per-user installer (wixl)
#   zorvane-<version>-<arch>.zip      the portable copy: the program, README.md, LICENSE.txt
windows: deps-windows
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 --target zorvane packages
	cmake --preset win64 >/dev/null
	cmake --build --preset win64 --target zorvane packages
	mkdir -p dist
	cp build-win32/zorvane.exe dist/zorvane-win32.exe
	cp build-win64/zorvane.exe dist/zorvane-win64.exe
	cp build-win32/zorvane-*-win32.msi build-win32/zorvane-*-win32.zip \
	  build-win64/zorvane-*-win64.msi build-win64/zorvane-*-win64.zip dist/

# The unit tests and both fuzz corpora (the settings file's and D-Bus messages') again under
# AddressSanitizer and UBSan.
SANITIZE_FLAGS := -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
sanitize: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZORVANE_BENCH=OFF $(WERROR) \
	  -DCMAKE_CXX_FLAGS="$(SANITIZE_FLAGS)" -DCMAKE_EXE_LINKER_FLAGS="$(SANITIZE_FLAGS)" >/dev/null
	cmake --build build-asan --target unit_tests reg_file_replay dbus_message_replay
	cd build-asan && ctest --output-on-failure

# libFuzzer (clang) on the settings-file reader and writer, then on the D-Bus message reader, for
# FUZZ_SECONDS each. A nested variant costs the message reader 3 bytes: its inputs may be long
# enough to nest a hundred thousand deep, where an unbounded reader ran out of stack (the corpus
# holds such a message, 300 KB). New inputs collect in build-fuzz/corpus and
# build-fuzz/dbus_corpus; merge the few worth keeping into fuzz/corpus and fuzz/dbus_corpus by hand.
FUZZ_SECONDS ?= 60
fuzz: deps
	mkdir -p build-fuzz/corpus
	clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -Isrc \
	  fuzz/reg_file_fuzz.cpp src/platform/emulated/hive.cpp src/platform/emulated/reg_file.cpp \
	  -o build-fuzz/reg_file_fuzz
	build-fuzz/reg_file_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -print_final_stats=1 \
	  build-fuzz/corpus fuzz/corpus
	mkdir -p build-fuzz/dbus_corpus
	clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -Isrc \
	  fuzz/dbus_message_fuzz.cpp src/platform/posix/dbus_wire.cpp -o build-fuzz/dbus_message_fuzz
	build-fuzz/dbus_message_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=524288 -print_final_stats=1 \
	  build-fuzz/dbus_corpus fuzz/dbus_corpus

# dist/zorvane-<version>.tar.gz: the committed tree (git archive), unpacking into
# zorvane-<version>/; its README's two commands work from there.
VERSION := $(shell sed -n 's/.*kVersionNumber = "\(.*\)";/\1/p' src/shared/main_mod.h)
dist:
	@git rev-parse --is-inside-work-tree >/dev/null 2>&1 || \
	  { echo "make dist: needs a git checkout (it packs the committed tree)" >&2; exit 1; }
	mkdir -p dist
	git archive --format=tar.gz --prefix=zorvane-$(VERSION)/ -o dist/zorvane-$(VERSION).tar.gz HEAD
	@echo "dist/zorvane-$(VERSION).tar.gz"

clean:
	rm -rf $(BUILD) build-debug build-asan build-fuzz build-win32 build-win64 dist

# ---- install, uninstall and the Debian package ----
# `make install PREFIX=... DESTDIR=...` builds the program first; with BUILD=<another build
# directory> (as the package tests pass) that build must be made already.
PREFIX ?= /usr/local
BUILT_PROGRAM := $(if $(filter build,$(BUILD)),program)
.PHONY: install uninstall deb

# bin/zorvane (stripped of its debug information, as the package's), the desktop entry, the
# icons, the manual page and the docs under PREFIX.
install: $(BUILT_PROGRAM)
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)" --strip

# Removes exactly the files the last `make install` from $(BUILD) put there (give the same
# DESTDIR), then the folders that install created, if nothing else is in them.
uninstall:
	DESTDIR="$(DESTDIR)" cmake -DBUILD_DIR="$(abspath $(BUILD))" -P cmake/uninstall.cmake

# $(BUILD)/zorvane_<version>_<arch>.deb, for /usr; dpkg-shlibdeps (dpkg-dev) finds its libraries.
deb: $(BUILT_PROGRAM)
	@command -v dpkg-shlibdeps >/dev/null || scripts/install-deps.sh package
	cd $(BUILD) && cpack -G DEB
