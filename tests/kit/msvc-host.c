/*
 * Linked against brlwin32.lib, the import library for MSVC's linker: once
 * with the MinGW linker, and once with lld-link, which follows MSVC's
 * naming (calls through __imp__BrlInit and friends) and gets no C runtime
 * here, so that nothing but brlwin32.lib can resolve the exports.
 */
#include "brlwin32.h"

int main(void)
{
    static const unsigned char cells[] = { 0x01 };

    /* Before BrlInit the cell calls succeed without sending anything, and
     * an empty port name opens nothing. */
    if (BrlDisplay(cells, 1) != 1)
        return 3;
    if (BrlClear() != 1)
        return 4;
    if (BrlInit("", 0) != 0)
        return 5;
    BrlTerminate();
    return 0;
}
