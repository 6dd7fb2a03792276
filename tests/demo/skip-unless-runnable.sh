# Sourced by the checks that run the Windows programs of one architecture
# under Wine. Exits with CTest's skip code, 77, where they cannot run: no
# cross build was configured, or they are 32-bit and this kernel runs no
# 32-bit programs.
#   skip_unless_runnable SRC CROSS_BUILD ARCH_FLAG WHAT
# ARCH_FLAG is --x64 for the 64-bit programs; WHAT names them in the line.
skip_unless_runnable() {
    if [ -z "$2" ]; then
        tree=win32 && [ "$3" = --x64 ] && tree=win64
        echo "skipped: configure with -DBRLWIN32_$(echo $tree | tr a-z A-Z)_BUILD_DIR=<abs path to build/$tree>"
        exit 77
    fi
    if [ "$3" != --x64 ] && ! why=$("$1/tools/can-run-32bit"); then
        echo "skipped: the 32-bit $4 cannot run, since ${why#no: }"
        exit 77
    fi
}
