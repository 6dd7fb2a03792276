#include "HexText.h"

#include <cstdio>

std::string HexText(const std::vector<uint8_t>& bytes, size_t from, size_t to)
{
    std::string s;
    char b[4];
    for (size_t i = from; i < bytes.size() && i < to; ++i) {
        std::snprintf(b, sizeof b, "%02X", bytes[i]);
        if (!s.empty())
            s += ' ';
        s += b;
    }
    return s;
}
