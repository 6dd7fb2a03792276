#ifndef BRLWINDOW_CELL_PAINTER_H
#define BRLWINDOW_CELL_PAINTER_H

#include <windows.h>

#include <cstdint>
#include <vector>

#include "CellLayout.h"

// Draws the cells as the window shows them, on a device context: raised
// dots filled in black, lowered ones as faint grey rings, and under each
// cell the character it reads as, in a fixed-width font. The window paints
// with it and --render draws a bitmap with it: one drawing for both.
class CellPainter {
public:
    // cells: 5 status cells, then the text cells.
    static void Paint(HDC dc, const CellLayout& layout, const std::vector<uint8_t>& cells);
    // A fixed-width font of this height, for the print.
    static HFONT PrintFont(int height);
    // The height of the band that Paint draws in, from the client's top.
    static int Bottom(const CellLayout& layout);
};

#endif
