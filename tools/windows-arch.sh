# The three Windows architectures the product is built for, by the names of
# their kits and archives (win32, win64, winarm64), and what the tools that
# build and check a kit call each of them, and how to build one. Sourced by
# tools/run-tests, run-benchmarks, run-demo, make-release and the kit's
# checks in tests/kit/:
#   . tools/windows-arch.sh
#   windows_arch win64
# sets, for that architecture:
#   arch_name          win32, win64 or winarm64
#   arch_cpu           the processor of the toolchain file cmake/mingw-$arch_cpu.cmake
#   arch_triplet       the MinGW target: $arch_triplet-gcc-win32 and so on
#                      where Debian has MinGW's GNU tools for it
#   arch_bits          32 or 64
#   arch_loader        the machine as tests/dll/pe-facts.sh names it (i386,
#                      x86-64, arm64): check-loader-rules.sh --arch
#   arch_nm            an nm that reads the kit's import libraries
#   arch_c_runtime     1 where Debian has a C runtime for the processor, so
#                      that ordinary programs (the examples) build; 0 for ARM64
#   arch_lld_machine   lld-link /machine:
#   arch_clang_target  clang --target= of MSVC's object conventions
#   arch_c_prefix      what C names carry in symbols: "_" on x86, nothing else
#   arch_safeseh       1 where import objects need @feat.00 (x86 /SAFESEH)
#   arch_others        the kits of the other architectures
# An unknown name ends the script with status 2.
windows_arch_names="win32 win64 winarm64"

windows_arch() {
    case ${1:-} in
    win32)
        arch_cpu=i686 arch_bits=32 arch_loader=i386 arch_c_runtime=1
        arch_lld_machine=x86 arch_clang_target=i686-pc-windows-msvc arch_c_prefix=_ arch_safeseh=1 ;;
    win64)
        arch_cpu=x86_64 arch_bits=64 arch_loader=x86-64 arch_c_runtime=1
        arch_lld_machine=x64 arch_clang_target=x86_64-pc-windows-msvc arch_c_prefix='' arch_safeseh=0 ;;
    winarm64)
        arch_cpu=aarch64 arch_bits=64 arch_loader=arm64 arch_c_runtime=0
        arch_lld_machine=arm64 arch_clang_target=aarch64-pc-windows-msvc arch_c_prefix='' arch_safeseh=0 ;;
    *)
        echo "unknown architecture '${1:-}': expected one of $windows_arch_names" >&2
        exit 2 ;;
    esac
    arch_name=$1
    arch_triplet=$arch_cpu-w64-mingw32
    # Debian has GNU binutils for the MinGW x86 targets only.
    if [ $arch_c_runtime = 1 ]; then arch_nm=$arch_triplet-nm; else arch_nm=llvm-nm-14; fi
    arch_others=$(echo " $windows_arch_names " | sed "s/ $1 / /; s/^ //; s/ $//")
}

# Configures (Release) and builds the cross build of one architecture in
# DIR, from the working directory's sources, with the output of both steps
# in LOG; on failure prints the end of LOG and ends the script. Builds
# everything, or only the TARGETs given.
#   cross_build NAME DIR LOG [TARGET...]
cross_build() {
    windows_arch "$1"
    cross_dir=$2 cross_log=$3
    shift 3
    cmake -S . -B "$cross_dir" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch_cpu.cmake" \
          -DCMAKE_BUILD_TYPE=Release >"$cross_log" 2>&1 || { tail -40 "$cross_log"; exit 1; }
    if [ $# -gt 0 ]; then
        set -- --target "$@"
    fi
    cmake --build "$cross_dir" -j"${JOBS:-2}" "$@" >>"$cross_log" 2>&1 || { tail -40 "$cross_log"; exit 1; }
}
