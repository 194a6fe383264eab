# The two commands that matter: `make run` starts the clock, `make test` passes every test.
# `make run` installs and builds only what the Linux program needs; everything the tests need
# (GoogleTest, Xvfb, Wine, MinGW, ...) comes with `make test`.
PRESET ?= default
BUILD  := build

.PHONY: all build program run test unit blackbox bench clean deps deps-run configure \
	windows-build windows-unit windows-blackbox windows

all: build

deps-run:
	@scripts/install-deps.sh run

deps:
	@scripts/install-deps.sh test

# Configured afresh after `deps`, so test libraries installed since the last run are found.
configure: deps
	cmake --preset $(PRESET) >/dev/null || { rm -f $(BUILD)/CMakeCache.txt; exit 1; }

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

test: build windows-unit
	ctest --preset $(PRESET)
	tests/blackbox/run.sh $(BUILD)
	tests/package/run.sh $(BUILD)
	tests/windows/blackbox.sh build-win32/zorvane.exe build-win64/zorvane.exe

# Both Windows builds (32- and 64-bit): the program, its unit tests and the test probe.
windows-build: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32
	cmake --preset win64 >/dev/null
	cmake --build --preset win64

# The unit tests cross-built for Windows and run under Wine.
windows-unit: windows-build
	tests/windows/run_unit.sh build-win32 build-win64

# The Windows programs under Wine in Xvfb, driven and read from outside.
windows-blackbox: windows-build
	tests/windows/blackbox.sh build-win32/zorvane.exe build-win64/zorvane.exe

bench: build windows-build
	$(BUILD)/bench/tick_bench
	bench/side_by_side.sh $(BUILD)
	bench/windows_side_by_side.sh $(BUILD) build-win32 build-win64

# dist/zorvane-win32.exe (i686) and dist/zorvane-win64.exe (x86_64): single static files.
windows: windows-build
	mkdir -p dist
	cp build-win32/zorvane.exe dist/zorvane-win32.exe
	cp build-win64/zorvane.exe dist/zorvane-win64.exe

clean:
	rm -rf $(BUILD) build-debug build-win32 build-win64 dist

# ---- install, uninstall and the Debian package ----
# `make install PREFIX=... DESTDIR=...` builds the program first; with BUILD=<another build
# directory> (as the package tests pass) that build must be made already.
PREFIX ?= /usr/local
BUILT_PROGRAM := $(if $(filter build,$(BUILD)),program)
.PHONY: install uninstall deb

# bin/zorvane, the desktop entry, the icons, the manual page and the docs under PREFIX.
install: $(BUILT_PROGRAM)
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# Removes exactly the files the last `make install` from $(BUILD) put there (give the same
# DESTDIR), then the folders that install created, if nothing else is in them.
uninstall:
	DESTDIR="$(DESTDIR)" cmake -DBUILD_DIR="$(abspath $(BUILD))" -P cmake/uninstall.cmake

# $(BUILD)/zorvane_<version>_<arch>.deb, for /usr; dpkg-shlibdeps (dpkg-dev) finds its libraries.
deb: $(BUILT_PROGRAM)
	@command -v dpkg-shlibdeps >/dev/null || scripts/install-deps.sh package
	cd $(BUILD) && cpack -G DEB
