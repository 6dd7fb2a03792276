#include "Win32Double.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace win32double {

Win32Double& Win32Double::Get()
{
    static Win32Double instance;
    return instance;
}

void Win32Double::Reset()
{
    devices.clear();
    handles.clear();
    clock = TickClock();
    platformId = VER_PLATFORM_WIN32_NT;
    failVersionQuery = false;
    lastVersionInfoSize = 0;
    versionQueries = 0;
    openedNames.clear();
    lastCommDefinition.clear();
    openHandles = 0;
    maxOpenHandles = 0;
    closeHandleCalls = 0;
    strayIoctls.clear();
    procLookups.clear();
    dosDevices.clear();
    dosDeviceQueries = 0;
    chooseOutcome = nullptr;
    lastError = 0;
    heap.Reset();
}

void* Heap::Alloc(size_t bytes)
{
    size_t want = (std::max<size_t>(bytes, 1) + Alignment - 1) / Alignment * Alignment;
    size_t start = 0;
    for (const auto& block : blocks) {
        if (block.first - start >= want)
            break;
        start = block.first + block.second;
    }
    if (want > Size || start > Size - want)
        return nullptr;
    touched = true;
    blocks[start] = want;
    return memory + start;
}

bool Heap::Free(const void* block)
{
    auto it = Holds(block) ? blocks.find(static_cast<size_t>(static_cast<const uint8_t*>(block) - memory))
                           : blocks.end();
    if (it == blocks.end()) {
        badFrees++;
        return false;
    }
    blocks.erase(it);
    return true;
}

void Heap::Reset()
{
    blocks.clear();
    badFrees = 0;
    if (touched)
        std::memset(memory, 0, sizeof memory);
    touched = false;
}

FakeDevice& Win32Double::AddDevice(const std::string& name)
{
    devices.push_back(std::make_unique<FakeDevice>());
    devices.back()->name = name;
    return *devices.back();
}

FakeDevice* Win32Double::Find(const std::string& name)
{
    for (auto& device : devices)
        if (device->name == name)
            return device.get();
    return nullptr;
}

HANDLE Win32Double::Open(const char* name, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    openedNames.push_back(name ? name : "");
    FakeDevice* device = name ? Find(name) : nullptr;
    if (device != nullptr)
        clock.Advance(device->openDelay);
    Outcome outcome = device != nullptr ? Choose(Call::CreateFile, *device) : Outcome::AsSet;
    if (device == nullptr || device->gone) {
        lastError = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    // Devices are opened without sharing: a second open is refused, as the
    // system refuses it.
    if (device->refuseOpen || outcome == Outcome::Fail || (device->isOpen && share == 0)) {
        lastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    device->isOpen = true;
    device->openCount++;
    device->lastOpenAccess = access;
    device->lastOpenShare = share;
    device->lastOpenDisposition = disposition;
    device->lastOpenFlags = flags;
    uintptr_t value = nextHandle;
    nextHandle += 4;
    handles[value] = device;
    openHandles++;
    maxOpenHandles = std::max(maxOpenHandles, openHandles);
    return reinterpret_cast<HANDLE>(value);
}

FakeDevice* Win32Double::FromHandle(HANDLE handle)
{
    auto it = handles.find(reinterpret_cast<uintptr_t>(handle));
    return it == handles.end() ? nullptr : it->second;
}

bool Win32Double::Close(HANDLE handle)
{
    auto it = handles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == handles.end())
        return false;
    it->second->isOpen = false;
    it->second->closeCount++;
    handles.erase(it);
    openHandles--;
    return true;
}

void Win32Double::DeliverArrivals(FakeDevice& device)
{
    auto& arrivals = device.arrivals;
    if (arrivals.empty())
        return;
    std::stable_sort(arrivals.begin(), arrivals.end(),
                     [](const FakeDevice::Arrival& a, const FakeDevice::Arrival& b) { return a.at < b.at; });
    while (!arrivals.empty() && static_cast<int32_t>(clock.Now() - arrivals.front().at) >= 0) {
        device.Send(arrivals.front().bytes);
        arrivals.erase(arrivals.begin());
    }
}

void AnswerQueryWith(FakeDevice& device, const Bytes& reply)
{
    device.onWrite = [reply](FakeDevice& d, const Bytes& bytes) {
        for (size_t i = 0; i + 1 < bytes.size(); ++i)
            if (bytes[i] == 0x1B && bytes[i + 1] == 0x3F)
                d.Send(reply);
    };
}

} // namespace win32double

