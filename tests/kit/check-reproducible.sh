#!/bin/sh
# Makes the release twice, in two build directories of different names and
# lengths, and compares the DLL, the import libraries and the archives byte
# for byte; then checks what the archive holds.
#   check-reproducible.sh SOURCE_DIR WORK_DIR
set -u
src=$1 work=$2
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

rm -rf "$work" && mkdir -p "$work"
for run in a second-build-b; do
    "$src/tools/make-release" --build-dir "$work/$run" --out-dir "$work/$run-out" >"$work/$run.out" 2>&1 ||
        { cat "$work/$run.out"; exit 1; }
done

a=$work/a b=$work/second-build-b
for f in brlwin32.dll brlwin32.lib libbrlwin32.dll.a; do
    ha=$(sha256sum <"$a/$f" | cut -d' ' -f1)
    hb=$(sha256sum <"$b/$f" | cut -d' ' -f1)
    echo "$f: $ha (build a)"
    echo "$f: $hb (build second-build-b)"
    [ "$ha" = "$hb" ] || fail "$f differs between the builds: expected $ha, got $hb"
done

zip_a=$(ls "$a-out"/brlwin32-*-win32.zip) zip_b=$(ls "$b-out"/brlwin32-*-win32.zip)
ha=$(sha256sum <"$zip_a" | cut -d' ' -f1)
hb=$(sha256sum <"$zip_b" | cut -d' ' -f1)
echo "$(basename "$zip_a"): $ha / $hb"
[ "$ha" = "$hb" ] || fail "release archives differ: expected $ha, got $hb"

# The PE header's time stamp and the export directory's must be 0.
stamps=$(i686-w64-mingw32-objdump -p "$a/brlwin32.dll" | grep -E "^Time/Date" | tr '\n' ' ')
case "$stamps" in
    "Time/Date		Thu Jan  1 00:00:00 1970 Time/Date stamp 		0 ") ;;
    *) fail "time stamps: expected 0 in PE header and export directory, got $stamps" ;;
esac

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$a/CMakeCache.txt")
name=brlwin32-$version-win32
[ "$(basename "$zip_a")" = "$name.zip" ] || fail "archive name: expected $name.zip, got $(basename "$zip_a")"
expected="$name/LICENSE
$name/bin/brlwin32.dll
$name/docs/host-guide.md
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
# The archived DLL is the one that was built.
unzip -p "$zip_a" "$name/bin/brlwin32.dll" | cmp -s - "$a/brlwin32.dll" || fail "archived DLL differs from the built one"
unzip -p "$zip_a" "$name/bin/brlwin32.dll" >"$work/archived.dll"
sh "$src/tests/dll/check-loader-rules.sh" "$work/archived.dll" || fail "the archived DLL breaks the loader rules"
unzip -p "$zip_a" "$name/docs/host-guide.md" | cmp -s - "$src/docs/host-guide.md" || fail "archived guide differs from docs/host-guide.md"

[ $failures -eq 0 ] && echo "two builds identical"
exit $((failures > 0))
