#ifndef BRLWINDOW_FRAME_BITMAP_H
#define BRLWINDOW_FRAME_BITMAP_H

#include <cstdint>
#include <string>
#include <vector>

// A picture of one frame, the cells drawn by the window's own painter, in a
// 24-bit BMP file: what run-demo turns into build/demo/frame.png.
class FrameBitmap {
public:
    // cells: 5 status cells, then the text cells. false, with the reason in
    // error, when the file cannot be written.
    static bool Write(const std::string& path, const std::vector<uint8_t>& cells, int width, std::string& error);
};

#endif
