# The host developer's kit of the cross build: version resource, import
# libraries, install layout and CMake package. Included from the top-level
# CMakeLists.txt after the brlwin32 target exists.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

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
target_link_options(brlwin32 PRIVATE -Wl,--build-id=none)

# The import library for MSVC's linker, made from the module-definition
# file rather than from the DLL so that it names exactly the exports.
set(BRLWIN32_MSVC_IMPLIB ${PROJECT_BINARY_DIR}/brlwin32.lib)
add_custom_command(OUTPUT ${BRLWIN32_MSVC_IMPLIB}
    COMMAND ${CMAKE_COMMAND} -DDEF=${PROJECT_SOURCE_DIR}/src/brlwin32.def -DOUT=brlwin32.lib
            -DDLLTOOL=${CMAKE_DLLTOOL} -DOBJCOPY=${CMAKE_OBJCOPY} -DAR=${CMAKE_AR}
            -P ${PROJECT_SOURCE_DIR}/cmake/MakeMsvcImportLib.cmake
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
    DEPENDS ${PROJECT_SOURCE_DIR}/src/brlwin32.def ${PROJECT_SOURCE_DIR}/cmake/MakeMsvcImportLib.cmake
    COMMENT "Making the MSVC import library brlwin32.lib")
add_custom_target(brlwin32_msvc_implib ALL DEPENDS ${BRLWIN32_MSVC_IMPLIB})

install(TARGETS brlwin32
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES include/brlwin32.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${BRLWIN32_MSVC_IMPLIB} DESTINATION ${CMAKE_INSTALL_LIBDIR})

set(BRLWIN32_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/brlwin32)
configure_package_config_file(cmake/brlwin32Config.cmake.in
    ${PROJECT_BINARY_DIR}/brlwin32Config.cmake
    INSTALL_DESTINATION ${BRLWIN32_CMAKE_DIR}
    PATH_VARS CMAKE_INSTALL_BINDIR CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_INCLUDEDIR)
# The exports change only with the major version: a host built against 1.x
# works with any later 1.x.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/brlwin32ConfigVersion.cmake
    COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(FILES ${PROJECT_BINARY_DIR}/brlwin32Config.cmake ${PROJECT_BINARY_DIR}/brlwin32ConfigVersion.cmake
    DESTINATION ${BRLWIN32_CMAKE_DIR})
