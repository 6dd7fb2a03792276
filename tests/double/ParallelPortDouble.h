// A simulated PC parallel port at 0x378 behind the register transport's two
// access functions, PortIn and PortOut, with a display of this family on
// the other side of the cable. Every access is recorded. The display
// latches the data register at each strobe pulse and sends its own bytes
// with the nibble handshake: while Init is 1 it shows "byte ready" (Busy
// bit 7 clear, Error bit 3 set); at the next fall of Init it puts the high
// nibble on the status lines, at the fall after that the low nibble, and
// it takes the byte off its queue when Init rises again.
#ifndef BRLWIN32_PARALLEL_PORT_DOUBLE_H
#define BRLWIN32_PARALLEL_PORT_DOUBLE_H

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ports/PortIo.h"

namespace paralleldouble {

using Bytes = std::vector<uint8_t>;

enum : uint16_t { DataRegister = 0x378, StatusRegister = 0x379, ControlRegister = 0x37A };

struct Access {
    enum Direction { In, Out } direction;
    uint16_t port;
    uint8_t value;
    bool operator==(const Access& o) const
    {
        return direction == o.direction && port == o.port && value == o.value;
    }
};

inline Access In(uint16_t port, uint8_t value) { return { Access::In, port, value }; }
inline Access Out(uint16_t port, uint8_t value) { return { Access::Out, port, value }; }
std::string Describe(const Access& access);
std::string Describe(const std::vector<Access>& accesses);

// Status lines as the port shows them for a nibble: Busy (bit 7, inverted)
// carries nibble bit 3, Paper End bit 2, Select bit 1, Error bit 0.
uint8_t StatusForNibble(uint8_t nibble);

class ParallelPortDouble {
public:
    static ParallelPortDouble& Get();

    // No display attached yet: an empty queue, the registers at power-on.
    void Reset();

    // What the port is.
    bool attached = true;       // false: nothing answers, every read gives 0xFF
    uint8_t control = 0xE0;     // what the control register reads back
    uint8_t data = 0;
    // Status bits the handshake does not use (6, 2, 1, 0); the port shows
    // them whatever the display does.
    uint8_t unusedStatusBits = 0x47;
    // Status values returned, in order, before the simulated display is
    // consulted again; lets a test stage any line pattern.
    std::deque<uint8_t> scriptedStatus;
    // The tick clock of the Win32 double moves 1 ms at every n-th status
    // read, so that a read loop with a time-out ends.
    int statusReadsPerTick = 1;

    // What went on.
    std::vector<Access> accesses;
    Bytes received;             // data bytes latched by strobe pulses
    int statusReads = 0;
    int controlWrites = 0;

    // The display side.
    std::deque<uint8_t> toHost; // bytes the display wants to send
    std::function<void(uint8_t)> onByte; // called with each latched byte
    void Send(const Bytes& bytes) { toHost.insert(toHost.end(), bytes.begin(), bytes.end()); }

    uint8_t Read(uint16_t port);
    void Write(uint16_t port, uint8_t value);

private:
    enum Phase { Idle, HighNibble, BetweenNibbles, LowNibble };
    uint8_t Status() const;
    Phase phase = Idle;
};

} // namespace paralleldouble

#endif
