#!/bin/sh
# Checks a built DLL (either processor) for exactly the eight exports by
# undecorated name and the module name. Its machine and what it may import
# are the loader-rules check's business.
set -u
dll=$1
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
fail=0

exports=$($objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
expected="BrlClear BrlDisplay BrlDisplayStatus BrlInit BrlRefresh BrlSleep BrlTerminate BrlTimer "
[ "$exports" = "$expected" ] || { echo "expected exports '$expected', got '$exports'"; fail=1; }

name=$($objdump -p "$dll" | sed -n 's/^Name\s*[0-9a-f]* //p')
[ "$name" = "brlwin32.dll" ] || { echo "expected module name brlwin32.dll, got '$name'"; fail=1; }

[ $fail = 0 ] && echo "$dll: exports: $exports"
exit $fail
