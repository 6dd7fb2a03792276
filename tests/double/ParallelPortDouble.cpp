#include "ParallelPortDouble.h"

#include <cstdio>

#include "Win32Double.h"

namespace paralleldouble {

namespace {
const uint8_t Strobe = 0x01;
const uint8_t Init = 0x04;
const uint8_t Busy = 0x80;
const uint8_t Error = 0x08;
} // namespace

std::string Describe(const Access& a)
{
    char b[32];
    snprintf(b, sizeof b, "%s %03X %02X", a.direction == Access::In ? "in" : "out", a.port, a.value);
    return b;
}

std::string Describe(const std::vector<Access>& accesses)
{
    std::string s;
    for (const auto& a : accesses) {
        if (!s.empty())
            s += ", ";
        s += Describe(a);
    }
    return s;
}

uint8_t StatusForNibble(uint8_t nibble)
{
    uint8_t s = 0;
    if ((nibble & 0x08) == 0)
        s |= Busy;
    if (nibble & 0x04)
        s |= 0x20;
    if (nibble & 0x02)
        s |= 0x10;
    if (nibble & 0x01)
        s |= Error;
    return s;
}

ParallelPortDouble& ParallelPortDouble::Get()
{
    static ParallelPortDouble instance;
    return instance;
}

void ParallelPortDouble::Reset() { *this = ParallelPortDouble(); }

uint8_t ParallelPortDouble::Status() const
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

uint8_t ParallelPortDouble::Read(uint16_t port)
{
    uint8_t value = 0xFF;
    if (port == StatusRegister) {
        if (++statusReads % statusReadsPerTick == 0)
            win32double::Win32Double::Get().clock.Advance(1);
        if (!scriptedStatus.empty()) {
            value = scriptedStatus.front();
            scriptedStatus.pop_front();
        } else if (attached) {
            value = Status();
        }
    } else if (port == ControlRegister && attached) {
        value = control;
    }
    accesses.push_back(In(port, value));
    return value;
}

void ParallelPortDouble::Write(uint16_t port, uint8_t value)
{
    accesses.push_back(Out(port, value));
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

} // namespace paralleldouble

unsigned char PortIn(unsigned short port) { return paralleldouble::ParallelPortDouble::Get().Read(port); }

void PortOut(unsigned short port, unsigned char value) { paralleldouble::ParallelPortDouble::Get().Write(port, value); }
