#ifndef VDISPLAY_FRAME_RENDERER_H
#define VDISPLAY_FRAME_RENDERER_H

#include <cstdint>
#include <string>
#include <vector>

// One text frame of the display: a title, the cells as Unicode braille, the
// print reading under them, and the routing key numbers under that.
//
//   brl-virtual-display: 20 text cells, model code 00, 2 cell packets
//            status  text
//   braille  ⠁⠃⠀⠀⠀  ⡓⠑⠇⠇⠕
//   print    ab      Hello
//   routing  12345   1   5    10   15   20
class FrameRenderer {
public:
    struct Frame {
        std::vector<uint8_t> status, text;
        std::vector<std::string> statusPrint, textPrint; // one character each
        int modelCode = 0;
        int cellPackets = 0;
    };

    static std::vector<std::string> Render(const Frame& frame);
    // U+2800 plus the host's dot bits (bit i is dot i + 1).
    static std::string Braille(uint8_t cell);
    // Numbers ending under cells 1, 5, 10, 15, ...
    static std::string RoutingNumbers(int cells);
};

#endif
