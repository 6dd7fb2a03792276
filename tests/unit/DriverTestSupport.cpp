#include "DriverTestSupport.h"

#include <cstdio>

namespace testsupport {

std::vector<KeyCall>& RecordedKeys()
{
    static std::vector<KeyCall> keys;
    return keys;
}

std::function<void(const KeyCall&)>& OnKey()
{
    static std::function<void(const KeyCall&)> hook;
    return hook;
}

void BRLCALLBACK RecordKey(unsigned int code, unsigned int argument)
{
    RecordedKeys().push_back({ code, argument });
    if (OnKey())
        OnKey()(RecordedKeys().back());
}

std::string Hex(const Bytes& bytes)
{
    std::string s;
    char b[4];
    for (uint8_t v : bytes) {
        snprintf(b, sizeof b, "%02X", v);
        if (!s.empty())
            s += ' ';
        s += b;
    }
    return s;
}

} // namespace testsupport
