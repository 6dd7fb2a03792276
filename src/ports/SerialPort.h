#ifndef BRLWIN32_SERIAL_PORT_H
#define BRLWIN32_SERIAL_PORT_H

#include <windows.h>

#include "DevicePath.h"
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
    int Back() override;

    void Close();

    enum {
        // A packet that meets CTS off gets this many milliseconds, and one
        // more a byte (a byte takes a quarter of one at 38400 baud): a
        // display that is busy lets CTS on again well within it, one that
        // is switched off never does.
        HeldOffWriteMs = 100,
        // How often BrlTimer tries an away display on a line whose status
        // has never shown CTS on, and so cannot say when it is back.
        RetryIntervalMs = 2000
    };

protected:
    // The device name holds at most 39 characters; the path that opens it
    // may have the device namespace's prefix before them.
    enum { DeviceNameSize = 40, DevicePathSize = DeviceNameSize + DevicePrefixLength };

    // The device name is the port string up to its first ':'.
    static void CutDeviceName(const char* portString, char (&deviceName)[DeviceNameSize]);
    static HANDLE CreateDevice(const char* deviceName);
    // The port's time-outs: reads return at once, a write of n bytes may
    // take perByteMs * n + constantMs.
    int ApplyTimeouts(DWORD perByteMs = 100, DWORD constantMs = 1);

    HANDLE handle;
    // Set by a write that the system refused outright, or by a failed read
    // whose error could not even be acknowledged: the device is gone. A
    // write that times out (CTS held off by a display that is switched off)
    // and a line error are not. So is a modem status that can no longer be
    // read where it could before.
    int lost;

private:
    // What a look at the modem status found; NotLooked and Retry only stand
    // in nextLine.
    enum Line { LineNotLooked, CtsOn, CtsOff, CannotSay, DeviceGone, Retry };
    int LookAtLine();

    // GetCommModemStatus has worked on this handle, and has shown CTS on.
    // Some USB and Bluetooth drivers do neither, and send all the same.
    int statusRead;
    int ctsSeen;
    // A packet did not go out whole on a line whose status can be read:
    // the display is away until one does.
    int away;
    DWORD lastTry; // when the last packet failed
    // The look that Back made for the Write that follows it.
    int nextLine;
};

#endif
