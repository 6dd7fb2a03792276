#include "BackTranslator.h"

#include <liblouis/liblouis.h>

BackTranslator::BackTranslator(const std::string& tableName) : table(tableName) {}

bool BackTranslator::Usable() const { return lou_getTable(table.c_str()) != nullptr; }

std::string BackTranslator::Utf8(uint32_t c)
{
    std::string s;
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xC0 | (c >> 6));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        s += static_cast<char>(0xE0 | (c >> 12));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (c >> 18));
        s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
    return s;
}

uint32_t BackTranslator::Character(uint8_t cell) const
{
    // liblouis answers an undefined pattern with a space, so only the blank
    // cell may honestly read as one.
    if (cell == 0)
        return ' ';
    const uint8_t tries[3] = { cell, static_cast<uint8_t>(cell & 0x7F), static_cast<uint8_t>(cell & 0x3F) };
    for (uint8_t pattern : tries) {
        if (pattern == 0)
            return ' '; // dots 7 and 8 alone: the cursor on a blank
        widechar in = static_cast<widechar>(LOU_DOTS | pattern), out = 0;
        if (!lou_dotsToChar(table.c_str(), &in, &out, 1, 0))
            return '?';
        if (out > ' ' && out != 0x7F)
            return out;
    }
    return '?';
}

std::vector<std::string> BackTranslator::Translate(const std::vector<uint8_t>& cells) const
{
    std::vector<std::string> out;
    out.reserve(cells.size());
    for (uint8_t cell : cells)
        out.push_back(Utf8(Character(cell)));
    return out;
}
