#!/usr/bin/env bash
# Assembles each examples/NAME.s with its link script NAME.ld into examples/NAME.s19.
# The S19 files are committed; run this after changing an example's source.
# Usage: tools/make_examples.sh [OUTPUT_DIR]   (default: examples/)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$top/examples}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for src in "$top"/examples/*.s; do
  name=$(basename "$src" .s)
  m68hc11-as -o "$work/$name.o" "$src"
  m68hc11-ld -T "$top/examples/$name.ld" -o "$work/$name.elf" "$work/$name.o"
  # Run from the work folder so that the S0 header names the file alone.
  (cd "$work" && m68hc11-objcopy -O srec --srec-len=16 "$name.elf" "$name.s19")
  cp "$work/$name.s19" "$out/$name.s19"
done
