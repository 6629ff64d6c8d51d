#!/usr/bin/env bash
# Runs the README's "simulated target" example as written, from a folder laid out like the
# source tree (build/hc11sim, build/hc11prog, examples/hello.s19), the link path aside. When
# the suite runs as root the example runs as nobody, so that a permission or exclusive-open
# fault cannot hide behind root. Exit 77 (a skip) when privileges cannot be dropped.
set -euo pipefail
readme=$1 build=$2 examples=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The first fenced block after the section's heading.
awk '/^## The simulated target/ { section = 1; next }
     section && /^```/ { if (inside) exit; inside = 1; next }
     inside { print }' "$readme" >"$work/block.sh"
grep -q 'hc11prog' "$work/block.sh" || { echo "no example found in $readme" >&2; exit 1; }

# The binaries are copied: the build tree may sit where an ordinary user cannot reach it.
mkdir -p "$work/build" "$work/examples"
cp "$build/hc11sim" "$build/hc11prog" "$work/build/"
cp "$examples/hello.s19" "$work/examples/"
sed -i "s|/tmp/hc11|$work/hc11|g" "$work/block.sh"
{
  echo 'trap "kill \$(jobs -p) 2>/dev/null || true" EXIT'
  echo 'set -e'
  cat "$work/block.sh"
} >"$work/run.sh"

as_user=()
if [ "$(id -u)" = 0 ]; then
  if ! command -v setpriv >/dev/null || ! id nobody >/dev/null 2>&1; then
    echo "SKIP: setpriv or the user nobody is missing: the example cannot run unprivileged"
    exit 77
  fi
  group=$(id -gn nobody)
  as_user=(setpriv --reuid=nobody --regid="$group" --clear-groups)
  if ! "${as_user[@]}" true 2>"$work/setpriv.err"; then
    echo "SKIP: cannot drop privileges to nobody: $(cat "$work/setpriv.err")"
    exit 77
  fi
  chown -R nobody:"$group" "$work"
fi

cd "$work"
status=0
"${as_user[@]}" bash run.sh >out.txt 2>err.txt || status=$?
cat out.txt err.txt
[ "$status" -eq 0 ] || { echo "the README's example ended with status $status" >&2; exit 1; }
grep -q 'Success$' out.txt || { echo "the README's example did not end in Success" >&2; exit 1; }
