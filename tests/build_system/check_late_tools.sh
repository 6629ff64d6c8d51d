#!/usr/bin/env bash
# A tool installed after the first configure: a scratch configure that cannot see srec_cat and
# the m68hc11 binutils passes no *-NOTFOUND path to any test and leaves the talker image check
# out; once the tools appear in a folder on the PATH, the build configures itself again and
# registers the check, without the folder being deleted. Skipped (exit 77) without the tools;
# under CI a failure.
set -euo pipefail
. "$(dirname "$0")/../missing_tool.sh"
top=$1 cc=$2 cxx=$3
tools=()
for tool in srec_cat m68hc11-as m68hc11-ld m68hc11-objcopy m68hc11-objdump m68hc11-nm; do
  tools+=("$(command -v "$tool")") || skip_for_missing_tool "$tool is not installed"
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# The usual folders are ignored and stand-ins hold every program in them but the tools: the
# tools are "not installed" until they show up in bin/.
mkdir "$work/bin" "$work/usual"
for dir in /usr/local/bin /usr/bin /bin; do
  for program in "$dir"/*; do
    case ${program##*/} in srec_* | m68hc11-*) continue ;; esac
    [ -e "$work/usual/${program##*/}" ] || ln -s "$program" "$work/usual/"
  done
done
export PATH=$work/bin:$work/usual
cmake -G "Unix Makefiles" -S "$top" -B "$work/b" -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
  "-DCMAKE_IGNORE_PATH=/usr/bin;/bin;/usr/local/bin" >"$work/first.log" 2>&1 ||
  { cat "$work/first.log"; fail "the first configure failed"; }
grep -q 'Not installed.*srec_cat' "$work/first.log" || fail "srec_cat was found: nothing is tested"
if grep -rl --include=flags.make --include=CTestTestfile.cmake -e -NOTFOUND "$work/b"; then
  fail "a missing tool reaches the tests as a *-NOTFOUND path"
fi
registered() {
  (cd "$work/b" && ctest -N) >"$work/tests.txt"
  grep -q ': talker_image_matches_committed$' "$work/tests.txt"
}
registered && fail "the talker image check is registered without m68hc11-as"

ln -s "${tools[@]}" "$work/bin/"
# What any build does first: the check that configures again when a dependency changed.
make -C "$work/b" cmake_check_build_system >"$work/second.log" 2>&1 ||
  { cat "$work/second.log"; fail "the second configure failed"; }
registered || fail "the talker image check is not registered once m68hc11-as is installed"
grep -q "SREC_CAT_PATH=\\\\\"$work/bin/srec_cat" "$work/b/tests/e2e/CMakeFiles/e2e_tests.dir/flags.make" ||
  fail "the end-to-end tests do not get srec_cat's path"
