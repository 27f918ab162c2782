#!/bin/sh
# Runs the end-to-end tests against the Windows khex.exe under Wine, through
# the same test code as on Linux. Usage: tools/wine-test.sh BUILD WINDOWS_BUILD
set -e
build=$(cd "$1" && pwd)
windows=$(cd "$2" && pwd)

export WINEDEBUG=-all
export WINEPREFIX="$windows/wineprefix"
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko installer dialogs
export KHEX_TEST_PROGRAM="$windows/khex.exe"
export KHEX_TEST_LAUNCHER=wine

# A throw-away prefix, made once and complete before the first test (wineboot
# leaves processes running that finish setting it up); then one wine server
# for the whole run.
if [ ! -d "$WINEPREFIX" ]; then
    wineboot --init >/dev/null 2>&1 || true
    wineserver -w
fi
wineserver -p 2>/dev/null || true  # already running is fine
trap 'wineserver -k 2>/dev/null || true' EXIT

cd "$build"
ctest -L e2e --output-on-failure -j"${JOBS:-2}"
