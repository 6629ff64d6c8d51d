# Thin targets over CMake. Everything lands in build/.
BUILD ?= build
JOBS  ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
CTEST_ARGS ?=
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: all build test demo bench fuzz windows install package windows-zip clean

all: build

# Configures $(BUILD) for a make target once the Debian packages it needs are there. A tool
# installed after that makes the next build configure again by itself (cmake/tools.cmake).
configure = @tools/check_deps $(1) && { [ -f $(BUILD)/CMakeCache.txt ] || \
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS); }

build:
	$(call configure,build)
	cmake --build $(BUILD) -j $(JOBS)

test:
	$(call configure,test)
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

# Builds only the two programs the demo runs.
demo:
	$(call configure,demo)
	cmake --build $(BUILD) -j $(JOBS) --target hc11prog hc11sim
	tools/demo.sh $(BUILD)

# Both programs, their man pages and their bash completion, under $(DESTDIR)$(PREFIX).
install:
	$(call configure,install)
	cmake --build $(BUILD) -j $(JOBS) --target hc11prog hc11sim bash_completion
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix $(PREFIX)

bench:
	$(call configure,bench)
	cmake --build $(BUILD) -j $(JOBS)
	@echo "== Simulator speed (target: at least 100 million E cycles per second)"
	$(BUILD)/sim_speed 3
	@echo "== Programming runs against hc11sim --realtime"
	bench/run_speed $(BUILD)
	@echo "== One command, many boards: 1, 8 and 32 hc11sim --listen --realtime (target: 32 boards at most 1.15 times one board's time, host cpu well under 1% per board)"
	bench/run_line $(BUILD)

# Each tests/fuzz/fuzz_<name>.cpp is a target fuzz-<name>, run in turn for FUZZ_SECONDS.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := $(subst _,-,$(patsubst tests/fuzz/fuzz_%.cpp,fuzz-%,$(wildcard tests/fuzz/fuzz_*.cpp)))

fuzz:
	@tools/check_deps fuzz
	cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DHC11_FUZZ=ON -DFUZZ_SECONDS=$(FUZZ_SECONDS)
	@for target in $(FUZZ_TARGETS); do \
	  echo "== $$target for $(FUZZ_SECONDS) s"; \
	  cmake --build build-fuzz --target $$target -j $(JOBS) || exit 1; \
	done

windows:
	@tools/check_deps windows
	cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build build-win --target hc11prog -j $(JOBS)
	@# Linked statically: the .exe needs no DLL that Windows does not bring.
	@x86_64-w64-mingw32-objdump -p build-win/hc11prog.exe | sed -n 's/^\tDLL Name: //p' | \
	  LC_ALL=C sort | tr '\n' ' ' | grep -qx 'KERNEL32.dll WS2_32.dll msvcrt.dll ' || \
	  { echo "build-win/hc11prog.exe imports more than KERNEL32.dll, WS2_32.dll and msvcrt.dll" >&2; exit 1; }

# $(BUILD)/hc11prog_<version>_<arch>.deb, from the programs built in $(BUILD).
package:
	$(call configure,package)
	cmake --build $(BUILD) -j $(JOBS) --target hc11prog hc11sim bash_completion
	tools/make_deb.sh $(BUILD)

# build-win/hc11prog-<version>-win64.zip: the .exe with the README, the license, the manual
# page as text and the examples.
windows-zip: windows
	@tools/check_deps windows-zip
	tools/make_windows_zip.sh build-win build-win

# Every build folder the targets above make.
clean:
	rm -rf $(sort $(BUILD) build build-win build-fuzz build-asan build-tsan)
