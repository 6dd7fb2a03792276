#ifndef BRLDISPLAY_CELL_CODEC_H
#define BRLDISPLAY_CELL_CODEC_H

#include <cstdint>

// The display's side of the cell bit order. On the wire bits 0, 1, 2 and 5
// are where the host has them; host bit 3 travels as bit 7, 4 as 6, 6 as 3
// and 7 as 4.
class CellCodec {
public:
    static uint8_t ToWire(uint8_t hostCell);
    static uint8_t FromWire(uint8_t wireByte);
};

#endif
