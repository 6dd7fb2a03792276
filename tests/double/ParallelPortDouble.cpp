#include "ParallelPortDouble.h"

#include <cstdio>

#include "Win32Double.h"

namespace paralleldouble {

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

ParallelPortDouble& ParallelPortDouble::Get()
{
    static ParallelPortDouble instance;
    return instance;
}

void ParallelPortDouble::Reset() { *this = ParallelPortDouble(); }

uint8_t ParallelPortDouble::Read(uint16_t port)
{
    uint8_t value;
    if (port == StatusRegister) {
        if (++statusReads % statusReadsPerTick == 0) {
            win32double::Win32Double::Get().clock.Advance(msPerTick);
            statusMs += msPerTick;
        }
    }
    if (port == StatusRegister && !scriptedStatus.empty()) {
        value = scriptedStatus.front();
        scriptedStatus.pop_front();
    } else {
        value = ParallelPortSimulator::Read(port);
    }
    if (answerIn)
        value = answerIn(port, value);
    if (keepAccesses)
        accesses.push_back(In(port, value));
    return value;
}

void ParallelPortDouble::Write(uint16_t port, uint8_t value)
{
    if (keepAccesses)
        accesses.push_back(Out(port, value));
    ParallelPortSimulator::Write(port, value);
}

} // namespace paralleldouble

unsigned char PortIn(unsigned short port) { return paralleldouble::ParallelPortDouble::Get().Read(port); }

void PortOut(unsigned short port, unsigned char value) { paralleldouble::ParallelPortDouble::Get().Write(port, value); }
