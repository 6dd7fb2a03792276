#!/bin/sh
# Checks the built DLL's shape: PE32 for i386, exactly the eight exports by
# undecorated name. What it may import is the loader-rules check's business.
set -u
dll=$1
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
fail=0

format=$($objdump -f "$dll" | sed -n 's/.*file format //p')
[ "$format" = "pei-i386" ] || { echo "expected file format pei-i386, got '$format'"; fail=1; }

exports=$($objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
expected="BrlClear BrlDisplay BrlDisplayStatus BrlInit BrlRefresh BrlSleep BrlTerminate BrlTimer "
[ "$exports" = "$expected" ] || { echo "expected exports '$expected', got '$exports'"; fail=1; }

name=$($objdump -p "$dll" | sed -n 's/^Name\s*[0-9a-f]* //p')
[ "$name" = "brlwin32.dll" ] || { echo "expected module name brlwin32.dll, got '$name'"; fail=1; }

[ $fail = 0 ] && echo "brlwin32.dll: pei-i386, exports: $exports"
exit $fail
