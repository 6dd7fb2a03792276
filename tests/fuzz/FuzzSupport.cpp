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

Session::Session()
{
    Win32Double::Get().Reset();
    Reports().clear();
    driver = std::make_unique<EscProtocolDriver>();
}

Session::~Session()
{
    driver.reset();
    FUZZ_CHECK(Win32Double::Get().openHandles == 0,
               std::to_string(Win32Double::Get().openHandles) + " handles left after the driver went");
    FUZZ_CHECK(g_activeDriver == nullptr, "the driver is still registered");
}

Bytes FullReply(uint8_t modelCode)
{
    Bytes r(15, 0x00);
    r[0] = 0x3F;
    r[1] = modelCode;
    return r;
}

} // namespace fuzz
