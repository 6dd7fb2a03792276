#include "FuzzSupport.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "HexText.h"

namespace fuzz {

void Fail(const char* file, int line, const std::string& message)
{
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, message.c_str());
    std::fflush(stderr);
    std::abort();
}

std::string Hex(const uint8_t* bytes, size_t length) { return HexText(std::vector<uint8_t>(bytes, bytes + length)); }

int32_t FuzzInput::Count()
{
    uint8_t pick = Byte();
    switch (pick % 10) {
    case 0: return 0;
    case 1: return -1;
    case 2: return INT_MAX;
    case 3: return INT_MIN;
    case 4: return 123 + (Byte() % 8);           // around the room after the status cells
    case 5: return 128 + (Byte() % 8) - 4;       // around the buffer size
    case 6: return -static_cast<int32_t>(Byte()); // small negative
    case 7: {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | Byte();
        int32_t s;
        std::memcpy(&s, &v, sizeof s);
        return s;
    }
    default: return Byte() % 100;
    }
}

Bytes FuzzInput::Take(size_t n)
{
    if (n > Left())
        n = Left();
    Bytes b(data + at, data + at + n);
    at += n;
    return b;
}

std::string FuzzInput::Text(size_t n)
{
    Bytes b = Take(n);
    std::string s(b.begin(), b.end());
    // A C string ends at its first NUL; keep the rest from looking like one.
    for (char& c : s)
        if (c == '\0')
            c = '0';
    return s;
}

std::vector<KeyReport>& Reports()
{
    static std::vector<KeyReport> reports;
    return reports;
}

void BRLCALLBACK RecordReport(unsigned int code, unsigned int argument) { Reports().push_back({ code, argument }); }

void KeyReference::Feed(uint8_t b, std::vector<KeyReport>& expected)
{
    switch (state) {
    case Between:
        if (b == 0x1B)
            state = AfterEsc;
        return;
    case AfterEsc:
        state = b == 0x1B ? AfterEsc : b == 'K' ? FirstKeyByte : b == 'C' ? RoutingByte : Between;
        return;
    case FirstKeyByte:
        first = b;
        state = SecondKeyByte;
        return;
    case SecondKeyByte: {
        std::bitset<256> keys;
        for (int bit = 0; bit < 6; ++bit)
            if (first & (1 << bit))
                keys.set(36 - bit);
        for (int bit = 0; bit < 5; ++bit)
            if (b & (1 << bit))
                keys.set(1 + bit);
        Report(keys, expected);
        state = Between;
        return;
    }
    case RoutingByte: {
        std::bitset<256> keys;
        keys.set(b < 6 ? 61 + b : (b + 123) % 256);
        Report(keys, expected);
        state = Between;
        return;
    }
    }
}

void KeyReference::Report(const std::bitset<256>& keys, std::vector<KeyReport>& expected)
{
    // The four highest keys, highest in the lowest byte; the argument
    // comes from the highest key above 128.
    uint32_t code = 0, argument = 0;
    int shift = 0;
    for (int k = 255; k >= 0; --k) {
        if (!keys[static_cast<size_t>(k)])
            continue;
        if (argument == 0 && k >= 129)
            argument = static_cast<uint32_t>(k <= 228 ? k - 128 : k - 28);
        if (shift < 32) {
            uint32_t byte = k <= 128 ? static_cast<uint32_t>(k) : k <= 228 ? 0x81u : 0x82u;
            code |= byte << shift;
            shift += 8;
        }
    }
    if (code != 0)
        expected.push_back({ code | 0x80000000u, argument });
}

Outcome FaultPlan::Choose(Call call, FakeDevice& device, DWORD bytes)
{
    Win32Double& w = Win32Double::Get();
    uint8_t pick = next < choices.size() ? choices[next++] : 0;
    Outcome outcome = Outcome::AsSet;
    switch (pick & 7) {
    case 4: outcome = Outcome::Fail; break;
    case 5: outcome = Outcome::Short; break;
    case 6: outcome = Outcome::TimeOut; break;
    case 7: {
        DWORD steps = pick >> 5;
        static const DWORD stepMs[] = { 3, 400, 400, 1u << 29 };
        DWORD jump = stepMs[(pick >> 3) & 3] * steps;
        if (((pick >> 3) & 3) == 2)
            jump = 0u - jump - 1u - w.clock.Now();
        w.clock.Advance(jump);
        jumped += jump;
        break;
    }
    default: break;
    }
    // A purge that fails leaves a timed-out packet queued, to go out in one
    // transfer with the next: not a fault of the driver's.
    if (call == Call::PurgeComm && device.keepsUnsent)
        outcome = Outcome::AsSet;
    if (outcome != Outcome::AsSet)
        faults++;
    last = outcome;
    switch (call) {
    case Call::CreateFile: allowed += device.openDelay; break;
    case Call::ReadFile: allowed += device.msPerRead; break;
    case Call::GetCommModemStatus: {
        bool fails = outcome == Outcome::Fail || device.failModemStatus || device.gone;
        bool off = !fails && (device.reportsCtsOff || device.CtsOff(w.clock.Now()));
        sawCtsOff = off ? &device : nullptr;
        break;
    }
    case Call::SetCommTimeouts:
        // Where the system refuses the short time-out the line's own stays.
        timeoutsRefused = outcome == Outcome::Fail || device.refuseTimeouts;
        break;
    case Call::WriteFile:
        writes++;
        allowed += sawCtsOff == &device && !timeoutsRefused ? bytes + 100 : 100 * bytes + 1;
        break;
    default: break;
    }
    return outcome;
}

Session::Session(FuzzInput& in) : faults(in.Take(in.Byte()))
{
    Win32Double::Get().Reset();
    paralleldouble::ParallelPortDouble::Get().Reset();
    paralleldouble::ParallelPortDouble::Get().keepAccesses = false;
    Win32Double::Get().chooseOutcome = [this](Call call, FakeDevice& device, DWORD bytes) {
        return faults.Choose(call, device, bytes);
    };
    Reports().clear();
    driver = std::make_unique<EscProtocolDriver>();
}

Session::~Session()
{
    driver.reset();
    Win32Double::Get().chooseOutcome = nullptr;
    FUZZ_CHECK(Win32Double::Get().openHandles == 0,
               std::to_string(Win32Double::Get().openHandles) + " handles left after the driver went");
    FUZZ_CHECK(g_activeDriver == nullptr, "the driver is still registered");
    // What the input made goes with it: libFuzzer runs an input again
    // under the leak checker whenever it freed less than it allocated.
    Win32Double::Get().Reset();
    paralleldouble::ParallelPortDouble::Get().Reset();
}

Bytes FullReply(uint8_t modelCode)
{
    Bytes r(15, 0x00);
    r[0] = 0x3F;
    r[1] = modelCode;
    return r;
}

} // namespace fuzz
