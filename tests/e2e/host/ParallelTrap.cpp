#include "ParallelTrap.h"

#include <windows.h>

#include <memory>

#include "DisplaySimulator.h"
#include "ParallelPortSimulator.h"

namespace {

// The display's bytes go onto the port's queue for the nibble handshake;
// the port's latched bytes go to the display.
class ParallelTrap {
public:
    ParallelTrap(int textCells, const DisplaySimulator::Bytes& reply)
        : display(Config(textCells, reply), [this](const DisplaySimulator::Bytes& b) { port.Send(b); })
    {
        port.attached = textCells > 0;
        port.onByte = [this](uint8_t b) { display.FromHost(&b, 1); };
    }

    ParallelPortSimulator port;
    DisplaySimulator display;
    unsigned long ins = 0;
    unsigned long outs = 0;

private:
    static DisplaySimulator::Config Config(int textCells, const DisplaySimulator::Bytes& reply)
    {
        DisplaySimulator::Config c;
        c.textCells = textCells > 0 ? textCells : 40;
        c.reply = reply;
        return c;
    }
};

std::unique_ptr<ParallelTrap> g_trap;

// The instruction pointer, DX and AL of the trapped thread.
#if defined(__x86_64__)
auto& Pc(CONTEXT* c) { return c->Rip; }
auto& Dx(CONTEXT* c) { return c->Rdx; }
auto& Ax(CONTEXT* c) { return c->Rax; }
#else
auto& Pc(CONTEXT* c) { return c->Eip; }
auto& Dx(CONTEXT* c) { return c->Edx; }
auto& Ax(CONTEXT* c) { return c->Eax; }
#endif

LONG CALLBACK EmulatePortInstruction(EXCEPTION_POINTERS* info)
{
    if (!g_trap || info->ExceptionRecord->ExceptionCode != EXCEPTION_PRIV_INSTRUCTION)
        return EXCEPTION_CONTINUE_SEARCH;
    CONTEXT* c = info->ContextRecord;
    const unsigned char opcode = *reinterpret_cast<const unsigned char*>(Pc(c));
    const uint16_t address = static_cast<uint16_t>(Dx(c) & 0xFFFF);
    if (opcode == 0xEC) {
        Ax(c) = (Ax(c) & ~0xFFull) | g_trap->port.Read(address);
        g_trap->ins++;
    } else if (opcode == 0xEE) {
        g_trap->port.Write(address, static_cast<uint8_t>(Ax(c) & 0xFF));
        g_trap->outs++;
    } else {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    Pc(c) += 1;
    return EXCEPTION_CONTINUE_EXECUTION;
}

} // namespace

extern "C" void parallel_trap_attach(int textCells, const unsigned char* reply, int replyLength)
{
    static bool installed = false;
    if (!installed)
        installed = AddVectoredExceptionHandler(1, EmulatePortInstruction) != nullptr;
    DisplaySimulator::Bytes answer;
    if (reply && replyLength > 0)
        answer.assign(reply, reply + replyLength);
    g_trap = std::make_unique<ParallelTrap>(textCells, answer);
}

extern "C" int parallel_trap_send(const unsigned char* bytes, int length)
{
    if (!g_trap)
        return 0;
    if (bytes && length > 0)
        g_trap->port.Send(DisplaySimulator::Bytes(bytes, bytes + length));
    return static_cast<int>(g_trap->port.toHost.size());
}

extern "C" int parallel_trap_received(unsigned char* out, int room)
{
    if (!g_trap)
        return 0;
    const auto& received = g_trap->port.received;
    for (size_t i = 0; i < received.size() && static_cast<int>(i) < room; ++i)
        out[i] = received[i];
    return static_cast<int>(received.size());
}

extern "C" void parallel_trap_counts(unsigned long* ins, unsigned long* outs, unsigned* control)
{
    *ins = g_trap ? g_trap->ins : 0;
    *outs = g_trap ? g_trap->outs : 0;
    *control = g_trap ? g_trap->port.control : 0;
}
