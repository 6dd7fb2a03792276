# Cross build of the product with Debian's MinGW-w64, for the processor the
# including toolchain file names in CMAKE_SYSTEM_PROCESSOR (i686, x86_64);
# the tools' names start with <processor>-w64-mingw32.
set(CMAKE_SYSTEM_NAME Windows)
set(mingw ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)

# The win32 thread model keeps libwinpthread out of the import table.
set(CMAKE_C_COMPILER ${mingw}-gcc-win32)
set(CMAKE_CXX_COMPILER ${mingw}-g++-win32)
set(CMAKE_RC_COMPILER ${mingw}-windres)
set(CMAKE_DLLTOOL ${mingw}-dlltool)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
