#include "CellLayout.h"

CellLayout::CellLayout(int clientWidth, int cells) : textCells(cells), width(clientWidth)
{
    int columns = StatusCells + 1 + textCells;
    pitch = (clientWidth - 2 * Margin) / columns;
    if (pitch < MinPitch)
        pitch = MinPitch;
}

int CellLayout::DotRadius() const
{
    int r = DotStep() * 2 / 5;
    return r < 2 ? 2 : r;
}

int CellLayout::CellLeft(int cell) const
{
    int column = cell < StatusCells ? cell : cell + 1;
    return Margin + column * pitch;
}

void CellLayout::DotCentre(int cell, int dot, int& x, int& y) const
{
    static const int column[8] = { 0, 0, 0, 1, 1, 1, 0, 1 };
    static const int row[8] = { 0, 1, 2, 0, 1, 2, 3, 3 };
    x = CellLeft(cell) + DotStep() * (1 + column[dot - 1]);
    y = CellsTop() + DotStep() * (1 + row[dot - 1]);
}

CellLayout::Rect CellLayout::RoutingKey(int cell) const
{
    Rect r;
    r.left = CellLeft(cell) + 1;
    r.top = Margin;
    r.width = pitch - 2;
    r.height = RoutingHeight;
    return r;
}

CellLayout::Rect CellLayout::PrintRow() const
{
    Rect r;
    r.left = Margin;
    r.top = CellsTop() + 5 * DotStep();
    r.width = Width() - 2 * Margin;
    r.height = 2 * DotStep() < 14 ? 14 : 2 * DotStep();
    return r;
}

CellLayout::Rect CellLayout::PrintLabel() const
{
    Rect r = PrintLine();
    r.left = Margin;
    r.width = LabelWidth;
    r.top += 4;
    r.height -= 4;
    return r;
}

CellLayout::Rect CellLayout::PrintLine() const
{
    Rect row = PrintRow();
    Rect r;
    r.left = Margin + LabelWidth + KeyGap;
    r.top = row.top + row.height + RowGap;
    r.width = Width() - Margin - r.left;
    r.height = LineHeight;
    return r;
}

CellLayout::Rect CellLayout::Key(int index) const
{
    Rect line = PrintLine();
    Rect r;
    r.left = Margin + index * (KeyWidth + KeyGap);
    r.top = line.top + line.height + RowGap;
    r.width = KeyWidth;
    r.height = KeyHeight;
    return r;
}

CellLayout::Rect CellLayout::Power() const
{
    Rect r = Key(Keys);
    r.left += 2 * KeyGap;
    r.width = PowerWidth;
    return r;
}

CellLayout::Rect CellLayout::StatusLine() const
{
    Rect key = Key(0);
    Rect r;
    r.left = Margin;
    r.top = key.top + key.height + RowGap;
    r.width = Width() - 2 * Margin;
    r.height = StatusHeight;
    return r;
}

int CellLayout::Width() const
{
    int cells = 2 * Margin + (StatusCells + 1 + textCells) * pitch;
    int keys = 2 * Margin + Keys * (KeyWidth + KeyGap) + 2 * KeyGap + PowerWidth;
    int least = cells > keys ? cells : keys;
    return width > least ? width : least;
}

int CellLayout::Height() const
{
    Rect status = StatusLine();
    return status.top + status.height + Margin;
}
