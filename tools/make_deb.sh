#!/usr/bin/env bash
# Builds BUILD/hc11prog_<version>_<arch>.deb with debhelper from the programs, the manual pages
# and the bash completion already built in BUILD (`make package`), with packaging/debian.
#   make_deb.sh BUILD
# The programs are taken as built, so BUILD must be an optimised build without sanitizers;
# the package gets them stripped.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
fail() { echo "make_deb.sh: $*" >&2; exit 1; }

cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(cache_value CMAKE_PROJECT_VERSION)
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"
case "$(cache_value CMAKE_BUILD_TYPE)" in
  "" | Release | RelWithDebInfo | MinSizeRel) ;;  # empty: CMakeLists.txt's RelWithDebInfo
  *) fail "$build is a $(cache_value CMAKE_BUILD_TYPE) build: package an optimised one" \
    "(make package BUILD=build-release CMAKE_FLAGS=-DCMAKE_BUILD_TYPE=Release)" ;;
esac
for option in HC11_SANITIZE HC11_TSAN; do
  [ "$(cache_value $option)" != ON ] || fail "$build is built with $option: package another build"
done

# A source folder of the package's own: debhelper writes beside it and into its debian/.
work=$build/package
source=$work/hc11prog-$version
rm -rf "$work"
mkdir -p "$source"
cp -r "$top/packaging/debian" "$source/debian"
cp -r "$top/README.md" "$top/examples" "$source/"
chmod -R a-x+X "$source/examples"  # examples are documents, whatever their mode in the tree
date=$(git -C "$top" log -1 --format=%aD 2>/dev/null || date -R)
sed -e "s/@VERSION@/$version/g" -e "s/@DATE@/$date/" "$source/debian/changelog.in" \
  >"$source/debian/changelog"
# The license's text, after its title and its copyright line, as the copyright file's.
{
  cat "$source/debian/copyright.in"
  tail -n +5 "$top/LICENSE" | sed -e 's/^$/./' -e 's/^/ /'
} >"$source/debian/copyright"
rm "$source/debian/changelog.in" "$source/debian/copyright.in"

(cd "$source" && HC11_BUILD_DIR=$build dpkg-buildpackage -b --no-sign) >"$work/build.log" 2>&1 ||
  { cat "$work/build.log"; fail "dpkg-buildpackage failed"; }
deb=$(cd "$work" && ls hc11prog_"$version"_*.deb)
mv "$work/$deb" "$build/$deb"
echo "$build/$deb"
