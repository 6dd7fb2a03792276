#!/bin/sh
# The release, made twice in two build directories of different names and
# lengths; then, for one architecture, the DLL, the import libraries and
# the archive compared byte for byte, and what the archive holds.
#   check-reproducible.sh build SOURCE_DIR WORK_DIR
#   check-reproducible.sh check win32|win64|winarm64 SOURCE_DIR WORK_DIR
# "build" makes every archive in each directory, once, for the checks of
# every architecture.
set -u
runs="a second-build-b"
case ${1:-} in
build)
    src=$2 work=$3
    rm -rf "$work" && mkdir -p "$work"
    for run in $runs; do
        "$src/tools/make-release" --arch all --build-dir "$work/$run" --out-dir "$work/$run-out" \
            >"$work/$run.out" 2>&1 || { cat "$work/$run.out"; exit 1; }
        cat "$work/$run.out"
    done
    exit 0 ;;
check) . "$(dirname "$0")/../../tools/windows-arch.sh"; windows_arch "$2"; src=$3 work=$4 ;;
*) echo "usage: check-reproducible.sh build SOURCE_DIR WORK_DIR | check win32|win64|winarm64 SOURCE_DIR WORK_DIR" >&2; exit 2 ;;
esac
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

a=$work/a/$arch_name b=$work/second-build-b/$arch_name
window=""
[ $arch_c_runtime = 1 ] && window=tools/window/brl-virtual-display.exe
for f in brlwin32.dll brlwin32.lib libbrlwin32.dll.a tools/brlcheck/brlcheck.exe $window; do
    ha=$(sha256sum <"$a/$f" | cut -d' ' -f1)
    hb=$(sha256sum <"$b/$f" | cut -d' ' -f1)
    echo "$f: $ha (build a)"
    echo "$f: $hb (build second-build-b)"
    [ "$ha" = "$hb" ] || fail "$f differs between the builds: expected $ha, got $hb"
done

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$a/CMakeCache.txt")
name=brlwin32-$version-$arch_name
zip_a=$work/a-out/$name.zip zip_b=$work/second-build-b-out/$name.zip
for zip in "$zip_a" "$zip_b"; do
    [ -f "$zip" ] || { ls "$(dirname "$zip")"; fail "no archive $zip"; exit 1; }
done
ha=$(sha256sum <"$zip_a" | cut -d' ' -f1)
hb=$(sha256sum <"$zip_b" | cut -d' ' -f1)
echo "$name.zip: $ha / $hb"
[ "$ha" = "$hb" ] || fail "release archives differ: expected $ha, got $hb"

# The PE header's time stamp and the export directory's must be 0 (LLVM's
# readers of the ARM64 DLL show the header's only), and the program's
# header stamp too.
stamps=$(sh "$src/tests/dll/pe-facts.sh" "$a/brlwin32.dll" | grep -E "^(export-)?time-stamp " | LC_ALL=C sort | tr '\n' ' ')
case "$arch_name:$stamps" in
    winarm64:"time-stamp 0 " | win*:"export-time-stamp 0 time-stamp 0 ") ;;
    *) fail "time stamps: expected 0 in PE header and export directory, got $stamps" ;;
esac
for program in tools/brlcheck/brlcheck.exe $window; do
    stamps=$(sh "$src/tests/dll/pe-facts.sh" "$a/$program" | grep -E "^time-stamp " | tr '\n' ' ')
    [ "$stamps" = "time-stamp 0 " ] || fail "$(basename $program) time stamp: expected 0, got $stamps"
done

archived_window=""
[ -n "$window" ] && archived_window="
$name/bin/brl-virtual-display.exe"
expected="$name/LICENSE$archived_window
$name/bin/brlcheck.exe
$name/bin/brlwin32.dll
$name/docs/display-check.md
$name/docs/host-guide.md
$name/docs/virtual-display.md
$name/examples/c-dynamic/CMakeLists.txt
$name/examples/c-dynamic/host.c
$name/examples/cpp-cmake/CMakeLists.txt
$name/examples/cpp-cmake/main.cpp
$name/include/brlwin32.h
$name/lib/brlwin32.lib
$name/lib/cmake/brlwin32/brlwin32Config.cmake
$name/lib/cmake/brlwin32/brlwin32ConfigVersion.cmake
$name/lib/libbrlwin32.dll.a"
got=$(unzip -Z1 "$zip_a" | grep -v '/$' | LC_ALL=C sort)
[ "$got" = "$expected" ] || fail "archive contents: expected
$expected
got
$got"
# The archived files are the ones built for this architecture.
for f in bin/brlwin32.dll:brlwin32.dll bin/brlcheck.exe:tools/brlcheck/brlcheck.exe lib/brlwin32.lib:brlwin32.lib \
         lib/libbrlwin32.dll.a:libbrlwin32.dll.a ${window:+bin/brl-virtual-display.exe:$window}; do
    unzip -p "$zip_a" "$name/${f%%:*}" | cmp -s - "$a/${f#*:}" || fail "archived ${f%%:*} differs from the built one"
done
unzip -p "$zip_a" "$name/bin/brlwin32.dll" >"$work/archived-$arch_name.dll"
sh "$src/tests/dll/check-loader-rules.sh" --arch "$arch_loader" "$work/archived-$arch_name.dll" ||
    fail "the archived DLL breaks the loader rules of $arch_name"
unzip -p "$zip_a" "$name/bin/brlcheck.exe" >"$work/archived-brlcheck-$arch_name.exe"
sh "$src/tests/dll/check-loader-rules.sh" --arch "$arch_loader" --program "$work/archived-brlcheck-$arch_name.exe" ||
    fail "the archived brlcheck.exe breaks the loader rules of $arch_name"
unzip -p "$zip_a" "$name/lib/cmake/brlwin32/brlwin32Config.cmake" | grep -q "^set(brlwin32_ARCH $arch_name)$" ||
    fail "archived CMake package: expected brlwin32_ARCH $arch_name"
for doc in host-guide.md display-check.md virtual-display.md; do
    unzip -p "$zip_a" "$name/docs/$doc" | cmp -s - "$src/docs/$doc" || fail "archived $doc differs from docs/$doc"
done

[ $failures -eq 0 ] && echo "two builds of $name identical"
exit $((failures > 0))
