#!/usr/bin/env bash
# `make package`, then the .deb as an administrator meets it: lintian finds no error, apt-get
# installs it, the installed programs program hc11sim's chip, and apt-get remove leaves
# nothing behind. Installs into the system, so it needs root; exit 77 (a skip) without.
#   check_package.sh SOURCE BUILD VERSION
set -euo pipefail
top=$1 build=$2 version=$3
fail() { echo "FAIL: $*" >&2; exit 1; }

if [ "$(id -u)" != 0 ]; then
  echo "SKIP: not root: the package test installs the .deb into the system (run it as root)"
  exit 77
fi
if dpkg-query -W -f='${db:Status-Abbrev}' hc11prog 2>/dev/null | grep -q '^.i'; then
  echo "SKIP: hc11prog is installed already: the test would remove it"
  exit 77
fi

work=$(mktemp -d)
sim_pid=
installed=0
cleanup() {
  [ -z "$sim_pid" ] || kill "$sim_pid" 2>/dev/null || true
  [ "$installed" = 0 ] || apt-get purge -y -qq hc11prog >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL make -C "$top" package BUILD="$build" >"$work/make.log" 2>&1 ||
  { cat "$work/make.log"; fail "make package failed"; }
deb=$(grep "\.deb$" "$work/make.log" | tail -n 1)
[[ $deb == */hc11prog_"${version}"_$(dpkg --print-architecture).deb && -f $deb ]] ||
  fail "make package did not end with the .deb's path: $deb"

# The fields: the version of the build, libraries found from the binaries, the suggestions.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Version)" = "$version" ] || fail "the package's version is $(field Version)"
[[ "$(field Depends)" == *libc6* && "$(field Depends)" == *libstdc++6* ]] ||
  fail "Depends is not computed from the binaries: $(field Depends)"
[ "$(field Suggests)" = "ser2net, srecord" ] || fail "Suggests is '$(field Suggests)'"

lintian --fail-on error --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1 ||
  { cat "$work/lintian.txt"; fail "lintian reports errors"; }
cat "$work/lintian.txt"

dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' | sort >"$work/files"
doc=/usr/share/doc/hc11prog
for file in /usr/bin/hc11prog /usr/bin/hc11sim /usr/share/man/man1/hc11prog.1.gz \
  /usr/share/man/man1/hc11sim.1.gz /usr/share/bash-completion/completions/hc11prog \
  /usr/share/bash-completion/completions/hc11sim $doc/copyright $doc/changelog.gz \
  $doc/README.md.gz $doc/examples/hello.s19; do
  grep -qx "$file" "$work/files" || fail "the package does not hold $file"
done

apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get install failed"; }
installed=1
/usr/bin/hc11prog -h 2>&1 >/dev/null | tail -n 1 | grep -qx "hc11prog version $version" ||
  fail "the installed hc11prog -h does not end with its version"
/usr/bin/hc11sim --help | grep -q -- '--xram' || fail "the installed hc11sim --help shows no usage"
# Among the pages man finds (a `make install` under /usr/local may come first).
man -aw hc11prog | grep -qx /usr/share/man/man1/hc11prog.1.gz || fail "man does not find hc11prog's page"
MANWIDTH=80 man hc11prog 2>/dev/null | grep -q "hc11prog $version" || fail "man hc11prog shows no version"
bash -c "source /usr/share/bash-completion/completions/hc11sim && complete -p hc11prog" >/dev/null ||
  fail "the installed completion does not complete hc11prog"

# The README's simulator example with the installed programs and example: the file goes in,
# then a verify-only run finds it in the chip that the first run left its talker in.
cd "$work"
/usr/bin/hc11sim --xram 2000-7FFF --link "$work/hc11" >sim.out 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -e "$work/hc11" ] && break; sleep 0.1; done
for flags in "-E -B" "-E -n"; do
  # shellcheck disable=SC2086
  /usr/bin/hc11prog -d "$work/hc11" $flags -i $doc/examples/hello.s19 >run.out 2>&1 ||
    { cat run.out sim.out; fail "hc11prog $flags with the installed programs failed"; }
  tail -n 1 run.out | grep -q "Success$" || { cat run.out; fail "hc11prog $flags did not end in Success"; }
done
kill "$sim_pid"
wait "$sim_pid" 2>/dev/null || true
sim_pid=

apt-get remove -y -qq hc11prog >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get remove failed"; }
installed=0
! dpkg-query -W -f='${db:Status-Abbrev}' hc11prog 2>/dev/null | grep -qv '^u' ||
  fail "dpkg still knows hc11prog after its removal: $(dpkg-query -W hc11prog)"
while read -r file; do
  [ ! -e "$file" ] || fail "$file is left after the removal"
done <"$work/files"
[ ! -e $doc ] || fail "$doc is left after the removal"
echo "installed, ran and removed $(basename "$deb") ($(wc -l <"$work/files") files)"
