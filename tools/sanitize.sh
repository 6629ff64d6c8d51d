#!/usr/bin/env bash
# Builds the whole tree under AddressSanitizer and UndefinedBehaviorSanitizer in build-asan
# (or the folder given) and runs every test there: the host tool, the simulator and the tests
# that drive them as processes. gcc builds it, the compiler that libgtest-dev's library comes
# from. A sanitizer report aborts the process that makes it, and so fails its test. Then the
# host tests once more under ThreadSanitizer, in build-tsan.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build-asan}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

# gcc 12 warns of "may be used uninitialized" inside libstdc++'s <regex> once it is
# instrumented; the plain build keeps that warning for our own code.
cmake -S "$top" -B "$build" -DHC11_SANITIZE=ON -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
  -DCMAKE_CXX_FLAGS=-Wno-maybe-uninitialized
cmake --build "$build" -j "$jobs"

# LeakSanitizer cannot run where the process may not trace itself (some containers); the
# rest of AddressSanitizer still can.
leaks=1
if ASAN_OPTIONS=detect_leaks=1 "$build/hc11prog" -h 2>&1 | grep -q "LeakSanitizer has encountered"; then
  echo "sanitize: LeakSanitizer does not work here; leak checks are off" >&2
  leaks=0
fi
export ASAN_OPTIONS="detect_leaks=$leaks:abort_on_error=1:strict_string_checks=1:check_initialization_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:abort_on_error=1"
export LSAN_OPTIONS="print_suppressions=0"

cd "$build"
ctest --output-on-failure -j "$jobs"

# ThreadSanitizer, in build-tsan: the host tests, whose scripted far ends serve the pty from a
# thread of their own while the test reads what they received, and the network port's tests,
# whose scripted server does the same over TCP.
tsan=$top/build-tsan
cmake -S "$top" -B "$tsan" -DHC11_TSAN=ON -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++
cmake --build "$tsan" -j "$jobs" --target host_tests rfc2217_tests
# The report goes to a file: a test may be capturing standard error when it comes.
rm -f "$tsan"/report.*
for tests in host_tests rfc2217_tests; do
  TSAN_OPTIONS="halt_on_error=1:abort_on_error=1:log_path=$tsan/report" "$tsan/$tests" ||
    { cat "$tsan"/report.* 2>/dev/null; exit 1; }
done
