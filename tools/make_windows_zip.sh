#!/usr/bin/env bash
# Writes OUT/hc11prog-<version>-win64.zip from a Windows build folder (its hc11prog.exe and
# its CMakeCache.txt's version): the .exe stripped, the README, the license and the manual
# page as text with Windows line ends, and the examples, in one folder.
#   make_windows_zip.sh WIN_BUILD OUT
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$1 out=$(cd "$2" && pwd)
fail() { echo "make_windows_zip.sh: $*" >&2; exit 1; }

[ -f "$build/hc11prog.exe" ] || fail "$build/hc11prog.exe is not built (make windows)"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"

name=hc11prog-$version-win64
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/$name/examples"
as_text() { sed 's/\r*$/\r/' >"$work/$name/$1"; }
# Without its symbols: a third of the size.
x86_64-w64-mingw32-strip -o "$work/$name/hc11prog.exe" "$build/hc11prog.exe"
as_text README.txt <"$top/README.md"
as_text LICENSE.txt <"$top/LICENSE"
# The page as the terminal shows it, without bold or underlining.
sed "s/@PROJECT_VERSION@/$version/g" "$top/man/hc11prog.1.in" |
  groff -man -Tascii -P-cbou -ww 2>"$work/groff.err" | as_text hc11prog.txt
[ ! -s "$work/groff.err" ] || fail "the manual page renders with warnings: $(cat "$work/groff.err")"
for example in "$top"/examples/*; do
  as_text "examples/${example##*/}" <"$example"
done
rm -f "$out/$name.zip"
(cd "$work" && zip -q -r -X "$out/$name.zip" "$name")
echo "$out/$name.zip"
