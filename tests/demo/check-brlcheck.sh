#!/bin/sh
# Runs tools/run-demo --check and checks that brlcheck, with the display's
# keys pressed by tools/virtual-display/check.keys, met every step with its
# key: a key script whose counts no longer fit brlcheck's frames would leave
# steps waiting for a key that never comes.
# The 64-bit program and DLL, which run wherever Wine does.
#   check-brlcheck.sh SRC WIN64_BUILD NATIVE_BUILD OUT
set -u
src=$1 win64=$2 native=$3 out=$4
if [ -z "$win64" ]; then
    echo "skipped: configure with -DBRLWIN32_WIN64_BUILD_DIR=<abs path to build/win64>"
    exit 77
fi
"$src/tools/run-demo" --check --x64 --no-build --win64-dir "$win64" --native-dir "$native" --out "$out" \
    >"$out.log" 2>&1
rc=$?
failed=0
fail() { echo "FAIL: $*"; failed=1; }
[ $rc = 0 ] || fail "expected run-demo --check to exit 0, got $rc"

console=$(tr -d '\r' <"$out/brlcheck.txt")
expected_keys='key code 0x80000001, argument 0: key index 1
key code 0x80000081, argument 12: key index 140, the routing key of text cell 12
key code 0x80000105, argument 0: key indices 1 and 5
key code 0x80000024, argument 0: key index 36
key code 0x80000024, argument 0: key index 36
key code 0x80000024, argument 0: key index 36'
got_keys=$(printf '%s\n' "$console" | grep '^key code ')
[ "$got_keys" = "$expected_keys" ] || fail "expected brlcheck to read out:
$expected_keys
got:
$got_keys"
# Wine names the device of COMn \Device\Serial(n-1).
printf '%s\n' "$console" | grep -q '^COM5 (\\Device\\Serial4) display 5+40$' ||
    fail "expected brlcheck to find the display on COM5, \\Device\\Serial4"
printf '%s\n' "$console" | grep -q '^Done in [0-9.]* seconds: every step passed\.$' ||
    fail "expected every step passed, with a key for each, got: $(printf '%s\n' "$console" | grep '^Done')"
[ -s "$out/brlcheck-report.txt" ] || fail "expected the report in $out/brlcheck-report.txt"

left=$(sh "$src/tools/wine/check-no-wine-left.sh" "$out") || fail "$left"

if [ $failed != 0 ]; then
    echo "--- run-demo output ($out.log)"; cat "$out.log"
    exit 1
fi
echo "brlcheck met every step with its key: $(printf '%s\n' "$console" | grep -c '^key code ') key reports"
