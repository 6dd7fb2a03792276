#include "DirectParallelPort.h"

#include <windows.h>

#include <new>

#include "PortIo.h"

namespace {

// Every display of this family sits on the first port's registers, whatever
// the port is called.
const unsigned short FirstPortBase = 0x378;

// Status lines.
const unsigned char StatusBusy = 0x80;  // reads inverted
const unsigned char StatusPaperEnd = 0x20;
const unsigned char StatusSelect = 0x10;
const unsigned char StatusError = 0x08;

// Control lines.
const unsigned char ControlStrobe = 0x01;
const unsigned char ControlInit = 0x04;
const unsigned char ControlSelectIn = 0x08;
// Bits 5 to 7 go out as 0 so that the data lines stay outputs on ports
// that have a direction bit.
const unsigned char ControlWritable = 0x1F;

} // namespace

Port* NewDirectParallelPort() { return new (std::nothrow) DirectParallelPort(); }

DirectParallelPort::DirectParallelPort() : baseAddress(0) {}

DirectParallelPort::~DirectParallelPort()
{
    if (baseAddress != 0)
        SetSelectInBit(1);
}

void DirectParallelPort::WriteControl(unsigned char set, unsigned char clear, unsigned char invert)
{
    unsigned char control = PortIn(ControlRegister());
    control = (unsigned char)(((control | set) & ~clear) ^ invert);
    PortOut(ControlRegister(), (unsigned char)(control & ControlWritable));
}

void DirectParallelPort::SetInitBit(int on)
{
    if (on)
        WriteControl(ControlInit, 0, 0);
    else
        WriteControl(0, ControlInit, 0);
}

void DirectParallelPort::ToggleStrobeBit() { WriteControl(0, 0, ControlStrobe); }

void DirectParallelPort::SetSelectInBit(int on)
{
    if (on)
        WriteControl(ControlSelectIn, 0, 0);
    else
        WriteControl(0, ControlSelectIn, 0);
}

int DirectParallelPort::Open(const char*)
{
    baseAddress = FirstPortBase;
    SetInitBit(1);
    SetSelectInBit(0);
    // Nothing answers whether a port or a display is there.
    return 1;
}

int DirectParallelPort::WriteByte(unsigned char byte)
{
    PortOut(DataRegister(), byte);
    // One pulse: the display latches the data lines while it lasts. Neither
    // Busy nor Ack is waited for; the display keeps up with the host.
    ToggleStrobeBit();
    ToggleStrobeBit();
    return 1;
}

int DirectParallelPort::Write(const unsigned char* bytes, int length)
{
    for (int i = 0; i < length; ++i)
        WriteByte(bytes[i]);
    return 1;
}

void DirectParallelPort::Flush() {}

int DirectParallelPort::InputReady()
{
    SetInitBit(1);
    unsigned char status = PortIn(StatusRegister());
    return (status & StatusBusy) == 0 && (status & StatusError) != 0 ? 1 : 0;
}

// Busy carries nibble bit 3 (inverted by the port), Paper End bit 2,
// Select bit 1 and Error bit 0.
unsigned char DirectParallelPort::Nibble(unsigned char status)
{
    unsigned char nibble = 0;
    if ((status & StatusBusy) == 0)
        nibble |= 0x08;
    if (status & StatusPaperEnd)
        nibble |= 0x04;
    if (status & StatusSelect)
        nibble |= 0x02;
    if (status & StatusError)
        nibble |= 0x01;
    return nibble;
}

unsigned char DirectParallelPort::ReadByte()
{
    if (!InputReady())
        return 0xFF;
    // The display puts each half on the lines as soon as Init drops, so
    // the status is read at once, without polling.
    SetInitBit(0);
    unsigned char high = Nibble(PortIn(StatusRegister()));
    SetInitBit(1);
    SetInitBit(0);
    unsigned char low = Nibble(PortIn(StatusRegister()));
    SetInitBit(1);
    return (unsigned char)(high * 16 + low);
}

int DirectParallelPort::Read(unsigned char* buffer, int length, unsigned int timeoutMs)
{
    bool noWait = timeoutMs == 0;
    int count = 0;
    DWORD start = GetTickCount();
    for (;;) {
        if (count >= length)
            return count;
        // Readiness is asked before the count: the display sees the same
        // register sequence whatever the buffer's length, at the cost of one
        // more ready test when the buffer fills.
        while (InputReady() && count < length)
            buffer[count++] = ReadByte();
        if (noWait)
            return count;
        if (GetTickCount() - start > timeoutMs)
            return count;
    }
}
