#include "ParallelPortSimulator.h"

namespace {
const uint8_t Strobe = 0x01;
const uint8_t Init = 0x04;
const uint8_t Busy = 0x80;
const uint8_t PaperEnd = 0x20;
const uint8_t Select = 0x10;
const uint8_t Error = 0x08;
} // namespace

uint8_t ParallelPortSimulator::StatusForNibble(uint8_t nibble)
{
    uint8_t s = 0;
    if ((nibble & 0x08) == 0)
        s |= Busy;
    if (nibble & 0x04)
        s |= PaperEnd;
    if (nibble & 0x02)
        s |= Select;
    if (nibble & 0x01)
        s |= Error;
    return s;
}

uint8_t ParallelPortSimulator::Status() const
{
    const uint8_t notReady = Busy;
    switch (phase) {
    case Idle:
        return static_cast<uint8_t>(((control & Init) && !toHost.empty() ? Error : notReady) | unusedStatusBits);
    case HighNibble:
        return static_cast<uint8_t>(StatusForNibble(toHost.front() >> 4) | unusedStatusBits);
    case LowNibble:
        return static_cast<uint8_t>(StatusForNibble(toHost.front() & 0x0F) | unusedStatusBits);
    case BetweenNibbles:
    default:
        return static_cast<uint8_t>(notReady | unusedStatusBits);
    }
}

uint8_t ParallelPortSimulator::Read(uint16_t port) const
{
    if (!attached)
        return 0xFF;
    if (port == StatusRegister)
        return Status();
    if (port == ControlRegister)
        return control;
    return 0xFF;
}

void ParallelPortSimulator::Write(uint16_t port, uint8_t value)
{
    if (!attached)
        return;
    if (port == DataRegister) {
        data = value;
        return;
    }
    if (port != ControlRegister)
        return;
    controlWrites++;
    uint8_t before = control;
    control = value;

    // The display takes the data lines when the strobe pulse ends.
    if ((before & Strobe) && !(value & Strobe)) {
        received.push_back(data);
        if (onByte)
            onByte(data);
    }

    bool initFell = (before & Init) && !(value & Init);
    bool initRose = !(before & Init) && (value & Init);
    if (initFell) {
        if (phase == Idle && !toHost.empty())
            phase = HighNibble;
        else if (phase == BetweenNibbles)
            phase = LowNibble;
    } else if (initRose) {
        if (phase == HighNibble) {
            phase = BetweenNibbles;
        } else if (phase == LowNibble) {
            toHost.pop_front();
            phase = Idle;
        }
    }
}
