#!/bin/sh
# Configures an example host for the other pointer size against an
# installed kit of one architecture: the package must refuse it, saying
# which DLL the kit holds, what the host is, and which kit to use. (The
# host of the kit's own pointer size is built from the same package by
# build-examples.sh.)
#   check-refusal.sh win32|win64 SOURCE_DIR PREFIX WORK_DIR
set -u
. "$(dirname "$0")/../../tools/windows-arch.sh"
windows_arch "$1"
kit=$arch_name kit_bits=$arch_bits
windows_arch "$arch_other"
src=$2 prefix=$3 work=$4
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
rm -rf "$work" && mkdir -p "$work"

version=$(sed -n 's/^set(PACKAGE_VERSION "\(.*\)")$/\1/p' "$prefix/lib/cmake/brlwin32/brlwin32ConfigVersion.cmake")
if cmake -S "$src/examples/c-dynamic" -B "$work/host" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-$arch_cpu.cmake" \
        -Dbrlwin32_DIR="$prefix/lib/cmake/brlwin32" >"$work/host.log" 2>&1; then
    fail "a $arch_bits-bit host was configured against the $kit kit"
fi
# CMake wraps long messages; compare the words.
said=$(tr '\n' ' ' <"$work/host.log" | tr -s ' ')
for phrase in "considered to be NOT FOUND" \
              "The brlwin32.dll of this kit ($prefix) is $kit_bits-bit" \
              "this project builds a $arch_bits-bit" \
              "(CMAKE_SIZEOF_VOID_P $((arch_bits / 8)))" \
              "Use the brlwin32-$version-$arch_name kit."; do
    case "$said" in
        *"$phrase"*) ;;
        *) fail "expected the configure output to say \"$phrase\"" ;;
    esac
done
echo "--- what CMake said to a $arch_bits-bit host of the $kit kit ---"
sed -n "/CMake Error/,/Configuring incomplete/p" "$work/host.log"
[ $failures -eq 0 ] || cat "$work/host.log"
exit $((failures > 0))
