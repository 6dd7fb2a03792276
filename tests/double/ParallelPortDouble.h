// A simulated PC parallel port at 0x378 behind the register transport's two
// access functions, PortIn and PortOut: the display simulator's register
// file and nibble handshake, with every access recorded, status values a
// test can script, and the Win32 double's tick clock moved by status reads.
#ifndef BRLWIN32_PARALLEL_PORT_DOUBLE_H
#define BRLWIN32_PARALLEL_PORT_DOUBLE_H

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ParallelPortSimulator.h"
#include "ports/PortIo.h"

namespace paralleldouble {

using Bytes = std::vector<uint8_t>;

enum : uint16_t {
    DataRegister = ParallelPortSimulator::DataRegister,
    StatusRegister = ParallelPortSimulator::StatusRegister,
    ControlRegister = ParallelPortSimulator::ControlRegister
};

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

inline uint8_t StatusForNibble(uint8_t nibble) { return ParallelPortSimulator::StatusForNibble(nibble); }

class ParallelPortDouble : public ParallelPortSimulator {
public:
    static ParallelPortDouble& Get();

    // No display attached yet: an empty queue, the registers at power-on.
    void Reset();

    // Status values returned, in order, before the simulated display is
    // consulted again; lets a test stage any line pattern.
    std::deque<uint8_t> scriptedStatus;
    // The tick clock of the Win32 double moves msPerTick at every n-th
    // status read, so that a read loop with a time-out ends (in fewer reads
    // the larger the step).
    int statusReadsPerTick = 1;
    uint32_t msPerTick = 1;
    // Given what the port would read, the value the read returns (a fuzz
    // target answers from its input). Unset: the port's own value.
    std::function<uint8_t(uint16_t port, uint8_t value)> answerIn;

    // What went on; a fuzz target that makes thousands of accesses an
    // input may do without the log.
    bool keepAccesses = true;
    std::vector<Access> accesses;
    int statusReads = 0;
    uint32_t statusMs = 0; // how far the status reads moved the clock

    uint8_t Read(uint16_t port);
    void Write(uint16_t port, uint8_t value);
};

} // namespace paralleldouble

#endif
