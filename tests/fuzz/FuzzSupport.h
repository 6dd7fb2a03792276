// Shared pieces of the fuzz targets: reading structured values out of the
// fuzzer's bytes, a fresh driver against a fresh Win32 double per input, and
// a check that stops the run with a message when an invariant breaks.
#ifndef BRLWIN32_FUZZ_SUPPORT_H
#define BRLWIN32_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Win32Double.h"
#include "brlwin32.h"
#include "protocol/EscProtocolDriver.h"

namespace fuzz {

using win32double::Bytes;
using win32double::FakeDevice;
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

// A new double and a new driver instance (which becomes g_activeDriver);
// the destructor releases the driver and checks that no handle is left.
class Session {
public:
    Session();
    ~Session();
    EscProtocolDriver& Driver() { return *driver; }
    Win32Double& Double() { return Win32Double::Get(); }

private:
    std::unique_ptr<EscProtocolDriver> driver;
};

// 15 bytes that identify a display at once, with no wait for more.
Bytes FullReply(uint8_t modelCode);

} // namespace fuzz

#endif
