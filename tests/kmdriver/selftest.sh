#!/bin/sh
# Builds the stand-in device and runs the end-to-end self-test in a private
# win32 prefix under build/. Exits nonzero on any mismatch.
#   tests/kmdriver/selftest.sh [build-dir]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
out=${1:-$top/build/kmdriver}
"$here/build.sh" "$out"

prefix=$out/wine-prefix
status=0
# The self-test bounds each of its own waits; this outer limit only guards
# against a Wine that hangs in a way the test cannot see.
timeout 600 "$out/linux/kmdriver/kmdriver_selftest" "$prefix" "$out/bridge" \
    "$out/win/kmdriver/qzpar_standin.sys" "$out/win/kmdriver/devprobe.exe" || status=$?
# Whatever happened, leave no server of this prefix behind.
WINEPREFIX=$prefix timeout 30 "$top/tools/wine-run" win32 wineserver -k >/dev/null 2>&1 || true
exit $status
