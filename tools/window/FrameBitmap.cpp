#include "FrameBitmap.h"

#include <windows.h>

#include <cstdio>

#include "CellPainter.h"

bool FrameBitmap::Write(const std::string& path, const std::vector<uint8_t>& cells, int width, std::string& error)
{
    CellLayout layout(width, static_cast<int>(cells.size()) - CellLayout::StatusCells);
    int w = layout.Width();
    int top = layout.CellsTop() - CellLayout::Margin;
    int h = CellPainter::Bottom(layout) + CellLayout::Margin - top;

    BITMAPINFO info;
    ZeroMemory(&info, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h; // bottom-up, as a BMP file holds it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dc || !bitmap) {
        error = "cannot make a bitmap of " + std::to_string(w) + "x" + std::to_string(h);
        return false;
    }
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all = { 0, 0, w, h };
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    // The band from the cells' top, without the routing keys above them.
    SetViewportOrgEx(dc, 0, -top, nullptr);
    CellPainter::Paint(dc, layout, cells);
    GdiFlush();

    DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    DWORD size = stride * static_cast<DWORD>(h);
    BITMAPFILEHEADER file;
    ZeroMemory(&file, sizeof file);
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + size;
    info.bmiHeader.biSizeImage = size;
    std::FILE* out = std::fopen(path.c_str(), "wb");
    bool ok = out != nullptr && std::fwrite(&file, sizeof file, 1, out) == 1 &&
              std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 && std::fwrite(bits, size, 1, out) == 1;
    if (out != nullptr)
        ok = std::fclose(out) == 0 && ok;
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    if (!ok)
        error = "cannot write " + path;
    return ok;
}
