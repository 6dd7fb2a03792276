#!/bin/sh
# Builds the stand-in device standalone, through the same CMakeLists.txt that
# the project's builds add_subdirectory(): a cross configuration for the
# driver and devprobe.exe, a native one for the bridge and the self-test.
#   tests/kmdriver/build.sh [build-dir]     default <worktree>/build/kmdriver
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
out=${1:-$top/build/kmdriver}
mkdir -p "$out/harness"

# A top level that enables C++ only, like the product's, so the snippet's
# own choice of C compiler is exercised too.
cat > "$out/harness/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.16)
project(kmdriver_harness CXX)
enable_testing()
add_subdirectory("$here" kmdriver)
CMAKE
cat > "$out/harness/mingw32.cmake" <<CMAKE
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
CMAKE

cmake -S "$out/harness" -B "$out/win" -DCMAKE_TOOLCHAIN_FILE="$out/harness/mingw32.cmake" >"$out/cmake-win.log"
cmake --build "$out/win" -j1 >>"$out/cmake-win.log"
cmake -S "$out/harness" -B "$out/linux" -DKMDRIVER_WINDOWS_BINARY_DIR="$out/win/kmdriver" >"$out/cmake-linux.log"
cmake --build "$out/linux" -j1 >>"$out/cmake-linux.log"
echo "built: $out/win/kmdriver/qzpar_standin.sys $out/win/kmdriver/devprobe.exe $out/linux/kmdriver/kmdriver_selftest"
