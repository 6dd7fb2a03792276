// A host session to replay against the driver: a screen reader's stream of
// display calls, many of them repeats, generated from a seed so that every
// run sees the same calls. WireMinimum works out, without the driver, how
// many cell packets and bytes the protocol needs for it at the least.
#ifndef BRLWIN32_HOST_SESSION_H
#define BRLWIN32_HOST_SESSION_H

#include <cstdint>
#include <vector>

namespace hostsession {

struct HostCall {
    enum Kind { Display, DisplayStatus, Clear } kind;
    std::vector<uint8_t> cells; // Display: text cells; DisplayStatus: status cells
};

// updates calls for a display of textCells text cells (and 5 status
// cells); no call passes more cells than the display has.
std::vector<HostCall> RecordedSession(int updates, int textCells, uint32_t seed);

struct WireCost {
    long packets = 0;
    long bytes = 0;
    long repeats = 0; // calls that leave the display as it was
    // What the display shows after each packet, status cells first.
    std::vector<std::vector<uint8_t>> shown;
};

// One ESC 'B' packet for every call that changes what the display shows,
// none for a call that does not; the packet is 1B 42, one byte per cell
// and a second 1B after every cell that goes out as 1B.
WireCost WireMinimum(const std::vector<HostCall>& session, int textCells);

} // namespace hostsession

#endif
