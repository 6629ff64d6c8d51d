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
	@tools/check_deps test
	@echo "== Simulator speed (target: at least 100 million E cycles per second)"
	$(BUILD)/sim_speed 3
	@echo "== Programming runs against hc11sim --realtime"
	bench/run_speed $(BUILD)

# Each tests/fuzz/fuzz_<name>.cpp is a target fuzz-<name>, run in turn for FUZZ_SECONDS.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := $(subst _,-,$(patsubst tests/fuzz/fuzz_%.cpp,fuzz-%,$(wildcard tests/fuzz/fuzz_*.cpp)))

fuzz:
	cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DHC11_FUZZ=ON -DFUZZ_SECONDS=$(FUZZ_SECONDS)
	@for target in $(FUZZ_TARGETS); do \
	  echo "== $$target for $(FUZZ_SECONDS) s"; \
	  cmake --build build-fuzz --target $$target -j $(JOBS) || exit 1; \
	done

windows:
	cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build build-win --target hc11prog -j $(JOBS)
	@# Linked statically: the .exe needs no DLL that Windows does not bring.
	@x86_64-w64-mingw32-objdump -p build-win/hc11prog.exe | sed -n 's/^\tDLL Name: //p' | \
	  sort | tr '\n' ' ' | grep -qx 'KERNEL32.dll msvcrt.dll ' || \
	  { echo "build-win/hc11prog.exe imports more than KERNEL32.dll and msvcrt.dll" >&2; exit 1; }

clean:
	rm -rf $(BUILD)
