#!/bin/sh
# Checks a built DLL (any processor) for exactly the eight exports by
# undecorated name and the module name. Its machine and what it may import
# are the loader-rules check's business.
set -u
dll=$1
fail=0

facts=$(sh "$(dirname "$0")/pe-facts.sh" "$dll") || { echo "cannot read $dll"; exit 2; }
exports=$(echo "$facts" | sed -n 's/^export //p' | LC_ALL=C sort | tr '\n' ' ')
expected="BrlClear BrlDisplay BrlDisplayStatus BrlInit BrlRefresh BrlSleep BrlTerminate BrlTimer "
[ "$exports" = "$expected" ] || { echo "expected exports '$expected', got '$exports'"; fail=1; }

name=$(echo "$facts" | sed -n 's/^dll-name //p')
[ "$name" = "brlwin32.dll" ] || { echo "expected module name brlwin32.dll, got '$name'"; fail=1; }

[ $fail = 0 ] && echo "$dll: exports: $exports"
exit $fail