using win32double::Bytes;
using win32double::Call;
using win32double::Outcome;
using win32double::FakeDevice;
using win32double::Win32Double;

extern "C" {

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flags, HANDLE)
{
    return Win32Double::Get().Open(name, access, share, disposition, flags);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED)
{
    Win32Double& w = Win32Double::Get();
    if (read)
        *read = 0;
    FakeDevice* device = w.FromHandle(file);
    if (device == nullptr) {
        // Even a refused call takes time: a read loop on a bad handle ends.
        w.clock.Advance(1);
        return FALSE;
    }
    long call = device->readCalls++;
    w.DeliverArrivals(*device);
    // Reading takes time on a real line; without this a time-out loop over
    // a silent device would never end.
    if (device->readsPerTick <= 1 || device->readCalls % device->readsPerTick == 0)
        w.clock.Advance(device->msPerRead);
    Outcome outcome = w.Choose(Call::ReadFile, *device, toRead);
    if (device->gone || device->failAllReads || call == device->failReadAtCall || outcome == Outcome::Fail)
        return FALSE;
    size_t most = outcome == Outcome::TimeOut ? 0 : outcome == Outcome::Short ? 1 : device->maxReadChunk;
    size_t n = std::min<size_t>({ toRead, device->toHost.size(), most });
    auto* out = static_cast<uint8_t*>(buffer);
    for (size_t i = 0; i < n; ++i) {
        out[i] = device->toHost.front();
        device->toHost.pop_front();
    }
    if (read)
        *read = static_cast<DWORD>(n);
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED)
{
    Win32Double& w = Win32Double::Get();
    if (written)
        *written = 0;
    FakeDevice* device = w.FromHandle(file);
    Outcome outcome = device != nullptr ? w.Choose(Call::WriteFile, *device, toWrite) : Outcome::AsSet;
    if (device == nullptr || device->failWrites || device->gone || outcome == Outcome::Fail)
        return FALSE;
    device->writeTimeouts.push_back(device->timeouts);
    // A short transfer sends the first half and reports it.
    if (outcome == Outcome::Short)
        toWrite /= 2;
    const auto* in = static_cast<const uint8_t*>(buffer);
    Bytes bytes(in, in + toWrite);
    if (device->CtsOff(w.clock.Now()) || outcome == Outcome::TimeOut) {
        DWORD timeout = device->timeouts.WriteTotalTimeoutMultiplier * toWrite +
                        device->timeouts.WriteTotalTimeoutConstant;
        DWORD paused = device->ctsOffUntil - w.clock.Now();
        if (device->ctsHeldOff || outcome == Outcome::TimeOut || paused > timeout) {
            // The write time-out runs out with nothing sent.
            w.clock.Advance(timeout);
            if (device->keepsUnsent)
                device->unsent.insert(device->unsent.end(), bytes.begin(), bytes.end());
            return TRUE;
        }
        w.clock.Advance(paused);
    }
    // Bytes a timed-out write left queued go out first, as one transfer.
    bytes.insert(bytes.begin(), device->unsent.begin(), device->unsent.end());
    device->unsent.clear();
    device->written.insert(device->written.end(), bytes.begin(), bytes.end());
    device->writes.push_back(bytes);
    device->writeTimes.push_back(w.clock.Now());
    if (written)
        *written = toWrite;
    if (device->onWrite)
        device->onWrite(*device, bytes);
    return TRUE;
}

BOOL CloseHandle(HANDLE object)
{
    Win32Double::Get().closeHandleCalls++;
    return Win32Double::Get().Close(object) ? TRUE : FALSE;
}

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                     LPDWORD returned, LPOVERLAPPED)
{
    Win32Double& w = Win32Double::Get();
    FakeDevice* d = w.FromHandle(device);
    const auto* bytes = static_cast<const uint8_t*>(in);
    FakeDevice::Ioctl request{ code, bytes ? Bytes(bytes, bytes + inSize) : Bytes(), out == nullptr, outSize,
                               returned != nullptr };
    if (d == nullptr) {
        w.strayIoctls.push_back(request);
        return FALSE;
    }
    d->ioctls.push_back(request);
    if (returned)
        *returned = 0;
    return w.Choose(Call::DeviceIoControl, *d) == Outcome::Fail || d->failIoctls ? FALSE : TRUE;
}

