#!/bin/sh
# Runs the two hosts linked against brlwin32.lib (by MinGW's ld and by
# lld-link) under Wine: both must resolve to the real exports at run time.
# Skipped (77) where programs of the architecture cannot run here.
#   run-msvc-hosts.sh win32|win64 SRC DIR OUT
set -u
arch=$1 src=$2 dir=$3 out=$4
if [ $arch = win32 ] && ! why=$("$src/tools/can-run-32bit"); then
    echo "skipped: ${why#no: }"
    exit 77
fi
for exe in mingw-linked lld-linked; do
    "$src/tools/wine-run" $arch "$dir/$exe.exe" >"$out/$exe.out" 2>&1
    rc=$?
    echo "$exe.exe: exit code $rc"
    [ $rc -eq 0 ] || { echo "FAIL $exe.exe: expected exit code 0, got $rc"; exit 1; }
done
