# The host developer's kit of the cross build: version resource, import
# libraries, install layout and CMake package. Included from the top-level
# CMakeLists.txt after the brlwin32 and brlcheck targets exist.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The kit is for one processor, that of the cross build: its name in the
# release archive's name, dlltool's name of the machine, and the processor
# a host must be built for to load the DLL, by name and by the name the
# package compares (x86, x64, arm64).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    set(BRLWIN32_KIT_ARCH win32)
    set(BRLWIN32_KIT_MACHINE i386)
    set(BRLWIN32_KIT_PROCESSOR "32-bit x86")
    set(BRLWIN32_KIT_PROCESSOR_ID x86)
elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(BRLWIN32_KIT_ARCH win64)
    set(BRLWIN32_KIT_MACHINE i386:x86-64)
    set(BRLWIN32_KIT_PROCESSOR "64-bit x64")
    set(BRLWIN32_KIT_PROCESSOR_ID x64)
elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
    set(BRLWIN32_KIT_ARCH winarm64)
    set(BRLWIN32_KIT_MACHINE arm64)
    set(BRLWIN32_KIT_PROCESSOR "64-bit ARM64")
    set(BRLWIN32_KIT_PROCESSOR_ID arm64)
else()
    message(FATAL_ERROR "brlwin32 kit: no Windows kit for the processor '${CMAKE_SYSTEM_PROCESSOR}'")
endif()
set(BRLWIN32_KIT_POINTER_SIZE ${CMAKE_SIZEOF_VOID_P})

enable_language(RC)
configure_file(${PROJECT_SOURCE_DIR}/cmake/brlwin32.rc.in ${PROJECT_BINARY_DIR}/brlwin32.rc @ONLY)
# A library of its own, so that the compiler options of the driver sources
# never reach windres.
add_library(brlwin32_version OBJECT ${PROJECT_BINARY_DIR}/brlwin32.rc)
target_sources(brlwin32 PRIVATE $<TARGET_OBJECTS:brlwin32_version>)

# Two build trees of the same sources must give the same bytes: no source
# or build directory may reach the DLL.
target_compile_options(brlwin32 PRIVATE
    $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>
    $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_BINARY_DIR}=.>)
# GNU ld writes no build id then; lld writes none anyway.
target_link_options(brlwin32 PRIVATE $<$<C_COMPILER_ID:GNU>:-Wl,--build-id=none>)

# The import library for MSVC's linker, made from the module-definition
# file rather than from the DLL so that it names exactly the exports.
set(BRLWIN32_MSVC_IMPLIB ${PROJECT_BINARY_DIR}/brlwin32.lib)
add_custom_command(OUTPUT ${BRLWIN32_MSVC_IMPLIB}
    COMMAND ${CMAKE_COMMAND} -DDEF=${PROJECT_SOURCE_DIR}/src/brlwin32.def -DOUT=brlwin32.lib
            -DMACHINE=${BRLWIN32_KIT_MACHINE} -DDLLTOOL=${CMAKE_DLLTOOL} -DOBJCOPY=${CMAKE_OBJCOPY} -DAR=${CMAKE_AR}
            -P ${PROJECT_SOURCE_DIR}/cmake/MakeMsvcImportLib.cmake
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
    DEPENDS ${PROJECT_SOURCE_DIR}/src/brlwin32.def ${PROJECT_SOURCE_DIR}/cmake/MakeMsvcImportLib.cmake
    COMMENT "Making the MSVC import library brlwin32.lib")
add_custom_target(brlwin32_msvc_implib ALL DEPENDS ${BRLWIN32_MSVC_IMPLIB})

# brlcheck.exe sits next to the DLL: a display owner runs it from there.
install(TARGETS brlwin32 brlcheck
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
# The window display goes beside them, where Debian has a C runtime for the
# processor (x86, x64): a host developer tries a host against it with no
# display on the desk. The x86 one runs on x64 and ARM64 Windows as well.
if(TARGET brl-virtual-display)
    install(TARGETS brl-virtual-display RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES include/brlwin32.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${BRLWIN32_MSVC_IMPLIB} DESTINATION ${CMAKE_INSTALL_LIBDIR})

set(BRLWIN32_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/brlwin32)
configure_package_config_file(cmake/brlwin32Config.cmake.in
    ${PROJECT_BINARY_DIR}/brlwin32Config.cmake
    INSTALL_DESTINATION ${BRLWIN32_CMAKE_DIR}
    PATH_VARS CMAKE_INSTALL_BINDIR CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_INCLUDEDIR)
# The exports change only with the major version: a host built against 1.x
# works with any later 1.x. The version file takes any processor: the
# package itself refuses a host of another one, and says why, where a
# version file could only skip the kit without a reason (and could compare
# only the pointer size, which x64 and ARM64 share).
write_basic_package_version_file(${PROJECT_BINARY_DIR}/brlwin32ConfigVersion.cmake
    COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(FILES ${PROJECT_BINARY_DIR}/brlwin32Config.cmake ${PROJECT_BINARY_DIR}/brlwin32ConfigVersion.cmake
    DESTINATION ${BRLWIN32_CMAKE_DIR})
