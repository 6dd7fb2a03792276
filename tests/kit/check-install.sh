#!/bin/sh
# Installs the cross build of one architecture into PREFIX and checks the
# kit's layout, the import libraries, the loader rules of the DLL and of
# brlcheck.exe, the window display where the processor has one, and the
# DLL's version resource.
#   check-install.sh win32|win64|winarm64 CROSS_BUILD_DIR PREFIX
set -u
here=$(dirname "$0")
. "$here/../../tools/windows-arch.sh"
windows_arch "$1"
build=$2 prefix=$3
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

rm -rf "$prefix" && mkdir -p "$(dirname "$prefix")"
cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 || { cat "$prefix.log"; exit 1; }

window=""
[ $arch_c_runtime = 1 ] && window="bin/brl-virtual-display.exe
"
expected="${window}bin/brlcheck.exe
bin/brlwin32.dll
include/brlwin32.h
lib/brlwin32.lib
lib/cmake/brlwin32/brlwin32Config.cmake
lib/cmake/brlwin32/brlwin32ConfigVersion.cmake
lib/libbrlwin32.dll.a"
got=$(cd "$prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ "$got" = "$expected" ] || fail "install tree: expected
$expected
got
$got"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"

dll=$prefix/bin/brlwin32.dll
sh "$here/../dll/check-loader-rules.sh" --arch "$arch_loader" "$dll" || fail "the installed DLL breaks the loader rules"
sh "$here/../dll/check-loader-rules.sh" --arch "$arch_loader" --program "$prefix/bin/brlcheck.exe" ||
    fail "the installed brlcheck.exe breaks the loader rules"
# The window display is a window program of the kit's processor.
if [ -n "$window" ]; then
    facts=$(sh "$here/../dll/pe-facts.sh" "$prefix/bin/brl-virtual-display.exe" | grep -E "^(machine|subsystem) ")
    [ "$facts" = "machine $arch_loader
subsystem 2" ] || fail "brl-virtual-display.exe: expected machine $arch_loader, subsystem 2, got $facts"
fi

# The version resource's strings are UTF-16.
resource=$(strings -el "$dll" | tr '\n' '|')
for pair in "FileVersion|$version" "ProductVersion|$version" "OriginalFilename|brlwin32.dll" \
            "LegalCopyright|Copyright (c) the brlwin32 developers. MIT licence."; do
    case "$resource" in
        *"|$pair|"*) ;;
        *) fail "version resource: expected $pair, got $resource" ;;
    esac
done
# The binary version words after the VS_FIXEDFILEINFO signature and its
# structure version: file and product version, major.minor.patch.0, as
# little-endian 32-bit words (minor, major; 0, patch).
le16() { printf "%02x %02x" $(($1 & 255)) $(($1 >> 8)); }
IFS=. read -r major minor patch <<VERSION
$version
VERSION
words="$(le16 "$minor") $(le16 "$major") 00 00 $(le16 "$patch")"
fixed="bd 04 ef fe 00 00 01 00 $words $words"
got_fixed=$(od -An -tx1 -v "$dll" | tr -d "\n" | tr -s " " | grep -o "bd 04 ef fe.\{60\}")
[ "$got_fixed" = "$fixed" ] || fail "VS_FIXEDFILEINFO: expected $fixed, got $got_fixed"

exports="BrlClear BrlDisplay BrlDisplayStatus BrlInit BrlRefresh BrlSleep BrlTerminate BrlTimer"
p=$arch_c_prefix
for lib in brlwin32.lib libbrlwin32.dll.a; do
    symbols=$($arch_nm "$prefix/lib/$lib" 2>/dev/null)
    for e in $exports; do
        # MSVC's names of a C function: the thunk, and the pointer a
        # dllimport call goes through; _Name and __imp__Name on x86,
        # Name and __imp_Name elsewhere. nm shows the pointer as I in
        # GNU dlltool's objects, as T in a short import member.
        echo "$symbols" | grep -q " T $p$e\$" || fail "$lib: expected symbol $p$e, got none"
        echo "$symbols" | grep -q " [IT] __imp_$p$e\$" || fail "$lib: expected symbol __imp_$p$e, got none"
    done
    # The import is by the undecorated name that the DLL exports.
    names=$(strings "$prefix/lib/$lib" | grep -x "Brl[A-Za-z]*" | LC_ALL=C sort -u | tr "\n" " ")
    [ "$names" = "$exports " ] || fail "$lib import names: expected $exports, got $names"
    # Every member is an object for the kit's machine: a linker for
    # another one skips or refuses it.
    machines=$(python3 "$here/lib-machines.py" "$prefix/lib/$lib" | awk '{ print $2 }' | LC_ALL=C sort | uniq -c |
        sed 's/^ *//' | tr '\n' ' ')
    nmembers=$(ar t "$prefix/lib/$lib" | wc -l)
    [ "$machines" = "$nmembers $arch_loader " ] ||
        fail "$lib: expected all $nmembers members for machine $arch_loader, got $machines"
done
members=$(ar t "$prefix/lib/brlwin32.lib" | tr '\n' ' ')
# GNU dlltool names members after its output path, LLVM's after the DLL;
# only the bare name may show.
for m in $members; do
    case "$arch_name:$m" in
        winarm64:brlwin32.dll | win32:brlwin32_lib_*.o | win64:brlwin32_lib_*.o) ;;
        *) fail "brlwin32.lib member: expected brlwin32_lib_*.o (brlwin32.dll on ARM64), got $m" ;;
    esac
done
# Without @feat.00 on every member, x86 links with /SAFESEH refuse the
# library; x64 and ARM64 have no SAFESEH, and their members are left as
# dlltool made them.
feats=$($arch_nm "$prefix/lib/brlwin32.lib" | grep -c " a @feat.00$")
nmembers=$(echo $members | wc -w)
want=$((arch_safeseh ? nmembers : 0))
[ "$feats" -eq "$want" ] || fail "brlwin32.lib: expected @feat.00 in $want of $nmembers members, got $feats"
echo "brlwin32.lib members: $members"

(cd "$prefix" && find . | LC_ALL=C sort)
[ $failures -eq 0 ] && echo "install tree of $version ($arch_name) checked"
exit $((failures > 0))
