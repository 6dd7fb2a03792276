#ifndef BRLWIN32_DEVICE_PARALLEL_PORT_H
#define BRLWIN32_DEVICE_PARALLEL_PORT_H

#include <windows.h>

#include "Port.h"

// The parallel port reached through the kernel device QZPARn that a
// separate driver provides (the Windows NT family, where a program may not
// touch I/O registers). One configuration request after opening, then
// plain synchronous reads and writes.
class DeviceParallelPort : public Port {
public:
    DeviceParallelPort();
    ~DeviceParallelPort() override;

    int Open(const char* portName) override;
    int WriteByte(unsigned char byte) override;
    int Write(const unsigned char* bytes, int length) override;
    int Read(unsigned char* buffer, int length, unsigned int timeoutMs) override;
    void Flush() override;
    int Lost() override;
    virtual void Close();

    int OpenDevice(const char* deviceName);

    // INVALID_HANDLE_VALUE while the device is not open.
    HANDLE handle;
    // Set by a write that the device refused: its driver has let the port
    // go. Reads say nothing, since the device answers an empty read either
    // way.
    int lost;

private:
    enum { DeviceNameSize = 40, PathSize = 64 };
};

#endif
