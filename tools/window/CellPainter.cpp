#include "CellPainter.h"

#include "ComputerBraille.h"

HFONT CellPainter::PrintFont(int height)
{
    return CreateFontA(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, "Courier New");
}

int CellPainter::Bottom(const CellLayout& layout)
{
    CellLayout::Rect row = layout.PrintRow();
    return row.top + row.height;
}

void CellPainter::Paint(HDC dc, const CellLayout& layout, const std::vector<uint8_t>& cells)
{
    RECT band = { 0, layout.CellsTop(), layout.Width(), Bottom(layout) };
    FillRect(dc, &band, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));

    HPEN ring = CreatePen(PS_SOLID, 1, RGB(176, 176, 176));
    HGDIOBJ oldPen = SelectObject(dc, ring);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    int r = layout.DotRadius();
    for (size_t cell = 0; cell < cells.size(); ++cell) {
        for (int dot = 1; dot <= 8; ++dot) {
            int x = 0, y = 0;
            layout.DotCentre(static_cast<int>(cell), dot, x, y);
            bool raised = ((cells[cell] >> (dot - 1)) & 1) != 0;
            SelectObject(dc, GetStockObject(raised ? BLACK_PEN : NULL_PEN));
            SelectObject(dc, GetStockObject(raised ? BLACK_BRUSH : NULL_BRUSH));
            if (!raised)
                SelectObject(dc, ring);
            Ellipse(dc, x - r, y - r, x + r + 1, y + r + 1);
        }
    }
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(ring);

    CellLayout::Rect row = layout.PrintRow();
    HFONT font = PrintFont(row.height - 2);
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    SetTextAlign(dc, TA_TOP | TA_CENTER);
    for (size_t cell = 0; cell < cells.size(); ++cell) {
        char c = static_cast<char>(ComputerBrailleCharacter(cells[cell]));
        int centre = layout.CellLeft(static_cast<int>(cell)) + layout.Pitch() / 2;
        TextOutA(dc, centre, row.top + 1, &c, 1);
    }
    SelectObject(dc, oldFont);
    DeleteObject(font);
}
