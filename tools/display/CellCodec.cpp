#include "CellCodec.h"

namespace {
// wire bit carrying each host bit
const int HostBitOnWire[8] = { 0, 1, 2, 7, 6, 5, 3, 4 };
}

uint8_t CellCodec::ToWire(uint8_t hostCell)
{
    uint8_t wire = 0;
    for (int bit = 0; bit < 8; ++bit)
        if (hostCell & (1u << bit))
            wire = static_cast<uint8_t>(wire | (1u << HostBitOnWire[bit]));
    return wire;
}

uint8_t CellCodec::FromWire(uint8_t wireByte)
{
    uint8_t host = 0;
    for (int bit = 0; bit < 8; ++bit)
        if (wireByte & (1u << HostBitOnWire[bit]))
            host = static_cast<uint8_t>(host | (1u << bit));
    return host;
}
