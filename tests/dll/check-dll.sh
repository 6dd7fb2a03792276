#!/bin/sh
# Checks the built DLL's shape: PE32 for i386, exactly the eight exports by
# undecorated name, and imports from system DLLs only.
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

imports=$($objdump -p "$dll" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
for i in $imports; do
    case $i in
    kernel32.dll|msvcrt.dll) ;;
    *) echo "expected imports from kernel32.dll and msvcrt.dll only, got $i"; fail=1 ;;
    esac
done

[ $fail = 0 ] && echo "brlwin32.dll: pei-i386, exports: $exports imports: $imports"
exit $fail
