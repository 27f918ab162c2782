#!/bin/bash
# The Debian package: what it holds, that khex runs from it, and that lintian
# finds no errors in it. Usage: deb.sh BUILD_DIR
set -euo pipefail
build_dir=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "FAILED: $*" >&2; exit 1; }

(cd "$build_dir" && cpack -G DEB -B "$scratch/out" >/dev/null)
deb=$(ls "$scratch"/out/khex_*_amd64.deb)
version=$(dpkg-deb -f "$deb" Version)
[ "$(basename "$deb")" = "khex_${version}_amd64.deb" ] || fail "package name $(basename "$deb")"

dpkg -x "$deb" "$scratch/root"
for f in usr/bin/khex usr/share/man/man1/khex.1.gz usr/share/doc/khex/copyright usr/share/doc/khex/changelog.gz \
         usr/share/doc/khex/README.md usr/lib/cmake/khex/khexConfig.cmake usr/lib/cmake/khex/khexConfigVersion.cmake; do
    [ -f "$scratch/root/$f" ] || fail "the package holds no $f"
done
[ "$("$scratch/root/usr/bin/khex" --version)" = "khex $version" ] || fail "khex --version from the package"
file "$scratch/root/usr/bin/khex" | grep -q "stripped" && ! file "$scratch/root/usr/bin/khex" | grep -q "not stripped" \
    || fail "the binary is not stripped"
dpkg-deb -f "$deb" Depends | grep -q libc6 || fail "no Depends on libc6"

lintian --fail-on error "$deb" > "$scratch/lintian.log" 2>&1 || { cat "$scratch/lintian.log"; fail "lintian reports errors"; }
echo "$(basename "$deb"): holds the program, manual, documents and CMake package; lintian finds no error"
