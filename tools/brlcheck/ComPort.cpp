#include "ComPort.h"

#include <windows.h>

#include "DevicePath.h"
#include "SerialPortOrder.h"
#include "Text.h"

ComPort::State ComPort::Probe(unsigned number)
{
    // Opened by the path the DLL opens it by.
    Text name;
    AddName(name, number);
    char path[16];
    HANDLE handle = CreateFileA(ComDevicePath(name.Chars(), path, (int)sizeof path), GENERIC_READ | GENERIC_WRITE, 0,
                                NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? InUse : Absent;
    }
    // A name that opens but has no line settings is no serial port.
    DCB settings;
    settings.DCBlength = sizeof settings;
    BOOL serial = GetCommState(handle, &settings);
    CloseHandle(handle);
    return serial ? Present : Absent;
}

unsigned ComPort::Number(const char* name)
{
    if ((name[0] | 0x20) != 'c' || (name[1] | 0x20) != 'o' || (name[2] | 0x20) != 'm')
        return 0;
    unsigned number = 0;
    int i = 3;
    for (; name[i] >= '0' && name[i] <= '9' && number <= SerialPortOrder::LastPort; ++i)
        number = number * 10 + (unsigned)(name[i] - '0');
    bool plain = i > 3 && (name[i] == '\0' || name[i] == ':');
    return plain && number >= SerialPortOrder::FirstPort && number <= SerialPortOrder::LastPort ? number : 0;
}

void ComPort::AddName(Text& text, unsigned number) { text.Add("COM").Number(number); }
