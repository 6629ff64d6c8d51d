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

windows:
	cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build build-win --target hc11prog -j $(JOBS)
	@# Linked statically: the .exe needs no DLL that Windows does not bring.
	@x86_64-w64-mingw32-objdump -p build-win/hc11prog.exe | sed -n 's/^\tDLL Name: //p' | \
	  sort | tr '\n' ' ' | grep -qx 'KERNEL32.dll msvcrt.dll ' || \
	  { echo "build-win/hc11prog.exe imports more than KERNEL32.dll and msvcrt.dll" >&2; exit 1; }

clean:
	rm -rf $(BUILD)
