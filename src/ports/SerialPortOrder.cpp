#include "SerialPortOrder.h"

#include <windows.h>

namespace {

// Device names of Bluetooth serial links: Windows' own stack.
const char* const BluetoothPrefixes[] = { "\\Device\\BthModem" };

typedef DWORD(WINAPI* QueryDosDeviceFunction)(LPCSTR name, LPSTR target, DWORD size);

QueryDosDeviceFunction LookUpQueryDosDevice()
{
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    if (kernel == NULL)
        return NULL;
    FARPROC found = GetProcAddress(kernel, "QueryDosDeviceA");
    // Through the one pointer type that every function pointer converts to
    // without a warning.
    return reinterpret_cast<QueryDosDeviceFunction>(reinterpret_cast<void (*)(void)>(found));
}

int DeviceOf(QueryDosDeviceFunction query, int number, char* device, int size)
{
    if (size < 2)
        return 0;
    device[0] = '\0';
    if (query == NULL)
        return 0;
    char name[SerialPortOrder::NameSize];
    SerialPortOrder::Name(number, name);
    // The answer is a list of names, each terminated, the current one first.
    if (query(name, device, (DWORD)size) == 0)
        return 0;
    device[size - 1] = '\0';
    return device[0] != '\0' ? 1 : 0;
}

char FoldToLower(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

bool StartsWith(const char* text, const char* prefix)
{
    for (; *prefix != '\0'; ++text, ++prefix)
        if (FoldToLower(*text) != FoldToLower(*prefix))
            return false;
    return true;
}

} // namespace

SerialPortOrder::SerialPortOrder()
{
    QueryDosDeviceFunction query = LookUpQueryDosDevice();
    unsigned char groups[PortCount];
    for (int number = FirstPort; number <= LastPort; ++number) {
        char device[DeviceSize];
        Group group = Unnamed;
        if (DeviceOf(query, number, device, DeviceSize))
            group = IsBluetooth(device) ? Bluetooth : Named;
        groups[number - FirstPort] = (unsigned char)group;
    }
    // The groups are tried in the order they are declared.
    int position = 0;
    for (int group = Named; group <= Bluetooth; ++group)
        for (int number = FirstPort; number <= LastPort; ++number)
            if (groups[number - FirstPort] == group)
                order[position++] = (unsigned short)number;
}

int SerialPortOrder::At(int position) const { return order[position]; }

void SerialPortOrder::Name(int number, char (&name)[NameSize])
{
    int length = 0;
    name[length++] = 'C';
    name[length++] = 'O';
    name[length++] = 'M';
    for (int place = number >= 100 ? 100 : number >= 10 ? 10 : 1; place > 0; place /= 10)
        name[length++] = (char)('0' + number / place % 10);
    while (length < NameSize)
        name[length++] = '\0';
}

int SerialPortOrder::Device(int number, char* device, int size)
{
    return DeviceOf(LookUpQueryDosDevice(), number, device, size);
}

bool SerialPortOrder::IsBluetooth(const char* device)
{
    for (const char* prefix : BluetoothPrefixes)
        if (StartsWith(device, prefix))
            return true;
    return false;
}
