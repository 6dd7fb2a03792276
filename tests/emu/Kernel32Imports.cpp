#include "Kernel32Imports.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "EmulatedDll.h"

namespace emu {

namespace {

// The records cross as they are: the guest's layout is the double's.
static_assert(sizeof(DCB) == 28 && sizeof(COMMTIMEOUTS) == 20 && sizeof(COMSTAT) == 12 &&
                  sizeof(OSVERSIONINFOA) == 148,
              "records the DLL passes to KERNEL32 have their Windows sizes");

using Args = const std::vector<uint64_t>&;

// A guest buffer for the length of one call: the guest's bytes copied in,
// handed to the double and copied back. A null guest pointer stays null.
class GuestBuffer {
public:
    GuestBuffer(EmulatedDll& guest, uint64_t address, uint64_t size)
        : guest(guest), address(address), bytes(address ? guest.Read(address, size) : Bytes())
    {
    }
    template <class T = uint8_t> T* Get() { return address ? reinterpret_cast<T*>(bytes.data()) : nullptr; }
    void CopyBack() const
    {
        if (address)
            guest.Write(address, bytes.data(), bytes.size());
    }

private:
    EmulatedDll& guest;
    uint64_t address;
    Bytes bytes;
};

HANDLE ToHandle(const EmulatedDll& guest, uint64_t value)
{
    int64_t wide = guest.machine.pointerSize == 4 ? int64_t(int32_t(value)) : int64_t(value);
    return reinterpret_cast<HANDLE>(intptr_t(wide));
}

uint64_t FromHandle(HANDLE handle) { return uint64_t(reinterpret_cast<uintptr_t>(handle)); }

DWORD Dword(uint64_t value) { return DWORD(value); }

// The driver's calls are synchronous and plain; what it never passes the
// double could not serve faithfully.
void MustBeNull(uint64_t value, const char* what)
{
    if (value != 0)
        throw GuestFault(std::string(what) + " is not null; the driver has no use for it");
}

// A guest string for the length of one call; a null guest pointer stays null.
class GuestText {
public:
    GuestText(EmulatedDll& guest, uint64_t address)
        : present(address != 0), text(present ? guest.ReadString(address) : std::string())
    {
    }
    const char* Get() const { return present ? text.c_str() : nullptr; }

private:
    bool present;
    std::string text;
};

uint64_t CommRecord(EmulatedDll& g, Args a, BOOL (*call)(HANDLE, LPDCB))
{
    GuestBuffer dcb(g, a[1], sizeof(DCB));
    BOOL result = call(ToHandle(g, a[0]), dcb.Get<DCB>());
    dcb.CopyBack();
    return uint64_t(result);
}

uint64_t Transfer(EmulatedDll& g, Args a, bool reading)
{
    MustBeNull(a[4], reading ? "ReadFile's OVERLAPPED" : "WriteFile's OVERLAPPED");
    GuestBuffer buffer(g, a[1], Dword(a[2]));
    GuestBuffer count(g, a[3], sizeof(DWORD));
    BOOL result = reading ? ReadFile(ToHandle(g, a[0]), buffer.Get(), Dword(a[2]), count.Get<DWORD>(), nullptr)
                          : WriteFile(ToHandle(g, a[0]), buffer.Get(), Dword(a[2]), count.Get<DWORD>(), nullptr);
    buffer.CopyBack();
    count.CopyBack();
    return uint64_t(result);
}

} // namespace

const std::vector<Kernel32Function>& Kernel32Imports()
{
    static const std::vector<Kernel32Function> table = {
        { "BuildCommDCBA", 2, [](EmulatedDll& g, Args a) -> uint64_t {
             GuestText definition(g, a[0]);
             GuestBuffer dcb(g, a[1], sizeof(DCB));
             BOOL result = BuildCommDCBA(definition.Get(), dcb.Get<DCB>());
             dcb.CopyBack();
             return uint64_t(result);
         } },
        { "ClearCommError", 3, [](EmulatedDll& g, Args a) -> uint64_t {
             GuestBuffer errors(g, a[1], sizeof(DWORD)), stat(g, a[2], sizeof(COMSTAT));
             BOOL result = ClearCommError(ToHandle(g, a[0]), errors.Get<DWORD>(), stat.Get<COMSTAT>());
             errors.CopyBack();
             stat.CopyBack();
             return uint64_t(result);
         } },
        { "CloseHandle", 1, [](EmulatedDll& g, Args a) -> uint64_t { return uint64_t(CloseHandle(ToHandle(g, a[0]))); } },
        { "CreateFileA", 7, [](EmulatedDll& g, Args a) -> uint64_t {
             MustBeNull(a[3], "CreateFileA's security attributes");
             MustBeNull(a[6], "CreateFileA's template file");
             GuestText name(g, a[0]);
             return FromHandle(CreateFileA(name.Get(), Dword(a[1]), Dword(a[2]), nullptr, Dword(a[4]), Dword(a[5]), nullptr));
         } },
        { "DeviceIoControl", 8, [](EmulatedDll& g, Args a) -> uint64_t {
             MustBeNull(a[7], "DeviceIoControl's OVERLAPPED");
             GuestBuffer in(g, a[2], Dword(a[3])), out(g, a[4], Dword(a[5])), returned(g, a[6], sizeof(DWORD));
             BOOL result = DeviceIoControl(ToHandle(g, a[0]), Dword(a[1]), in.Get(), Dword(a[3]), out.Get(), Dword(a[5]),
                                           returned.Get<DWORD>(), nullptr);
             out.CopyBack();
             returned.CopyBack();
             return uint64_t(result);
         } },
        { "GetCommModemStatus", 2, [](EmulatedDll& g, Args a) -> uint64_t {
             GuestBuffer status(g, a[1], sizeof(DWORD));
             BOOL result = GetCommModemStatus(ToHandle(g, a[0]), status.Get<DWORD>());
             status.CopyBack();
             return uint64_t(result);
         } },
        { "GetCommState", 2, [](EmulatedDll& g, Args a) { return CommRecord(g, a, GetCommState); } },
        { "GetModuleHandleA", 1, [](EmulatedDll& g, Args a) {
             GuestText name(g, a[0]);
             return FromHandle(GetModuleHandleA(name.Get()));
         } },
        { "GetProcAddress", 2, [](EmulatedDll& g, Args a) -> uint64_t {
             // Windows takes an ordinal in place of a name's address too.
             if (a[1] != 0 && a[1] < 0x10000)
                 throw GuestFault("GetProcAddress of ordinal " + std::to_string(a[1]) + "; the driver looks up names");
             GuestText name(g, a[1]);
             // The double decides what this Windows has; the guest calls
             // what it found through a trap that serves the same function.
             return GetProcAddress(ToHandle(g, a[0]), name.Get()) ? g.TrapOf(name.Get()) : 0;
         } },
        { "GetProcessHeap", 0, [](EmulatedDll&, Args) { return FromHandle(GetProcessHeap()); } },
        { "GetTickCount", 0, [](EmulatedDll&, Args) -> uint64_t { return GetTickCount(); } },
        { "GetVersionExA", 1, [](EmulatedDll& g, Args a) -> uint64_t {
             // Only as much as the caller says it has; the double decides
             // whether that size is the one it knows.
             OSVERSIONINFOA info{};
             if (a[0])
                 std::memcpy(&info.dwOSVersionInfoSize, g.Read(a[0], 4).data(), 4);
             size_t size = std::min<size_t>(std::max<DWORD>(info.dwOSVersionInfoSize, 4), sizeof info);
             if (a[0])
                 std::memcpy(&info, g.Read(a[0], size).data(), size);
             BOOL result = GetVersionExA(a[0] ? &info : nullptr);
             if (a[0])
                 g.Write(a[0], &info, size);
             return uint64_t(result);
         } },
        { "HeapAlloc", 3, [](EmulatedDll& g, Args a) {
             return g.GuestAddress(HeapAlloc(ToHandle(g, a[0]), Dword(a[1]), SIZE_T(a[2])));
         } },
        { "HeapFree", 3, [](EmulatedDll& g, Args a) -> uint64_t {
             return uint64_t(HeapFree(ToHandle(g, a[0]), Dword(a[1]), a[2] ? g.HostPointer(a[2]) : nullptr));
         } },
        { "PurgeComm", 2, [](EmulatedDll& g, Args a) -> uint64_t {
             return uint64_t(PurgeComm(ToHandle(g, a[0]), Dword(a[1])));
         } },
        { "ReadFile", 5, [](EmulatedDll& g, Args a) { return Transfer(g, a, true); } },
        { "SetCommState", 2, [](EmulatedDll& g, Args a) { return CommRecord(g, a, SetCommState); } },
        { "SetCommTimeouts", 2, [](EmulatedDll& g, Args a) -> uint64_t {
             GuestBuffer timeouts(g, a[1], sizeof(COMMTIMEOUTS));
             return uint64_t(SetCommTimeouts(ToHandle(g, a[0]), timeouts.Get<COMMTIMEOUTS>()));
         } },
        { "WriteFile", 5, [](EmulatedDll& g, Args a) { return Transfer(g, a, false); } },
        { "lstrcpynA", 3, [](EmulatedDll& g, Args a) -> uint64_t {
             int length = int(int32_t(a[2]));
             if (length <= 0)
                 return a[0];
             std::string source = g.ReadString(a[1], size_t(length - 1));
             std::string copy(size_t(length), '\0');
             lstrcpynA(&copy[0], source.c_str(), length);
             g.Write(a[0], copy.c_str(), std::strlen(copy.c_str()) + 1);
             return a[0];
         } },
        { "lstrlenA", 1, [](EmulatedDll& g, Args a) -> uint64_t {
             GuestText text(g, a[0]);
             return uint64_t(uint32_t(lstrlenA(text.Get())));
         } },
    };
    return table;
}

const std::vector<Kernel32Function>& Kernel32RunTimeFunctions()
{
    static const std::vector<Kernel32Function> table = {
        { "QueryDosDeviceA", 3, [](EmulatedDll& g, Args a) -> uint64_t {
             GuestText device(g, a[0]);
             GuestBuffer target(g, a[1], Dword(a[2]));
             DWORD length = QueryDosDeviceA(device.Get(), target.Get<char>(), Dword(a[2]));
             target.CopyBack();
             return length;
         } },
    };
    return table;
}

} // namespace emu
