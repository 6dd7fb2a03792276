// A test double behind the Win32 names the driver calls: scriptable devices
// (serial ports and kernel devices), a tick clock that moves only when a
// test or a device script moves it, and the process heap. Used by the native
// unit tests, where the driver sources are built unchanged against
// tests/win32/windows.h, and by the emulated-processor layer (tests/emu),
// which serves the built DLL's KERNEL32 imports with the same functions.
#ifndef BRLWIN32_WIN32_DOUBLE_H
#define BRLWIN32_WIN32_DOUBLE_H

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace win32double {

using Bytes = std::vector<uint8_t>;

class TickClock {
public:
    DWORD Now() const { return now; }
    void Set(DWORD ms) { now = ms; }
    void Advance(DWORD ms) { now += ms; }

private:
    DWORD now = 1000;
};

// The process heap of GetProcessHeap, HeapAlloc and HeapFree: first fit in
// one fixed block of memory, so that an emulated processor can map the very
// same bytes into its guest's address space and hand out guest addresses.
class Heap {
public:
    enum : size_t { Size = 64 * 1024, Alignment = 16 };

    void* Alloc(size_t bytes);       // null when no gap is large enough
    bool Free(const void* block);    // false for anything not handed out
    void Reset();

    size_t Blocks() const { return blocks.size(); }
    int badFrees = 0;                // Free of a block it never handed out
    uint8_t* Memory()
    {
        touched = true;
        return memory;
    }
    bool Holds(const void* p) const { return p >= memory && p < memory + Size; }

private:
    alignas(4096) uint8_t memory[Size] = {};
    std::map<size_t, size_t> blocks; // offset -> size, in address order
    // Handed out or mapped since the last Reset: only then is there
    // anything to clear (a fuzz target resets thousands of times a second).
    bool touched = false;
};

// One device that CreateFileA can open by name: "COM1", "\\.\QZPAR1", ...
struct FakeDevice {
    std::string name;

    // What the driver did to it.
    int openCount = 0;
    int closeCount = 0;
    bool isOpen = false;
    Bytes written;                // every byte written, in order
    std::vector<Bytes> writes;    // one entry per WriteFile call
    std::vector<DWORD> writeTimes; // the tick count at each of those calls
    int readCalls = 0;
    int clearCommErrorCalls = 0;
    int setCommStateCalls = 0;
    int getCommStateCalls = 0;
    DCB dcb{};                    // the last DCB given to SetCommState
    bool timeoutsSet = false;
    COMMTIMEOUTS timeouts{};      // the last time-outs given to SetCommTimeouts
    std::vector<COMMTIMEOUTS> writeTimeouts; // the time-outs each WriteFile ran under
    int modemStatusCalls = 0;
    std::vector<DWORD> purges;    // the flags of every PurgeComm
    DWORD lastOpenAccess = 0, lastOpenShare = 0, lastOpenDisposition = 0, lastOpenFlags = 0;
    struct Ioctl {
        DWORD code;
        Bytes in;
        bool outNull;
        DWORD outSize;
        bool returnedSupplied;
    };
    std::vector<Ioctl> ioctls;

    // What it does.
    DCB reportedDcb{};            // what GetCommState reports
    bool refuseOpen = false;      // CreateFileA fails (device in use)
    bool refuseTimeouts = false;  // SetCommTimeouts fails
    bool failGetCommState = false; // GetCommState fails and reports nothing
    bool failSetCommState = false; // SetCommState fails and applies nothing
    // The line's CTS, as GetCommModemStatus reports it and a write meets
    // it. A write that meets CTS off waits for it up to the write time-out,
    // then returns TRUE with nothing written.
    bool ctsHeldOff = false;      // off until a test puts it on (a display switched off)
    bool ctsPaused = false;       // off until the clock reaches ctsOffUntil (a busy display)
    DWORD ctsOffUntil = 0;
    bool reportsCtsOff = false;   // the status says CTS off whatever the line does
    bool failModemStatus = false; // GetCommModemStatus fails (a driver that cannot say)
    // The bytes of a write that timed out stay queued and go out before the
    // next write that meets CTS on, unless PurgeComm clears them.
    bool keepsUnsent = false;
    Bytes unsent;
    DWORD openDelay = 0;          // CreateFileA blocks this many ticks first (a Bluetooth link)
    bool failWrites = false;      // WriteFile returns FALSE
    bool failIoctls = false;      // DeviceIoControl records the request, returns FALSE
    long failReadAtCall = -1;     // this ReadFile call (0-based, per device) fails
    bool failAllReads = false;
    bool failClearCommError = false; // ClearCommError returns FALSE
    // Unplugged: CreateFileA does not find it, and on a handle still held
    // WriteFile, ReadFile and ClearCommError fail, as they do on Windows
    // when a USB serial adapter is pulled.
    bool gone = false;
    size_t maxReadChunk = SIZE_MAX; // at most this many bytes per ReadFile
    DWORD msPerRead = 1;          // the clock moves this much ...
    int readsPerTick = 1;         // ... at every readsPerTick-th ReadFile
    std::deque<uint8_t> toHost;   // bytes waiting for the driver's ReadFile
    struct Arrival {
        DWORD at;
        Bytes bytes;
    };
    std::vector<Arrival> arrivals; // bytes that arrive once the clock reaches at
    // Called after every successful write with the bytes written; may queue
    // an answer in toHost (a scripted display).
    std::function<void(FakeDevice&, const Bytes&)> onWrite;

    void Send(const Bytes& bytes) { toHost.insert(toHost.end(), bytes.begin(), bytes.end()); }
    void HoldCtsOffUntil(DWORD at)
    {
        ctsPaused = true;
        ctsOffUntil = at;
    }
    // CTS at this tick.
    bool CtsOff(DWORD now) const
    {
        return ctsHeldOff || (ctsPaused && static_cast<int32_t>(ctsOffUntil - now) > 0);
    }
    void SendAt(DWORD at, const Bytes& bytes) { arrivals.push_back({ at, bytes }); }
};

// What one call of a device does, for a test that chooses it call by call
// (the fuzz targets): as the device's settings say, refused, a short
// transfer, or a write that meets its time-out with nothing sent.
enum class Outcome { AsSet, Fail, Short, TimeOut };
enum class Call {
    CreateFile, ReadFile, WriteFile, ClearCommError, GetCommModemStatus, SetCommTimeouts, SetCommState,
    GetCommState, PurgeComm, DeviceIoControl
};

class Win32Double {
public:
    static Win32Double& Get();

    // Forgets every device and puts the clock and the version back.
    void Reset();

    FakeDevice& AddDevice(const std::string& name);
    FakeDevice* Find(const std::string& name);

    TickClock clock;
    DWORD platformId = VER_PLATFORM_WIN32_NT;
    bool failVersionQuery = false;
    DWORD lastVersionInfoSize = 0;
    int versionQueries = 0;
    std::vector<std::string> openedNames; // every name given to CreateFileA
    std::string lastCommDefinition;       // the last string given to BuildCommDCBA
    int openHandles = 0;
    int maxOpenHandles = 0;               // the most handles open at once
    int closeHandleCalls = 0;             // every CloseHandle, good handle or not
    // Requests on a handle that no device holds (INVALID_HANDLE_VALUE, a
    // closed one): the system refuses them, a test must still see them.
    std::vector<FakeDevice::Ioctl> strayIoctls;
    DWORD lastError = 0;
    Heap heap;
    // What GetProcessHeap answers; HeapAlloc and HeapFree refuse any other.
    const HANDLE processHeap = reinterpret_cast<HANDLE>(uintptr_t{ 0x7000 });
    // What GetModuleHandleA answers for KERNEL32; GetProcAddress finds
    // QueryDosDeviceA in it on the NT family only, as on Windows.
    const HMODULE kernel32 = reinterpret_cast<HMODULE>(uintptr_t{ 0x7E000000 });
    std::vector<std::string> procLookups; // every name given to GetProcAddress
    // The device each DOS name stands for, as QueryDosDeviceA reports it:
    // "COM7" -> "\Device\VCP0". A name not here has none.
    std::map<std::string, std::string> dosDevices;
    int dosDeviceQueries = 0;
    // Asked before each call on a device (with the bytes a transfer asks
    // for); may move the clock. Unset: every call is AsSet.
    std::function<Outcome(Call, FakeDevice&, DWORD)> chooseOutcome;
    Outcome Choose(Call call, FakeDevice& device, DWORD bytes = 0)
    {
        return chooseOutcome ? chooseOutcome(call, device, bytes) : Outcome::AsSet;
    }

    // Used by the function definitions.
    HANDLE Open(const char* name, DWORD access, DWORD share, DWORD disposition, DWORD flags);
    FakeDevice* FromHandle(HANDLE handle);
    bool Close(HANDLE handle);
    void DeliverArrivals(FakeDevice& device);

private:
    std::vector<std::unique_ptr<FakeDevice>> devices;
    std::map<uintptr_t, FakeDevice*> handles;
    uintptr_t nextHandle = 0x100;
};

// A display of this family behind a FakeDevice: answers the model query with
// reply, as a display would.
void AnswerQueryWith(FakeDevice& device, const Bytes& reply);

} // namespace win32double

#endif
