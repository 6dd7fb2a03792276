#ifndef BRLWINDOW_CELL_LAYOUT_H
#define BRLWINDOW_CELL_LAYOUT_H

// Where everything stands in the window's client area, from its width and
// the number of text cells; docs/virtual-display.md gives the same numbers
// so that a test or a helper can find a dot without this code.
//
// The cells are one row: 5 status cells, a column left free, then the
// text cells, each a column of Pitch pixels, scaled to the width. A cell's
// 8 dots are a grid of 2 columns by 4 rows, DotStep apart, the first dot
// DotStep from the cell's left and top: dots 1 2 3 7 down the left, 4 5 6
// 8 down the right.
class CellLayout {
public:
    struct Rect {
        int left = 0, top = 0, width = 0, height = 0;
    };

    enum {
        StatusCells = 5,
        Margin = 8,
        RoutingHeight = 20,
        RoutingGap = 4,
        MinPitch = 12,
        RowGap = 6,
        LineHeight = 24,
        LabelWidth = 40,
        KeyWidth = 72,
        KeyGap = 4,
        KeyHeight = 26,
        Keys = 11, // 1 to 5, then 31 to 36
        PowerWidth = 96,
        StatusHeight = 20,
    };

    CellLayout(int clientWidth, int cells);

    int TextCells() const { return textCells; }
    int Pitch() const { return pitch; }
    int DotStep() const { return pitch / 3; }
    int DotRadius() const;
    // cell: 0 to 4 the status cells, then the text cells.
    int CellLeft(int cell) const;
    int CellsTop() const { return Margin + RoutingHeight + RoutingGap; }
    // The centre of dot 1 to 8 of a cell.
    void DotCentre(int cell, int dot, int& x, int& y) const;
    Rect RoutingKey(int cell) const;
    // The print under the cells, one character centred under each.
    Rect PrintRow() const;
    Rect PrintLabel() const;
    Rect PrintLine() const;
    // Display key 0 to 10 (keys 1 to 5, then 31 to 36).
    Rect Key(int index) const;
    Rect Power() const;
    Rect StatusLine() const;
    // The client size that shows everything: the width given, or more
    // where the cells or the keys need it.
    int Width() const;
    int Height() const;

private:
    int textCells;
    int width;
    int pitch;
};

#endif
