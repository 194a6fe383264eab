# The two commands that matter: `make run` starts the clock, `make test` passes every test.
PRESET ?= default
BUILD  := build

.PHONY: all build run test unit blackbox bench clean deps

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake --preset $(PRESET) >/dev/null

build: deps $(BUILD)/CMakeCache.txt
	cmake --build --preset $(PRESET)

# Starts the clock on $$DISPLAY.
run: build
	$(BUILD)/zorvane

unit: build
	ctest --preset $(PRESET)

blackbox: build
	tests/blackbox/run.sh $(BUILD)

test: build
	ctest --preset $(PRESET)
	tests/blackbox/run.sh $(BUILD)

bench: build
	$(BUILD)/bench/tick_bench
	bench/side_by_side.sh $(BUILD)

clean:
	rm -rf $(BUILD) build-debug dist
