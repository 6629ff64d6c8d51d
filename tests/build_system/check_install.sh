#!/usr/bin/env bash
# `make install` into a staging folder: both programs, both manual pages and the bash
# completion where they belong, the build's version in -h and in each page, and each page
# rendered without a warning.
# Skipped (exit 77) when neither groff nor man is there to render the pages; under CI a failure.
set -euo pipefail
. "$(dirname "$0")/../missing_tool.sh"
top=$1 build=$2 version=$3
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL \
  make -C "$top" install BUILD="$build" PREFIX=/opt/hc11 DESTDIR="$stage" >"$stage.log" 2>&1 ||
  { cat "$stage.log"; rm -f "$stage.log"; fail "make install failed"; }
rm -f "$stage.log"

root=$stage/opt/hc11
for program in hc11prog hc11sim; do
  [ -x "$root/bin/$program" ] || fail "$root/bin/$program is not installed"
  page=$root/share/man/man1/$program.1
  [ -f "$page" ] || fail "$page is not installed"
  grep -q "^\.TH .*\"$program $version\"" "$page" || fail "$page does not carry version $version"
  completion=$root/share/bash-completion/completions/$program
  grep -q "^complete -F .* $program\b" "$completion" || fail "$completion does not complete $program"
done
"$root/bin/hc11prog" -h 2>&1 >/dev/null | grep -qx "hc11prog version $version" ||
  fail "hc11prog -h does not say version $version"
echo "installed: $(cd "$stage" && find . -type f | sort | tr '\n' ' ')"

if command -v groff >/dev/null; then
  render() { groff -man -Tutf8 -ww -z "$1" 2>&1; }
elif command -v man >/dev/null; then
  render() { MANWIDTH=80 man --warnings -l "$1" 2>&1 >/dev/null; }
else
  skip_for_missing_tool "neither groff nor man is installed: the pages were not rendered"
fi
for page in "$root"/share/man/man1/*.1; do
  warnings=$(render "$page")
  [ -z "$warnings" ] || fail "$page renders with warnings: $warnings"
done
