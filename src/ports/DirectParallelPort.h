#ifndef BRLWIN32_DIRECT_PARALLEL_PORT_H
#define BRLWIN32_DIRECT_PARALLEL_PORT_H

#include "Port.h"

// The PC parallel port driven through its I/O registers, where the system
// lets a program execute port instructions (the Windows 95/98 family).
// A byte goes out on the data lines with one strobe pulse; a byte comes in
// as two nibbles on the status lines, each asked for by dropping Init.
class DirectParallelPort : public Port {
public:
    DirectParallelPort();
    ~DirectParallelPort() override;

    int Open(const char* portName) override;
    int WriteByte(unsigned char byte) override;
    int Write(const unsigned char* bytes, int length) override;
    int Read(unsigned char* buffer, int length, unsigned int timeoutMs) override;
    void Flush() override;
    // 0xFF when the display has no byte ready.
    virtual unsigned char ReadByte();

    int InputReady();
    void SetInitBit(int on);
    void ToggleStrobeBit();
    void SetSelectInBit(int on);

    // 0 until Open: a port that was never opened is never touched.
    unsigned short baseAddress;

private:
    unsigned short DataRegister() const { return baseAddress; }
    unsigned short StatusRegister() const { return (unsigned short)(baseAddress + 1); }
    unsigned short ControlRegister() const { return (unsigned short)(baseAddress + 2); }
    void WriteControl(unsigned char set, unsigned char clear, unsigned char invert);
    static unsigned char Nibble(unsigned char status);
};

// A new, unopened register transport, or NULL on a processor that has no
// port instructions. Built with this class for x86 and x64; for ARM64,
// whose Windows is all of the NT family, NoDirectParallelPort.cpp stands in
// and the class and its port instructions are left out of the DLL.
Port* NewDirectParallelPort();

#endif
