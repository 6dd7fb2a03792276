#!/bin/sh
# Builds the example hosts from an installed kit of one architecture, the
# way a host developer would, and links a C host against the MSVC import
# library with the MinGW linker and with lld-link.
#   build-examples.sh win32|win64|winarm64 SOURCE_DIR PREFIX WORK_DIR
# Debian has no C runtime for ARM64 Windows, so for winarm64 the examples
# are only configured, which shows that the package accepts an ARM64 host,
# and the MinGW-linked host is not built; the host that needs no runtime is
# linked by lld-link against brlwin32.lib. None of it runs here.
set -u
. "$(dirname "$0")/../../tools/windows-arch.sh"
windows_arch "$1"
src=$2 prefix=$3 work=$4
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
rm -rf "$work" && mkdir -p "$work"

# What the loader sees of a program: its machine and the DLLs it imports.
facts=$src/tests/dll/pe-facts.sh
machine() { sh "$facts" "$1" | sed -n 's/^machine //p'; }
imports() { sh "$facts" "$1" | awk '$1 == "import" { print $2 }' | uniq | tr '\n' ' '; }
# A host for another processor could not load the kit's DLL.
check_machine() { # EXE
    got=$(machine "$1")
    [ "$got" = "$arch_loader" ] || fail "$(basename "$1"): expected machine $arch_loader, got $got"
}

if [ $arch_c_runtime = 1 ]; then
    for ex in c-dynamic cpp-cmake; do
        # The toolchain looks for packages only under the MinGW root, so the
        # kit is named by its package directory.
        if cmake -S "$src/examples/$ex" -B "$work/$ex" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-$arch_cpu.cmake" \
                 -DCMAKE_BUILD_TYPE=Release -Dbrlwin32_DIR="$prefix/lib/cmake/brlwin32" \
                 "-DCMAKE_C_FLAGS=-Wall -Wextra -Werror" "-DCMAKE_CXX_FLAGS=-Wall -Wextra -Werror" \
                 >"$work/$ex.log" 2>&1 &&
           cmake --build "$work/$ex" >>"$work/$ex.log" 2>&1; then
            if [ -f "$work/$ex/$ex.exe" ]; then check_machine "$work/$ex/$ex.exe"; else fail "$ex: no $ex.exe"; fi
            cmp -s "$work/$ex/brlwin32.dll" "$prefix/bin/brlwin32.dll" || fail "$ex: brlwin32.dll not copied from the kit"
            echo "ok   $ex built ($(machine "$work/$ex/$ex.exe"))"
        else
            cat "$work/$ex.log"; fail "$ex does not build"
        fi
    done

    # The program that loads the DLL at run time must not import it; the
    # one linked through the package must.
    case "$(imports "$work/c-dynamic/c-dynamic.exe")" in
        *brlwin32*) fail "c-dynamic.exe imports brlwin32.dll" ;;
    esac
    case "$(imports "$work/cpp-cmake/cpp-cmake.exe")" in
        *brlwin32.dll*) ;;
        *) fail "cpp-cmake.exe: expected an import of brlwin32.dll, got $(imports "$work/cpp-cmake/cpp-cmake.exe")" ;;
    esac
else
    for ex in c-dynamic cpp-cmake; do
        if cmake -S "$src/examples/$ex" -B "$work/$ex" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-$arch_cpu.cmake" \
                 -DCMAKE_BUILD_TYPE=Release -Dbrlwin32_DIR="$prefix/lib/cmake/brlwin32" >"$work/$ex.log" 2>&1; then
            echo "ok   $ex configured against the kit (not built: Debian has no C runtime for $arch_name)"
        else
            cat "$work/$ex.log"; fail "$ex: the package refuses a $arch_name host"
        fi
    done
    echo "skip the MinGW-linked host: Debian has no C runtime for $arch_name"
fi

mkdir -p "$work/msvc-implib"
cp "$prefix/bin/brlwin32.dll" "$work/msvc-implib/"
if [ $arch_c_runtime = 1 ]; then
    if $arch_triplet-gcc-win32 -Wall -Wextra -Werror -I"$prefix/include" -static "$src/tests/kit/msvc-host.c" \
            "$prefix/lib/brlwin32.lib" -o "$work/msvc-implib/mingw-linked.exe" 2>"$work/mingw-linked.log"; then
        check_machine "$work/msvc-implib/mingw-linked.exe"
        echo "ok   msvc-host linked by the MinGW linker against brlwin32.lib"
    else
        cat "$work/mingw-linked.log"; fail "MinGW linker rejects brlwin32.lib"
    fi
fi
# MSVC's object conventions (clang's msvc target) and MSVC's linker
# behaviour (lld-link), with no C runtime and no other library.
if clang-14 --target=$arch_clang_target -ffreestanding -fno-stack-protector -Wall -Wextra -Werror \
        -I"$prefix/include" -c "$src/tests/kit/msvc-host.c" -o "$work/msvc-host.obj" 2>"$work/msvc.log" &&
   lld-link-14 /nologo /nodefaultlib /entry:main /subsystem:console /machine:$arch_lld_machine \
        /out:"$work/msvc-implib/lld-linked.exe" "$work/msvc-host.obj" "$prefix/lib/brlwin32.lib" \
        >>"$work/msvc.log" 2>&1; then
    check_machine "$work/msvc-implib/lld-linked.exe"
    got=$(imports "$work/msvc-implib/lld-linked.exe")
    [ "$got" = "brlwin32.dll " ] || fail "lld-linked.exe: expected imports brlwin32.dll, got $got"
    functions=$(sh "$facts" "$work/msvc-implib/lld-linked.exe" | awk '$1 == "import" { print $3 }' | LC_ALL=C sort | tr '\n' ' ')
    [ "$functions" = "BrlClear BrlDisplay BrlInit BrlTerminate " ] ||
        fail "lld-linked.exe: expected imports BrlClear BrlDisplay BrlInit BrlTerminate, got $functions"
    echo "ok   msvc-host linked by lld-link /machine:$arch_lld_machine against brlwin32.lib (imports: $got: $functions)"
else
    cat "$work/msvc.log"; fail "lld-link /machine:$arch_lld_machine rejects brlwin32.lib"
fi
exit $((failures > 0))
