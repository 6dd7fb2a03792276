# Makes brlwin32.lib, the import library for MSVC's linker, from the
# module-definition file. Run with cmake -P and DEF, OUT (a bare file name,
# written to the working directory), MACHINE (dlltool's name of the
# processor: i386, i386:x86-64 or arm64), DLLTOOL, OBJCOPY and AR set.
#
# On ARM64, DLLTOOL is LLVM's, which writes the short import members of
# MSVC's own lib.exe, the same bytes every time, and nothing more is done.
#
# dlltool imports by the undecorated name the DLL exports and names the
# symbols as MSVC does for the machine: with the leading underscore of
# cdecl names on x86 (_BrlInit, __imp__BrlInit), without one on x64
# (BrlInit, __imp_BrlInit). Its objects lack the @feat.00 symbol that tells
# MSVC's linker an object has no unsafe exception handlers; x86 links with
# /SAFESEH, the default of Visual Studio and lld-link, refuse objects
# without it. Import thunks install no handlers, so on x86 every member gets
# @feat.00 = 1, as the import objects of MSVC's own lib.exe carry. x64 has
# table-based unwinding and no SAFESEH: its members stay as dlltool made
# them.
foreach(var DEF OUT MACHINE DLLTOOL OBJCOPY AR)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "MakeMsvcImportLib: ${var} not set")
    endif()
endforeach()
if(NOT MACHINE MATCHES "^(i386|i386:x86-64|arm64)$")
    message(FATAL_ERROR "MakeMsvcImportLib: MACHINE must be i386, i386:x86-64 or arm64, got '${MACHINE}'")
endif()

if(MACHINE STREQUAL "arm64")
    file(REMOVE ${OUT})
    execute_process(COMMAND ${DLLTOOL} -m arm64 -d ${DEF} -D brlwin32.dll -l ${OUT} COMMAND_ERROR_IS_FATAL ANY)
    return()
endif()

set(work ${OUT}.members)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})

# dlltool names the members after its output path; a bare name keeps the
# build directory out of them.
execute_process(COMMAND ${DLLTOOL} --machine ${MACHINE} --input-def ${DEF} --dllname brlwin32.dll
        --output-lib ${OUT} --deterministic-libraries
    COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${AR} t ${CMAKE_CURRENT_BINARY_DIR}/${OUT}
    OUTPUT_VARIABLE members OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
string(REPLACE "\n" ";" members "${members}")
execute_process(COMMAND ${AR} x ${CMAKE_CURRENT_BINARY_DIR}/${OUT} WORKING_DIRECTORY ${work}
    COMMAND_ERROR_IS_FATAL ANY)
if(MACHINE STREQUAL "i386")
    foreach(member IN LISTS members)
        execute_process(COMMAND ${OBJCOPY} --add-symbol @feat.00=0x1,local ${member}
            WORKING_DIRECTORY ${work} COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
endif()
# Same members, same order; D keeps dates and owners out.
file(REMOVE ${OUT})
execute_process(COMMAND ${AR} rcsD ${CMAKE_CURRENT_BINARY_DIR}/${OUT} ${members}
    WORKING_DIRECTORY ${work} COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE_RECURSE ${work})
