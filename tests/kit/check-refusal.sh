#!/bin/sh
# Configures an example host for each other architecture against an
# installed kit of one architecture: the package must refuse every one,
# saying which DLL the kit holds, what the host is, and which kit to use.
# x64 and ARM64 share a pointer size, so these are refused by processor.
# (The host of the kit's own architecture is built from the same package by
# build-examples.sh.) Configuring needs no C runtime, so ARM64 hosts are
# configured too.
#   check-refusal.sh win32|win64|winarm64 SOURCE_DIR PREFIX WORK_DIR
set -u
. "$(dirname "$0")/../../tools/windows-arch.sh"
windows_arch "$1"
kit=$arch_name others=$arch_others
src=$2 prefix=$3 work=$4
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
rm -rf "$work" && mkdir -p "$work"

# What the package calls each processor.
processor() {
    case $1 in win32) echo "32-bit x86" ;; win64) echo "64-bit x64" ;; winarm64) echo "64-bit ARM64" ;; esac
}

version=$(sed -n 's/^set(PACKAGE_VERSION "\(.*\)")$/\1/p' "$prefix/lib/cmake/brlwin32/brlwin32ConfigVersion.cmake")
for other in $others; do
    windows_arch "$other"
    log=$work/$other.log
    if cmake -S "$src/examples/c-dynamic" -B "$work/$other" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-$arch_cpu.cmake" \
            -Dbrlwin32_DIR="$prefix/lib/cmake/brlwin32" >"$log" 2>&1; then
        fail "a $other host was configured against the $kit kit"
    fi
    # CMake wraps long messages; compare the words.
    said=$(tr '\n' ' ' <"$log" | tr -s ' ')
    for phrase in "considered to be NOT FOUND" \
                  "The brlwin32.dll of this kit ($prefix) is for $(processor "$kit")," \
                  "this project builds a host for $(processor "$other")" \
                  "(CMAKE_SYSTEM_PROCESSOR $arch_cpu, CMAKE_SIZEOF_VOID_P $((arch_bits / 8)))" \
                  "Use the brlwin32-$version-$other kit."; do
        case "$said" in
            *"$phrase"*) ;;
            *) fail "$other host: expected the configure output to say \"$phrase\"" ;;
        esac
    done
    echo "--- what CMake said to a $other host of the $kit kit ---"
    sed -n "/CMake Error/,/Configuring incomplete/p" "$log"
    [ $failures -eq 0 ] || cat "$log"
done
exit $((failures > 0))
