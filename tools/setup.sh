#!/bin/sh
# Installs the Debian packages khex needs to build and test, when they are
# missing. Usage: tools/setup.sh [fuzz|windows|wine]
set -e

missing=""
need() {  # need <package> <test command...>
    pkg=$1; shift
    if ! "$@" >/dev/null 2>&1; then missing="$missing $pkg"; fi
}

need g++ command -v g++
need cmake command -v cmake
need make command -v make
need bison command -v bison
need binutils command -v objcopy
need srecord command -v srec_cat
need iverilog command -v iverilog
need gcc command -v gcc
need python3 command -v python3
need python3-cryptography python3 -c 'import cryptography.hazmat.primitives.asymmetric.ec'
need openssl command -v openssl
need jq command -v jq
need ninja-build command -v ninja
need dpkg-dev command -v dpkg-shlibdeps
need lintian command -v lintian
need file command -v file
need gzip command -v gzip
need libxml2-utils command -v xmllint
need librsvg2-bin command -v rsvg-convert
need libgtest-dev test -f /usr/include/gtest/gtest.h
if [ "$1" = windows ]; then
    need g++-mingw-w64-x86-64-posix command -v x86_64-w64-mingw32-g++-posix
    need groff-base command -v groff
    need zip command -v zip
fi
if [ "$1" = wine ]; then
    need wine command -v wine
    need wine64 sh -c 'command -v wine64 || ls /usr/lib/wine/wine64'
fi
if [ "$1" = fuzz ]; then
    need clang command -v clang++
    need libclang-rt-dev sh -c 'ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a'
fi

[ -z "$missing" ] && exit 0
if [ "$(id -u)" != 0 ]; then
    echo "khex needs these Debian packages:$missing" >&2
    echo "install them with: sudo apt-get install$missing" >&2
    exit 1
fi
echo "installing:$missing"
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
