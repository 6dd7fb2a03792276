#include "SerialPort.h"

// The records go to the system as they are, on both processors: their sizes
// are the platform's, not the compiler's choice.
static_assert(sizeof(DCB) == 28, "DCB is 28 bytes on x86 and x64");
static_assert(sizeof(COMMTIMEOUTS) == 20, "COMMTIMEOUTS is 20 bytes on x86 and x64");

SerialPort::SerialPort() : handle(NULL), lost(0) {}

SerialPort::~SerialPort() { Close(); }

void SerialPort::CutDeviceName(const char* portString, char (&deviceName)[DeviceNameSize])
{
    int n = lstrlenA(portString) + 1;
    for (int i = 0; portString[i] != '\0'; ++i) {
        if (portString[i] == ':') {
            n = i + 1;
            break;
        }
    }
    if (n > DeviceNameSize)
        n = DeviceNameSize;
    lstrcpynA(deviceName, portString, n);
}

// "COM" in any case followed by two or more digits and nothing else.
static bool IsComAboveNine(const char* deviceName)
{
    const char* com = "com";
    for (int i = 0; i < 3; ++i)
        if (deviceName[i] == '\0' || (deviceName[i] | 0x20) != com[i])
            return false;
    int digits = 0;
    for (const char* c = deviceName + 3; *c != '\0'; ++c, ++digits)
        if (*c < '0' || *c > '9')
            return false;
    return digits >= 2;
}

HANDLE SerialPort::CreateDevice(const char* deviceName)
{
    // Windows knows only COM1 to COM9 by their plain names: "COM10" would
    // name a file in the current folder. Higher numbers, which USB serial
    // adapters often get, are reached through the device namespace.
    char path[DevicePathSize];
    const char* opened = deviceName;
    if (IsComAboveNine(deviceName)) {
        DevicePath(path, DevicePathSize, deviceName);
        opened = path;
    }
    return CreateFileA(opened, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
}

int SerialPort::ApplyTimeouts()
{
    // Reads return at once with whatever has arrived; a write of n bytes may
    // take 100 * n + 1 ms, which is what a display holding CTS off gets.
    COMMTIMEOUTS timeouts;
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 100;
    timeouts.WriteTotalTimeoutConstant = 1;
    return SetCommTimeouts(handle, &timeouts) ? 1 : 0;
}

int SerialPort::Open(const char* portName)
{
    char deviceName[DeviceNameSize];
    CutDeviceName(portName, deviceName);

    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!BuildCommDCBA(portName, &dcb))
        return 0;

    HANDLE device = CreateDevice(deviceName);
    if (device == INVALID_HANDLE_VALUE)
        return 0;
    handle = device;

    // A port that refuses the settings still moves bytes; only the
    // time-outs decide whether it is usable.
    SetCommState(handle, &dcb);
    return ApplyTimeouts();
}

// A packet of one byte: the same write, the same failures.
int SerialPort::WriteByte(unsigned char byte) { return SerialPort::Write(&byte, 1); }

int SerialPort::Write(const unsigned char* bytes, int length)
{
    if (handle == NULL)
        return 1;
    if (length < 0)
        return 0;
    DWORD written = 0;
    if (!WriteFile(handle, bytes, (DWORD)length, &written, NULL))
        lost = 1;
    else if (written == (DWORD)length)
        return 1;
    DWORD errors = 0;
    ClearCommError(handle, &errors, NULL);
    return 0;
}

int SerialPort::Read(unsigned char* buffer, int length, unsigned int timeoutMs)
{
    int count = 0;
    DWORD start = GetTickCount();
    while (count < length) {
        DWORD got = 0;
        if (!ReadFile(handle, buffer + count, (DWORD)(length - count), &got, NULL)) {
            // A line error is cleared here and the line goes on; a device
            // that has gone refuses even that.
            DWORD errors = 0;
            if (!ClearCommError(handle, &errors, NULL))
                lost = 1;
            // Bytes stored before the failure are off the line already:
            // report them rather than lose a key press or a model reply.
            return count;
        }
        if (got > (DWORD)(length - count))
            got = (DWORD)(length - count);
        count += (int)got;
        if (GetTickCount() - start > timeoutMs)
            break;
    }
    return count;
}

void SerialPort::Flush() {}

int SerialPort::Lost() { return lost; }

void SerialPort::Close()
{
    if (handle != NULL)
        CloseHandle(handle);
    handle = NULL;
}
