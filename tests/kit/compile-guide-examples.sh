#!/bin/sh
# Compiles every fenced C and C++ block of a document with the cross
# compiler of one architecture, each block as a translation unit of its own,
# and links the ones that define main against the DLL's import library. A
# CMake block must be the whole of CMAKE_FILE, so that what the guide shows
# is what is built. For ARM64 the blocks are compiled with clang against the
# MinGW-w64 headers and not linked: Debian has no C runtime for it.
#   compile-guide-examples.sh win32|win64|winarm64 GUIDE INCLUDE_DIR IMPORT_LIB WORK_DIR CMAKE_FILE
set -u
. "$(dirname "$0")/../../tools/windows-arch.sh"
windows_arch "$1"
guide=$2 include=$3 implib=$4 work=$5 cmakefile=$6
rm -rf "$work" && mkdir -p "$work"

# Writes block-N.c / block-N.cpp; the fence's info string picks the language.
awk -v dir="$work" '
    /^```/ && !inside {
        lang = substr($0, 4); sub(/[ \t].*/, "", lang)
        if (lang == "c" || lang == "cpp" || lang == "c++" || lang == "cmake") {
            inside = 1; n++
            file = sprintf("%s/block-%02d.%s", dir, n, lang == "c++" ? "cpp" : lang)
            printf "" > file
            next
        }
    }
    /^```/ && inside { inside = 0; close(file); next }
    inside { print >> file }
' "$guide"

count=0 linked=0 mains=0 failures=0
for src in "$work"/block-*.c "$work"/block-*.cpp "$work"/block-*.cmake; do
    [ -e "$src" ] || continue
    count=$((count + 1))
    case "$src" in
        *.log|*.o|*.exe) continue ;;
        *.cmake)
            if cmp -s "$src" "$cmakefile"; then
                echo "ok   $(basename "$src") is $cmakefile"
            else
                echo "FAIL $(basename "$src"): expected the text of $cmakefile, got:"; diff "$cmakefile" "$src"
                failures=$((failures + 1))
            fi
            continue ;;
    esac
    case "$arch_c_runtime:$src" in
        1:*.c) cc="$arch_triplet-gcc-win32 -std=c99" ;;
        1:*) cc="$arch_triplet-g++-win32 -std=c++17" ;;
        0:*.c) cc="clang-14 --target=$arch_triplet -nostdlibinc -isystem /usr/share/mingw-w64/include -std=c99" ;;
        0:*) echo "FAIL $(basename "$src"): no C++ library for $arch_name here"; failures=$((failures + 1)); continue ;;
    esac
    obj=${src%.*}.o
    if ! $cc -Wall -Wextra -Werror -I"$include" -c "$src" -o "$obj" 2>"$src.log"; then
        echo "FAIL $(basename "$src") does not compile:"; cat "$src.log"; sed 's/^/    | /' "$src"
        failures=$((failures + 1)); continue
    fi
    if ! $arch_nm "$obj" | grep -q " T ${arch_c_prefix}main$"; then
        echo "ok   $(basename "$src") compiles"
    elif [ $arch_c_runtime = 0 ]; then
        mains=$((mains + 1))
        echo "ok   $(basename "$src") compiles (not linked: no C runtime for $arch_name)"
    else
        mains=$((mains + 1))
        if ! $cc -static "$obj" "$implib" -o "${src%.*}.exe" 2>"$src.log"; then
            echo "FAIL $(basename "$src") does not link:"; cat "$src.log"
            failures=$((failures + 1)); continue
        fi
        linked=$((linked + 1))
        echo "ok   $(basename "$src") compiles and links"
    fi
done
if [ $count -eq 0 ]; then
    echo "FAIL no C, C++ or CMake blocks in $guide"
    exit 1
fi
# The guide shows a whole program: at least that one must have been found
# (and linked against the kit, where there is a C runtime), or main went
# unrecognised.
if [ $mains -eq 0 ] || { [ $arch_c_runtime = 1 ] && [ $linked -eq 0 ]; }; then
    echo "FAIL no block defining main was compiled and linked (looked for symbol ${arch_c_prefix}main)"
    failures=$((failures + 1))
fi
echo "$count blocks, $linked linked, $failures failed ($arch_name)"
exit $((failures > 0))
