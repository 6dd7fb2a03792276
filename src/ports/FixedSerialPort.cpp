#include "FixedSerialPort.h"

int FixedSerialPort::Open(const char* portName)
{
    char deviceName[DeviceNameSize];
    CutDeviceName(portName, deviceName);

    HANDLE device = CreateDevice(deviceName);
    if (device == INVALID_HANDLE_VALUE)
        return 0;
    handle = device;

    // Start from what the port has so that fields this line does not care
    // about keep the system's values.
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    GetCommState(handle, &dcb);
    dcb.BaudRate = 38400;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = 1;
    dcb.fOutxCtsFlow = 1; // the display holds CTS off while it is busy
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    SetCommState(handle, &dcb);

    return ApplyTimeouts();
}
