# Thin targets over CMake. Everything lands in build/.
BUILD ?= build
JOBS  ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all build test demo bench fuzz windows clean deps

all: build

$(BUILD)/CMakeCache.txt:
	@tools/check_deps build
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	@tools/check_deps test
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: build
	@tools/check_deps demo
	tools/demo.sh $(BUILD)

bench: build
	bench/run_speed $(BUILD)

clean:
	rm -rf $(BUILD)
