#ifndef BRLWIN32_SERIAL_PORT_H
#define BRLWIN32_SERIAL_PORT_H

#include <windows.h>

#include "Port.h"

// A COM port whose line settings come from a mode string such as
// "COM1:9600,n,8,1", read by the system's BuildCommDCBA.
class SerialPort : public Port {
public:
    SerialPort();
    ~SerialPort() override;

    int Open(const char* portName) override;
    int WriteByte(unsigned char byte) override;
    int Write(const unsigned char* bytes, int length) override;
    int Read(unsigned char* buffer, int length, unsigned int timeoutMs) override;
    void Flush() override;
    int Lost() override;

    void Close();

protected:
    // The device name holds at most 39 characters; the path that opens it
    // may have the device namespace's prefix before them.
    enum { DeviceNameSize = 40, DevicePathSize = DeviceNameSize + DevicePrefixLength };

    // The device name is the port string up to its first ':'.
    static void CutDeviceName(const char* portString, char (&deviceName)[DeviceNameSize]);
    static HANDLE CreateDevice(const char* deviceName);
    int ApplyTimeouts();

    HANDLE handle;
    // Set by a write that the system refused outright, or by a failed read
    // whose error could not even be acknowledged: the device is gone. A
    // write that times out (CTS held off by a display that is switched off)
    // and a line error are not.
    int lost;
};

#endif
