#!/bin/sh
# Checks a built brlwin32.dll against the rules that let every Windows it
# is made for load it with LoadLibraryA, from the DLL's own headers as
# pe-facts.sh reads them:
#
#   machine          the processor the DLL is for (i386, x86-64 or arm64)
#   os-version       the PE header's operating-system version at most 4.0
#                    (5.2 on x64, where no older Windows exists; 6.2 on
#                    ARM64, what Microsoft's tools write for ARM images)
#   subsystem-version  likewise
#   relocations      a base relocation directory (the DLL can be moved when
#                    its preferred base is taken)
#   unwind-table     x64 and ARM64: an exception directory (.pdata), through
#                    which the system unwinds the stack across the driver's
#                    frames
#   tls              no TLS directory (Windows 95 fails LoadLibrary with
#                    error 1114; the 95/98 family and NT before Vista do not
#                    support implicit TLS in a loaded DLL)
#   delay-load       no delay-load imports
#   bound-imports    no bound imports
#   import-dll       KERNEL32.dll is the only DLL imported
#   import-function  only the KERNEL32 functions listed below, all of which
#                    Windows 95 already exports (the DLL looks up what
#                    Windows 95 lacks with GetProcAddress)
#
# With --program, the file is brlcheck.exe, which follows the same rules
# with its own list of KERNEL32 functions, and one more:
#
#   console          a console program, which Windows gives a console of its
#                    own when it is started from Explorer
#
# check-loader-rules.sh [--arch i386|x86-64|arm64] [--program] [--expect-broken "RULE..."] FILE
#
# Without --expect-broken it prints one line per broken rule, naming it, and
# exits 1 if any is broken. With it, it exits 0 only when exactly the rules
# listed are broken: that is how the test command shows the check can fail.
set -u

arch=i386
expect=""
checking_expectation=0
program=0
while [ $# -gt 1 ]; do
    case $1 in
    --arch) arch=$2; shift 2 ;;
    --program) program=1; shift ;;
    --expect-broken) expect=$2; checking_expectation=1; shift 2 ;;
    *) break ;;
    esac
done
dll=$1

case $arch in
i386) max_version=4.0 unwind=0 ;;
x86-64) max_version=5.2 unwind=1 ;;
arm64) max_version=6.2 unwind=1 ;;
*) echo "unknown architecture '$arch'"; exit 2 ;;
esac

# Kept apart from the ARM64 build's cmake/kernel32.def on purpose: this list
# is what Windows 95 has, that one what the build may link.
allowed="BuildCommDCBA ClearCommError CloseHandle CreateFileA DeviceIoControl GetCommModemStatus
GetCommState GetModuleHandleA GetProcAddress GetTickCount GetVersionExA PurgeComm ReadFile SetCommState
SetCommTimeouts WriteFile lstrcpynA lstrlenA GetProcessHeap HeapAlloc HeapFree"
# Likewise apart from tools/brlcheck/kernel32.def.
if [ $program = 1 ]; then
    allowed="CloseHandle CreateFileA ExitProcess FindResourceA FreeLibrary GetCommState GetCommandLineA
GetFullPathNameA GetLastError GetModuleFileNameA GetModuleHandleA GetProcAddress GetStdHandle GetTickCount
GetVersionExA LoadLibraryA LoadLibraryExA LoadResource LockResource ReadFile SetConsoleCtrlHandler
SizeofResource Sleep WriteFile lstrcpynA lstrlenA"
fi

facts=$(sh "$(dirname "$0")/pe-facts.sh" "$dll") || { echo "cannot read $dll"; exit 2; }
broken=""
report() { # RULE MESSAGE
    broken="$broken $1"
    echo "rule $1: $2"
}
fact() { echo "$facts" | awk -v f="$1" '$1 == f { print $2; exit }'; }

got=$(fact machine)
[ "$got" = "$arch" ] || report machine "expected machine $arch, got '$got'"

# "4.0" against "4.0", compared as major * 100 + minor
version_above() { # VERSION LIMIT
    awk -v v="$1" -v l="$2" 'BEGIN { split(v, a, "."); split(l, m, "."); exit !(a[1] * 100 + a[2] > m[1] * 100 + m[2]) }'
}
os=$(fact os-version)
version_above "$os" $max_version && report os-version "expected at most $max_version, got $os"
sub=$(fact subsystem-version)
version_above "$sub" $max_version && report subsystem-version "expected at most $max_version, got $sub"
if [ $program = 1 ]; then
    got=$(fact subsystem)
    [ "$got" = 3 ] || report console "expected the console subsystem (3), got '$got'"
fi

directory_size() { echo "$facts" | awk -v d="$1" '$1 == "directory" && $2 == d { print $3; exit }'; }
nonzero() { [ -n "$1" ] && [ "$1" != "00000000" ]; }
nonzero "$(directory_size relocations)" || report relocations "expected a base relocation directory, got none"
if [ $unwind = 1 ]; then
    nonzero "$(directory_size exception)" || report unwind-table "expected an exception directory (.pdata), got none"
fi
size=$(directory_size tls)
nonzero "$size" && report tls "expected no TLS directory, got one of 0x$size bytes"
size=$(directory_size delay-imports)
nonzero "$size" && report delay-load "expected no delay-load imports, got a directory of 0x$size bytes"
size=$(directory_size bound-imports)
nonzero "$size" && report bound-imports "expected no bound imports, got a directory of 0x$size bytes"

dlls=$(echo "$facts" | awk '$1 == "import" { print $2 }' | uniq)
others=$(echo "$dlls" | grep -vx 'KERNEL32.dll' | tr '\n' ' ')
[ -n "$others" ] && report import-dll "expected KERNEL32.dll only, got also $others"
echo "$dlls" | grep -qx 'KERNEL32.dll' || report import-dll "expected imports from KERNEL32.dll, got none"

functions=$(echo "$facts" | awk '$1 == "import" && $2 == "KERNEL32.dll" { print $3 }')
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
echo "$dll: $arch, OS and subsystem version $os/$sub, relocations, no TLS," \
    "imports only KERNEL32.dll:" $functions
