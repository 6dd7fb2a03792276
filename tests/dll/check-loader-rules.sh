#!/bin/sh
# Checks a built brlwin32.dll against the rules that let every Windows it
# is made for load it with LoadLibraryA, from the DLL's own headers:
#
#   machine          the processor the DLL is for (i386 or x86-64)
#   os-version       the PE header's operating-system version at most 4.0
#                    (5.2 on x64, where no older Windows exists)
#   subsystem-version  likewise
#   relocations      a base relocation directory (the DLL can be moved when
#                    its preferred base is taken)
#   unwind-table     x64 only: an exception directory (.pdata), through which
#                    the system unwinds the stack across the driver's frames
#   tls              no TLS directory (Windows 95 fails LoadLibrary with
#                    error 1114; the 95/98 family and NT before Vista do not
#                    support implicit TLS in a loaded DLL)
#   delay-load       no delay-load imports
#   bound-imports    no bound imports
#   import-dll       KERNEL32.dll is the only DLL imported
#   import-function  only the KERNEL32 functions listed below, all of which
#                    Windows 95 already exports
#
# check-loader-rules.sh [--arch i386|x86-64] [--expect-broken "RULE..."] DLL
#
# Without --expect-broken it prints one line per broken rule, naming it, and
# exits 1 if any is broken. With it, it exits 0 only when exactly the rules
# listed are broken: that is how the test command shows the check can fail.
set -u

arch=i386
expect=""
checking_expectation=0
while [ $# -gt 1 ]; do
    case $1 in
    --arch) arch=$2; shift 2 ;;
    --expect-broken) expect=$2; checking_expectation=1; shift 2 ;;
    *) break ;;
    esac
done
dll=$1

# The x86-64 objdump reads the PE files of both processors.
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
case $arch in
i386) format=pei-i386; max_version=4.0 ;;
x86-64) format=pei-x86-64; max_version=5.2 ;;
*) echo "unknown architecture '$arch'"; exit 2 ;;
esac

allowed="BuildCommDCBA ClearCommError CloseHandle CreateFileA DeviceIoControl GetCommState
GetTickCount GetVersionExA ReadFile SetCommState SetCommTimeouts WriteFile lstrcpynA lstrlenA
GetProcessHeap HeapAlloc HeapFree"

headers=$($objdump -p "$dll" 2>&1) || { echo "cannot read $dll: $headers"; exit 2; }
broken=""
report() { # RULE MESSAGE
    broken="$broken $1"
    echo "rule $1: $2"
}

got=$($objdump -f "$dll" | sed -n 's/.*file format //p')
[ "$got" = "$format" ] || report machine "expected file format $format, got '$got'"

field() { echo "$headers" | awk -v f="$1" '$1 == f { print $2; exit }'; }
# "4" "0" -> 4.0, compared as major * 100 + minor
version_above() { # MAJOR MINOR LIMIT
    awk -v a="$1" -v b="$2" -v l="$3" 'BEGIN { split(l, m, "."); exit !(a * 100 + b > m[1] * 100 + m[2]) }'
}
os="$(field MajorOSystemVersion) $(field MinorOSystemVersion)"
version_above $os $max_version && report os-version "expected at most $max_version, got $(echo $os | tr ' ' .)"
sub="$(field MajorSubsystemVersion) $(field MinorSubsystemVersion)"
version_above $sub $max_version && report subsystem-version "expected at most $max_version, got $(echo $sub | tr ' ' .)"

# "Entry 9 00007074 00000018 Thread Storage Directory [.tls]": the size is
# the fourth word.
directory_size() { echo "$headers" | awk -v e="$1" '$1 == "Entry" && $2 == e { print $4; exit }'; }
nonzero() { [ -n "$1" ] && [ "$1" != "00000000" ]; }
nonzero "$(directory_size 5)" || report relocations "expected a base relocation directory, got none"
if [ "$arch" = x86-64 ]; then
    nonzero "$(directory_size 3)" || report unwind-table "expected an exception directory (.pdata), got none"
fi
size=$(directory_size 9)
nonzero "$size" && report tls "expected no TLS directory, got one of 0x$size bytes"
size=$(directory_size d)
nonzero "$size" && report delay-load "expected no delay-load imports, got a directory of 0x$size bytes"
size=$(directory_size b)
nonzero "$size" && report bound-imports "expected no bound imports, got a directory of 0x$size bytes"

dlls=$(echo "$headers" | sed -n 's/^\s*DLL Name: //p')
others=$(echo "$dlls" | grep -vx 'KERNEL32.dll' | tr '\n' ' ')
[ -n "$others" ] && report import-dll "expected KERNEL32.dll only, got also $others"
echo "$dlls" | grep -qx 'KERNEL32.dll' || report import-dll "expected imports from KERNEL32.dll, got none"

# The member names listed under KERNEL32.dll, up to the next DLL or table.
functions=$(echo "$headers" | awk '
    /^[ \t]*DLL Name: / { inside = ($3 == "KERNEL32.dll"); next }
    /^[ \t]*$/ || /^The / { inside = 0 }
    inside && $1 ~ /^[0-9a-f]+$/ && NF >= 3 { print $3 }')
extra=""
for f in $functions; do
    echo "$allowed" | tr ' ' '\n' | grep -qx "$f" || extra="$extra $f"
done
[ -n "$extra" ] && report import-function "expected only the listed KERNEL32 functions, got also$extra"

broken=$(echo $broken)
if [ $checking_expectation = 1 ]; then
    expect=$(echo $expect)
    if [ "$broken" = "$expect" ]; then
        echo "$dll breaks exactly the expected rules: $broken"
        exit 0
    fi
    echo "expected $dll to break the rules '$expect', got '$broken'"
    exit 1
fi
[ -z "$broken" ] || exit 1
echo "$dll: $format, OS and subsystem version $(echo $os | tr ' ' .)/$(echo $sub | tr ' ' .)," \
    "relocations, no TLS, imports only KERNEL32.dll:" $functions
