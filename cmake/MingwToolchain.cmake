# Cross build of the product with Debian's MinGW-w64, for the processor the
# including toolchain file names in CMAKE_SYSTEM_PROCESSOR (i686, x86_64,
# aarch64); the tools and the target are named <processor>-w64-mingw32.
set(CMAKE_SYSTEM_NAME Windows)
set(mingw ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
    # Debian has no GCC for ARM64 Windows and no C runtime or import
    # libraries for it: LLVM 14 compiles and links against the MinGW-w64
    # headers alone. The DLL needs nothing more, since it links no runtime
    # and its build makes its own KERNEL32 import library; a program that
    # needs a C runtime cannot be built for ARM64 here.
    set(CMAKE_C_COMPILER clang-14)
    set(CMAKE_CXX_COMPILER clang++-14)
    set(CMAKE_C_COMPILER_TARGET ${mingw})
    set(CMAKE_CXX_COMPILER_TARGET ${mingw})
    set(CMAKE_RC_COMPILER llvm-windres-14)
    set(CMAKE_DLLTOOL llvm-dlltool-14)
    set(CMAKE_AR llvm-ar-14)
    set(CMAKE_RANLIB llvm-ranlib-14)
    set(CMAKE_OBJCOPY llvm-objcopy-14)

    # No sysroot: the headers by name, and <new>, the one C++ header the
    # product includes, from the x64 MinGW's libstdc++ (it declares the
    # same things for every Windows processor).
    set(mingw_headers /usr/share/mingw-w64/include)
    file(GLOB libstdcxx_headers /usr/lib/gcc/x86_64-w64-mingw32/*-win32/include/c++)
    list(GET libstdcxx_headers 0 libstdcxx_headers)
    set(CMAKE_C_FLAGS_INIT "-nostdlibinc -isystem ${mingw_headers}")
    set(CMAKE_CXX_FLAGS_INIT "-nostdlibinc -isystem ${libstdcxx_headers} \
-isystem ${libstdcxx_headers}/x86_64-w64-mingw32 -isystem ${mingw_headers}")
    set(CMAKE_RC_FLAGS_INIT "--target=${mingw} -I${mingw_headers}")
    # The compile flags above reach the link too, where they mean nothing.
    foreach(kind EXE SHARED MODULE)
        set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -Wno-unused-command-line-argument")
    endforeach()
    # Nothing to link a test program against: the compiler checks build a
    # static library, and no library is linked unless a target names it.
    set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
    set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "Libraries linked by every C target")
    set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "Libraries linked by every C++ target")
else()
    # The win32 thread model keeps libwinpthread out of the import table.
    set(CMAKE_C_COMPILER ${mingw}-gcc-win32)
    set(CMAKE_CXX_COMPILER ${mingw}-g++-win32)
    set(CMAKE_RC_COMPILER ${mingw}-windres)
    set(CMAKE_DLLTOOL ${mingw}-dlltool)
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
