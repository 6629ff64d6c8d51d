#!/usr/bin/env bash
# The Windows zip, made from the cross build as `make windows-zip` makes it, unpacked and used
# as a Windows user would: hc11prog.exe from it, under Wine, programs the zip's example into
# hc11sim through Wine's COM5 (the prefix that the windows.wine_prefix_start test made).
#   check_zip.sh SOURCE CROSS_BUILD HC11SIM WINE PREFIX COM5_WIRE VERSION
set -euo pipefail
top=$1 cross=$2 sim=$3 wine=$4 prefix=$5 com5=$6 version=$7
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
sim_pid=
trap '[ -z "$sim_pid" ] || kill "$sim_pid" 2>/dev/null; rm -rf "$work"' EXIT

zip=$("$top/tools/make_windows_zip.sh" "$cross" "$work") || fail "make_windows_zip.sh failed"
name=hc11prog-$version-win64
[ "$zip" = "$work/$name.zip" ] || fail "the zip is $zip, not $name.zip"
expected="$name/ $name/LICENSE.txt $name/README.txt $name/examples/ $name/examples/hello.ld
$name/examples/hello.s $name/examples/hello.s19 $name/hc11prog.exe $name/hc11prog.txt"
listed=$(unzip -Z1 "$zip" | LC_ALL=C sort | xargs)
[ "$listed" = "$(xargs <<<"$expected")" ] || fail "the zip holds: $listed"

cd "$work"
unzip -q "$zip"
for text in README.txt LICENSE.txt hc11prog.txt examples/hello.s19; do
  [ "$(grep -c $'\r$' "$name/$text")" = "$(wc -l <"$name/$text")" ] ||
    fail "$text does not end every line as Windows does"
done
grep -q "MIT License" "$name/LICENSE.txt" || fail "LICENSE.txt is not the license"
grep -q "hc11prog $version" "$name/hc11prog.txt" || fail "hc11prog.txt does not carry the version"
grep -q $'\b' "$name/hc11prog.txt" && fail "hc11prog.txt holds the terminal's overstriking"

# Both of the .exe's streams, without the carriage returns.
under_wine() {
  (cd "$name" && env -u DISPLAY WINEPREFIX="$prefix" WINEDEBUG=-all \
    WINEDLLOVERRIDES='mscoree,mshtml=' "$wine" hc11prog.exe "$@" 2>&1) | tr -d '\r'
}
under_wine -h | tail -n 1 | grep -qx "hc11prog version $version" ||
  fail "hc11prog.exe -h does not end with the version"

rm -f "$com5"
"$sim" --xram 2000-7FFF --link "$com5" >sim.out 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -e "$com5" ] && break; sleep 0.1; done
under_wine -c 5 -E -B -i examples/hello.s19 >run.out || true
tail -n 1 run.out | grep -q "Success$" || { cat run.out sim.out; fail "the zip's example did not program"; }
echo "$name.zip: the zip's hc11prog.exe programmed its example into hc11sim"
