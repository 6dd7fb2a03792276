#ifndef BRLDISPLAY_PARALLEL_PORT_SIMULATOR_H
#define BRLDISPLAY_PARALLEL_PORT_SIMULATOR_H

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

// The three registers of a PC parallel port at 0x378 with a display of this
// family on the other side of the cable. The display latches the data
// register when a strobe pulse ends and sends its own bytes with the nibble
// handshake: while Init is 1 it shows "byte ready" (Busy bit 7 clear, Error
// bit 3 set); at the next fall of Init it puts the high nibble on the status
// lines, at the fall after that the low nibble, and it takes the byte off
// its queue when Init rises again.
//
// Plain C++ without the platform: the native unit tests put it behind the
// register access functions, and the Windows test host behind the port
// instructions it traps.
class ParallelPortSimulator {
public:
    using Bytes = std::vector<uint8_t>;

    enum : uint16_t { DataRegister = 0x378, StatusRegister = 0x379, ControlRegister = 0x37A };

    // Status lines as the port shows them for a nibble: Busy (bit 7,
    // inverted) carries nibble bit 3, Paper End bit 2, Select bit 1, Error
    // bit 0.
    static uint8_t StatusForNibble(uint8_t nibble);

    // What the port is.
    bool attached = true;       // false: nothing answers, every read gives 0xFF
    uint8_t control = 0xE0;     // what the control register reads back
    uint8_t data = 0;
    // Status bits the handshake does not use (6, 2, 1, 0); the port shows
    // them whatever the display does.
    uint8_t unusedStatusBits = 0x47;

    // What the display took.
    Bytes received;             // data bytes latched by strobe pulses
    int controlWrites = 0;

    // The display side.
    std::deque<uint8_t> toHost; // bytes the display wants to send
    std::function<void(uint8_t)> onByte; // called with each latched byte
    void Send(const Bytes& bytes) { toHost.insert(toHost.end(), bytes.begin(), bytes.end()); }

    // A register as the host reads it, and a write of the host's. Any other
    // address reads as 0xFF and takes no write.
    uint8_t Read(uint16_t port) const;
    void Write(uint16_t port, uint8_t value);

private:
    enum Phase { Idle, HighNibble, BetweenNibbles, LowNibble };
    uint8_t Status() const;
    Phase phase = Idle;
};

#endif
