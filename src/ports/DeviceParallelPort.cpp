#include "DeviceParallelPort.h"

#include "DevicePath.h"
#include "ParallelDeviceIoctl.h"

// The control code travels as a 32-bit DWORD from 32-bit and 64-bit callers.
static_assert(sizeof(DWORD) == 4, "DWORD is 32 bits on x86 and x64");

DeviceParallelPort::DeviceParallelPort() : handle(INVALID_HANDLE_VALUE), lost(0) {}

DeviceParallelPort::~DeviceParallelPort() { DeviceParallelPort::Close(); }

int DeviceParallelPort::Open(const char* portName)
{
    char deviceName[DeviceNameSize];
    ZeroMemory(deviceName, sizeof deviceName);
    lstrcpynA(deviceName, PARALLEL_DEVICE_NAME_TEMPLATE, DeviceNameSize);

    // The port's number is its last character: LPT2 -> QZPAR2. Only one
    // character is taken, so no port string can overrun the name. An empty
    // string has none; its terminator takes the place, and "QZPAR" names no
    // device.
    int templateLength = lstrlenA(deviceName);
    int portLength = lstrlenA(portName);
    deviceName[templateLength - 1] = portLength > 0 ? portName[portLength - 1] : '\0';

    return OpenDevice(deviceName);
}

int DeviceParallelPort::OpenDevice(const char* deviceName)
{
    char path[PathSize];
    DevicePath(path, PathSize, deviceName);

    handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE)
        return 0;

    // A device that refuses the request still moves bytes; its answer
    // decides nothing.
    ParallelDeviceConfig config;
    config.first = PARALLEL_DEVICE_CONFIG_FIRST;
    config.second = PARALLEL_DEVICE_CONFIG_SECOND;
    DWORD returned = 0;
    DeviceIoControl(handle, PARALLEL_DEVICE_IOCTL_CONFIGURE, &config, sizeof config, NULL, 0, &returned,
                    NULL);
    return 1;
}

// A packet of one byte: the same write, the same failures.
int DeviceParallelPort::WriteByte(unsigned char byte) { return DeviceParallelPort::Write(&byte, 1); }

int DeviceParallelPort::Write(const unsigned char* bytes, int length)
{
    if (handle == INVALID_HANDLE_VALUE)
        return 1;
    if (length < 0)
        return 0;
    DWORD written = 0;
    if (!WriteFile(handle, bytes, (DWORD)length, &written, NULL)) {
        lost = 1;
        return 0;
    }
    return written == (DWORD)length ? 1 : 0;
}

int DeviceParallelPort::Read(unsigned char* buffer, int length, unsigned int timeoutMs)
{
    // Nothing can arrive on a device that is not open; without this a
    // positive time-out would be spent on calls that always fail.
    if (handle == INVALID_HANDLE_VALUE)
        return 0;
    bool noWait = timeoutMs == 0;
    int count = 0;
    DWORD start = GetTickCount();
    while (count < length) {
        DWORD wanted = (DWORD)(length - count);
        DWORD got = 0;
        // The device returns at once with what has arrived, possibly
        // nothing; a failed call is just a call that brought nothing.
        if (ReadFile(handle, buffer + count, wanted, &got, NULL))
            count += (int)(got < wanted ? got : wanted);
        if (noWait)
            break;
        if (GetTickCount() - start > timeoutMs)
            break;
    }
    return count;
}

void DeviceParallelPort::Flush() {}

int DeviceParallelPort::Lost() { return lost; }

void DeviceParallelPort::Close()
{
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
}
