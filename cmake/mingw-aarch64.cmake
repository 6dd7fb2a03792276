# Cross build of the product for Windows on ARM64, with LLVM.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
