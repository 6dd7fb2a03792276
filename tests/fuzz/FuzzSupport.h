// Shared pieces of the fuzz targets: reading structured values out of the
// fuzzer's bytes, a fresh driver against a fresh Win32 double per input, the
// input's choice of what each Win32 call does, and a check that stops the
// run with a message when an invariant breaks.
#ifndef BRLWIN32_FUZZ_SUPPORT_H
#define BRLWIN32_FUZZ_SUPPORT_H

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ParallelPortDouble.h"
#include "Win32Double.h"
#include "brlwin32.h"
#include "protocol/EscProtocolDriver.h"

namespace fuzz {

using win32double::Bytes;
using win32double::Call;
using win32double::FakeDevice;
using win32double::Outcome;
using win32double::Win32Double;

// Prints what broke and aborts, so that libFuzzer keeps the input.
[[noreturn]] void Fail(const char* file, int line, const std::string& message);
#define FUZZ_CHECK(condition, message)                                                                       \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            ::fuzz::Fail(__FILE__, __LINE__, std::string(#condition ": ") + (message));                     \
    } while (0)

std::string Hex(const uint8_t* bytes, size_t length);
inline std::string Hex(const Bytes& bytes) { return Hex(bytes.data(), bytes.size()); }

// Takes values off the front of the fuzzer's input; 0s once it runs dry.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data(data), size(size) {}
    bool Empty() const { return at >= size; }
    size_t Left() const { return size - at; }
    uint8_t Byte() { return at < size ? data[at++] : 0; }
    // Mostly the values that break things: 0, -1, limits, around the buffer
    // sizes, and now and then any 32 bits.
    int32_t Count();
    Bytes Take(size_t n);
    std::string Text(size_t n);

private:
    const uint8_t* data;
    size_t size;
    size_t at = 0;
};

struct KeyReport {
    uint32_t code;
    uint32_t argument;
    bool operator==(const KeyReport& o) const { return code == o.code && argument == o.argument; }
};
std::vector<KeyReport>& Reports();
void BRLCALLBACK RecordReport(unsigned int code, unsigned int argument);

// What each call of the double on a device does, one byte of choices a
// call, in the order the calls come (0s once they run out: every later call
// does what its device is set to):
//   bits 0-2  0-3 as set, 4 refused, 5 a short transfer, 6 a write that
//             meets its time-out, 7 as set after the tick clock jumps
//   bits 3-4  (jump) 0: 3 ms steps, 1: 400 ms steps, 2: to that many 400 ms
//             steps before the counter wraps, 3: 2^29 ms steps
//   bits 5-7  (jump) how many steps
// It also keeps what a display call may hold the host, on the double's
// clock: each write the time-out the line allows it (1 ms a byte and
// 100 more after a status that showed CTS off, unless the system refused
// that time-out; else 100 ms a byte and 1 more), each read and open what
// the device takes; the clock's jumps apart.
class FaultPlan {
public:
    explicit FaultPlan(Bytes choices) : choices(std::move(choices)) {}
    Outcome Choose(Call call, FakeDevice& device, DWORD bytes);

    // From the start of a display call: what the clock may have moved.
    void StartCall() { allowed = jumped = 0; }
    DWORD Allowed() const { return allowed; }
    // How far the clock jumped since, modulo 2^32 as the clock itself.
    DWORD Jumped() const { return jumped; }
    // How many calls did other than their device is set to.
    int Faults() const { return faults; }
    bool Faulted() const { return faults > 0; }
    int Writes() const { return writes; } // WriteFile calls so far
    Outcome Last() const { return last; }

private:
    Bytes choices;
    size_t next = 0;
    DWORD allowed = 0;
    DWORD jumped = 0;
    int faults = 0;
    int writes = 0;
    Outcome last = Outcome::AsSet;
    const FakeDevice* sawCtsOff = nullptr; // the device whose last status showed CTS off
    bool timeoutsRefused = false;
};

// The reading of the display's key and routing packets, written apart from
// the driver: Feed takes one byte and, when it ends a packet that names a
// key, appends the report the host must get.
class KeyReference {
public:
    void Feed(uint8_t b, std::vector<KeyReport>& expected);

private:
    static void Report(const std::bitset<256>& keys, std::vector<KeyReport>& expected);
    enum { Between, AfterEsc, FirstKeyByte, SecondKeyByte, RoutingByte } state = Between;
    uint8_t first = 0;
};

// A new double and a new driver instance (which becomes g_activeDriver),
// with the faults of a stretch of the input: its first byte says how many
// bytes of choices follow; the simulated parallel port keeps no log of its
// accesses. The destructor releases the driver, checks that no handle is
// left, and empties the doubles.
class Session {
public:
    explicit Session(FuzzInput& in);
    ~Session();
    EscProtocolDriver& Driver() { return *driver; }
    Win32Double& Double() { return Win32Double::Get(); }
    FaultPlan& Faults() { return faults; }
    // Runs a display call and checks that it held the host no longer than
    // the time-outs allow.
    template <typename F> auto Timed(const char* what, F call)
    {
        faults.StartCall();
        DWORD start = Double().clock.Now();
        // The simulated parallel port's status reads move the clock too.
        DWORD statusMs = paralleldouble::ParallelPortDouble::Get().statusMs;
        auto result = call();
        DWORD held = Double().clock.Now() - start - faults.Jumped();
        DWORD allowed = faults.Allowed() + (paralleldouble::ParallelPortDouble::Get().statusMs - statusMs);
        FUZZ_CHECK(held <= allowed, std::string(what) + " held the host " + std::to_string(held) +
                                        " ms; the time-outs allow " + std::to_string(allowed));
        return result;
    }

private:
    FaultPlan faults;
    std::unique_ptr<EscProtocolDriver> driver;
};

// 15 bytes that identify a display at once, with no wait for more.
Bytes FullReply(uint8_t modelCode);

} // namespace fuzz

#endif