// Reads the old mode-string form, "COM1:9600,n,8,1", enough for the driver's
// use: the device prefix is skipped and baud, parity, data bits and stop
// bits are taken in that order.
BOOL BuildCommDCBA(LPCSTR definition, LPDCB dcb)
{
    Win32Double::Get().lastCommDefinition = definition ? definition : "";
    if (definition == nullptr || dcb == nullptr)
        return FALSE;
    const char* s = std::strchr(definition, ':');
    s = s ? s + 1 : definition;
    while (*s == ' ')
        s++;
    char* end = nullptr;
    unsigned long baud = std::strtoul(s, &end, 10);
    if (end == s || baud == 0)
        return FALSE;
    DCB result = *dcb;
    result.BaudRate = static_cast<DWORD>(baud);
    result.fBinary = 1;
    s = end;
    if (*s == ',') {
        s++;
        switch (*s) {
        case 'n': case 'N': result.Parity = NOPARITY; break;
        case 'o': case 'O': result.Parity = ODDPARITY; break;
        case 'e': case 'E': result.Parity = EVENPARITY; break;
        default: return FALSE;
        }
        result.fParity = result.Parity != NOPARITY;
        s++;
    }
    if (*s == ',') {
        s++;
        if (*s < '5' || *s > '8')
            return FALSE;
        result.ByteSize = static_cast<BYTE>(*s - '0');
        s++;
    }
    if (*s == ',') {
        s++;
        if (*s == '1')
            result.StopBits = ONESTOPBIT;
        else if (*s == '2')
            result.StopBits = TWOSTOPBITS;
        else
            return FALSE;
        s++;
    }
    if (*s != '\0')
        return FALSE;
    *dcb = result;
    return TRUE;
}

BOOL GetCommState(HANDLE file, LPDCB dcb)
{
    FakeDevice* device = Win32Double::Get().FromHandle(file);
    if (device == nullptr)
        return FALSE;
    device->getCommStateCalls++;
    if (Win32Double::Get().Choose(Call::GetCommState, *device) == Outcome::Fail || device->failGetCommState)
        return FALSE;
    *dcb = device->reportedDcb;
    dcb->DCBlength = sizeof(DCB);
    return TRUE;
}

BOOL SetCommState(HANDLE file, LPDCB dcb)
{
    FakeDevice* device = Win32Double::Get().FromHandle(file);
    if (device == nullptr)
        return FALSE;
    device->setCommStateCalls++;
    if (Win32Double::Get().Choose(Call::SetCommState, *device) == Outcome::Fail || device->failSetCommState)
        return FALSE;
    device->dcb = *dcb;
    return TRUE;
}

BOOL SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts)
{
    FakeDevice* device = Win32Double::Get().FromHandle(file);
    if (device == nullptr || Win32Double::Get().Choose(Call::SetCommTimeouts, *device) == Outcome::Fail ||
        device->refuseTimeouts)
        return FALSE;
    device->timeoutsSet = true;
    device->timeouts = *timeouts;
    return TRUE;
}

BOOL ClearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT stat)
{
    if (errors)
        *errors = 0;
    if (stat)
        std::memset(stat, 0, sizeof *stat);
    FakeDevice* device = Win32Double::Get().FromHandle(file);
    if (device == nullptr)
        return FALSE;
    device->clearCommErrorCalls++;
    if (Win32Double::Get().Choose(Call::ClearCommError, *device) == Outcome::Fail)
        return FALSE;
    return device->failClearCommError || device->gone ? FALSE : TRUE;
}

