#include "DriverTestSupport.h"

#include "HexText.h"

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

std::string Hex(const Bytes& bytes) { return HexText(bytes); }

} // namespace testsupport