BOOL GetCommModemStatus(HANDLE file, LPDWORD status)
{
    Win32Double& w = Win32Double::Get();
    if (status)
        *status = 0;
    FakeDevice* device = w.FromHandle(file);
    if (device == nullptr)
        return FALSE;
    device->modemStatusCalls++;
    if (w.Choose(Call::GetCommModemStatus, *device) == Outcome::Fail || device->failModemStatus || device->gone)
        return FALSE;
    if (status && !device->reportsCtsOff && !device->CtsOff(w.clock.Now()))
        *status = MS_CTS_ON | MS_DSR_ON;
    return TRUE;
}

BOOL PurgeComm(HANDLE file, DWORD flags)
{
    FakeDevice* device = Win32Double::Get().FromHandle(file);
    if (device == nullptr || Win32Double::Get().Choose(Call::PurgeComm, *device) == Outcome::Fail || device->gone)
        return FALSE;
    device->purges.push_back(flags);
    if (flags & PURGE_TXCLEAR)
        device->unsent.clear();
    return TRUE;
}

static bool SameIgnoringCase(const char* a, const char* b)
{
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

HMODULE GetModuleHandleA(LPCSTR name)
{
    Win32Double& w = Win32Double::Get();
    if (name != nullptr && (SameIgnoringCase(name, "kernel32") || SameIgnoringCase(name, "kernel32.dll")))
        return w.kernel32;
    return nullptr;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name)
{
    Win32Double& w = Win32Double::Get();
    w.procLookups.push_back(name ? name : "");
    if (module != w.kernel32 || name == nullptr || std::strcmp(name, "QueryDosDeviceA") != 0 ||
        w.platformId != VER_PLATFORM_WIN32_NT)
        return nullptr;
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)(void)>(&QueryDosDeviceA));
}

DWORD QueryDosDeviceA(LPCSTR device, LPSTR target, DWORD size)
{
    Win32Double& w = Win32Double::Get();
    w.dosDeviceQueries++;
    auto it = device ? w.dosDevices.find(device) : w.dosDevices.end();
    if (it == w.dosDevices.end()) {
        w.lastError = ERROR_FILE_NOT_FOUND;
        return 0;
    }
    // A list of names, each terminated, and one more terminator.
    DWORD needed = static_cast<DWORD>(it->second.size() + 2);
    if (target == nullptr || size < needed) {
        w.lastError = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    std::memcpy(target, it->second.c_str(), it->second.size() + 1);
    target[needed - 1] = '\0';
    return needed;
}

DWORD GetTickCount(void) { return Win32Double::Get().clock.Now(); }

DWORD GetLastError(void) { return Win32Double::Get().lastError; }

BOOL GetVersionExA(LPOSVERSIONINFOA info)
{
    Win32Double& w = Win32Double::Get();
    w.versionQueries++;
    if (info == nullptr)
        return FALSE;
    w.lastVersionInfoSize = info->dwOSVersionInfoSize;
    if (w.failVersionQuery || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA))
        return FALSE;
    info->dwMajorVersion = w.platformId == VER_PLATFORM_WIN32_NT ? 6 : 4;
    info->dwMinorVersion = w.platformId == VER_PLATFORM_WIN32_NT ? 1 : 10;
    info->dwBuildNumber = 0;
    info->dwPlatformId = w.platformId;
    info->szCSDVersion[0] = '\0';
    return TRUE;
}

HANDLE GetProcessHeap(void) { return Win32Double::Get().processHeap; }

LPVOID HeapAlloc(HANDLE heap, DWORD, SIZE_T bytes)
{
    Win32Double& w = Win32Double::Get();
    return heap == w.processHeap ? w.heap.Alloc(bytes) : nullptr;
}

BOOL HeapFree(HANDLE heap, DWORD, LPVOID block)
{
    Win32Double& w = Win32Double::Get();
    if (block == nullptr)
        return TRUE;
    return heap == w.processHeap && w.heap.Free(block) ? TRUE : FALSE;
}

int lstrlenA(LPCSTR string) { return string ? static_cast<int>(std::strlen(string)) : 0; }

LPSTR lstrcpynA(LPSTR destination, LPCSTR source, int length)
{
    if (length <= 0)
        return destination;
    int i = 0;
    for (; i < length - 1 && source[i] != '\0'; ++i)
        destination[i] = source[i];
    destination[i] = '\0';
    return destination;
}

} // extern "C"
